// The spooler's function table.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

// MONITOR2 as the spooler sees it today, with the trailing pfnPowerEvent that the
// SDK headers of this toolchain do not declare.
struct Monitor2WithPowerEvent {
    MONITOR2 base;
    void* pfnPowerEvent;
};

constexpr DWORD kMonitor2Size = 184;

LPMONITOR2 MonitorFunctionTable();

} // namespace vela
