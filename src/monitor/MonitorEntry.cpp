#include "monitor/MonitorEntry.h"

#include "monitor/MonitorInstance.h"

#include "core/Memory.h"
#include "monitor/MonitorTable.h"
#include "monitor/PrinterNotices.h"
#include "monitor/Shutdown.h"
#include "platform/Handles.h"
#include "ports/MonitorRegistry.h"
#include "ports/PortList.h"

namespace vela {
namespace {

constexpr DWORD kLockSpinCount = 0x80000000;

} // namespace

BOOL ProcessAttach(MonitorState& state, const Platform& platform) {
    InstallPlatform(platform);
    if (state.lockReady != 0) {
        return TRUE;
    }
    if (!::InitializeCriticalSectionAndSpinCount(&state.lock, kLockSpinCount)) {
        return FALSE;
    }
    state.lockReady = 1;
    return TRUE;
}

void ProcessDetach(MonitorState& state) {
    InstanceCleanUp(state);
}

LPMONITOR2 InitializeMonitor(MonitorState& state, PMONITORINIT monitorInit, PHANDLE monitor) {
    if (monitor != nullptr) {
        *monitor = nullptr;
    }
    state.context = nullptr;
    if (monitorInit == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const DWORD kept = KeepMonitorInit(state, *monitorInit);
    if (kept != ERROR_SUCCESS) {
        ::SetLastError(kept);
        return nullptr;
    }
    auto* context = static_cast<MonitorContext*>(AllocMem(sizeof(MonitorContext)));
    if (context == nullptr) {
        const DWORD error = ::GetLastError();
        ReleaseMonitorInit(state);
        ::SetLastError(error);
        return nullptr;
    }
    context->signature = kMonitorContextSignature;
    context->monitorInit = state.monitorInit;
    // Registered before the ports are loaded, so that no printer arriving between
    // the two is missed; a notice that comes before the context finds none.
    StartPrinterNotices(state);
    DWORD loaded = ERROR_SUCCESS;
    {
        // Serialised with the notices, which reload the ports under the same lock.
        CriticalSectionLock guard(state.lock);
        state.context = context;
        loaded = LoadPorts(state);
        if (loaded != ERROR_SUCCESS) {
            // Entries discovered before the failure must not outlive the context.
            ReleasePortList(context);
            state.context = nullptr;
        }
    }
    if (loaded == ERROR_SUCCESS) {
        if (monitor != nullptr) {
            *monitor = context;
        }
        return MonitorFunctionTable();
    }
    StopPrinterNotices(state);
    FreeMem(context);
    ReleaseMonitorInit(state);
    ::SetLastError(loaded);
    return nullptr;
}

} // namespace vela

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
    return vela::InitializeMonitor(vela::TheMonitorState(), pMonitorInit, phMonitor);
}
