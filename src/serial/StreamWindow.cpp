#include "serial/StreamWindow.h"

#include "serial/ReplyParsing.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vela {

StreamWindow::StreamWindow(const SendTimings& timings)
    : timings_(timings), watch_(timings.pokeAfterMs, timings.silenceLimitMs) {}

bool StreamWindow::Start(uint32_t windowBytes, int32_t firstNumber, uint64_t now) {
    if (kept_ == nullptr) {
        kept_.reset(new (std::nothrow) uint8_t[kKeptLines * kLineBytes]);
        if (kept_ == nullptr) {
            return false;
        }
    }
    windowBytes_ = std::min(std::max(windowBytes, 1u), kMaxBytes);
    Keep(firstNumber);
    unanswered_ = requestsInARow_ = 0;
    recovering_ = drainPoked_ = false;
    recoverTo_ = 0;
    lastAnswerAt_ = now;
    freeSlots_ = -1;
    awaitingResendOk_ = fellBack_ = barrierOut_ = documentLineSent_ = false;
    pokesOut_ = 0;
    lastAckByPoke_ = false;
    counterAfter_ = -1;
    watch_.Start(now);
    return true;
}

void StreamWindow::Keep(int32_t first) {
    base_ = oldest_ = acknowledged_ = cursor_ = next_ = first;
}

bool StreamWindow::Idle() const {
    // After a resend request, lines counted as acknowledged may go again.
    return acknowledged_ == next_ && !recovering_;
}

uint8_t* StreamWindow::Slot(int32_t number) const {
    const auto index = static_cast<uint32_t>(number - base_) % kKeptLines;
    return kept_.get() + static_cast<size_t>(index) * kLineBytes;
}

uint32_t& StreamWindow::KeptLength(int32_t number) {
    return keptLength_[static_cast<uint32_t>(number - base_) % kKeptLines];
}

uint32_t StreamWindow::KeptLength(int32_t number) const {
    return keptLength_[static_cast<uint32_t>(number - base_) % kKeptLines];
}

bool StreamWindow::FitsInFlight(uint32_t length) const {
    const auto lines = static_cast<uint32_t>(cursor_ - acknowledged_);
    if (lines == 0) {
        return true;
    }
    // The slots the firmware reported free, at least one: with none free it still
    // takes a line into its receive buffer.
    uint32_t allowed = kKeptLines;
    if (fellBack_) {
        allowed = 1;
    } else if (freeSlots_ >= 0) {
        allowed =
            static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(freeSlots_, 1), allowed));
    }
    if (lines >= allowed) {
        return false;
    }
    return BytesOut() + length <= windowBytes_;
}

uint32_t StreamWindow::BytesOut() const {
    // A poke waiting in the firmware's buffer takes its room too.
    uint32_t bytes = pokesOut_ * static_cast<uint32_t>(sizeof(kPokeLine) - 1);
    for (int32_t number = acknowledged_; number < cursor_; ++number) {
        bytes += KeptLength(number);
    }
    return bytes;
}

uint32_t StreamWindow::UnansweredBytes() const {
    // Answers come in the order the lines went: the lines unanswered are the last
    // ones sent.
    const uint32_t pokes = std::min(pokesOut_, unanswered_);
    const int32_t lines = static_cast<int32_t>(unanswered_ - pokes);
    uint32_t bytes = pokes * static_cast<uint32_t>(sizeof(kPokeLine) - 1);
    for (int32_t number = std::max(acknowledged_, cursor_ - lines); number < cursor_; ++number) {
        bytes += KeptLength(number);
    }
    return bytes;
}

bool StreamWindow::RoomFor(uint32_t framedLength, bool barrier) const {
    if (watch_.Failed() || recovering_ || barrierOut_ || cursor_ != next_ ||
        framedLength > kLineBytes) {
        return false;
    }
    if (barrier) {
        return Idle();
    }
    // A kept line that may still be asked for is never overwritten.
    if (static_cast<uint32_t>(next_ - oldest_) >= kKeptLines && oldest_ >= acknowledged_) {
        return false;
    }
    return FitsInFlight(framedLength);
}

void StreamWindow::CheckSilence(uint64_t now) {
    watch_.CheckSilence(watch_.Poked() && !Idle(), acknowledged_, now);
}

StreamWindow::Step StreamWindow::NextStep(uint64_t now) {
    CheckSilence(now);
    if (watch_.Failed()) {
        return Step::None;
    }
    if (recovering_) {
        const Step step = RecoveryStep(now);
        if (recovering_) {
            return step;
        }
    }
    if (!Idle() && watch_.PokeDueIn(now) == 0) {
        if (pokesOut_ < kMaxPokesOut &&
            BytesOut() + sizeof(kPokeLine) - 1 <= std::max(windowBytes_, kDefaultBytes)) {
            return Step::Poke;
        }
        // No room in the firmware's buffer: the silence limit runs all the same,
        // and may have run out already.
        watch_.OnPokeSent(now);
        CheckSilence(now);
        if (watch_.Failed()) {
            return Step::None;
        }
    }
    if (cursor_ < next_) {
        return FitsInFlight(KeptLength(cursor_)) ? Step::SendKept : Step::None;
    }
    return barrierOut_ ? Step::None : Step::TakeNew;
}

StreamWindow::Step StreamWindow::RecoveryStep(uint64_t now) {
    if (unanswered_ > 0) {
        if (Remaining(lastAnswerAt_, timings_.resendDrainMs, now) > 0) {
            return Step::None;
        }
        // Quiet, with lines unanswered: dropped, or their answers still to come
        // (a long command runs). A poke's answer comes after all of them; lines
        // sent again before would meet refusals of the lines sent before.
        if (!drainPoked_ && pokesOut_ < kMaxPokesOut &&
            UnansweredBytes() + sizeof(kPokeLine) - 1 <= std::max(windowBytes_, kDefaultBytes)) {
            drainPoked_ = true;
            return Step::Poke;
        }
        // A poke lost (cut by a drop of the buffer) holds the lines no longer than
        // it would hold a line.
        if (drainPoked_) {
            if (watch_.PokeWaitLeft(now) > 0) {
                return Step::None;
            }
            // The lines going again start the poke's clock afresh.
            watch_.ForgetPoke();
            watch_.QuietFrom(now);
        }
    }
    EndRecovery();
    return Step::None;
}

void StreamWindow::Sent(uint64_t now) {
    if (cursor_ == acknowledged_ + 1) {
        // The poke's clock starts with the first line out.
        watch_.QuietFrom(now);
    }
    ++unanswered_;
    documentLineSent_ = true;
}

void StreamWindow::Answered() {
    unanswered_ -= unanswered_ > 0 ? 1 : 0;
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
    KeptLength(next_) = length;
    ++next_;
    cursor_ = next_;
    Sent(now);
}

void StreamWindow::SendKept(const uint8_t** framed, uint32_t* length, uint64_t now) {
    *framed = Slot(cursor_);
    *length = KeptLength(cursor_);
    ++cursor_;
    Sent(now);
}

void StreamWindow::OnPokeSent(uint64_t now) {
    watch_.OnPokeSent(now);
    pokedBefore_[pokesOut_++] = cursor_;
    ++unanswered_;
}

bool StreamWindow::OnReply(const uint8_t* line, uint32_t length, uint64_t now) {
    if (watch_.OnReply(line, length, documentLineSent_, LineNumber(), now) ==
        FirmwareNotice::Failed) {
        return true;
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
    if (pokesOut_ > 0 && IsTemperatureReport(line, length)) {
        OnPokeAnswer(now);
        return;
    }
    const OkNumbers numbers = ParseOkNumbers(line, length);
    if (numbers.freeSlots >= 0) {
        freeSlots_ = numbers.freeSlots;
    }
    if (awaitingResendOk_) {
        // The "ok" that closes a resend request acknowledges no line.
        awaitingResendOk_ = false;
        return;
    }
    Answered();
    lastAnswerAt_ = now;
    if (cursor_ == acknowledged_) {
        return; // nothing out: a stray
    }
    if (recovering_) {
        // The firmware holds nothing from the line it asked for on: a plain "ok"
        // answers a line before it (run late) or the rest of a line its drop cut.
        // One that names its line is the firmware's own word.
        if (numbers.line >= 0) {
            AcknowledgeThrough(std::min<int64_t>(numbers.line, cursor_ - 1), now);
            recoverTo_ = std::max(recoverTo_, acknowledged_);
        }
        return;
    }
    if (barrierOut_) {
        // A line that sets the counter is answered under the number it sets.
        AcknowledgeThrough(next_ - 1, now);
    } else if (numbers.line >= 0) {
        AcknowledgeThrough(std::min<int64_t>(numbers.line, cursor_ - 1), now);
    } else {
        AcknowledgeThrough(acknowledged_, now);
    }
}

void StreamWindow::AcknowledgeThrough(int64_t number, uint64_t now) {
    if (number < acknowledged_ || number >= next_) {
        return;
    }
    acknowledged_ = static_cast<int32_t>(number) + 1;
    cursor_ = std::max(cursor_, acknowledged_);
    requestsInARow_ = 0;
    lastAckByPoke_ = false;
    watch_.ForgetPoke();
    watch_.QuietFrom(now);
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
    watch_.QuietFrom(now);
    lastAnswerAt_ = now;
    Answered();
    // The firmware has every line before the one it asks for.
    AcknowledgeThrough(requested - 1, now);
    if (recovering_) {
        // A line sent before the first request, rejected in its turn; the poke
        // behind it may have gone with the firmware's buffer.
        recoverTo_ = static_cast<int32_t>(std::max<int64_t>(requested, oldest_));
        drainPoked_ = false;
        return;
    }
    if (requested >= next_) {
        return; // the firmware has every line sent
    }
    if (requested < oldest_) {
        watch_.Fail(SendFailure::Rejected, requested);
        return;
    }
    if (++requestsInARow_ >= 2 * kFallbackRequests) {
        watch_.Fail(SendFailure::Rejected, requested);
        return;
    }
    fellBack_ = fellBack_ || requestsInARow_ >= kFallbackRequests;
    recovering_ = true;
    recoverTo_ = static_cast<int32_t>(requested);
    watch_.ForgetPoke();
}

void StreamWindow::EndRecovery() {
    recovering_ = drainPoked_ = false;
    // What was never answered was dropped by the firmware.
    unanswered_ = 0;
    // Lines from the one asked for on are not the firmware's, whatever was
    // counted as acknowledged before.
    acknowledged_ = std::min(acknowledged_, recoverTo_);
    cursor_ = recoverTo_;
    // A poke out answers for no line sent again.
    for (uint32_t index = 0; index < pokesOut_; ++index) {
        pokedBefore_[index] = std::min(pokedBefore_[index], recoverTo_);
    }
}

void StreamWindow::OnPokeAnswer(uint64_t now) {
    // Everything sent before the poke has been read: answers that never came were lost.
    const int32_t before = pokedBefore_[0];
    std::memmove(pokedBefore_, pokedBefore_ + 1, (kMaxPokesOut - 1) * sizeof(pokedBefore_[0]));
    --pokesOut_;
    unanswered_ = static_cast<uint32_t>(std::max(cursor_ - before, 0)) + pokesOut_;
    watch_.QuietFrom(now);
    lastAnswerAt_ = now;
    if (recovering_) {
        // Every line sent before the poke has been answered or dropped.
        if (pokesOut_ == 0 || drainPoked_) {
            EndRecovery();
        }
        return;
    }
    if (before > acknowledged_) {
        AcknowledgeThrough(before - 1, now);
        // A line lost on the way would be answered so too.
        lastAckByPoke_ = true;
    }
}

void StreamWindow::Abandon() {
    unanswered_ = 0;
    recovering_ = drainPoked_ = awaitingResendOk_ = barrierOut_ = false;
    watch_.ForgetPoke();
    pokesOut_ = 0;
    counterAfter_ = -1;
    Keep(next_);
}

uint32_t StreamWindow::WaitTime(uint64_t now) const {
    uint32_t wait = kLoopWaitMs;
    if (watch_.Failed() || Idle()) {
        return wait;
    }
    if (watch_.Poked()) {
        wait = std::min(wait, watch_.SilenceLeft(now));
    }
    if (recovering_) {
        // The ordinary poke waits while the recovery runs: answers still coming
        // hold it for the quiet, the poke after them for its time.
        const uint32_t quiet = Remaining(lastAnswerAt_, timings_.resendDrainMs, now);
        return std::min(wait, quiet > 0 || !drainPoked_ ? quiet : watch_.PokeWaitLeft(now));
    }
    return std::min(wait, watch_.PokeDueIn(now));
}

} // namespace vela
