// Ports of the maker's attached printers, found through device setup.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// Interface class of the printers' device interface, for arrival and removal notices.
extern const GUID kPrinterInterfaceClassGuid;

// Adds an entry (open count 1) for every "3DPrinter" device whose "PortName"
// carries the maker's mark and is not listed yet; a device without a readable
// name, or with one too long for a port, is passed over. ERROR_CANNOT_MAKE when
// an entry could not be created. Called with the monitor lock held.
DWORD DiscoverDevicePorts(MonitorState& state, MonitorContext* context);

// The configuration manager's callback for arrival and removal of a printer
// interface: reloads the ports under the monitor lock.
DWORD CALLBACK OnDeviceInterfaceChange(HCMNOTIFICATION notify, PVOID context,
                                       CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA eventData,
                                       DWORD eventDataSize);

} // namespace vela
