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
    return StopProtocolHandler(state) ? TRUE : FALSE;
}

} // namespace vela
