// The end of a port's open period.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// Releases the entry's device path and stops the protocol handler. True when the
// handler has stopped; false when none was started or it did not stop in time.
BOOL ClosePort(MonitorState& state, HANDLE port);

} // namespace vela
