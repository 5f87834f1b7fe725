#include "usb/PrinterPackets.h"

#include <cstring>

namespace vela {
namespace {

void PutInteger(uint8_t* at, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    at[0] = static_cast<uint8_t>(bits);
    at[1] = static_cast<uint8_t>(bits >> 8);
    at[2] = static_cast<uint8_t>(bits >> 16);
    at[3] = static_cast<uint8_t>(bits >> 24);
}

void PutFloat(uint8_t* at, float value) {
    uint32_t bits = 0;
    static_assert(sizeof(bits) == sizeof(value), "IEEE single precision");
    std::memcpy(&bits, &value, sizeof(bits));
    PutInteger(at, static_cast<int32_t>(bits));
}

} // namespace

SmallRequest CodeRequest(uint8_t code) {
    SmallRequest packet{};
    packet.bytes[0] = code;
    packet.length = 1;
    return packet;
}

SmallRequest DigitRequest(uint8_t code, int32_t digit) {
    SmallRequest packet{};
    packet.bytes[0] = code;
    packet.bytes[1] = static_cast<uint8_t>('0' + digit);
    packet.length = 2;
    return packet;
}

SmallRequest ReadParameterRequest(uint8_t id) {
    SmallRequest packet{};
    packet.bytes[0] = request::kReadParameter;
    packet.bytes[1] = id;
    packet.bytes[2] = id;
    packet.length = 3;
    return packet;
}

SmallRequest WriteParameterRequest(uint8_t id, int32_t value) {
    SmallRequest packet{};
    packet.bytes[0] = request::kWriteParameter;
    packet.bytes[1] = id;
    PutInteger(packet.bytes + 2, value);
    packet.length = 6;
    return packet;
}

SmallRequest WriteFloatParameterRequest(uint8_t id, float value) {
    // The same request; a float parameter travels as its bit pattern.
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    return WriteParameterRequest(id, static_cast<int32_t>(bits));
}

SmallRequest LineRequest(uint8_t a, uint8_t b) {
    SmallRequest packet{};
    packet.bytes[0] = request::kLine;
    packet.bytes[1] = a;
    packet.bytes[2] = b;
    packet.length = 3;
    return packet;
}

SmallRequest JogRequest(uint8_t axis, float a, float b) {
    SmallRequest packet{};
    packet.bytes[0] = request::kJog;
    packet.bytes[1] = axis;
    PutFloat(packet.bytes + 2, a);
    PutFloat(packet.bytes + 6, b);
    packet.length = 10;
    return packet;
}

SmallRequest StatusBlockRequest() {
    SmallRequest packet{};
    packet.bytes[0] = request::kStatusBlock;
    packet.bytes[1] = 0;
    packet.length = 2;
    return packet;
}

uint32_t RecordPacketLength(uint32_t count) {
    const uint32_t groups = (count + kRecordsPerGroup - 1) / kRecordsPerGroup;
    return groups * 2 + count * kPrintCommandSize;
}

uint32_t BuildRecordPacket(uint8_t* packet, uint32_t capacity, const uint8_t* records,
                           uint32_t count) {
    // The bound keeps the length computation itself from overflowing.
    if (packet == nullptr || records == nullptr || count == 0 ||
        count > capacity / kPrintCommandSize || RecordPacketLength(count) > capacity) {
        return 0;
    }
    uint32_t at = 0;
    for (uint32_t first = 0; first < count; first += kRecordsPerGroup) {
        const uint32_t inGroup =
            count - first < kRecordsPerGroup ? count - first : kRecordsPerGroup;
        packet[at++] = request::kRecords;
        packet[at++] = static_cast<uint8_t>(inGroup);
        std::memcpy(packet + at, records + first * kPrintCommandSize, inGroup * kPrintCommandSize);
        at += inGroup * kPrintCommandSize;
    }
    return at;
}

int32_t OverlayLittleEndian(int32_t value, const uint8_t* bytes, uint32_t length) {
    auto bits = static_cast<uint32_t>(value);
    for (uint32_t i = 0; i < length && i < 4; ++i) {
        const uint32_t shift = 8 * i;
        bits = (bits & ~(0xFFu << shift)) | (static_cast<uint32_t>(bytes[i]) << shift);
    }
    return static_cast<int32_t>(bits);
}

int32_t IntegerWord(const uint8_t* packet, uint32_t length, uint32_t index) {
    const uint64_t start = static_cast<uint64_t>(index) * 4;
    if (packet == nullptr || start >= length) {
        return 0;
    }
    return OverlayLittleEndian(0, packet + start, length - static_cast<uint32_t>(start));
}

float FloatWord(const uint8_t* packet, uint32_t length, uint32_t index) {
    const auto bits = static_cast<uint32_t>(IntegerWord(packet, length, index));
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

int32_t PositionFromReply(const uint8_t* reply, uint32_t length) {
    if (reply == nullptr || length < 5) {
        return 0;
    }
    return OverlayLittleEndian(0, reply + (length - 5), 4);
}

void CopyReplyText(char (&text)[kTextFieldSize], const uint8_t* packet, uint32_t length) {
    const uint32_t kept = length < kTextFieldSize - 1 ? length : kTextFieldSize - 1;
    if (packet != nullptr && kept > 0) {
        std::memcpy(text, packet, kept);
    }
    text[packet != nullptr ? kept : 0] = '\0';
}

} // namespace vela
