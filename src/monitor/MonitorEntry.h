// The module's front door: process attach and detach, and the spooler's entry.
#pragma once

#include "core/MonitorState.h"
#include "platform/Platform.h"

namespace vela {

// DLL_PROCESS_ATTACH: installs the platform, then initialises the instance once
// (lock, device notifications). False refuses the load.
BOOL ProcessAttach(MonitorState& state, const Platform& platform);

// DLL_PROCESS_DETACH: cleans up an initialised instance.
void ProcessDetach(MonitorState& state);

// The operation behind the export InitializePrintMonitor2.
LPMONITOR2 InitializeMonitor(MonitorState& state, PMONITORINIT monitorInit, PHANDLE monitor);

} // namespace vela

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor);
