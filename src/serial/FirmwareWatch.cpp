#include "serial/FirmwareWatch.h"

#include "serial/ReplyParsing.h"

namespace vela {

void FirmwareWatch::Start(uint64_t now) {
    failure_ = SendFailure::None;
    failureLine_ = 0;
    lastByteAt_ = quietSince_ = now;
    poked_ = false;
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
    if (now > quietSince_) {
        quietSince_ = now;
    }
}

void FirmwareWatch::OnPokeSent(uint64_t now) {
    poked_ = true;
    pokedAt_ = now;
}

uint32_t FirmwareWatch::PokeDueIn(uint64_t now) const {
    return poked_ ? PokeWaitLeft(now) : Remaining(quietSince_, pokeAfterMs_, now);
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
