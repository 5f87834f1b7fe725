#include "monitor/JobStart.h"

#include "platform/Handles.h"
#include "ports/PortList.h"
#include "protocol/ProtocolHandler.h"

namespace vela {

BOOL OpenPort(MonitorState& state, HANDLE monitor, LPWSTR name, PHANDLE port) {
    if (name == nullptr || port == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *port = nullptr;
    PortEntry* entry = nullptr;
    {
        CriticalSectionLock guard(state.m_Lock);
        auto* context = static_cast<MonitorContext*>(monitor);
        entry = FindPortEntry(context != nullptr ? context->firstPort : nullptr, name);
    }
    if (entry == nullptr) {
        return FALSE;
    }
    if (StartProtocolHandler(state, name) != 0) {
        return FALSE;
    }
    *port = entry;
    return TRUE;
}

} // namespace vela
