// Drives the monitor through the same paths DllMain and the spooler use: process
// attach with a test platform, InitializePrintMonitor2, Shutdown, process detach.
// The host program loads the monitor through it too, with a platform of its own.
#pragma once

#include "monitor/MonitorInstance.h"
#include "sim/FakePlatform.h"
#include "sim/RegistryMonitorInit.h"
#include "monitor/MonitorEntry.h"
#include "core/MonitorState.h"
#include "monitor/PortSession.h"

#include <string>

namespace vela::test {

// Whether the port has a document started and not yet ended.
inline bool DocumentInProgress(const PortEntry* entry) {
    return entry != nullptr && entry->session != nullptr &&
           static_cast<const PortSession*>(entry->session)->document.InProgress();
}

class MonitorHarness {
  public:
    // The fakes below behind the platform, on a fresh private registry root.
    MonitorHarness();
    // The given platform as it is (the fakes below stay out of it), on a fresh
    // private registry root or on base\rootPath, which is kept afterwards.
    explicit MonitorHarness(const Platform& given);
    MonitorHarness(const Platform& given, HKEY base, const std::wstring& rootPath);
    ~MonitorHarness();
    MonitorHarness(const MonitorHarness&) = delete;
    MonitorHarness& operator=(const MonitorHarness&) = delete;

    // Process attach with the platform below; false when the load is refused.
    bool Attach();
    // InitializePrintMonitor2 with the registry-backed MONITORINIT, or with the one
    // given (a copy the test may destroy once the call returns).
    LPMONITOR2 Initialize();
    LPMONITOR2 Initialize(PMONITORINIT given);
    // Shutdown through the table, once, if initialised.
    void Shutdown();
    // Shutdown (if initialised) and process detach (if attached).
    void Unload();

    MonitorState& State() { return TheMonitorState(); }
    MonitorContext* Context() { return static_cast<MonitorContext*>(monitor_); }
    HANDLE MonitorHandle() const { return monitor_; }
    // The table Initialize returned, null before it or after Shutdown.
    LPMONITOR2 Table() const { return table_; }

    FakeNotifications notifications;
    FakeSpoolerHelpers spoolerHelpers;
    FakeDeviceSetup deviceSetup;
    FakeClock clock;
    RegistryMonitorInit registry;
    Platform platform;

  private:
    bool attached_ = false;
    LPMONITOR2 table_ = nullptr;
    HANDLE monitor_ = nullptr;
};

} // namespace vela::test
