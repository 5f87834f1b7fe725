// The greeting's speed: on automatic, one speed after another until the firmware
// answers cleanly at one.
#include "serial/DocumentRun.h"

#include "serial/SerialSettings.h"

namespace vela {

bool DocumentRun::TakeGreetingReply(const uint8_t* line, uint32_t length, uint64_t now) {
    if (!IsCleanLine(line, length)) {
        return false;
    }
    // A booting board at this speed: "start", then its banner and settings.
    if (ClassifyReply(line, length) == ReplyKind::Echo || IsRestartNotice(line, length)) {
        rates_.OnCleanLine(now);
    }
    return true;
}

void DocumentRun::SearchRate(uint64_t now) {
    if (handshakeAnswered_ || !machine_.Handshaking()) {
        return;
    }
    // A write still outstanding is left to finish first: a device that takes no
    // bytes then fails as such, within the greeting's limit.
    if (channels_.write.pending) {
        return;
    }
    if (rates_.Exhausted(now)) {
        machine_.GiveUpHandshake();
    } else if (rates_.SwitchDue(now)) {
        SwitchRate(now);
    }
}

void DocumentRun::SwitchRate(uint64_t now) {
    // Nothing of one speed's exchange may be taken for the next one's.
    channels_.CancelPending();
    rates_.Next(now);
    HANDLE device = channels_.Device();
    control_.configuredBaudRate = 0;
    if (!ConfigureSerialDevice(device, rates_.Rate())) {
        deviceLost_ = true;
        return;
    }
    control_.configuredBaudRate = rates_.Rate();
    CurrentPlatform().serialDevices->PurgeComm(device, PURGE_RXCLEAR | PURGE_TXCLEAR);
    replies_.Clear();
    machine_.StartHandshake(now);
}

} // namespace vela
