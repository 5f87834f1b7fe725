// The configuration manager's notices of printers arriving and leaving, which
// reload the ports: registered by InitializePrintMonitor2, unregistered by Shutdown.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// Registers for the notices unless registered. A system without them (or a
// refused registration) leaves discovery to the start only: logged once, never a
// reason to refuse the monitor.
void StartPrinterNotices(MonitorState& state);

// Unregisters; the call waits for a notice being handled, so the monitor lock
// must not be held.
void StopPrinterNotices(MonitorState& state);

} // namespace vela
