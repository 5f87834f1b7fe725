#include "monitor/Shutdown.h"

#include "core/Memory.h"
#include "monitor/PortLink.h"
#include "monitor/PrinterNotices.h"
#include "platform/DiagnosticLog.h"
#include "platform/Handles.h"
#include "ports/MonitorRegistry.h"
#include "ports/PortList.h"
#include "ports/Transceive.h"

namespace vela {

void InstanceCleanUp(MonitorState& state) {
    if (state.lockReady == 0) {
        return;
    }
    state.lockReady = 0;
    ::DeleteCriticalSection(&state.lock);
}

void Shutdown(MonitorState& state, HANDLE monitor) {
    Log(LogTo::DebugLog, "Shutdown monitor port\r\n");
    // First, so that no reload runs from here on; a running one is waited for.
    StopPrinterNotices(state);
    auto* context = static_cast<MonitorContext*>(monitor);
    if (context == nullptr) {
        return;
    }
    // The context is forgotten and the lists taken off it under the lock, so that
    // nothing that still looks finds them.
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
    // Only this monitor's documents, each on its own port's printer; calls still
    // under way are waited for (bounded) before what they use goes.
    EndPortDocumentsForShutdown(state, detached.firstPort);
    // The ports' serial lines are stopped (bounded) with their entries; a port the
    // spooler still holds open goes with its last ClosePort.
    ReleasePortListLeavingHeld(state, detached.firstPort);
    // Transceive handles the port screens never closed go with the context.
    ReleaseXcvHandles(&detached);
    FreeMem(context);
    // Registry reads of the job path run under the lock.
    CriticalSectionLock guard(state.lock);
    ReleaseMonitorInit(state);
}

} // namespace vela
