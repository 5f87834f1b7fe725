// Every entry is a thin forwarder to the operation that implements it, with the
// monitor-wide state as its first argument.
#include "monitor/MonitorTable.h"

#include "monitor/Cleanup.h"
#include "monitor/JobStart.h"
#include "monitor/MonitorState.h"
#include "monitor/PortClose.h"

namespace vela {
namespace {

BOOL WINAPI OpenPortEntry(HANDLE hMonitor, LPWSTR pName, PHANDLE pHandle) {
    return OpenPort(TheMonitorState(), hMonitor, pName, pHandle);
}

BOOL WINAPI ClosePortEntry(HANDLE hPort) {
    return ClosePort(TheMonitorState(), hPort);
}

VOID WINAPI ShutdownEntry(HANDLE hMonitor) {
    Shutdown(TheMonitorState(), hMonitor);
}

Monitor2WithPowerEvent MakeTable() {
    Monitor2WithPowerEvent table{};
    static_assert(sizeof(Monitor2WithPowerEvent) == kMonitor2Size, "MONITOR2 layout");
    table.base.cbSize = kMonitor2Size;
    table.base.pfnOpenPort = OpenPortEntry;
    table.base.pfnClosePort = ClosePortEntry;
    table.base.pfnShutdown = ShutdownEntry;
    return table;
}

const Monitor2WithPowerEvent monitorTable = MakeTable();

} // namespace

LPMONITOR2 MonitorFunctionTable() {
    // The spooler takes a non-const pointer but never writes through it.
    return const_cast<LPMONITOR2>(&monitorTable.base);
}

} // namespace vela
