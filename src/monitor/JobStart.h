// The start of a job: the spooler opens the port.
#pragma once

#include "monitor/MonitorState.h"

namespace vela {

// Finds the port by name and starts the protocol handler for it; the port entry
// becomes the spooler's port handle. Only one port can be open at a time.
BOOL OpenPort(MonitorState& state, HANDLE monitor, LPWSTR name, PHANDLE port);

} // namespace vela
