// The ends of the monitor's lifetimes.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// Runs at module unload (DllMain's detach and the state's destruction); only the
// first call after an initialisation does anything.
void InstanceCleanUp(MonitorState& state);

// The spooler lets go of the monitor: releases the port entries and the context.
void Shutdown(MonitorState& state, HANDLE monitor);

} // namespace vela
