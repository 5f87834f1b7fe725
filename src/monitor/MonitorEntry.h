// The module's front door: process attach and detach, and the spooler's entry.
#pragma once

#include "core/MonitorState.h"
#include "platform/Platform.h"

namespace vela {

// DLL_PROCESS_ATTACH, under the loader lock: installs the platform and creates
// the monitor lock once, nothing more. False refuses the load.
BOOL ProcessAttach(MonitorState& state, const Platform& platform);

// DLL_PROCESS_DETACH, under the loader lock: deletes the lock. Printers, threads
// and notices are Shutdown's, which the spooler calls before it lets go.
void ProcessDetach(MonitorState& state);

// The operation behind the export InitializePrintMonitor2: keeps a copy of what it
// needs of monitorInit, registers for printer notices and loads the ports.
LPMONITOR2 InitializeMonitor(MonitorState& state, PMONITORINIT monitorInit, PHANDLE monitor);

} // namespace vela

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor);
