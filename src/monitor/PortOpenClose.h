// A port's open period: OpenPort and ClosePort.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// Finds the port by name and holds it; the port entry becomes the spooler's port
// handle. Several ports may be open at once, and one port by several queues.
BOOL OpenPort(MonitorState& state, HANDLE monitor, LPWSTR name, PHANDLE port);

// Stops the port's serial handler and lets go of the hold. True when the handler
// has stopped (or none ran); false when it did not stop in time.
BOOL ClosePort(MonitorState& state, HANDLE port);

} // namespace vela
