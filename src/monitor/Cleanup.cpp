#include "monitor/Cleanup.h"

#include "monitor/DebugLog.h"
#include "monitor/Memory.h"
#include "monitor/PortLink.h"
#include "platform/Platform.h"
#include "ports/PortList.h"
#include "ports/Transceive.h"

namespace vela {

void InstanceCleanUp(MonitorState& state) {
    if (state.m_Registered == 0) {
        return;
    }
    WriteLog("Beging cancel the print in ** InstanceCleanUp() **\r\n");
    // On every unload, printing or not: a printer that is not attached only makes
    // the exchanges fail. Each document's port reaches its own printer.
    AbortPortPrints(state);
    state.m_Registered = 0;
    if (state.m_hNotify != nullptr) {
        CurrentPlatform().notifications->CM_Unregister_Notification(state.m_hNotify);
        state.m_hNotify = nullptr;
    }
    ::DeleteCriticalSection(&state.m_Lock);
    state.m_hInstance = nullptr;
}

void Shutdown(MonitorState& state, HANDLE monitor) {
    WriteLog("Shutdown monitor port\r\n");
    auto* context = static_cast<MonitorContext*>(monitor);
    if (context == nullptr) {
        return;
    }
    // No lock: the spooler calls Shutdown after every other call has returned.
    ReleasePortList(context);
    // Transceive handles the port screens never closed go with the context.
    ReleaseXcvHandles(context);
    FreeMem(context);
    if (state.m_pContext == context) {
        state.m_pContext = nullptr;
    }
}

} // namespace vela
