#include "monitor/PortSession.h"

#include "core/Memory.h"
#include "platform/Handles.h"
#include "platform/SeamResources.h"

#include <new>
#include <utility>

namespace vela {

void ReleaseDocumentPrinter(PortEntry* entry) {
    if (entry->session != nullptr) {
        static_cast<PortSession*>(entry->session)->status.End();
    }
    // Taken off the entry, then closed as the call returns.
    const UniqueSpoolerPrinter printer(std::exchange(entry->printerHandle, nullptr));
    FreeString(entry->printerName);
    entry->printerName = nullptr;
}

PortSession* SessionOf(MonitorState& state, PortEntry* entry) {
    if (entry == nullptr) {
        return nullptr;
    }
    // OpenPort makes it; the spooler's later calls for the port find it.
    if (entry->session != nullptr) {
        return static_cast<PortSession*>(entry->session);
    }
    CriticalSectionLock guard(state.lock);
    if (entry->session == nullptr) {
        entry->session = new (std::nothrow) PortSession(entry->name);
    }
    return static_cast<PortSession*>(entry->session);
}

} // namespace vela
