#include "serial/FirmwareWatch.h"

#include "serial/ReplyParsing.h"

namespace vela {

void FirmwareWatch::Start(uint64_t now) {
    failure_ = SendFailure::None;
    failureLine_ = 0;
    lastByteAt_ = quietSince_ = now;
    poked_ = false;
    lineOut_ = false;
}

void FirmwareWatch::Fail(SendFailure failure, int64_t line) {
    if (failure_ == SendFailure::None) {
        failure_ = failure;
        failureLine_ = line;
    }
}

void FirmwareWatch::OnBytesReceived(uint64_t now) {
    if (now > lastByteAt_) {
        lastByteAt_ = now;
    }
}

FirmwareNotice FirmwareWatch::OnReply(const uint8_t* line, uint32_t length, bool documentBegun,
                                      int64_t lineNumber, uint64_t now) {
    if (Failed()) {
        return FirmwareNotice::Failed;
    }
    // A halt first: "busy" beside "kill()" still means the firmware stopped.
    if (IsHaltNotice(line, length)) {
        Fail(SendFailure::Halted, lineNumber);
        return FirmwareNotice::Failed;
    }
    if (IsRestartNotice(line, length)) {
        if (!documentBegun) {
            return FirmwareNotice::Restart;
        }
        Fail(SendFailure::Restarted, lineNumber);
        return FirmwareNotice::Failed;
    }
    if (IsBusyNotice(line, length)) {
        PutOffPoke(now);
        return FirmwareNotice::Busy;
    }
    return FirmwareNotice::None;
}

void FirmwareWatch::PutOffPoke(uint64_t now) {
    lineDisturbed_ = true;
    if (now > quietSince_) {
        quietSince_ = now;
    }
}

void FirmwareWatch::OnLineSent(uint64_t now, bool longCommand) {
    lineOut_ = true;
    lineSentAt_ = now;
    longLine_ = longCommand;
    lineDisturbed_ = false;
}

void FirmwareWatch::OnLineAnswered(uint64_t now) {
    if (lineOut_ && !longLine_ && !lineDisturbed_ && !poked_ && now >= lineSentAt_) {
        const uint64_t took = now - lineSentAt_;
        answerTimes_[nextAnswer_] =
            took > pokeAfterMs_ ? pokeAfterMs_ : static_cast<uint32_t>(took);
        nextAnswer_ = (nextAnswer_ + 1) % kAnswerTimesKept;
        answersKept_ = answersKept_ < kAnswerTimesKept ? answersKept_ + 1 : answersKept_;
    }
    lineOut_ = false;
}

uint32_t FirmwareWatch::PokeAfter() const {
    if (!lineOut_ || longLine_ || lineDisturbed_ || answersKept_ < kAnswerTimesNeeded) {
        return pokeAfterMs_;
    }
    uint32_t longest = 0;
    for (uint32_t index = 0; index < answersKept_; ++index) {
        longest = answerTimes_[index] > longest ? answerTimes_[index] : longest;
    }
    const uint64_t derived = static_cast<uint64_t>(longest) * kPokeAfterAnswerTimes;
    if (derived < shortestPokeAfterMs_) {
        return shortestPokeAfterMs_ < pokeAfterMs_ ? shortestPokeAfterMs_ : pokeAfterMs_;
    }
    return derived < pokeAfterMs_ ? static_cast<uint32_t>(derived) : pokeAfterMs_;
}

void FirmwareWatch::OnPokeSent(uint64_t now) {
    poked_ = true;
    pokedAt_ = now;
}

uint32_t FirmwareWatch::PokeDueIn(uint64_t now) const {
    // A second poke only after the first has been waited for as long as a line is.
    return poked_ ? PokeWaitLeft(now) : Remaining(quietSince_, PokeAfter(), now);
}

uint32_t FirmwareWatch::SilenceLeft(uint64_t now) const {
    return Remaining(lastByteAt_, silenceLimitMs_, now);
}

void FirmwareWatch::CheckSilence(bool answerOwed, int64_t lineNumber, uint64_t now) {
    if (answerOwed && SilenceLeft(now) == 0) {
        Fail(SendFailure::StoppedAnswering, lineNumber);
    }
}

} // namespace vela
