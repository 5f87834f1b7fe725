// Firmware reply parsing: any reply line is classified (actions, clean text and the firmware's
// name too), a resend number and temperatures are read within their digit limits, and the line
// assembler never lets a line grow past its bound nor drops a line end.
#include "FuzzInput.h"
#include "serial/ReplyParsing.h"

#include <algorithm>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::vector<uint8_t> line = input.Bytes(input.Below(96));
    const auto length = static_cast<uint32_t>(line.size());
    std::unique_ptr<uint8_t[]> copy(new uint8_t[length == 0 ? 1 : length]);
    if (length > 0) {
        std::memcpy(copy.get(), line.data(), length);
    }
    const uint8_t* at = length == 0 ? nullptr : copy.get();

    const vela::ReplyKind kind = vela::ClassifyReply(at, length);
    if (vela::IsTemperatureReport(at, length)) {
        fuzz::Check(kind == vela::ReplyKind::Ok, "a temperature report is an ok");
    }
    int64_t number = -1;
    if (vela::ParseResendNumber(at, length, &number)) {
        fuzz::Check(kind == vela::ReplyKind::Resend, "a resend number outside a resend");
        fuzz::Check(number >= 0 && number < 1000000000000000LL, "resend number range");
    }
    vela::TemperatureReading reading;
    if (vela::ParseTemperatures(at, length, &reading)) {
        fuzz::Check(reading.hotEndKnown || reading.bedKnown, "a report without a reading");
        fuzz::Check(reading.hotEndTenths > -1000000 && reading.hotEndTenths < 1000000 &&
                        reading.bedTenths > -1000000 && reading.bedTenths < 1000000,
                    "temperature range");
    }
    const vela::PrinterAction action = vela::ParsePrinterAction(at, length);
    if (action != vela::PrinterAction::None) {
        fuzz::Check(length >= 9 && std::memcmp(at, "//action:", 9) == 0,
                    "an action without //action:");
    }
    vela::FirmwareIdentity identity;
    vela::NoteFirmwareLine(at, length, &identity);
    const size_t nameLength = static_cast<size_t>(
        std::find(identity.name, identity.name + vela::kFirmwareNameChars, '\0') - identity.name);
    fuzz::Check(nameLength < vela::kFirmwareNameChars, "firmware name without its end");
    for (size_t i = 0; i < nameLength; ++i) {
        fuzz::Check(identity.name[i] >= 0x20 && identity.name[i] <= 0x7E, "firmware name byte");
    }
    fuzz::Check(identity.named || nameLength == 0, "a name without FIRMWARE_NAME:");
    if (vela::IsCleanLine(at, length)) {
        for (uint32_t i = 0; i + 1 < length; ++i) {
            fuzz::Check(at[i] == '\t' || (at[i] >= 0x20 && at[i] <= 0x7E), "noise taken as clean");
        }
    }
    const std::string text = vela::DebuggerText(at, length);
    fuzz::Check(text.size() == (length == 0 ? 1 : length) && text.back() == '\n', "debugger text");

    // The rest of the input: reply bytes in pieces through one assembler.
    vela::ReplyLineAssembler assembler;
    while (!input.Empty()) {
        const std::vector<uint8_t> piece = input.Bytes(1 + input.Below(9000));
        const auto pieceLength = static_cast<uint32_t>(piece.size());
        size_t ends = 0;
        for (uint8_t byte : piece) {
            ends += byte == '\n' ? 1 : 0;
        }
        size_t lines = 0;
        for (uint32_t taken = 0; taken < pieceLength;) {
            const uint8_t* out = nullptr;
            uint32_t outLength = 0;
            const uint32_t step =
                assembler.Take(piece.data() + taken, pieceLength - taken, &out, &outLength);
            fuzz::Check(step > 0 && step <= pieceLength - taken, "assembler took no bytes");
            taken += step;
            if (out == nullptr) {
                continue;
            }
            ++lines;
            fuzz::Check(outLength >= 1 && outLength <= vela::kMaxReplyLineLength + 1,
                        "line beyond the limit");
            fuzz::Check(out[outLength - 1] == '\n', "line without its end");
            for (uint32_t i = 0; i + 1 < outLength; ++i) {
                fuzz::Check(out[i] != '\n' && out[i] != '\r' && out[i] != 0, "byte kept in a line");
            }
        }
        fuzz::Check(lines == ends, "assembler lost a line end");
    }
    return 0;
}
