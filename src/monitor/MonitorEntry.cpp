#include "monitor/MonitorInstance.h"
#include "monitor/MonitorEntry.h"

#include "monitor/Shutdown.h"
#include "core/Memory.h"
#include "monitor/MonitorTable.h"
#include "platform/Handles.h"
#include "ports/DeviceDiscovery.h"
#include "ports/PortList.h"

namespace vela {
namespace {

// Set while the instance is initialised; used only by the attach and detach paths.
bool instanceInitialised = false;

constexpr DWORD kLockSpinCount = 0x80000000;

int InitialiseInstance(MonitorState& state) {
    int result = ::InitializeCriticalSectionAndSpinCount(&state.lock, kLockSpinCount) ? 1 : 0;
    if (result == 1) {
        CM_NOTIFY_FILTER filter{};
        static_assert(sizeof(CM_NOTIFY_FILTER) == 0x1A0, "notification filter layout");
        filter.cbSize = sizeof(CM_NOTIFY_FILTER);
        filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
        filter.u.DeviceInterface.ClassGuid = kPrinterInterfaceClassGuid;
        HCMNOTIFICATION notify = nullptr;
        const CONFIGRET registered = CurrentPlatform().notifications->CM_Register_Notification(
            &filter, &state, OnDeviceInterfaceChange, &notify);
        if (registered != CR_SUCCESS || notify == nullptr) {
            if (notify != nullptr) {
                CurrentPlatform().notifications->CM_Unregister_Notification(notify);
            }
            // The lock is not kept for an instance that refuses to load.
            ::DeleteCriticalSection(&state.lock);
            result = 0;
        } else {
            state.notification = notify;
        }
    }
    state.registered = result;
    return result;
}

} // namespace

BOOL ProcessAttach(MonitorState& state, const Platform& platform) {
    InstallPlatform(platform);
    if (instanceInitialised) {
        return TRUE;
    }
    instanceInitialised = InitialiseInstance(state) == 1;
    return instanceInitialised ? TRUE : FALSE;
}

void ProcessDetach(MonitorState& state) {
    if (instanceInitialised) {
        InstanceCleanUp(state);
        instanceInitialised = false;
    }
}

LPMONITOR2 InitializeMonitor(MonitorState& state, PMONITORINIT monitorInit, PHANDLE monitor) {
    if (monitor != nullptr) {
        *monitor = nullptr;
    }
    state.context = nullptr;
    auto* context = static_cast<MonitorContext*>(AllocMem(sizeof(MonitorContext)));
    if (context == nullptr) {
        return nullptr;
    }
    context->signature = kMonitorContextSignature;
    context->monitorInit = monitorInit;
    if (monitor != nullptr) {
        *monitor = context;
    }
    DWORD loaded = ERROR_SUCCESS;
    {
        // Serialised with device notifications, which may arrive on another thread
        // from process attach on and reload the ports under the same lock.
        CriticalSectionLock guard(state.lock);
        state.monitorInit = monitorInit;
        state.context = context;
        loaded = LoadPorts(state);
        if (loaded != ERROR_SUCCESS) {
            // Entries discovered before the failure must not outlive the context.
            ReleasePortList(context);
            state.context = nullptr;
        }
    }
    if (loaded == ERROR_SUCCESS) {
        return MonitorFunctionTable();
    }
    FreeMem(context);
    if (monitor != nullptr) {
        *monitor = nullptr;
    }
    ::SetLastError(loaded);
    return nullptr;
}

} // namespace vela

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
    return vela::InitializeMonitor(vela::TheMonitorState(), pMonitorInit, phMonitor);
}
