// The USB connection of a port's documents: each port reaches its own printer.
#pragma once

#include "usb/UsbTransport.h"
#include "core/MonitorState.h"
#include "ports/PortList.h"

namespace vela {

// The port's own connection, made on its first use and kept with the entry. A
// call without an entry, or without memory for a connection, uses fallback.
UsbTransport& PortUsbLink(MonitorState& state, PortEntry* entry, UsbTransport& fallback);

// Ends every document still in progress on the ports of the list, as any document
// ends early (see DocumentEnding.h), and lets no new one start. A port without a
// document touches no printer. A call still under way is asked to finish and
// waited for (bounded). For Shutdown, on a list taken off its context.
void EndPortDocumentsForShutdown(MonitorState& state, PortEntry* firstPort);

} // namespace vela
