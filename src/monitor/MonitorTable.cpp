// Every entry is a thin forwarder to the operation that implements it, with the
// monitor-wide state as its first argument.
#include "monitor/MonitorTable.h"

#include "monitor/Cleanup.h"
#include "monitor/EndDoc.h"
#include "monitor/JobStream.h"
#include "monitor/MonitorState.h"
#include "monitor/StartDoc.h"

namespace vela {
namespace {

VOID WINAPI ShutdownEntry(HANDLE hMonitor) {
    Shutdown(TheMonitorState(), hMonitor);
}

BOOL WINAPI StartDocPortEntry(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                              LPBYTE pDocInfo) {
    return StartDocPort(TheMonitorState(), hPort, pPrinterName, JobId, Level, pDocInfo);
}

BOOL WINAPI EndDocPortEntry(HANDLE hPort) {
    return EndDocPort(TheMonitorState(), hPort);
}

BOOL WINAPI WritePortEntry(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
    return WritePort(TheMonitorState(), hPort, pBuffer, cbBuf, pcbWritten);
}

Monitor2WithPowerEvent MakeTable() {
    Monitor2WithPowerEvent table{};
    static_assert(sizeof(Monitor2WithPowerEvent) == kMonitor2Size, "MONITOR2 layout");
    table.base.cbSize = kMonitor2Size;
    table.base.pfnStartDocPort = StartDocPortEntry;
    table.base.pfnWritePort = WritePortEntry;
    table.base.pfnEndDocPort = EndDocPortEntry;
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
