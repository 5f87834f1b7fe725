#include "monitor/MonitorInstance.h"
#include "HostMonitor.h"

#include "monitor/MonitorEntry.h"
#include "core/MonitorState.h"
#include "platform/Handles.h"
#include "ports/PortList.h"

namespace vela::host {

HostMonitor::HostMonitor(const Platform& platform) : platform_(platform) {}

HostMonitor::HostMonitor(const Platform& platform, HKEY base, const std::wstring& rootPath)
    : platform_(platform), registry_(base, rootPath) {}

HostMonitor::~HostMonitor() {
    Unload();
}

void HostMonitor::RegisterPort(const std::wstring& name, const std::wstring& devicePath) {
    registry_.SetPortValue(name, devicePath);
}

bool HostMonitor::Load() {
    attached_ = ProcessAttach(TheMonitorState(), platform_) != FALSE;
    if (!attached_) {
        error_ = "the monitor refused to load (process attach failed)";
        return false;
    }
    table_ = ::InitializePrintMonitor2(registry_.Get(), &monitor_);
    if (table_ == nullptr) {
        error_ = "InitializePrintMonitor2 failed with error " + std::to_string(::GetLastError());
        return false;
    }
    return true;
}

void HostMonitor::Unload() {
    if (table_ != nullptr) {
        table_->pfnShutdown(monitor_);
        table_ = nullptr;
        monitor_ = nullptr;
    }
    if (attached_) {
        ProcessDetach(TheMonitorState());
        attached_ = false;
        InstallPlatform(Win32Platform());
    }
}

HANDLE HostMonitor::OpenPort(const std::wstring& name) {
    if (table_ == nullptr) {
        error_ = "the monitor is not loaded";
        return nullptr;
    }
    std::wstring portName = name;
    HANDLE port = nullptr;
    if (table_->pfnOpenPort != nullptr) {
        if (!table_->pfnOpenPort(monitor_, &portName[0], &port) || port == nullptr) {
            error_ = "OpenPort refused the port (error " + std::to_string(::GetLastError()) + ")";
            return nullptr;
        }
        return port;
    }
    // A monitor without OpenPort: the port entry itself is the port handle.
    MonitorState& state = TheMonitorState();
    CriticalSectionLock guard(state.m_Lock);
    auto* context = static_cast<MonitorContext*>(monitor_);
    port = FindPortEntry(context->firstPort, portName.c_str());
    if (port == nullptr) {
        error_ = "the monitor has no such port";
    }
    return port;
}

bool HostMonitor::ClosePort(HANDLE port) {
    if (table_ == nullptr || port == nullptr) {
        return false;
    }
    if (table_->pfnClosePort == nullptr) {
        return true;
    }
    return table_->pfnClosePort(port) != FALSE;
}

PortSession& DocumentOf(HANDLE port) {
    return *static_cast<PortSession*>(static_cast<PortEntry*>(port)->session);
}

} // namespace vela::host
