// The monitor loaded in this process as the spooler loads it: process attach with
// the host's platform, InitializePrintMonitor2 with a MONITORINIT whose registry
// functions work on a private key, the spooler's port calls, Shutdown and detach.
// Loading and unloading are the monitor harness's; this adds the port calls and
// words every refusal for the user.
#pragma once

#include "sim/MonitorHarness.h"
#include "monitor/PortSession.h"
#include "platform/Platform.h"

#include <string>

namespace vela::host {

class HostMonitor : private test::MonitorHarness {
  public:
    // The monitor's registry root is a fresh private key, removed afterwards.
    explicit HostMonitor(const Platform& platform);
    // The monitor's registry root is base\rootPath, kept afterwards.
    HostMonitor(const Platform& platform, HKEY base, const std::wstring& rootPath);
    ~HostMonitor();
    HostMonitor(const HostMonitor&) = delete;
    HostMonitor& operator=(const HostMonitor&) = delete;

    // A port as the port configuration stores it: a value named after the port under
    // "Ports", whose data is the device path of a serial printer ("" for USB).
    // Ports registered before Load are the monitor's ports from the start.
    void RegisterPort(const std::wstring& name, const std::wstring& devicePath);

    // Attach and InitializePrintMonitor2; false (with Error()) when refused.
    bool Load();
    // Shutdown and detach; the Win32 platform is back in place afterwards.
    void Unload();

    // OpenPort through the table; null (with Error()) when refused.
    HANDLE OpenPort(const std::wstring& name);
    // ClosePort through the table; true when the port's protocol handler stopped.
    bool ClosePort(HANDLE port);

    using MonitorHarness::MonitorHandle;
    using MonitorHarness::Table;
    const std::string& Error() const { return error_; }

  private:
    std::string error_;
};

// The document state of a port OpenPort returned: what the monitor itself knows
// of the job, for the host's progress display.
PortSession& DocumentOf(HANDLE port);

} // namespace vela::host
