// Printer packets: record packets built into buffers of any capacity, and replies of
// any length read as words, positions and text. Every buffer has exactly its size,
// so a read or write past it is caught.
#include "FuzzInput.h"
#include "usb/PrinterPackets.h"

#include <cstring>
#include <memory>

namespace {

void CheckRecordPacket(fuzz::FuzzInput& input) {
    const uint32_t count = input.Below(300);
    const uint32_t capacity = input.Below(vela::kMaxPacketSize + 64);
    std::vector<uint8_t> records =
        input.Bytes(static_cast<size_t>(count) * vela::kPrintCommandSize);
    records.resize(static_cast<size_t>(count) * vela::kPrintCommandSize);
    std::unique_ptr<uint8_t[]> packet(new uint8_t[capacity + 1]);
    const uint32_t length = vela::BuildRecordPacket(
        packet.get(), capacity, records.empty() ? nullptr : records.data(), count);
    if (length == 0) {
        fuzz::Check(count == 0 || vela::RecordPacketLength(count) > capacity,
                    "a packet that fits was refused");
        return;
    }
    fuzz::Check(length == vela::RecordPacketLength(count) && length <= capacity, "packet length");
    // Groups of three behind "/" and their size, the records unchanged.
    uint32_t at = 0;
    for (uint32_t first = 0; first < count; first += vela::kRecordsPerGroup) {
        const uint32_t inGroup = count - first < 3 ? count - first : 3;
        fuzz::Check(packet[at] == vela::request::kRecords && packet[at + 1] == inGroup,
                    "group header");
        fuzz::Check(
            std::memcmp(packet.get() + at + 2,
                        records.data() + static_cast<size_t>(first) * vela::kPrintCommandSize,
                        inGroup * vela::kPrintCommandSize) == 0,
            "group records");
        at += 2 + inGroup * vela::kPrintCommandSize;
    }
    fuzz::Check(at == length, "packet ends after its groups");
}

void CheckReply(fuzz::FuzzInput& input) {
    const std::vector<uint8_t> bytes = input.Bytes(input.Below(vela::kMaxPacketSize + 8));
    const auto length = static_cast<uint32_t>(bytes.size());
    // A copy on the heap of exactly the reply's length.
    std::unique_ptr<uint8_t[]> reply(new uint8_t[length == 0 ? 1 : length]);
    if (length > 0) {
        std::memcpy(reply.get(), bytes.data(), length);
    }
    const uint8_t* at = length == 0 ? nullptr : reply.get();
    const uint32_t index = input.Dword();
    const int32_t word = vela::IntegerWord(at, length, index);
    const uint64_t start = static_cast<uint64_t>(index) * 4;
    // Bytes beyond the end read as zero.
    uint8_t expected[4] = {};
    for (uint64_t i = 0; i < 4; ++i) {
        expected[i] = start + i < length ? bytes[static_cast<size_t>(start + i)] : 0;
    }
    uint32_t bits = 0;
    std::memcpy(&bits, &word, 4);
    fuzz::Check(bits == (expected[0] | expected[1] << 8 | expected[2] << 16 |
                         static_cast<uint32_t>(expected[3]) << 24),
                "integer word");
    const float real = vela::FloatWord(at, length, index);
    fuzz::Check(std::memcmp(&real, &word, 4) == 0, "float word bits");

    const int32_t position = vela::PositionFromReply(at, length);
    fuzz::Check(length >= 5 || position == 0, "position from a short reply");

    char text[vela::kTextFieldSize];
    std::memset(text, 'x', sizeof(text));
    vela::CopyReplyText(text, at, length);
    const size_t kept = length < vela::kTextFieldSize - 1 ? length : vela::kTextFieldSize - 1;
    fuzz::Check(text[kept] == '\0' && (kept == 0 || std::memcmp(text, bytes.data(), kept) == 0),
                "reply text");

    const int32_t old = static_cast<int32_t>(input.Dword());
    const int32_t overlaid = vela::OverlayLittleEndian(old, at, length);
    for (uint32_t i = 0; i < 4; ++i) {
        const auto byte = static_cast<uint8_t>(static_cast<uint32_t>(overlaid) >> (8 * i));
        const auto before = static_cast<uint8_t>(static_cast<uint32_t>(old) >> (8 * i));
        fuzz::Check(byte == (i < length ? bytes[i] : before), "overlay");
    }
}

void CheckSmallRequests(fuzz::FuzzInput& input) {
    const uint8_t code = input.Byte();
    const uint8_t id = input.Byte();
    const auto value = static_cast<int32_t>(input.Dword());
    float a = 0.0f;
    float b = 0.0f;
    const uint32_t aBits = input.Dword();
    const uint32_t bBits = input.Dword();
    std::memcpy(&a, &aBits, 4);
    std::memcpy(&b, &bBits, 4);
    const vela::SmallRequest requests[] = {
        vela::CodeRequest(code),
        vela::DigitRequest(code, static_cast<int32_t>(input.Below(10))),
        vela::ReadParameterRequest(id),
        vela::WriteParameterRequest(id, value),
        vela::WriteFloatParameterRequest(id, a),
        vela::LineRequest(id, code),
        vela::JogRequest(id, a, b),
        vela::StatusBlockRequest(),
    };
    for (const vela::SmallRequest& request : requests) {
        fuzz::Check(request.length >= 1 &&
                        request.length <= static_cast<int32_t>(sizeof(request.bytes)),
                    "request length");
    }
    // A float parameter travels as its bit pattern, little-endian.
    fuzz::Check(vela::IntegerWord(requests[4].bytes + 2, 4, 0) == static_cast<int32_t>(aBits),
                "float parameter bits");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    switch (input.Byte() % 3) {
    case 0:
        CheckRecordPacket(input);
        break;
    case 1:
        CheckReply(input);
        break;
    default:
        CheckSmallRequests(input);
        break;
    }
    return 0;
}
