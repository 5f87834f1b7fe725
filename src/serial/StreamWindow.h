// Windowed streaming: numbered lines sent ahead of their acknowledgements while
// their bytes fit the firmware's receive buffer (and its free command slots, when
// it reports them). Free of I/O, like the one-line machine: the handler thread
// feeds it replies and the time, and carries out the steps it asks for.
//
// The firmware accepts only the line after the last it accepted, so each "ok"
// acknowledges the oldest line not yet acknowledged, and a resend request for
// line k says it has every line before k and none from k on. Every line stays
// kept until it is acknowledged (and a while after), so that a resend request
// sends k and the lines after it again, in order, under their own numbers.
// Firmware drops what it has buffered when it asks for a line, and rejects each
// line sent before its request that arrives later (dropping its buffer again):
// so nothing goes out again until every line out has been answered, or, once
// the firmware has been quiet for a moment, it has answered a poke sent behind
// them: answers come in order, so no refusal of a line sent before is still to
// come that would send the lines a third time. The firmware's line number check keeps
// a numbered line from running twice; nothing keeps the rest of a line cut by
// that drop from running unchecked, so a window is for clean links only.
#pragma once

#include "serial/FirmwareWatch.h"
#include "serial/LineFraming.h"
#include "serial/SendState.h"

#include <cstdint>
#include <memory>

namespace vela {

class StreamWindow {
  public:
    // Common firmware's receive buffer (128 bytes; one stays free for its line
    // end handling): the least room a poke may count on.
    static constexpr uint32_t kDefaultBytes = 127;
    static constexpr uint32_t kMaxBytes = 4096;
    // Lines kept: those in flight and, below them, lines already acknowledged
    // that a resend request may still ask for.
    static constexpr uint32_t kKeptLines = 128;
    // Resend requests in a row (each sending lines again) without a line
    // acknowledged, before the window shrinks to one line in flight; as many
    // again and the document fails, as with one line in flight.
    static constexpr uint32_t kFallbackRequests = 10;

    enum class Step { None, SendKept, TakeNew, Poke };

    explicit StreamWindow(const SendTimings& timings = SendTimings{});

    // Starts streaming with the next new line numbered firstNumber. False when the
    // room for the kept lines cannot be had (the caller stays with one line).
    bool Start(uint32_t windowBytes, int32_t firstNumber, uint64_t now);

    SendFailure Failure() const { return watch_.Failure(); }
    int64_t FailureLine() const { return watch_.FailureLine(); }
    // Ten resend requests in a row: one line in flight for the rest of the document.
    bool FellBack() const { return fellBack_; }
    // Nothing in flight, nothing waiting to go out again.
    bool Idle() const;
    // Lines taken from the queue and not yet acknowledged.
    uint32_t Unacknowledged() const { return static_cast<uint32_t>(next_ - acknowledged_); }
    // The number of the newest line sent.
    int32_t LineNumber() const { return cursor_ - 1; }
    int32_t NextNewNumber() const { return next_; }
    bool LastAcknowledgedByPoke() const { return lastAckByPoke_; }

    Step NextStep(uint64_t now);
    // Whether a new framed line of this length may go out now. A line that sets
    // or restarts the numbering (barrier) goes only when nothing else is out.
    bool RoomFor(uint32_t framedLength, bool barrier) const;
    // Keeps a new framed line and counts it as sent. number is NextNewNumber(), or
    // 1 for a line that restarts the numbering; counterAfter >= 0 for a line that
    // sets the firmware's counter. Call only after RoomFor.
    void SendNew(const uint8_t* framed, uint32_t length, int32_t number, bool barrier,
                 int64_t counterAfter, uint64_t now);
    // The kept line that goes out again, counted as sent.
    void SendKept(const uint8_t** framed, uint32_t* length, uint64_t now);
    void OnPokeSent(uint64_t now);

    void OnBytesReceived(uint64_t now) { watch_.OnBytesReceived(now); }
    // One reply line. True when it belongs in the debugger output.
    bool OnReply(const uint8_t* line, uint32_t length, uint64_t now);
    // Gives up on everything in flight (cancel): the next line takes a fresh number.
    void Abandon();

    // How long the thread may wait before a timed step falls due.
    uint32_t WaitTime(uint64_t now) const;

  private:
    // A kept line holds what framing can produce.
    static constexpr uint32_t kLineBytes = kWriteBufferSize;

    uint8_t* Slot(int32_t number) const;
    uint32_t& KeptLength(int32_t number);
    uint32_t KeptLength(int32_t number) const;
    bool FitsInFlight(uint32_t length) const;
    // Bytes of the lines out and not acknowledged, and of the pokes out.
    uint32_t BytesOut() const;
    // After a resend request: the most the firmware's buffer may still hold, the
    // bytes of the lines (and pokes) not answered.
    uint32_t UnansweredBytes() const;
    // While recovering: waits for the lines out, pokes once they are quiet, and
    // ends the recovery when they are through.
    Step RecoveryStep(uint64_t now);
    // Fails the document once the firmware, poked, has been silent too long.
    void CheckSilence(uint64_t now);
    void Sent(uint64_t now);
    void Answered();
    void AcknowledgeThrough(int64_t number, uint64_t now);
    void OnOk(const uint8_t* line, uint32_t length, uint64_t now);
    void OnResendRequest(int64_t requested, uint64_t now);
    void OnPokeAnswer(uint64_t now);
    void EndRecovery();
    void Keep(int32_t first);

    SendTimings timings_;
    // Halts, restarts, busy notices, the poke's clock and the silence limit.
    FirmwareWatch watch_;
    std::unique_ptr<uint8_t[]> kept_;
    uint32_t keptLength_[kKeptLines] = {};
    uint32_t windowBytes_ = kDefaultBytes;
    // Kept lines are numbered from oldest_ to next_ - 1 without a gap; those below
    // acknowledged_ are through, those from cursor_ on wait to go out (again).
    int32_t base_ = 1;
    int32_t oldest_ = 1;
    int32_t acknowledged_ = 1;
    int32_t cursor_ = 1;
    int32_t next_ = 1;
    // Lines (and pokes) sent whose answer has not come.
    uint32_t unanswered_ = 0;
    // After a resend request: waiting for the lines still out to be answered or
    // dropped, before sending again from recoverTo_.
    bool recovering_ = false;
    int32_t recoverTo_ = 0;
    // The poke whose answer shows the lines out answered or dropped is out.
    bool drainPoked_ = false;
    uint64_t lastAnswerAt_ = 0;
    int64_t freeSlots_ = -1;
    bool awaitingResendOk_ = false;
    // Rewinds without a line acknowledged in between.
    uint32_t requestsInARow_ = 0;
    bool fellBack_ = false;
    bool barrierOut_ = false;
    int64_t counterAfter_ = -1;
    bool documentLineSent_ = false;
    // The pokes out, oldest first, each with the number of the first line sent
    // after it: its answer says the firmware has read every line before.
    static constexpr uint32_t kMaxPokesOut = 12;
    int32_t pokedBefore_[kMaxPokesOut] = {};
    uint32_t pokesOut_ = 0;
    bool lastAckByPoke_ = false;
};

} // namespace vela
