#include "core/PortSettingsLayout.h"

#include <cstring>

namespace vela {
namespace {

// The strings of a layout, without the closing empty one; false unless the
// closing empty string ends exactly at the size.
bool SplitStrings(const uint8_t* bytes, size_t size, std::vector<std::wstring>* strings) {
    strings->clear();
    if (bytes == nullptr || size == 0 || size % 2 != 0 || size > kMaxSettingsLayoutBytes) {
        return false;
    }
    std::wstring current;
    for (size_t offset = 0; offset < size; offset += 2) {
        const auto unit = static_cast<wchar_t>(bytes[offset] | (bytes[offset + 1] << 8));
        if (unit != L'\0') {
            current.push_back(unit);
        } else if (current.empty()) {
            return offset + 2 == size;
        } else {
            strings->push_back(current);
            current.clear();
        }
    }
    return false;
}

void Append(std::vector<uint8_t>& bytes, const std::wstring& text) {
    for (wchar_t unit : text) {
        const auto value = static_cast<uint32_t>(unit);
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

// "0", or digits without a leading zero that fit 32 bits.
bool ParseNumber(const std::wstring& text, uint32_t* value) {
    if (text.empty() || text.size() > 10 || (text[0] == L'0' && text.size() > 1)) {
        return false;
    }
    uint64_t number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        number = number * 10 + static_cast<uint64_t>(c - L'0');
    }
    if (number > 0xFFFFFFFFull) {
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

std::vector<std::string> ParseLines(const std::wstring& text) {
    std::vector<std::string> lines;
    if (text.empty()) {
        return lines;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\n', start);
        lines.push_back(NarrowGcode(text.substr(start, end - start)));
        if (end == std::wstring::npos) {
            return lines;
        }
        start = end + 1;
    }
}

std::wstring JoinLines(const std::vector<std::string>& lines) {
    std::wstring text;
    for (size_t index = 0; index < lines.size(); ++index) {
        if (index > 0) {
            text.push_back(L'\n');
        }
        for (char c : lines[index]) {
            text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        }
    }
    return text;
}

// The settings of a change, by name; false for a name it does not know.
struct Slots {
    std::optional<uint32_t>* numbers[2];
    std::optional<std::vector<std::string>>* lists[3];
};

const wchar_t* const kNumberNames[] = {kStreamWindowName, kBaudRateName};
const wchar_t* const kListNames[] = {kCancelGcodeName, kPauseGcodeName, kResumeGcodeName};

// Takes one "Name=Value" entry into the slots: false when it is malformed, names
// nothing known (unless unknown names pass), or names a setting already taken.
bool TakeEntry(const std::wstring& entry, const Slots& slots, bool unknownPasses) {
    const size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos) {
        return false;
    }
    const std::wstring name = entry.substr(0, equals);
    const std::wstring value = entry.substr(equals + 1);
    for (size_t index = 0; index < 2; ++index) {
        if (name == kNumberNames[index]) {
            uint32_t number = 0;
            if (slots.numbers[index]->has_value() || !ParseNumber(value, &number)) {
                return false;
            }
            *slots.numbers[index] = number;
            return true;
        }
    }
    for (size_t index = 0; index < 3; ++index) {
        if (name == kListNames[index]) {
            if (slots.lists[index]->has_value()) {
                return false;
            }
            *slots.lists[index] = ParseLines(value);
            return true;
        }
    }
    return unknownPasses;
}

std::vector<uint8_t> EncodeEntries(const std::wstring* first, const PortSettingsChange& change) {
    std::vector<uint8_t> bytes;
    if (first != nullptr) {
        Append(bytes, *first);
    }
    const std::optional<uint32_t>* numbers[] = {&change.streamWindow, &change.baudRate};
    for (size_t index = 0; index < 2; ++index) {
        if (numbers[index]->has_value()) {
            Append(bytes, std::wstring(kNumberNames[index]) + L"=" +
                              std::to_wstring(numbers[index]->value()));
        }
    }
    const std::optional<std::vector<std::string>>* lists[] = {
        &change.cancelLines, &change.pauseLines, &change.resumeLines};
    for (size_t index = 0; index < 3; ++index) {
        if (lists[index]->has_value()) {
            Append(bytes,
                   std::wstring(kListNames[index]) + L"=" + JoinLines(lists[index]->value()));
        }
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

Slots SlotsOf(PortSettingsChange& change) {
    return Slots{{&change.streamWindow, &change.baudRate},
                 {&change.cancelLines, &change.pauseLines, &change.resumeLines}};
}

} // namespace

std::vector<uint8_t> EncodePortName(const std::wstring& name) {
    std::vector<uint8_t> bytes;
    Append(bytes, name);
    return bytes;
}

bool DecodePortName(const uint8_t* bytes, size_t size, std::wstring* name) {
    // The name's NUL and the closing empty string are one and the same here.
    if (bytes == nullptr || size < 4 || size % 2 != 0 || size > kMaxSettingsLayoutBytes) {
        return false;
    }
    std::wstring text;
    for (size_t offset = 0; offset + 2 < size; offset += 2) {
        const auto unit = static_cast<wchar_t>(bytes[offset] | (bytes[offset + 1] << 8));
        if (unit == L'\0') {
            return false;
        }
        text.push_back(unit);
    }
    if (bytes[size - 2] != 0 || bytes[size - 1] != 0) {
        return false;
    }
    *name = text;
    return true;
}

std::vector<uint8_t> EncodePortSettings(const PortSettings& settings) {
    PortSettingsChange all;
    all.streamWindow = settings.streamWindow;
    all.baudRate = settings.baudRate;
    all.cancelLines = settings.cancelLines;
    all.pauseLines = settings.pauseLines;
    all.resumeLines = settings.resumeLines;
    return EncodeEntries(nullptr, all);
}

bool DecodePortSettings(const uint8_t* bytes, size_t size, PortSettings* settings) {
    std::vector<std::wstring> strings;
    if (!SplitStrings(bytes, size, &strings)) {
        return false;
    }
    PortSettingsChange read;
    const Slots slots = SlotsOf(read);
    for (const std::wstring& entry : strings) {
        if (!TakeEntry(entry, slots, true)) {
            return false;
        }
    }
    PortSettings decoded;
    decoded.streamWindow = read.streamWindow.value_or(0);
    decoded.baudRate = read.baudRate.value_or(kAutomaticBaudRate);
    decoded.cancelLines = read.cancelLines.value_or(std::vector<std::string>());
    decoded.pauseLines = read.pauseLines.value_or(std::vector<std::string>());
    decoded.resumeLines = read.resumeLines.value_or(std::vector<std::string>());
    *settings = decoded;
    return true;
}

std::vector<uint8_t> EncodeSettingsChange(const std::wstring& port,
                                          const PortSettingsChange& change) {
    return EncodeEntries(&port, change);
}

LayoutResult DecodeSettingsChange(const uint8_t* bytes, size_t size, std::wstring* port,
                                  PortSettingsChange* change) {
    std::vector<std::wstring> strings;
    // The port's name, then at least one setting.
    if (!SplitStrings(bytes, size, &strings) || strings.size() < 2) {
        return LayoutResult::Malformed;
    }
    PortSettingsChange read;
    const Slots slots = SlotsOf(read);
    for (size_t index = 1; index < strings.size(); ++index) {
        if (!TakeEntry(strings[index], slots, false)) {
            return LayoutResult::Malformed;
        }
    }
    if (!SettingsChangeProblem(read).empty()) {
        return LayoutResult::BadValue;
    }
    *port = strings[0];
    *change = read;
    return LayoutResult::Ok;
}

} // namespace vela
