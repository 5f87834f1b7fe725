// The ends of the monitor's lifetimes.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// Runs at module unload (DllMain's detach and the state's destruction), under the
// loader lock: deletes the monitor lock, once.
void InstanceCleanUp(MonitorState& state);

// The spooler lets go of the monitor: stops the printer notices, aborts the
// documents still in progress on their own printers, stops the serial lines and
// releases the port entries, the context and the registry route.
void Shutdown(MonitorState& state, HANDLE monitor);

} // namespace vela
