// The G-code a serial printer receives when its document is cancelled.
#pragma once

#include "core/MonitorState.h"

#include <string>
#include <vector>

namespace vela {

// REG_MULTI_SZ under the monitor's root key; replaces the default lines.
constexpr wchar_t kCancelGCodeValueName[] = L"CancelGCode";

// Heaters, fan and motors off; M108 first ends a heating wait on firmware that
// reads it at once.
std::vector<std::string> DefaultCancelLines();

// The "CancelGCode" value's lines (empty strings skipped, each at most 255
// characters), or the default lines when the value is missing or unreadable.
std::vector<std::string> ReadCancelLines(MonitorState& state);

} // namespace vela
