#include "portconfig/SettingsText.h"

#include "core/PortSettings.h"

namespace vela::portconfig {

std::wstring BaudRateText(uint32_t rate) {
    return rate == kAutomaticBaudRate ? L"automatic" : std::to_wstring(rate) + L" baud";
}

std::wstring StreamWindowText(uint32_t bytes) {
    return bytes == 0 ? L"one line at a time"
                      : L"a window of " + std::to_wstring(bytes) + L" bytes";
}

std::wstring GcodeLinesText(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return L"(none)";
    }
    std::wstring text;
    for (const std::string& line : lines) {
        if (!text.empty()) {
            text += L";";
        }
        for (char c : line) {
            text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        }
    }
    return text;
}

std::vector<std::string> SplitGcodeText(const std::wstring& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L';', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        size_t first = start;
        size_t last = end;
        while (first < last && (text[first] == L' ' || text[first] == L'\t')) {
            ++first;
        }
        while (last > first && (text[last - 1] == L' ' || text[last - 1] == L'\t')) {
            --last;
        }
        if (last > first) {
            lines.push_back(NarrowGcode(text.substr(first, last - first)));
        }
        start = end + 1;
    }
    return lines;
}

} // namespace vela::portconfig
