// Which ports the spooler sees, and adding ports through AddPortEx.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// EnumPorts at level 1 or 2: the monitor's port list packed into the caller's
// buffer, all under the monitor lock so that the size and the fill agree.
BOOL MonitorEnumPorts(MonitorState& state, HANDLE monitor, LPWSTR serverName, DWORD level,
                      LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned);

// AddPortEx at level 1 or 0xFFFFFFFF; the port name is the buffer's first pointer.
BOOL MonitorAddPortEx(MonitorState& state, HANDLE monitor, LPWSTR serverName, DWORD level,
                      LPBYTE buffer, LPWSTR monitorName);

// Whether any port monitor of the spooler, this one included, offers the same port
// name (SamePortName). A list that grows between the size query and the fill is
// asked for again; true when it cannot be read at all, so that callers refuse to add. Never call it
// with the monitor lock held: the spooler may call this monitor's EnumPorts on another thread while
// answering.
bool IsPortKnownToSpooler(LPWSTR serverName, LPCWSTR portName);

} // namespace vela
