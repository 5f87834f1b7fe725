// What the printer reports about itself: machine state, printer status, the
// information block and the axis positions.
#include "usb/PrinterDevice.h"

#include <cstdio>

namespace vela {
namespace {

// The model code of the block decides the printer class for the codes it knows.
void ApplyModelCode(PrinterInfo& info, int32_t code) {
    switch (code) {
    case 100:
    case 200:
        info.printerClass = 1;
        break;
    case 102:
    case 202:
    case 1602:
        info.printerClass = 2;
        break;
    default:
        break;
    }
    info.modelText[0] = '\0';
}

void ApplyIdentityPacket(PrinterInfo& info, const uint8_t* packet, uint32_t length) {
    info.blockValue0 = FloatWord(packet, length, 0);
    info.blockValue1 = IntegerWord(packet, length, 1);
    info.printerClass = IntegerWord(packet, length, 2);
    info.blockValue3 = IntegerWord(packet, length, 3);
    info.blockValue4 = FloatWord(packet, length, 4);
    std::snprintf(info.numberText, sizeof(info.numberText), "%d",
                  static_cast<int>(IntegerWord(packet, length, 5)));
    ApplyModelCode(info, IntegerWord(packet, length, 6));
}

// Limits, scales and the number of value sets that follow.
int32_t ApplyGeometryPacket(PrinterInfo& info, const uint8_t* packet, uint32_t length) {
    uint32_t word = 0;
    for (double& limit : info.limits) {
        limit = FloatWord(packet, length, word++);
    }
    for (double& scale : info.axisScales) {
        scale = FloatWord(packet, length, word++);
    }
    for (double& extra : info.extraValues) {
        extra = FloatWord(packet, length, word++);
    }
    info.blockValue12 = FloatWord(packet, length, word++);
    return IntegerWord(packet, length, word);
}

void ApplyValues(NamedValueSet& set, int32_t firstValue, const uint8_t* packet, uint32_t length) {
    for (uint32_t word = 0; word < kValuesPerSet / 2; ++word) {
        set.values[firstValue + static_cast<int32_t>(word)] = FloatWord(packet, length, word);
    }
}

} // namespace

bool PrinterDevice::ReadStatus() {
    // One reply area for the whole block, as the packets come one after another.
    uint8_t area[kMaxPacketSize];
    uint32_t length = sizeof(area);
    const SmallRequest statusRequest = StatusBlockRequest();
    if (!link_.Exchange(statusRequest.bytes, statusRequest.length, area, &length)) {
        return false;
    }
    if (!ReadPacket(area, &length)) {
        return false;
    }
    ApplyIdentityPacket(info_, area, length);
    if (!ReadPacket(area, &length)) {
        return false;
    }
    CopyReplyText(info_.identificationText, area, length);
    if (!ReadPacket(area, &length)) {
        return false;
    }
    const int32_t reportedSets = ApplyGeometryPacket(info_, area, length);
    // The object holds ten sets; the packets of any further ones are read and
    // dropped so that the packet stream stays in step with the block.
    const int32_t keptSets = reportedSets < 0                   ? 0
                             : reportedSets > kValueSetCapacity ? kValueSetCapacity
                                                                : reportedSets;
    info_.setCount = keptSets;
    for (int32_t set = 0; set < reportedSets; ++set) {
        const bool kept = set < keptSets;
        if (!ReadPacket(area, &length)) {
            return false;
        }
        if (kept) {
            CopyReplyText(info_.valueSets[set].name, area, length);
        }
        for (int32_t half = 0; half < 2; ++half) {
            if (!ReadPacket(area, &length)) {
                return false;
            }
            if (kept) {
                ApplyValues(info_.valueSets[set], half * (kValuesPerSet / 2), area, length);
            }
        }
    }
    // The block's closing packet.
    if (!ReadPacket(area, &length)) {
        return false;
    }
    // A failed read leaves its value at 0: 0 ms, 0 length, ratio 1.0.
    int32_t value = 0;
    ReadParameter(parameter::kChangeNozzleTime, &value);
    info_.parameter42Value = static_cast<double>(value / 1000);
    value = 0;
    ReadParameter(parameter::kJumpTime, &value);
    info_.parameter43Value = value / 1000.0;
    value = 0;
    ReadParameter(parameter::kFeedBackLength, &value);
    info_.parameter54Value = value / 1000.0;
    value = 0;
    ReadParameter(parameter::kRatio, &value);
    info_.parameter62Ratio = value == 0 ? 1.0f : static_cast<float>(value) / 100.0f;
    return true;
}

bool PrinterDevice::IsRunning() {
    return ReadRunState() == RunState::Running;
}

RunState PrinterDevice::ReadRunState() {
    int32_t state = 0;
    if (!ReadParameter(parameter::kMachineState, &state)) {
        return RunState::Unanswered;
    }
    return static_cast<MachineState>(state) == MachineState::RunningProgram ? RunState::Running
                                                                            : RunState::NotRunning;
}

PrinterStatus PrinterDevice::ReadPrinterStatus() {
    int32_t status = 0;
    ReadParameter(parameter::kPrinterStatus, &status);
    return static_cast<PrinterStatus>(status);
}

bool PrinterDevice::SetPrinterStatus(PrinterStatus status) {
    return WriteParameter(parameter::kPrinterStatus, static_cast<int32_t>(status));
}

int32_t PrinterDevice::ReadAxisPosition(int32_t axis) {
    uint8_t reply[kMaxPacketSize];
    uint32_t length = sizeof(reply);
    const SmallRequest positionRequest = DigitRequest(request::kPosition, axis);
    if (!link_.Exchange(positionRequest.bytes, positionRequest.length, reply, &length)) {
        return 0;
    }
    return PositionFromReply(reply, length);
}

} // namespace vela
