#include "monitor/PortLink.h"

#include "usb/PrinterDevice.h"
#include "platform/Handles.h"
#include "monitor/PortSession.h"

namespace vela {
namespace {

void AbortThrough(UsbTransport& link) {
    PrinterDevice device(link);
    device.AbortPrint();
    link.CloseDevice();
}

} // namespace

UsbTransport& PortUsbLink(MonitorState& state, PortEntry* entry, UsbTransport& fallback) {
    PortSession* session = SessionOf(state, entry);
    return session != nullptr ? session->usb : fallback;
}

void AbortPortPrints(MonitorState& state) {
    bool aborted = false;
    // Unload: no other call runs, and the lock is re-entrant.
    CriticalSectionLock guard(state.lock);
    if (state.context != nullptr) {
        PortsOf(*state.context).ForEach([&state, &aborted](PortEntry* entry) {
            if ((entry->flags & kPortDocumentInProgress) == 0) {
                return;
            }
            UsbTransport unnamed;
            AbortThrough(PortUsbLink(state, entry, unnamed));
            aborted = true;
        });
    }
    if (!aborted) {
        UsbTransport unnamed;
        AbortThrough(unnamed);
    }
}

} // namespace vela
