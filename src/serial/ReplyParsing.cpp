#include "serial/ReplyParsing.h"

#include <cstring>

namespace vela {
namespace {

uint8_t LowerAscii(uint8_t byte) {
    return (byte >= 'A' && byte <= 'Z') ? static_cast<uint8_t>(byte - 'A' + 'a') : byte;
}

bool BeginsWith(const uint8_t* line, uint32_t length, const char* keyword) {
    uint32_t index = 0;
    for (; keyword[index] != '\0'; ++index) {
        if (index >= length || LowerAscii(line[index]) != static_cast<uint8_t>(keyword[index])) {
            return false;
        }
    }
    return true;
}

bool IsDigit(uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

// The line without its end ("\n", "\r\n").
uint32_t ContentLength(const uint8_t* line, uint32_t length) {
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
        --length;
    }
    return length;
}

// Whole degrees of more digits are no reading; "-" for a sensor below zero.
constexpr int kMaxTemperatureDigits = 5;

// The number at line[position] as tenths (further decimals are dropped).
bool ParseTenths(const uint8_t* line, uint32_t length, uint32_t position, int32_t* tenths) {
    const bool negative = position < length && line[position] == '-';
    position += negative ? 1 : 0;
    int32_t value = 0;
    int digits = 0;
    for (; position < length && IsDigit(line[position]); ++position) {
        if (++digits > kMaxTemperatureDigits) {
            return false;
        }
        value = value * 10 + (line[position] - '0');
    }
    if (digits == 0) {
        return false;
    }
    value *= 10;
    if (position + 1 < length && line[position] == '.' && IsDigit(line[position + 1])) {
        value += line[position + 1] - '0';
    }
    *tenths = negative ? -value : value;
    return true;
}

// The reading after the first key ("t:", "t0:") that begins a word.
bool FindReading(const uint8_t* line, uint32_t length, const char* key, int32_t* tenths) {
    uint32_t keyLength = 0;
    while (key[keyLength] != '\0') {
        ++keyLength;
    }
    for (uint32_t start = 0; start + keyLength <= length; ++start) {
        const bool wordStart = start == 0 || line[start - 1] == ' ' || line[start - 1] == '\t';
        if (wordStart && BeginsWith(line + start, length - start, key)) {
            return ParseTenths(line, length, start + keyLength, tenths);
        }
    }
    return false;
}

// Some firmware sets its reports off with a space (" T:25.1 /200.0 B:19.4 /60.0").
uint32_t LeadingBlanks(const uint8_t* line, uint32_t length) {
    uint32_t blanks = 0;
    while (blanks < length && (line[blanks] == ' ' || line[blanks] == '\t')) {
        ++blanks;
    }
    return blanks;
}

bool BeginsReport(const uint8_t* line, uint32_t length) {
    const uint32_t blanks = LeadingBlanks(line, length);
    return BeginsWith(line + blanks, length - blanks, "t:") ||
           BeginsWith(line + blanks, length - blanks, "t0:");
}

} // namespace

bool ParseTemperatures(const uint8_t* line, uint32_t length, TemperatureReading* reading) {
    if (line == nullptr || reading == nullptr ||
        (!BeginsReport(line, length) && !BeginsWith(line, length, "ok "))) {
        return false;
    }
    TemperatureReading found;
    // The active tool's "T:"; firmware without one reports the first tool as "T0:".
    found.hotEndKnown = FindReading(line, length, "t:", &found.hotEndTenths) ||
                        FindReading(line, length, "t0:", &found.hotEndTenths);
    found.bedKnown = FindReading(line, length, "b:", &found.bedTenths);
    if (!found.hotEndKnown && !found.bedKnown) {
        return false;
    }
    *reading = found;
    return true;
}

PrinterAction ParsePrinterAction(const uint8_t* line, uint32_t length) {
    static constexpr char kPrefix[] = "//action:";
    constexpr uint32_t kPrefixLength = sizeof(kPrefix) - 1;
    if (length < kPrefixLength || std::memcmp(line, kPrefix, kPrefixLength) != 0) {
        return PrinterAction::None;
    }
    uint32_t end = length;
    while (end > kPrefixLength &&
           (line[end - 1] == '\n' || line[end - 1] == ' ' || line[end - 1] == '\t')) {
        --end;
    }
    const uint8_t* word = line + kPrefixLength;
    const uint32_t wordLength = end - kPrefixLength;
    static constexpr struct {
        const char* word;
        PrinterAction action;
    } kWords[] = {{"cancel", PrinterAction::Cancel},
                  {"pause", PrinterAction::Pause},
                  {"paused", PrinterAction::Pause},
                  {"resume", PrinterAction::Resume},
                  {"resumed", PrinterAction::Resume}};
    for (const auto& known : kWords) {
        if (std::strlen(known.word) == wordLength &&
            std::memcmp(word, known.word, wordLength) == 0) {
            return known.action;
        }
    }
    return PrinterAction::Other;
}

void NoteFirmwareLine(const uint8_t* line, uint32_t length, FirmwareIdentity* identity) {
    static constexpr char kName[] = "FIRMWARE_NAME:";
    static constexpr char kAutoReport[] = "Cap:AUTOREPORT_TEMP:1";
    constexpr uint32_t kNameLength = sizeof(kName) - 1;
    constexpr uint32_t kAutoReportLength = sizeof(kAutoReport) - 1;
    if (length >= kAutoReportLength && std::memcmp(line, kAutoReport, kAutoReportLength) == 0) {
        identity->autoReportsTemperatures = true;
        return;
    }
    if (length < kNameLength || std::memcmp(line, kName, kNameLength) != 0) {
        return;
    }
    size_t count = 0;
    for (uint32_t i = kNameLength; i < length && count + 1 < kFirmwareNameChars; ++i) {
        const uint8_t byte = line[i];
        if (byte < 0x20 || byte > 0x7E) {
            break;
        }
        // The next field: " SOURCE_CODE_URL:", " PROTOCOL_VERSION:" ...
        if (byte == ' ' && i + 1 < length && line[i + 1] >= 'A' && line[i + 1] <= 'Z') {
            uint32_t end = i + 1;
            while (end < length && ((line[end] >= 'A' && line[end] <= 'Z') || line[end] == '_')) {
                ++end;
            }
            if (end < length && line[end] == ':') {
                break;
            }
        }
        identity->name[count++] = static_cast<char>(byte);
    }
    identity->name[count] = '\0';
    identity->named = true;
}

bool IsCleanLine(const uint8_t* line, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t byte = line[i];
        if (byte == '\n' && i + 1 == length) {
            break;
        }
        if ((byte < 0x20 || byte > 0x7E) && byte != '\t') {
            return false;
        }
    }
    return length > 0;
}

bool IsRestartNotice(const uint8_t* line, uint32_t length) {
    return line != nullptr && ContentLength(line, length) == 5 && BeginsWith(line, length, "start");
}

bool IsHaltNotice(const uint8_t* line, uint32_t length) {
    if (line == nullptr) {
        return false;
    }
    if (BeginsWith(line, length, "error:printer halted")) {
        return true;
    }
    static constexpr char kKill[] = "kill()";
    constexpr uint32_t kKillLength = sizeof(kKill) - 1;
    for (uint32_t start = 0; start + kKillLength <= length; ++start) {
        if (BeginsWith(line + start, length - start, kKill)) {
            return true;
        }
    }
    return false;
}

bool IsBusyNotice(const uint8_t* line, uint32_t length) {
    return line != nullptr &&
           (BeginsWith(line, length, "echo:busy") || BeginsWith(line, length, "busy:"));
}

ReplyKind ClassifyReply(const uint8_t* line, uint32_t length) {
    if (line == nullptr) {
        return ReplyKind::Other;
    }
    if (BeginsWith(line, length, "wait")) {
        return ReplyKind::Wait;
    }
    if (BeginsWith(line, length, "ok")) {
        return ReplyKind::Ok;
    }
    if (BeginsWith(line, length, "echo:")) {
        return ReplyKind::Echo;
    }
    if (BeginsReport(line, length)) {
        return ReplyKind::Temperature;
    }
    if (BeginsWith(line, length, "error")) {
        return ReplyKind::Error;
    }
    if (BeginsWith(line, length, "resend")) {
        return ReplyKind::Resend;
    }
    return ReplyKind::Other;
}

bool ParseResendNumber(const uint8_t* line, uint32_t length, int64_t* number) {
    constexpr uint32_t kKeywordLength = 6; // "resend"
    constexpr int kMaxDigits = 15;
    if (line == nullptr || number == nullptr || !BeginsWith(line, length, "resend")) {
        return false;
    }
    uint32_t position = kKeywordLength;
    if (position < length && line[position] == ':') {
        ++position;
    }
    // Common firmware writes "Resend: 12"; the space carries no meaning.
    while (position < length && (line[position] == ' ' || line[position] == '\t')) {
        ++position;
    }
    int64_t value = 0;
    int digits = 0;
    while (position < length && digits < kMaxDigits && IsDigit(line[position])) {
        value = value * 10 + (line[position] - '0');
        ++digits;
        ++position;
    }
    if (digits == 0) {
        return false;
    }
    *number = value;
    return true;
}

OkNumbers ParseOkNumbers(const uint8_t* line, uint32_t length) {
    OkNumbers numbers;
    if (line == nullptr || !BeginsWith(line, length, "ok")) {
        return numbers;
    }
    length = ContentLength(line, length);
    for (uint32_t position = 2; position < length;) {
        while (position < length && line[position] == ' ') {
            ++position;
        }
        const uint32_t start = position;
        while (position < length && line[position] != ' ') {
            ++position;
        }
        // A token: an optional letter, then up to nine digits and nothing else.
        const uint8_t letter =
            start < length && !IsDigit(line[start]) ? LowerAscii(line[start]) : 0;
        uint32_t digit = start + (letter != 0 ? 1 : 0);
        if (digit >= position || position - digit > 9) {
            continue;
        }
        int64_t value = 0;
        for (; digit < position && IsDigit(line[digit]); ++digit) {
            value = value * 10 + (line[digit] - '0');
        }
        if (digit != position) {
            continue;
        }
        if (letter == 0 || letter == 'n') {
            numbers.line = value;
        } else if (letter == 'b') {
            numbers.freeSlots = value;
        }
    }
    return numbers;
}

bool IsTemperatureReport(const uint8_t* line, uint32_t length) {
    return line != nullptr && BeginsWith(line, length, "ok t:");
}

std::string DebuggerText(const uint8_t* line, uint32_t length) {
    std::string text;
    if (line != nullptr && length > 0) {
        text.assign(reinterpret_cast<const char*>(line), length - 1);
    }
    text.push_back('\n');
    return text;
}

uint32_t ReplyLineAssembler::Take(const uint8_t* bytes, uint32_t length, const uint8_t** line,
                                  uint32_t* lineLength) {
    if (complete_) {
        length_ = 0;
        complete_ = false;
    }
    *line = nullptr;
    *lineLength = 0;
    for (uint32_t index = 0; index < length; ++index) {
        const uint8_t byte = bytes[index];
        if (byte == '\n') {
            line_[length_++] = byte;
            complete_ = true;
            *line = line_;
            *lineLength = length_;
            return index + 1;
        }
        if (byte != '\r' && byte != 0 && length_ < kMaxReplyLineLength) {
            line_[length_++] = byte;
        }
    }
    return length;
}

} // namespace vela
