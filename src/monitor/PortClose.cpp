#include "monitor/PortClose.h"

#include "monitor/Memory.h"
#include "monitor/PortSession.h"
#include "ports/PortList.h"

namespace vela {

BOOL ClosePort(MonitorState& state, HANDLE port) {
    auto* entry = static_cast<PortEntry*>(port);
    if (entry == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FreeString(entry->devicePath);
    entry->devicePath = nullptr;
    PortSession* session = SessionOf(state, entry);
    if (session != nullptr && session->serial != nullptr) {
        // Lines a document left behind are cleared, a line being written is
        // finished, and the device is closed.
        if (!session->serial->Stop()) {
            ::SetLastError(ERROR_BUSY);
            return FALSE;
        }
        session->serial.reset();
        session->serialStarted = false;
    }
    return TRUE;
}

} // namespace vela
