#include "core/PortSettings.h"

namespace vela {
namespace {

const wchar_t* ListName(GcodeList list) {
    switch (list) {
    case GcodeList::Cancel:
        return L"cancel";
    case GcodeList::Pause:
        return L"pause";
    default:
        return L"resume";
    }
}

std::wstring RateList() {
    std::wstring text;
    for (uint32_t rate : kStandardBaudRates) {
        text += (text.empty() ? L"" : L", ") + std::to_wstring(rate);
    }
    return text;
}

} // namespace

std::vector<std::string> DefaultCancelLines() {
    return {"M108", "M104 S0", "M140 S0", "M107", "M84"};
}

std::wstring StreamWindowProblem(uint32_t bytes) {
    if (bytes > kMaxStreamWindowBytes) {
        return L"A window of " + std::to_wstring(bytes) + L" bytes is too large: at most " +
               std::to_wstring(kMaxStreamWindowBytes) + L" bytes (0 sends one line at a time).";
    }
    return std::wstring();
}

std::wstring BaudRateProblem(uint32_t rate) {
    if (rate == kAutomaticBaudRate) {
        return std::wstring();
    }
    for (uint32_t standard : kStandardBaudRates) {
        if (rate == standard) {
            return std::wstring();
        }
    }
    return std::to_wstring(rate) + L" baud is not a standard speed: choose automatic or one of " +
           RateList() + L".";
}

std::wstring GcodeLinesProblem(GcodeList list, const std::vector<std::string>& lines) {
    const std::wstring name = ListName(list);
    if (lines.size() > kMaxGcodeLines) {
        return L"The " + name + L" G-code has " + std::to_wstring(lines.size()) +
               L" lines: at most " + std::to_wstring(kMaxGcodeLines) + L".";
    }
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string& line = lines[index];
        const std::wstring which =
            L"Line " + std::to_wstring(index + 1) + L" of the " + name + L" G-code";
        if (line.empty()) {
            return which + L" is empty.";
        }
        if (line.size() > kMaxGcodeLineLength) {
            return which + L" has " + std::to_wstring(line.size()) + L" characters: at most " +
                   std::to_wstring(kMaxGcodeLineLength) + L".";
        }
        for (char c : line) {
            if (c < 0x20 || c > 0x7E) {
                return which + L" holds a character that is not printable ASCII.";
            }
            if (c == '*') {
                return which + L" holds '*', which would cut off the line's checksum.";
            }
        }
    }
    return std::wstring();
}

std::wstring SettingsChangeProblem(const PortSettingsChange& change) {
    std::wstring problem;
    if (change.streamWindow) {
        problem = StreamWindowProblem(*change.streamWindow);
    }
    if (problem.empty() && change.baudRate) {
        problem = BaudRateProblem(*change.baudRate);
    }
    if (problem.empty() && change.detectedBaudRate) {
        problem = BaudRateProblem(*change.detectedBaudRate);
    }
    const struct {
        GcodeList list;
        const std::optional<std::vector<std::string>>& lines;
    } lists[] = {{GcodeList::Cancel, change.cancelLines},
                 {GcodeList::Pause, change.pauseLines},
                 {GcodeList::Resume, change.resumeLines}};
    for (const auto& item : lists) {
        if (problem.empty() && item.lines) {
            problem = GcodeLinesProblem(item.list, *item.lines);
        }
    }
    return problem;
}

std::string NarrowGcode(const std::wstring& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t unit : text) {
        const auto value = static_cast<uint32_t>(unit);
        narrow.push_back(value < 0x7F ? static_cast<char>(value) : '\x7F');
    }
    return narrow;
}

} // namespace vela
