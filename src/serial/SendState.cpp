#include "serial/SendState.h"

#include "serial/ReplyParsing.h"

namespace vela {
namespace {

uint32_t Until(uint64_t deadline, uint64_t now) {
    return deadline <= now
               ? 0
               : static_cast<uint32_t>(deadline - now > 0xFFFFFFFFu ? 0xFFFFFFFFu : deadline - now);
}

} // namespace

SendStateMachine::SendStateMachine(const SendTimings& timings)
    : timings_(timings), watch_(timings.pokeAfterMs, timings.silenceLimitMs, timings.shortestPokeAfterMs) {}

void SendStateMachine::StartHandshake(uint64_t now) {
    *this = SendStateMachine(timings_);
    phase_ = Phase::Handshake;
    handshakeStartedAt_ = now;
    nextHandshakeAt_ = now;
    watch_.Start(now);
}

void SendStateMachine::ContinueAt(int32_t number, uint64_t now) {
    *this = SendStateMachine(timings_);
    lineNumber_ = number;
    newestNumber_ = number - 1;
    documentLineSent_ = true;
    watch_.Start(now);
}

void SendStateMachine::Abandon() {
    if (state_ != SendState::AwaitReply) {
        return;
    }
    pokeAnswerOwed_ = false;
    awaitingResendOk_ = false;
    currentFollowsPrevious_ = false;
    counterAfterCurrent_ = -1;
    ++lineNumber_;
    state_ = SendState::SendNext;
}

bool SendStateMachine::OnHandshakeReply(ReplyKind kind, FirmwareNotice notice, const uint8_t* line,
                                        uint32_t length, uint64_t now) {
    if (kind == ReplyKind::Resend) {
        // The handshake was damaged on the way: its "ok" closes the request, and
        // the handshake goes again at once.
        awaitingResendOk_ = true;
        resendRequestedAt_ = now;
        nextHandshakeAt_ = now;
        greetingAnswerBegun_ = false;
        return false;
    }
    if (notice == FirmwareNotice::Restart) {
        // Booted: whatever came before is lost, and the board listens now.
        awaitingResendOk_ = false;
        greetingAnswerBegun_ = false;
        nextHandshakeAt_ = now;
        return true;
    }
    if (notice == FirmwareNotice::Busy) {
        // Still at an earlier command: the greeting is answered after it, and one
        // more would leave an answer over for the document's first line.
        nextHandshakeAt_ = now + timings_.handshakeRetryMs;
    }
    if (kind != ReplyKind::Ok) {
        return kind == ReplyKind::Echo || kind == ReplyKind::Error;
    }
    if (awaitingResendOk_) {
        awaitingResendOk_ = false;
        return false;
    }
    if (IsTemperatureReport(line, length)) {
        greetingAnswerBegun_ = true;
        return false;
    }
    const int64_t answered = ParseOkNumbers(line, length).line;
    if (!greetingAnswerBegun_ || answered > 0) {
        // Left over from before the greeting.
        greetingAnswerBegun_ = false;
        return false;
    }
    phase_ = Phase::Streaming;
    state_ = SendState::SendNext;
    lineNumber_ = 1;
    return false;
}

bool SendStateMachine::OnReply(const uint8_t* line, uint32_t length, uint64_t now) {
    // The greeting concerns no line; a restart during it is the greeting's cue.
    const bool handshake = phase_ == Phase::Handshake;
    const FirmwareNotice notice = watch_.OnReply(line, length, !handshake && documentLineSent_,
                                                 handshake ? 0 : lineNumber_, now);
    if (notice == FirmwareNotice::Failed) {
        return true;
    }
    const ReplyKind kind = ClassifyReply(line, length);
    if (handshake) {
        return OnHandshakeReply(kind, notice, line, length, now);
    }
    switch (kind) {
    case ReplyKind::Ok:
        if (pokeAnswerOwed_ && IsTemperatureReport(line, length)) {
            // The poke's answer stands in for an "ok" that never came; after a late
            // one it has nothing left to acknowledge. The firmware answers in order:
            // an "ok" still owed from before the poke is not coming any more.
            pokeAnswerOwed_ = false;
            okMayBeOwed_ = false;
            settlingPokeOut_ = false;
            if (!acknowledgedSincePoke_ && state_ == SendState::AwaitReply) {
                Acknowledge();
                // A line lost on the way would also be answered so: only a later
                // line's own "ok" shows that it arrived.
                lastAckByPoke_ = true;
            }
            return false;
        }
        if (awaitingResendOk_) {
            // The "ok" that closes a resend request acknowledges no line.
            awaitingResendOk_ = false;
            return false;
        }
        // With one line in flight, an "ok" while none is out is a stray: the one
        // owed, when one was.
        if (state_ == SendState::AwaitReply) {
            watch_.OnLineAnswered(now);
            Acknowledge();
        } else if (okMayBeOwed_) {
            okMayBeOwed_ = false;
        } else if (settlingPokeOut_) {
            // Firmware that answers the poke without its temperatures.
            settlingPokeOut_ = false;
            pokeAnswerOwed_ = false;
        }
        return false;
    case ReplyKind::Echo:
    case ReplyKind::Temperature:
    case ReplyKind::Error:
        return true;
    case ReplyKind::Resend: {
        int64_t requested = 0;
        if (ParseResendNumber(line, length, &requested)) {
            OnResendRequest(requested, now);
        }
        return false;
    }
    case ReplyKind::Wait:
    case ReplyKind::Other:
        break;
    }
    return false;
}

void SendStateMachine::Acknowledge() {
    if (pokeAnswerOwed_) {
        acknowledgedSincePoke_ = true;
    }
    lastAckByPoke_ = false;
    lastAckInDoubt_ = okMayBeOwed_;
    resendRepeats_ = 0;
    if (currentFollowsPrevious_) {
        // The previous line is through; the current one goes again under its number.
        currentFollowsPrevious_ = false;
        state_ = currentNumber_ != 0 ? SendState::ResendCurrent : SendState::SendNext;
        return;
    }
    if (counterAfterCurrent_ >= 0 && counterAfterCurrent_ < 0x7FFFFFFF) {
        // The line set the firmware's counter.
        lineNumber_ = static_cast<int32_t>(counterAfterCurrent_) + 1;
        newestNumber_ = static_cast<int32_t>(counterAfterCurrent_);
        counterAfterCurrent_ = -1;
    } else {
        ++lineNumber_;
    }
    state_ = SendState::SendNext;
}

void SendStateMachine::OnResendRequest(int64_t requested, uint64_t now) {
    resendRepeats_ = requested == resendRequested_ ? resendRepeats_ + 1 : 1;
    resendRequested_ = requested;
    if (resendRepeats_ >= kResendLimit) {
        watch_.Fail(SendFailure::Rejected, requested);
        return;
    }
    watch_.PutOffPoke(now);
    // Every line goes out again under the number it first went out with.
    currentFollowsPrevious_ = false;
    // Counted from the newest line sent, not from lineNumber_: while an older line
    // waits to go out again, lineNumber_ may already be the next new number.
    const int64_t nextNew = static_cast<int64_t>(newestNumber_) + 1;
    if (currentNumber_ != 0 && requested == currentNumber_) {
        lineNumber_ = currentNumber_;
        state_ = SendState::ResendCurrent;
    } else if (previousNumber_ != 0 && requested == previousNumber_) {
        if (currentNumber_ != 0) {
            lineNumber_ = currentNumber_;
        }
        state_ = SendState::ResendPrevious;
    } else if (requested == nextNew) {
        // The firmware has the line that is out; move on.
        lineNumber_ = static_cast<int32_t>(requested);
        state_ = SendState::SendNext;
    } else if (currentNumber_ != 0) {
        lineNumber_ = currentNumber_;
        state_ = SendState::ResendCurrent;
    } else {
        state_ = SendState::SendNext;
    }
    awaitingResendOk_ = true;
    resendRequestedAt_ = now;
}

void SendStateMachine::SettleAnswers() {
    if (phase_ == Phase::Streaming && !watch_.Failed() && state_ == SendState::SendNext &&
        okMayBeOwed_ && !settlingPokeOut_) {
        settlingPokeDue_ = true;
    }
}

bool SendStateMachine::Silent() const {
    return (state_ == SendState::AwaitReply && watch_.Poked()) || settlingPokeOut_;
}

bool SendStateMachine::PokeDue(uint64_t now) const {
    return state_ == SendState::AwaitReply && !watch_.Poked() && watch_.PokeDueIn(now) == 0;
}

void SendStateMachine::CheckLimits(uint64_t now) {
    if (phase_ == Phase::Handshake) {
        if (Remaining(handshakeStartedAt_, timings_.handshakeLimitMs, now) == 0) {
            watch_.Fail(SendFailure::NotReady, 0);
        }
    } else {
        watch_.CheckSilence(Silent(), lineNumber_, now);
    }
}

SendAction SendStateMachine::NextAction(uint64_t now) {
    CheckLimits(now);
    if (watch_.Failed()) {
        return SendAction::None;
    }
    if (awaitingResendOk_) {
        if (Remaining(resendRequestedAt_, timings_.resendOkWaitMs, now) > 0) {
            return SendAction::None;
        }
        // Firmware that sends no "ok" after its request, or one that is late.
        awaitingResendOk_ = false;
        okMayBeOwed_ = true;
    }
    if (phase_ == Phase::Handshake) {
        if (Until(nextHandshakeAt_, now) != 0) {
            return SendAction::None;
        }
        // The greeting that went unanswered may still be answered.
        okMayBeOwed_ |= nextHandshakeAt_ != handshakeStartedAt_;
        return SendAction::Handshake;
    }
    switch (state_) {
    case SendState::SendNext:
        if (settlingPokeDue_) {
            return SendAction::Poke;
        }
        // Nothing more goes before the settling poke's answer.
        return settlingPokeOut_ ? SendAction::None : SendAction::Advance;
    case SendState::ResendCurrent:
        return SendAction::CopyCurrent;
    case SendState::ResendPrevious:
        return SendAction::CopyPrevious;
    case SendState::AwaitReply:
        return PokeDue(now) ? SendAction::Poke : SendAction::None;
    }
    return SendAction::None;
}

bool SendStateMachine::OnNoLine(SendAction action) {
    switch (action) {
    case SendAction::Advance:
        // The queue shifted all the same: the previous line is gone.
        previousNumber_ = currentNumber_;
        currentNumber_ = 0;
        return false;
    case SendAction::CopyPrevious:
        // Nothing kept to go back to: the current line is the best answer.
        currentFollowsPrevious_ = false;
        state_ = currentNumber_ != 0 ? SendState::ResendCurrent : SendState::SendNext;
        return true;
    case SendAction::CopyCurrent:
        // Nothing went out that could be sent again.
        state_ = SendState::SendNext;
        return true;
    case SendAction::Poke:
    case SendAction::Handshake:
    case SendAction::None:
        break;
    }
    return false;
}

void SendStateMachine::OnLineSkipped() {
    previousNumber_ = currentNumber_;
    currentNumber_ = 0;
    state_ = SendState::SendNext;
}

int32_t SendStateMachine::NumberFor(SendAction action, bool beginsWithN0) const {
    if (action == SendAction::Advance && beginsWithN0) {
        return 1;
    }
    if (action == SendAction::CopyPrevious) {
        return previousNumber_;
    }
    return lineNumber_;
}

int32_t SendStateMachine::OnLineSent(SendAction action, bool beginsWithN0, uint64_t now,
                                     int64_t counterAfter, bool longCommand) {
    if (action == SendAction::Handshake) {
        nextHandshakeAt_ = now + timings_.handshakeRetryMs;
        return 0;
    }
    if (action == SendAction::Poke) {
        settlingPokeOut_ = settlingPokeDue_;
        settlingPokeDue_ = false;
        watch_.OnPokeSent(now);
        pokeAnswerOwed_ = true;
        acknowledgedSincePoke_ = false;
        return lineNumber_;
    }
    const int32_t number = NumberFor(action, beginsWithN0);
    if (action == SendAction::Advance) {
        lineNumber_ = number;
        previousNumber_ = currentNumber_;
        currentNumber_ = number;
        counterAfterCurrent_ = counterAfter;
        documentLineSent_ = true;
        newestNumber_ = number;
    } else if (action == SendAction::CopyPrevious) {
        currentFollowsPrevious_ = true;
    }
    state_ = SendState::AwaitReply;
    watch_.QuietFrom(now);
    watch_.ForgetPoke();
    watch_.OnLineSent(now, longCommand);
    return number;
}

uint32_t SendStateMachine::WaitTime(uint64_t now) const {
    uint32_t wait = kLoopWaitMs;
    const auto until = [&](uint32_t left) { wait = left < wait ? left : wait; };
    if (watch_.Failed()) {
        return wait;
    }
    // The same order as NextAction: the limits, then the resend request's "ok",
    // which holds back every action while it is awaited, then what is due.
    if (phase_ == Phase::Handshake) {
        until(Remaining(handshakeStartedAt_, timings_.handshakeLimitMs, now));
    }
    if (Silent()) {
        until(watch_.SilenceLeft(now));
    }
    if (awaitingResendOk_) {
        until(Remaining(resendRequestedAt_, timings_.resendOkWaitMs, now));
    } else if (phase_ == Phase::Handshake) {
        until(Until(nextHandshakeAt_, now));
    } else if (state_ == SendState::AwaitReply && !watch_.Poked()) {
        until(watch_.PokeDueIn(now));
    }
    return wait;
}

} // namespace vela
