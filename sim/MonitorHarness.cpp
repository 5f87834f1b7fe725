#include "monitor/MonitorInstance.h"
#include "sim/MonitorHarness.h"

#include "monitor/Shutdown.h"

namespace vela::test {

MonitorHarness::MonitorHarness() : platform(MakeTestPlatform()) {
    platform.notifications = &notifications;
    platform.spoolerHelpers = &spoolerHelpers;
    platform.deviceSetup = &deviceSetup;
    platform.clock = &clock;
}

MonitorHarness::MonitorHarness(const Platform& given) : platform(given) {}

MonitorHarness::MonitorHarness(const Platform& given, HKEY base, const std::wstring& rootPath)
    : registry(base, rootPath), platform(given) {}

MonitorHarness::~MonitorHarness() {
    Unload();
    InstallPlatform(Win32Platform());
}

bool MonitorHarness::Attach() {
    attached_ = ProcessAttach(TheMonitorState(), platform) != FALSE;
    return attached_;
}

LPMONITOR2 MonitorHarness::Initialize() {
    return Initialize(registry.Get());
}

LPMONITOR2 MonitorHarness::Initialize(PMONITORINIT given) {
    table_ = ::InitializePrintMonitor2(given, &monitor_);
    return table_;
}

void MonitorHarness::Shutdown() {
    if (table_ != nullptr) {
        LPMONITOR2 table = table_;
        table_ = nullptr;
        table->pfnShutdown(monitor_);
        monitor_ = nullptr;
    }
}

void MonitorHarness::Unload() {
    Shutdown();
    if (attached_) {
        ProcessDetach(TheMonitorState());
        attached_ = false;
    }
}

} // namespace vela::test
