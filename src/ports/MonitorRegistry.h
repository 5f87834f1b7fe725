// What the monitor keeps of the spooler's MONITORINIT, and the route its registry
// calls take: the spooler's registry functions, or, where the spooler only has
// stubs of them, the monitor's own on its key opened by name.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// The monitor's key below HKEY_LOCAL_MACHINE, where the spooler keeps it.
extern const wchar_t kMonitorKeyPath[];

// Copies what the monitor keeps of init into the state; the caller's record may go
// as soon as InitializePrintMonitor2 returns. When the spooler's registry
// functions answer ERROR_CALL_NOT_IMPLEMENTED, the monitor's own functions on its
// key opened by name take their place for the rest of its life. 0, or
// ERROR_INVALID_PARAMETER (no registry functions), or the error opening the key.
DWORD KeepMonitorInit(MonitorState& state, const MONITORINIT& init);

// Forgets what KeepMonitorInit kept and closes the key it opened by name.
void ReleaseMonitorInit(MonitorState& state);

// The monitor's own registry functions: direct registry calls on the keys they are
// given; the spooler handle is not used.
const MONITORREG& DirectRegistryFunctions();

} // namespace vela
