#include "monitor/JobStart.h"

#include "ports/PortList.h"
#include "protocol/ProtocolHandler.h"

namespace vela {

BOOL OpenPort(MonitorState& state, HANDLE monitor, LPWSTR name, PHANDLE port) {
    if (name == nullptr || port == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *port = nullptr;
    // Held from here to ClosePort, so that "DeletePort" cannot free it meanwhile.
    PortEntry* entry = HoldPortEntry(state, static_cast<MonitorContext*>(monitor), name);
    if (entry == nullptr) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const DWORD started = StartProtocolHandler(state, name);
    if (started != 0) {
        ReleasePortEntryHold(state, entry);
        ::SetLastError(started == kHandlerAlreadyExists ? ERROR_BUSY : started);
        return FALSE;
    }
    *port = entry;
    return TRUE;
}

} // namespace vela
