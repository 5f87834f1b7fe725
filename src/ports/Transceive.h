// The spooler's transceive calls: a handle on a port (or on the monitor) through
// which the port configuration screens send named commands.
#pragma once

#include "core/XcvHandle.h"

namespace vela {

// Frees every handle still open on the context (at Shutdown).
void ReleaseXcvHandles(MonitorContext* context);

// Appends a handle for the object (a port name such as COM1:, or none for the
// monitor itself, which gets an empty name) to the monitor's handle list.
BOOL MonitorXcvOpenPort(MonitorState& state, HANDLE monitor, LPCWSTR object,
                        ACCESS_MASK grantedAccess, PHANDLE xcv);

// Runs the named command; the result is the Win32 code the screen receives.
// ERROR_INVALID_HANDLE, with nothing run, for a handle that MonitorXcvOpenPort did
// not give or that is closed.
DWORD MonitorXcvDataPort(MonitorState& state, HANDLE xcv, LPCWSTR command, PBYTE input,
                         DWORD inputSize, PBYTE output, DWORD outputSize, PDWORD needed);

// Unlinks and frees the handle, its signature cleared first; true also for a
// handle that is not in the list, which is left untouched.
BOOL MonitorXcvClosePort(MonitorState& state, HANDLE xcv);

} // namespace vela
