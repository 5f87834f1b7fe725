#include "monitor/PortLink.h"

#include "VelaLib2/PrinterDevice.h"
#include "platform/Handles.h"
#include "ports/PortConnection.h"

#include <new>

namespace vela {
namespace {

class UsbPortConnection final : public PortConnection {
  public:
    explicit UsbPortConnection(const wchar_t* portName) : link(portName) {}
    UsbTransport link;
};

void AbortThrough(UsbTransport& link) {
    PrinterDevice device(link);
    device.AbortPrint();
    link.CloseDevice();
}

} // namespace

UsbTransport& PortUsbLink(MonitorState& state, PortEntry* entry, UsbTransport& fallback) {
    if (entry == nullptr) {
        return fallback;
    }
    CriticalSectionLock guard(state.m_Lock);
    if (entry->connection == nullptr) {
        try {
            entry->connection = new UsbPortConnection(entry->name);
        } catch (const std::bad_alloc&) {
            return fallback;
        }
    }
    // Every connection of a port entry is made here.
    return static_cast<UsbPortConnection*>(entry->connection)->link;
}

void AbortPortPrints(MonitorState& state) {
    bool aborted = false;
    // Unload: no other call runs, and the lock is re-entrant.
    CriticalSectionLock guard(state.m_Lock);
    MonitorContext* context = state.m_pContext;
    for (PortEntry* entry = context != nullptr ? context->firstPort : nullptr; entry != nullptr;
         entry = entry->next) {
        if ((entry->flags & kPortDocumentInProgress) == 0) {
            continue;
        }
        UsbTransport unnamed;
        AbortThrough(PortUsbLink(state, entry, unnamed));
        aborted = true;
    }
    if (!aborted) {
        UsbTransport unnamed;
        AbortThrough(unnamed);
    }
}

} // namespace vela
