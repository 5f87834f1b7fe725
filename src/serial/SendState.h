// The send side of the line protocol: which line goes out next and under which
// number, driven by the firmware's replies and by time. Free of I/O: the handler
// thread feeds it replies and the time, and carries out what it decides.
#pragma once

#include "serial/FirmwareWatch.h"
#include "serial/ReplyParsing.h"

#include <cstdint>

namespace vela {

// "ok" acts only in the states below ResendCurrent.
enum class SendState : int {
    AwaitReply = 0,     // a line is out; nothing more goes until a reply moves on
    SendNext = 1,       // advance the outgoing queue and send what it hands out
    ResendCurrent = 2,  // send the queue's current line again
    ResendPrevious = 3, // send the queue's previous line again, then the current one
};

// What the send step does in this pass.
enum class SendAction { None, Advance, CopyCurrent, CopyPrevious, Poke, Handshake };

// The thread's loop wakes at least this often.
constexpr uint32_t kLoopWaitMs = 1000;
// After a resend request the firmware usually sends one "ok"; some send none.
constexpr uint32_t kResendOkWaitMs = 500;
// The handshake goes out again this often, and gives up after the limit.
constexpr uint32_t kHandshakeRetryMs = 2000;
constexpr uint32_t kHandshakeLimitMs = 20000;
// Resend requests for one line, without progress, before the document fails.
constexpr uint32_t kResendLimit = 10;

// With lines streamed ahead, a resend request waits until the firmware has been
// quiet this long (the lines still out answered or dropped) before lines go again.
constexpr uint32_t kResendDrainMs = 20;

struct SendTimings {
    uint32_t resendOkWaitMs = kResendOkWaitMs;
    uint32_t resendDrainMs = kResendDrainMs;
    uint32_t pokeAfterMs = kPokeAfterMs;
    // The shortest wait the link's answer times can bring the poke down to.
    uint32_t shortestPokeAfterMs = kShortestPokeAfterMs;
    uint32_t silenceLimitMs = kSilenceLimitMs;
    uint32_t handshakeRetryMs = kHandshakeRetryMs;
    uint32_t handshakeLimitMs = kHandshakeLimitMs;
};

// The unnumbered line of the poke; firmware answers it with "ok T:...".
constexpr char kPokeLine[] = "M105\n";
// Sets the firmware's line counter to 0, so that the first line is number 1.
constexpr char kHandshakeLine[] = "N0 M110 N0*125\n";
// The greeting: the temperature query, then the counter line. Only its answer
// pair, "ok T:..." and right after it a plain "ok" (of line 0, if it names one),
// completes it: an "ok" left over from before (a last line's, a poke's, boot
// chatter's) is never taken for it, since the firmware answers in order.
constexpr char kGreeting[] = "M105\nN0 M110 N0*125\n";
// The first greeting of a connection asks the firmware what it is first; its
// answer ends with an "ok" that comes before the temperature report, and is no
// answer to the greeting.
constexpr char kIdentifyingGreeting[] = "M115\nM105\nN0 M110 N0*125\n";

class SendStateMachine {
  public:
    explicit SendStateMachine(const SendTimings& timings = SendTimings{});

    // Starts a document: the handshake goes out before any line, and the lines
    // are numbered from 1 once it is answered. Without it the machine streams at
    // once (as after a completed handshake).
    void StartHandshake(uint64_t now);
    bool Handshaking() const { return phase_ == Phase::Handshake && !watch_.Failed(); }
    // Every speed had its round without an answer.
    void GiveUpHandshake() { watch_.Fail(SendFailure::NotReady, 0); }
    // Streams on from another sender: the next line is numbered number.
    void ContinueAt(int32_t number, uint64_t now);
    SendFailure Failure() const { return watch_.Failure(); }
    // The line number the failure concerns (the rejected line, the line waiting).
    int64_t FailureLine() const { return watch_.FailureLine(); }
    // A line is out and not yet acknowledged.
    bool LineInFlight() const { return state_ == SendState::AwaitReply; }
    // Gives up waiting for the line in flight: the next line takes the next number.
    void Abandon();
    // The last line was acknowledged only by the poke's answer: it may have been
    // lost on the way.
    bool LastAcknowledgedByPoke() const { return lastAckByPoke_; }
    // Nothing out and nothing owed: an "ok" now would acknowledge nothing.
    bool Idle() const { return state_ == SendState::SendNext && !awaitingResendOk_; }
    // The last line's acknowledgement proves nothing: the poke's answer gave it, or
    // it came while an "ok" owed to an earlier line could still arrive (and so may
    // have been that "ok").
    bool LastAcknowledgementInDoubt() const { return lastAckByPoke_ || lastAckInDoubt_; }
    // An "ok" owed to an earlier line may still arrive (a resend request's "ok"
    // that did not come in time, a greeting sent again), or the answer to
    // SettleAnswers' poke: until then a plain "ok" may not be the line's own.
    bool AnswersOutstanding() const { return okMayBeOwed_ || settlingPokeOut_; }
    // An "ok" owed to a line given up on (a cancel's) may still arrive.
    void AnswerMayStillCome() { okMayBeOwed_ = true; }
    // With nothing in flight, sends a poke whose answer, coming after every reply
    // to what went before it, settles AnswersOutstanding.
    void SettleAnswers();

    // Any bytes from the firmware: it is alive, whatever they say.
    void OnBytesReceived(uint64_t now) { watch_.OnBytesReceived(now); }
    // One reply line, with its end. True when the line belongs in the debugger output.
    bool OnReply(const uint8_t* line, uint32_t length, uint64_t now);

    // What the send step should do now; only asked when no write is outstanding.
    SendAction NextAction(uint64_t now);
    // The queue handed out no line for the action (for Advance, it still shifted its
    // slots). True when another action may be tried in the same pass.
    bool OnNoLine(SendAction action);
    // The advanced line cannot be framed and is skipped; the next line takes its number.
    void OnLineSkipped();
    // The number a line taken for the action would go out under.
    int32_t NumberFor(SendAction action, bool beginsWithN0) const;
    // The line for the action is being written; returns the number to frame it with
    // (not used for the poke). beginsWithN0 restarts numbering for a new line;
    // counterAfter >= 0 for a line that sets the firmware's counter ("M110 N<k>"):
    // the line after it is numbered counterAfter + 1. longCommand for a line that
    // may run long without a word (see IsLongCommand): its poke keeps the full wait.
    int32_t OnLineSent(SendAction action, bool beginsWithN0, uint64_t now,
                       int64_t counterAfter = -1, bool longCommand = false);

    // How long the thread may wait before a timed step falls due; at most kLoopWaitMs.
    uint32_t WaitTime(uint64_t now) const;

    SendState State() const { return state_; }
    int32_t LineNumber() const { return lineNumber_; }

  private:
    // A failure ends either phase; the watch records it.
    enum class Phase { Handshake, Streaming };

    void Acknowledge();
    void OnResendRequest(int64_t requested, uint64_t now);
    bool OnHandshakeReply(ReplyKind kind, FirmwareNotice notice, const uint8_t* line,
                          uint32_t length, uint64_t now);
    bool PokeDue(uint64_t now) const;
    // A poke has been sent and the firmware owes an answer: its silence counts.
    bool Silent() const;
    // Gives up when a limit of the handshake or of silence has run out.
    void CheckLimits(uint64_t now);

    SendTimings timings_;
    FirmwareWatch watch_;
    Phase phase_ = Phase::Streaming;
    uint64_t handshakeStartedAt_ = 0;
    uint64_t nextHandshakeAt_ = 0;
    // The greeting's "ok T:" came; its plain "ok" is next.
    bool greetingAnswerBegun_ = false;
    // Resend requests in a row for one number, without an "ok" in between.
    int64_t resendRequested_ = 0;
    uint32_t resendRepeats_ = 0;
    // A line of the document has gone out since the handshake.
    bool documentLineSent_ = false;
    // The current line sets the firmware's counter to this value (-1: it does not).
    int64_t counterAfterCurrent_ = -1;
    SendState state_ = SendState::SendNext;
    int32_t lineNumber_ = 1;
    // Numbers of the lines in the outgoing queue's current and previous slots, as
    // they went out; 0 for an empty slot or a line that never went out.
    int32_t currentNumber_ = 0;
    int32_t previousNumber_ = 0;
    // Number of the newest line that went out; a request for the one after it means
    // the firmware has everything sent.
    int32_t newestNumber_ = 0;
    // A resend request holds the next line until its trailing "ok" or the time-out.
    bool awaitingResendOk_ = false;
    uint64_t resendRequestedAt_ = 0;
    // The previous line went out again; the current one follows it.
    bool currentFollowsPrevious_ = false;
    // The waiting line's poke clock (the watch's) restarts when it goes out, and on
    // a resend request or busy notice for it; one poke at most for each line.
    bool pokeAnswerOwed_ = false;
    bool acknowledgedSincePoke_ = false;
    bool lastAckByPoke_ = false;
    // See AnswersOutstanding; a plain "ok" with nothing in flight, or a poke's
    // answer, is the owed "ok" or shows that none is coming.
    bool okMayBeOwed_ = false;
    bool lastAckInDoubt_ = false;
    // SettleAnswers asked for a poke with nothing in flight; it is out.
    bool settlingPokeDue_ = false;
    bool settlingPokeOut_ = false;
};

} // namespace vela
