#include "monitor/Shutdown.h"

#include "platform/DiagnosticLog.h"
#include "core/Memory.h"
#include "platform/Handles.h"
#include "monitor/PortLink.h"
#include "platform/Platform.h"
#include "ports/PortList.h"
#include "ports/Transceive.h"

namespace vela {

void InstanceCleanUp(MonitorState& state) {
    if (state.registered == 0) {
        return;
    }
    Log(LogTo::DebugLog, "Beging cancel the print in ** InstanceCleanUp() **\r\n");
    // On every unload, printing or not: a printer that is not attached only makes
    // the exchanges fail. Each document's port reaches its own printer.
    AbortPortPrints(state);
    state.registered = 0;
    // Serial lines the spooler never closed: their threads are stopped (bounded)
    // before the module goes.
    if (state.context != nullptr) {
        CriticalSectionLock guard(state.lock);
        PortsOf(*state.context).ForEach([](PortEntry* entry) {
            delete entry->session;
            entry->session = nullptr;
        });
    }
    if (state.notification != nullptr) {
        CurrentPlatform().notifications->CM_Unregister_Notification(state.notification);
        state.notification = nullptr;
    }
    ::DeleteCriticalSection(&state.lock);
}

void Shutdown(MonitorState& state, HANDLE monitor) {
    Log(LogTo::DebugLog, "Shutdown monitor port\r\n");
    auto* context = static_cast<MonitorContext*>(monitor);
    if (context == nullptr) {
        return;
    }
    // A device notification may arrive on the configuration manager's thread at
    // any time: the context is forgotten first and the lists taken off it under
    // the lock, so a reload that follows finds no context and does nothing.
    MonitorContext detached{};
    {
        CriticalSectionLock guard(state.lock);
        if (state.context == context) {
            state.context = nullptr;
        }
        detached = *context;
        context->firstPort = nullptr;
        context->firstXcvHandle = nullptr;
    }
    ReleasePortList(&detached);
    // Transceive handles the port screens never closed go with the context.
    ReleaseXcvHandles(&detached);
    FreeMem(context);
}

} // namespace vela
