#include "protocol/StreamWindow.h"

#include "protocol/ReplyParsing.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vela {
namespace {

uint32_t Remaining(uint64_t since, uint32_t span, uint64_t now) {
    const uint64_t elapsed = now >= since ? now - since : 0;
    return elapsed >= span ? 0 : static_cast<uint32_t>(span - elapsed);
}

} // namespace

StreamWindow::StreamWindow(const SendTimings& timings) : timings_(timings) {}

bool StreamWindow::Start(uint32_t windowBytes, int32_t firstNumber, uint64_t now) {
    if (kept_ == nullptr) {
        kept_.reset(new (std::nothrow) uint8_t[kKeptLines * kLineBytes]);
        if (kept_ == nullptr) {
            return false;
        }
    }
    windowBytes_ = std::min(std::max(windowBytes, 1u), kMaxBytes);
    Keep(firstNumber);
    sentHead_ = sentCount_ = sentLines_ = sentBytes_ = 0;
    freeSlots_ = -1;
    awaitingResendOk_ = recovering_ = fellBack_ = barrierOut_ = false;
    documentLineSent_ = poked_ = lastAckByPoke_ = false;
    requestsInARow_ = sameLineRequests_ = 0;
    lastRequested_ = 0;
    counterAfter_ = -1;
    lastByteAt_ = quietSince_ = now;
    failure_ = SendFailure::None;
    failureLine_ = 0;
    return true;
}

void StreamWindow::Keep(int32_t first) {
    base_ = oldest_ = acknowledged_ = cursor_ = next_ = first;
}

bool StreamWindow::Idle() const {
    return sentCount_ == 0 && acknowledged_ == next_ && !recovering_;
}

uint8_t* StreamWindow::Slot(int32_t number) const {
    const auto index = static_cast<uint32_t>(number - base_) % kKeptLines;
    return kept_.get() + static_cast<size_t>(index) * kLineBytes;
}

bool StreamWindow::FitsInFlight(uint32_t length) const {
    // The slots the firmware reported free, at least one line: with none free it
    // still takes a line into its receive buffer.
    uint32_t lines = kKeptLines;
    if (fellBack_) {
        lines = 1;
    } else if (freeSlots_ >= 0) {
        lines = static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(freeSlots_, 1), lines));
    }
    if (sentLines_ == 0) {
        return true;
    }
    return sentLines_ < lines && sentBytes_ + length <= windowBytes_;
}

bool StreamWindow::RoomFor(uint32_t framedLength, bool barrier) const {
    if (failure_ != SendFailure::None || recovering_ || barrierOut_ || cursor_ != next_ ||
        framedLength > kLineBytes) {
        return false;
    }
    if (barrier) {
        return sentCount_ == 0 && acknowledged_ == next_;
    }
    // A kept line that may still be asked for is never overwritten.
    if (static_cast<uint32_t>(next_ - oldest_) >= kKeptLines && oldest_ >= acknowledged_) {
        return false;
    }
    return FitsInFlight(framedLength);
}

StreamWindow::Step StreamWindow::NextStep(uint64_t now) {
    if (failure_ == SendFailure::None && poked_ && sentCount_ > 0 &&
        Remaining(lastByteAt_, timings_.silenceLimitMs, now) == 0) {
        Fail(SendFailure::StoppedAnswering, acknowledged_);
    }
    if (failure_ != SendFailure::None) {
        return Step::None;
    }
    if (sentCount_ > 0 && !poked_ && Remaining(quietSince_, timings_.pokeAfterMs, now) == 0) {
        return Step::Poke;
    }
    if (recovering_) {
        return Step::None;
    }
    if (cursor_ < next_) {
        return FitsInFlight(keptLength_[static_cast<uint32_t>(cursor_ - base_) % kKeptLines])
                   ? Step::SendKept
                   : Step::None;
    }
    return barrierOut_ ? Step::None : Step::TakeNew;
}

void StreamWindow::Push(int32_t number, uint32_t length, uint64_t now) {
    if (sentCount_ == kSentCapacity) {
        Pop();
    }
    if (number != kPokeNumber) {
        if (sentLines_ == 0) {
            // The poke's clock starts with the first line out.
            quietSince_ = now;
        }
        ++sentLines_;
        sentBytes_ += length;
    }
    sent_[(sentHead_ + sentCount_) % kSentCapacity] = Sent{number, length};
    ++sentCount_;
}

StreamWindow::Sent StreamWindow::Pop() {
    const Sent front = sent_[sentHead_];
    sentHead_ = (sentHead_ + 1) % kSentCapacity;
    --sentCount_;
    if (front.number != kPokeNumber) {
        --sentLines_;
        sentBytes_ -= front.length;
    }
    return front;
}

void StreamWindow::SendNew(const uint8_t* framed, uint32_t length, int32_t number, bool barrier,
                           int64_t counterAfter, uint64_t now) {
    if (barrier) {
        Keep(number);
        barrierOut_ = true;
        counterAfter_ = counterAfter;
    } else if (static_cast<uint32_t>(next_ - oldest_) >= kKeptLines) {
        ++oldest_;
    }
    std::memcpy(Slot(next_), framed, length);
    keptLength_[static_cast<uint32_t>(next_ - base_) % kKeptLines] = static_cast<uint16_t>(length);
    ++next_;
    cursor_ = next_;
    documentLineSent_ = true;
    Push(number, length, now);
}

void StreamWindow::SendKept(const uint8_t** framed, uint32_t* length, uint64_t now) {
    *framed = Slot(cursor_);
    *length = keptLength_[static_cast<uint32_t>(cursor_ - base_) % kKeptLines];
    Push(cursor_, *length, now);
    ++cursor_;
}

void StreamWindow::OnPokeSent(uint64_t now) {
    poked_ = true;
    Push(kPokeNumber, 0, now);
}

void StreamWindow::OnBytesReceived(uint64_t now) {
    lastByteAt_ = std::max(lastByteAt_, now);
}

bool StreamWindow::OnReply(const uint8_t* line, uint32_t length, uint64_t now) {
    if (failure_ != SendFailure::None) {
        return true;
    }
    if (IsHaltNotice(line, length)) {
        Fail(SendFailure::Halted, LineNumber());
        return true;
    }
    if (IsRestartNotice(line, length) && documentLineSent_) {
        Fail(SendFailure::Restarted, LineNumber());
        return true;
    }
    if (IsBusyNotice(line, length)) {
        quietSince_ = std::max(quietSince_, now);
    }
    switch (ClassifyReply(line, length)) {
    case ReplyKind::Ok:
        OnOk(line, length, now);
        return false;
    case ReplyKind::Resend: {
        int64_t requested = 0;
        if (ParseResendNumber(line, length, &requested)) {
            OnResendRequest(requested, now);
        }
        return false;
    }
    case ReplyKind::Echo:
    case ReplyKind::Temperature:
    case ReplyKind::Error:
        return true;
    case ReplyKind::Wait:
    case ReplyKind::Other:
        break;
    }
    return false;
}

void StreamWindow::OnOk(const uint8_t* line, uint32_t length, uint64_t now) {
    bool pokeOut = false;
    for (uint32_t index = 0; index < sentCount_ && !pokeOut; ++index) {
        pokeOut = sent_[(sentHead_ + index) % kSentCapacity].number == kPokeNumber;
    }
    if (pokeOut && IsTemperatureReport(line, length)) {
        OnPokeAnswer(now);
        return;
    }
    const OkNumbers numbers = ParseOkNumbers(line, length);
    if (numbers.freeSlots >= 0) {
        freeSlots_ = numbers.freeSlots;
    }
    if (awaitingResendOk_) {
        // The "ok" that closes a resend request answers no line.
        awaitingResendOk_ = false;
        return;
    }
    if (sentCount_ == 0) {
        return;
    }
    quietSince_ = now;
    if (barrierOut_) {
        // A line that sets the counter is answered under the number it sets.
        while (sentCount_ > 0) {
            Pop();
        }
        AcknowledgeThrough(next_ - 1, now);
    } else if (numbers.line >= 0) {
        while (sentCount_ > 0 && sent_[sentHead_].number != kPokeNumber &&
               sent_[sentHead_].number <= numbers.line) {
            Pop();
        }
        AcknowledgeThrough(numbers.line, now);
    } else {
        const Sent answered = Pop();
        if (answered.number == kPokeNumber) {
            OnPokeAnswer(now);
            return;
        }
        AcknowledgeThrough(answered.number, now);
    }
    if (recovering_ && sentCount_ == 0) {
        EndRecovery();
    }
}

void StreamWindow::AcknowledgeThrough(int64_t number, uint64_t now) {
    if (number < acknowledged_ || number >= next_) {
        return;
    }
    acknowledged_ = static_cast<int32_t>(number) + 1;
    cursor_ = std::max(cursor_, acknowledged_);
    requestsInARow_ = 0;
    sameLineRequests_ = 0;
    lastAckByPoke_ = false;
    poked_ = false;
    quietSince_ = now;
    if (barrierOut_ && acknowledged_ == next_) {
        barrierOut_ = false;
        if (counterAfter_ >= 0 && counterAfter_ < 0x7FFFFFFF) {
            Keep(static_cast<int32_t>(counterAfter_) + 1);
        }
        counterAfter_ = -1;
    }
}

void StreamWindow::OnResendRequest(int64_t requested, uint64_t now) {
    awaitingResendOk_ = true;
    quietSince_ = now;
    if (sentCount_ > 0) {
        Pop();
    }
    // The firmware has every line before the one it asks for.
    AcknowledgeThrough(requested - 1, now);
    if (recovering_) {
        // An answer to a line sent before the first request.
        recoverTo_ = static_cast<int32_t>(std::max<int64_t>(requested, oldest_));
    } else {
        if (requested >= next_) {
            return;
        }
        if (requested < oldest_) {
            Fail(SendFailure::Rejected, requested);
            return;
        }
        sameLineRequests_ = requested == lastRequested_ ? sameLineRequests_ + 1 : 1;
        lastRequested_ = requested;
        if (fellBack_ && sameLineRequests_ >= kResendLimit) {
            Fail(SendFailure::Rejected, requested);
            return;
        }
        if (++requestsInARow_ >= kFallbackRequests) {
            fellBack_ = true;
        }
        recovering_ = true;
        recoverTo_ = static_cast<int32_t>(requested);
    }
    if (sentCount_ == 0) {
        EndRecovery();
    }
}

void StreamWindow::OnPokeAnswer(uint64_t now) {
    // Everything sent before the poke has been read: answers that never came were lost.
    int64_t newest = -1;
    while (sentCount_ > 0) {
        const Sent answered = Pop();
        if (answered.number == kPokeNumber) {
            break;
        }
        newest = std::max<int64_t>(newest, answered.number);
    }
    quietSince_ = now;
    if (recovering_) {
        if (sentCount_ == 0) {
            EndRecovery();
        }
        return;
    }
    if (newest >= acknowledged_) {
        AcknowledgeThrough(newest, now);
        // A line lost on the way would be answered so too.
        lastAckByPoke_ = true;
    }
}

void StreamWindow::EndRecovery() {
    recovering_ = false;
    sentHead_ = sentCount_ = sentLines_ = sentBytes_ = 0;
    poked_ = false;
    // Lines from the one asked for on are not the firmware's, whatever was
    // counted as acknowledged before.
    acknowledged_ = std::min(acknowledged_, recoverTo_);
    cursor_ = recoverTo_;
}

void StreamWindow::Abandon() {
    sentHead_ = sentCount_ = sentLines_ = sentBytes_ = 0;
    recovering_ = awaitingResendOk_ = barrierOut_ = poked_ = false;
    counterAfter_ = -1;
    Keep(next_);
}

void StreamWindow::Fail(SendFailure failure, int64_t line) {
    if (failure_ == SendFailure::None) {
        failure_ = failure;
        failureLine_ = line;
    }
}

uint32_t StreamWindow::WaitTime(uint64_t now) const {
    uint32_t wait = kLoopWaitMs;
    if (failure_ != SendFailure::None || sentCount_ == 0) {
        return wait;
    }
    wait = std::min(wait, poked_ ? Remaining(lastByteAt_, timings_.silenceLimitMs, now)
                                 : Remaining(quietSince_, timings_.pokeAfterMs, now));
    return wait;
}

} // namespace vela
