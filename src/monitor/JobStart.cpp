#include "monitor/JobStart.h"

#include "monitor/PortSession.h"
#include "ports/PortList.h"

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
    // The device of a serial printer is opened by its first document: a queue
    // connects to its port whether the printer is on or not.
    if (SessionOf(state, entry) == nullptr) {
        ReleasePortEntryHold(state, entry);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *port = entry;
    return TRUE;
}

} // namespace vela
