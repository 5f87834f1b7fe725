// The printer's requests, one exchange each.
#include "usb/PrinterDevice.h"

namespace vela {

bool PrinterDevice::SendSmall(const SmallRequest& packet) {
    // The reply is read (one packet per request) even though nothing of it is used.
    return link_.Exchange(packet.bytes, packet.length, nullptr, nullptr);
}

bool PrinterDevice::ExchangeForValue(const SmallRequest& packet, int32_t* value) {
    uint8_t reply[4] = {};
    uint32_t length = sizeof(reply);
    const bool exchanged = link_.Exchange(packet.bytes, packet.length, reply, &length);
    // Only the bytes that arrived replace the value: nothing arrived, nothing changes.
    *value = OverlayLittleEndian(*value, reply, length);
    return exchanged;
}

bool PrinterDevice::QueryFreeCapacity(int32_t* freeRecords) {
    *freeRecords = 0;
    return ExchangeForValue(CodeRequest(request::kFreeCapacity), freeRecords);
}

bool PrinterDevice::ReadParameter(uint8_t id, int32_t* value) {
    return ExchangeForValue(ReadParameterRequest(id), value);
}

bool PrinterDevice::WriteParameter(uint8_t id, int32_t value) {
    return SendSmall(WriteParameterRequest(id, value));
}

bool PrinterDevice::WriteFloatParameter(uint8_t id, float value) {
    return SendSmall(WriteFloatParameterRequest(id, value));
}

bool PrinterDevice::SendClear() {
    requestBuffer_[0] = request::kClear;
    return link_.Exchange(requestBuffer_, 1, nullptr, nullptr);
}

int32_t PrinterDevice::SendLoad(int32_t digit) {
    int32_t answer = 0;
    if (!ExchangeForValue(DigitRequest(request::kLoad, digit), &answer)) {
        return 0;
    }
    return answer;
}

bool PrinterDevice::SendLine(uint8_t a, uint8_t b) {
    return SendSmall(LineRequest(a, b));
}

bool PrinterDevice::SendExecute() {
    return SendSmall(CodeRequest(request::kExecute));
}

bool PrinterDevice::StopMotor(int32_t motor) {
    return SendSmall(DigitRequest(request::kStopMotor, motor));
}

bool PrinterDevice::StopAll() {
    return SendSmall(CodeRequest(request::kStopAll));
}

bool PrinterDevice::Jog(uint8_t axis, float a, float b) {
    return SendSmall(JogRequest(axis, a, b));
}

bool PrinterDevice::ReadPacket(uint8_t* area, uint32_t* length) {
    *length = kMaxPacketSize;
    return link_.Exchange(nullptr, 0, area, length);
}

} // namespace vela
