// The USB connection of a port's documents: each port reaches its own printer.
#pragma once

#include "usb/UsbTransport.h"
#include "core/MonitorState.h"
#include "ports/PortList.h"

namespace vela {

// The port's own connection, made on its first use and kept with the entry. A
// call without an entry, or without memory for a connection, uses fallback.
UsbTransport& PortUsbLink(MonitorState& state, PortEntry* entry, UsbTransport& fallback);

// Ends every document still in progress on the ports of the list, each on its
// own port's printer: a USB printer's print is aborted, a serial document is
// cancelled with its cancel lines. A port without a document touches no printer.
// A document whose call is still under way is asked to end, and that call does it.
// For Shutdown, on a list taken off its context.
void AbortPortDocuments(MonitorState& state, PortEntry* firstPort);

} // namespace vela
