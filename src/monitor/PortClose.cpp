#include "monitor/PortClose.h"

#include "monitor/Memory.h"
#include "ports/PortList.h"
#include "protocol/ProtocolHandler.h"

namespace vela {

BOOL ClosePort(MonitorState& state, HANDLE port) {
    auto* entry = static_cast<PortEntry*>(port);
    if (entry != nullptr) {
        FreeString(entry->devicePath);
        entry->devicePath = nullptr;
    }
    const bool stopped = StopProtocolHandler(state);
    // The spooler lets go of the port whatever became of the handler.
    ReleasePortEntryHold(state, entry);
    if (!stopped) {
        ::SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    return TRUE;
}

} // namespace vela
