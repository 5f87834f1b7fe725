// What the firmware's replies and silences say about its health, whichever sender
// drives the document: a halt or a restart ends it, a busy notice puts off the
// poke, and a firmware that stays silent after a poke has stopped answering. Free
// of I/O: the sender feeds it replies and the time, and asks it what is due.
#pragma once

#include <cstdint>

namespace vela {

// Why a document was given up; nothing more is sent for it afterwards.
enum class SendFailure {
    None,
    NotReady,         // no answer to the handshake within its limit
    Rejected,         // the firmware keeps asking for the same line
    StoppedAnswering, // nothing at all from the firmware, poke included
    Restarted,        // the firmware booted in the middle of the document
    Halted,           // the firmware halted
};

// A line unacknowledged this long since it went out (or since the last resend
// request or busy notice for it) draws a temperature poke: a long command's, one
// the firmware said it is busy with, and any line before the link has shown how
// fast it answers. Other lines draw it after a few times the longest answer of
// the recent lines, never sooner than kShortestPokeAfterMs: a firmware that is
// well answers a move within the time of the moves already planned, and tells a
// long wait with busy notices, so a longer silence means the line or its "ok"
// was lost on the way.
constexpr uint32_t kPokeAfterMs = 5000;
constexpr uint32_t kShortestPokeAfterMs = 500;
constexpr uint32_t kPokeAfterAnswerTimes = 4;
// Recent answers taken into account, and how many before they count at all.
constexpr uint32_t kAnswerTimesKept = 16;
constexpr uint32_t kAnswerTimesNeeded = 4;
// A firmware silent this long, after the poke, has stopped answering.
constexpr uint32_t kSilenceLimitMs = 60000;

// What is left of span since since, at now (0 once it has run out).
inline uint32_t Remaining(uint64_t since, uint32_t span, uint64_t now) {
    const uint64_t elapsed = now >= since ? now - since : 0;
    return elapsed >= span ? 0 : static_cast<uint32_t>(span - elapsed);
}

// What a reply line told the watch, beyond what its kind says.
enum class FirmwareNotice {
    None,
    Busy,    // a long command runs: the poke has been put off
    Restart, // the firmware booted before the document's first line
    Failed,  // the document has failed, by this line or before it
};

class FirmwareWatch {
  public:
    FirmwareWatch(uint32_t pokeAfterMs, uint32_t silenceLimitMs,
                  uint32_t shortestPokeAfterMs = kShortestPokeAfterMs)
        : pokeAfterMs_(pokeAfterMs), silenceLimitMs_(silenceLimitMs),
          shortestPokeAfterMs_(shortestPokeAfterMs) {}

    // Watches a new document: no failure, no poke out, both clocks from now.
    void Start(uint64_t now);

    bool Failed() const { return failure_ != SendFailure::None; }
    SendFailure Failure() const { return failure_; }
    int64_t FailureLine() const { return failureLine_; }
    // The first failure stands; later ones are consequences of it.
    void Fail(SendFailure failure, int64_t line);

    // Any bytes from the firmware: it is alive, whatever they say.
    void OnBytesReceived(uint64_t now);
    // Looks for a halt, a restart and a busy notice in a reply line. A halt fails the
    // document at lineNumber; a restart does once documentBegun (its position and
    // temperatures are gone: going on would print into the air).
    FirmwareNotice OnReply(const uint8_t* line, uint32_t length, bool documentBegun,
                           int64_t lineNumber, uint64_t now);

    // The poke's clock: the quiet spell starts at now.
    void QuietFrom(uint64_t now) { quietSince_ = now; }
    // A numbered line went out at now; longCommand for one that may run long
    // without a word (a heating wait, homing, probing, a dwell, "M400").
    void OnLineSent(uint64_t now, bool longCommand);
    // The line's own "ok" came at now (not a poke's answer).
    void OnLineAnswered(uint64_t now);
    // How long the line out may be quiet before the poke.
    uint32_t PokeAfter() const;
    // The quiet spell starts at now unless it started later.
    void PutOffPoke(uint64_t now);
    void OnPokeSent(uint64_t now);
    // The poke out answers for nothing any more; the next is timed from the quiet.
    void ForgetPoke() { poked_ = false; }
    bool Poked() const { return poked_; }
    // Until a poke falls due: a quiet spell long enough, or after a poke as long again.
    uint32_t PokeDueIn(uint64_t now) const;
    // Until the last poke has been waited for as long as a line is.
    uint32_t PokeWaitLeft(uint64_t now) const { return Remaining(pokedAt_, pokeAfterMs_, now); }

    // Until a firmware owing an answer to a poke has been silent too long.
    uint32_t SilenceLeft(uint64_t now) const;
    // Fails the document at lineNumber once that has run out while answerOwed.
    void CheckSilence(bool answerOwed, int64_t lineNumber, uint64_t now);

  private:
    uint32_t pokeAfterMs_;
    uint32_t silenceLimitMs_;
    uint32_t shortestPokeAfterMs_;
    SendFailure failure_ = SendFailure::None;
    int64_t failureLine_ = 0;
    // Any byte from the firmware.
    uint64_t lastByteAt_ = 0;
    uint64_t quietSince_ = 0;
    bool poked_ = false;
    uint64_t pokedAt_ = 0;
    // The line out: when it went, whether it may run long, whether the firmware
    // said it is busy or asked for a line again meanwhile (its answer time then
    // says nothing of the link).
    bool lineOut_ = false;
    uint64_t lineSentAt_ = 0;
    bool longLine_ = false;
    bool lineDisturbed_ = false;
    uint32_t answerTimes_[kAnswerTimesKept] = {};
    uint32_t answersKept_ = 0;
    uint32_t nextAnswer_ = 0;
};

} // namespace vela
