#include "protocol/SendState.h"

#include "protocol/ReplyParsing.h"

namespace vela {
namespace {

uint32_t Remaining(uint64_t since, uint32_t span, uint64_t now) {
    const uint64_t elapsed = now >= since ? now - since : 0;
    return elapsed >= span ? 0 : static_cast<uint32_t>(span - elapsed);
}

} // namespace

SendStateMachine::SendStateMachine(const SendTimings& timings) : timings_(timings) {}

void SendStateMachine::OnBytesReceived(uint64_t now) {
    if (now > quietSince_) {
        quietSince_ = now;
    }
}

bool SendStateMachine::OnReply(const uint8_t* line, uint32_t length, uint64_t now) {
    switch (ClassifyReply(line, length)) {
    case ReplyKind::Ok:
        if (pokeAnswerOwed_ && IsTemperatureReport(line, length)) {
            // The poke's answer stands in for an "ok" that never came; after a late
            // one it has nothing left to acknowledge.
            pokeAnswerOwed_ = false;
            if (!acknowledgedSincePoke_ && state_ == SendState::AwaitReply) {
                Acknowledge();
            }
            return false;
        }
        if (awaitingResendOk_) {
            // The "ok" that closes a resend request acknowledges no line.
            awaitingResendOk_ = false;
            return false;
        }
        // With one line in flight, an "ok" while none is out is a stray.
        if (state_ == SendState::AwaitReply) {
            Acknowledge();
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
    if (currentFollowsPrevious_) {
        // The previous line is through; the current one goes again under its number.
        currentFollowsPrevious_ = false;
        state_ = currentNumber_ != 0 ? SendState::ResendCurrent : SendState::SendNext;
        return;
    }
    ++lineNumber_;
    state_ = SendState::SendNext;
}

void SendStateMachine::OnResendRequest(int64_t requested, uint64_t now) {
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

bool SendStateMachine::PokeDue(uint64_t now) const {
    return state_ == SendState::AwaitReply && !pokedThisLine_ &&
           Remaining(quietSince_, timings_.pokeAfterMs, now) == 0;
}

SendAction SendStateMachine::NextAction(uint64_t now) {
    if (awaitingResendOk_) {
        if (Remaining(resendRequestedAt_, timings_.resendOkWaitMs, now) > 0) {
            return SendAction::None;
        }
        // Firmware that sends no "ok" after its request.
        awaitingResendOk_ = false;
    }
    switch (state_) {
    case SendState::SendNext:
        return SendAction::Advance;
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

int32_t SendStateMachine::OnLineSent(SendAction action, bool beginsWithN0, uint64_t now) {
    if (action == SendAction::Poke) {
        pokedThisLine_ = true;
        pokeAnswerOwed_ = true;
        acknowledgedSincePoke_ = false;
        return lineNumber_;
    }
    const int32_t number = NumberFor(action, beginsWithN0);
    if (action == SendAction::Advance) {
        lineNumber_ = number;
        previousNumber_ = currentNumber_;
        currentNumber_ = number;
        newestNumber_ = number;
    } else if (action == SendAction::CopyPrevious) {
        currentFollowsPrevious_ = true;
    }
    state_ = SendState::AwaitReply;
    quietSince_ = now;
    pokedThisLine_ = false;
    return number;
}

uint32_t SendStateMachine::WaitTime(uint64_t now) const {
    uint32_t wait = kLoopWaitMs;
    if (awaitingResendOk_) {
        const uint32_t left = Remaining(resendRequestedAt_, timings_.resendOkWaitMs, now);
        wait = left < wait ? left : wait;
    }
    if (state_ == SendState::AwaitReply && !pokedThisLine_) {
        const uint32_t left = Remaining(quietSince_, timings_.pokeAfterMs, now);
        wait = left < wait ? left : wait;
    }
    return wait;
}

} // namespace vela
