#include "monitor/PrinterNotices.h"

#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"
#include "ports/DeviceDiscovery.h"

namespace vela {
namespace {

// The lack of notices is the same on every start: said once a process.
bool lackReported = false;

} // namespace

void StartPrinterNotices(MonitorState& state) {
    if (state.notification != nullptr) {
        return;
    }
    CM_NOTIFY_FILTER filter{};
    static_assert(sizeof(CM_NOTIFY_FILTER) == 0x1A0, "notification filter layout");
    filter.cbSize = sizeof(CM_NOTIFY_FILTER);
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    filter.u.DeviceInterface.ClassGuid = kPrinterInterfaceClassGuid;
    HCMNOTIFICATION notify = nullptr;
    DeviceNotifications& notifications = *CurrentPlatform().notifications;
    const CONFIGRET registered =
        notifications.CM_Register_Notification(&filter, &state, OnDeviceInterfaceChange, &notify);
    if (registered == CR_SUCCESS && notify != nullptr) {
        state.notification = notify;
        return;
    }
    if (notify != nullptr) {
        notifications.CM_Unregister_Notification(notify);
    }
    if (!lackReported) {
        lackReported = true;
        LogFormatted(LogTo::DebugLog,
                     "No printer arrival notices (CONFIGRET %lu): printers attached later "
                     "get their ports at the next start\r\n",
                     static_cast<unsigned long>(registered));
    }
}

void StopPrinterNotices(MonitorState& state) {
    const HCMNOTIFICATION notify = state.notification;
    if (notify == nullptr) {
        return;
    }
    CurrentPlatform().notifications->CM_Unregister_Notification(notify);
    state.notification = nullptr;
}

} // namespace vela
