#include "HostMonitor.h"

#include "platform/Handles.h"
#include "ports/PortList.h"

namespace vela::host {

HostMonitor::HostMonitor(const Platform& platform) : MonitorHarness(platform) {}

HostMonitor::HostMonitor(const Platform& platform, HKEY base, const std::wstring& rootPath)
    : MonitorHarness(platform, base, rootPath) {}

HostMonitor::~HostMonitor() {
    Unload();
}

void HostMonitor::RegisterPort(const std::wstring& name, const std::wstring& devicePath) {
    registry.SetPortValue(name, devicePath);
}

bool HostMonitor::Load() {
    if (!Attach()) {
        error_ = "the monitor refused to load (process attach failed)";
        return false;
    }
    if (Initialize() == nullptr) {
        error_ = "InitializePrintMonitor2 failed with error " + std::to_string(::GetLastError());
        return false;
    }
    return true;
}

void HostMonitor::Unload() {
    MonitorHarness::Unload();
    InstallPlatform(Win32Platform());
}

HANDLE HostMonitor::OpenPort(const std::wstring& name) {
    LPMONITOR2 table = Table();
    if (table == nullptr) {
        error_ = "the monitor is not loaded";
        return nullptr;
    }
    std::wstring portName = name;
    HANDLE port = nullptr;
    if (table->pfnOpenPort != nullptr) {
        if (!table->pfnOpenPort(MonitorHandle(), &portName[0], &port) || port == nullptr) {
            error_ = "OpenPort refused the port (error " + std::to_string(::GetLastError()) + ")";
            return nullptr;
        }
        return port;
    }
    // A monitor without OpenPort: the port entry itself is the port handle.
    CriticalSectionLock guard(State().lock);
    port = FindPortEntry(Context()->firstPort, portName.c_str());
    if (port == nullptr) {
        error_ = "the monitor has no such port";
    }
    return port;
}

bool HostMonitor::ClosePort(HANDLE port) {
    LPMONITOR2 table = Table();
    if (table == nullptr || port == nullptr) {
        return false;
    }
    if (table->pfnClosePort == nullptr) {
        return true;
    }
    return table->pfnClosePort(port) != FALSE;
}

PortSession& DocumentOf(HANDLE port) {
    return *static_cast<PortSession*>(EntryOf(port)->session);
}

} // namespace vela::host
