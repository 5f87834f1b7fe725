// The USB connection of a port's documents: each port reaches its own printer.
#pragma once

#include "usb/UsbTransport.h"
#include "core/MonitorState.h"
#include "ports/PortList.h"

namespace vela {

// The port's own connection, made on its first use and kept with the entry. A
// call without an entry, or without memory for a connection, uses fallback.
UsbTransport& PortUsbLink(MonitorState& state, PortEntry* entry, UsbTransport& fallback);

// Aborts the print on the printer of every port with a document in progress,
// each through its port's connection. With no such port, the abort goes through
// an unnamed connection: to the one attached printer, if only one is.
void AbortPortPrints(MonitorState& state);

} // namespace vela
