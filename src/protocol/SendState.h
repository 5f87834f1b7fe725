// The send side of the line protocol: which line goes out next and under which
// number, driven by the firmware's replies and by time. Free of I/O: the handler
// thread feeds it replies and the time, and carries out what it decides.
#pragma once

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
enum class SendAction { None, Advance, CopyCurrent, CopyPrevious, Poke };

// The thread's loop wakes at least this often.
constexpr uint32_t kLoopWaitMs = 1000;
// After a resend request the firmware usually sends one "ok"; some send none.
constexpr uint32_t kResendOkWaitMs = 500;
// A line unacknowledged this long with the firmware silent draws a temperature poke.
constexpr uint32_t kPokeAfterMs = 30000;

struct SendTimings {
    uint32_t resendOkWaitMs = kResendOkWaitMs;
    uint32_t pokeAfterMs = kPokeAfterMs;
};

// The unnumbered line of the poke; firmware answers it with "ok T:...".
constexpr char kPokeLine[] = "M105\n";

class SendStateMachine {
  public:
    explicit SendStateMachine(const SendTimings& timings = SendTimings{});

    // Any bytes from the firmware: it is alive, whatever they say.
    void OnBytesReceived(uint64_t now);
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
    // (not used for the poke). beginsWithN0 restarts numbering for a new line.
    int32_t OnLineSent(SendAction action, bool beginsWithN0, uint64_t now);

    // How long the thread may wait before a timed step falls due; at most kLoopWaitMs.
    uint32_t WaitTime(uint64_t now) const;

    SendState State() const { return state_; }
    int32_t LineNumber() const { return lineNumber_; }

  private:
    void Acknowledge();
    void OnResendRequest(int64_t requested, uint64_t now);
    bool PokeDue(uint64_t now) const;

    SendTimings timings_;
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
    // The waiting line's clock restarts with every byte from the firmware.
    uint64_t quietSince_ = 0;
    bool pokedThisLine_ = false;
    bool pokeAnswerOwed_ = false;
    bool acknowledgedSincePoke_ = false;
};

} // namespace vela
