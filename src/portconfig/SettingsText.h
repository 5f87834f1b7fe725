// A port's settings as the user reads and types them: the words the port screen
// and the host program show, and G-code lines typed on one line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vela::portconfig {

// "automatic" or "250000 baud".
std::wstring BaudRateText(uint32_t rate);
// "one line at a time" or "a window of 127 bytes".
std::wstring StreamWindowText(uint32_t bytes);
// The lines joined by ";", or "(none)".
std::wstring GcodeLinesText(const std::vector<std::string>& lines);
// "M104 S0; M140 S0;M84" as its lines: split at each ';', spaces and tabs around a
// line dropped, empty lines skipped. Unchecked: the rules of core/PortSettings.h
// apply to the result.
std::vector<std::string> SplitGcodeText(const std::wstring& text);

} // namespace vela::portconfig
