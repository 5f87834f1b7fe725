// Every entry is a thin forwarder to the operation that implements it, with the
// monitor-wide state as its first argument.
#include "monitor/MonitorInstance.h"
#include "monitor/MonitorTable.h"

#include "monitor/Shutdown.h"
#include "monitor/EndDoc.h"
#include "monitor/FixedReplies.h"
#include "monitor/PortOpenClose.h"
#include "monitor/WritePort.h"
#include "core/MonitorState.h"
#include "monitor/StartDoc.h"
#include "ports/CommSettings.h"
#include "ports/PortEnumeration.h"
#include "ports/Transceive.h"

namespace vela {
namespace {

BOOL WINAPI EnumPortsEntry(HANDLE hMonitor, LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                           LPDWORD pcbNeeded, LPDWORD pcReturned) {
    return MonitorEnumPorts(TheMonitorState(), hMonitor, pName, Level, pPorts, cbBuf, pcbNeeded,
                            pcReturned);
}

BOOL WINAPI ReadPortEntry(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
    return MonitorReadPort(TheMonitorState(), hPort, pBuffer, cbBuffer, pcbRead);
}

BOOL WINAPI AddPortExEntry(HANDLE hMonitor, LPWSTR pName, DWORD Level, LPBYTE lpBuffer,
                           LPWSTR lpMonitorName) {
    return MonitorAddPortEx(TheMonitorState(), hMonitor, pName, Level, lpBuffer, lpMonitorName);
}

BOOL WINAPI GetPrinterDataFromPortEntry(HANDLE hPort, DWORD ControlID, LPWSTR pValueName,
                                        LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
                                        DWORD cbOutBuffer, LPDWORD lpcbReturned) {
    return MonitorGetPrinterDataFromPort(TheMonitorState(), hPort, ControlID, pValueName,
                                         lpInBuffer, cbInBuffer, lpOutBuffer, cbOutBuffer,
                                         lpcbReturned);
}

BOOL WINAPI SetPortTimeOutsEntry(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD /*reserved*/) {
    // The spooler's reserved argument is not passed on.
    return MonitorSetPortTimeOuts(TheMonitorState(), hPort, lpCTO, 0);
}

BOOL WINAPI XcvOpenPortEntry(HANDLE hMonitor, LPCWSTR pszObject, ACCESS_MASK GrantedAccess,
                             PHANDLE phXcv) {
    return MonitorXcvOpenPort(TheMonitorState(), hMonitor, pszObject, GrantedAccess, phXcv);
}

DWORD WINAPI XcvDataPortEntry(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
                              PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded) {
    return MonitorXcvDataPort(TheMonitorState(), hXcv, pszDataName, pInputData, cbInputData,
                              pOutputData, cbOutputData, pcbOutputNeeded);
}

BOOL WINAPI XcvClosePortEntry(HANDLE hXcv) {
    return MonitorXcvClosePort(TheMonitorState(), hXcv);
}

DWORD WINAPI SendRecvBidiDataFromPortEntry(HANDLE hPort, DWORD dwAccessBit, LPCWSTR pAction,
                                           PBIDI_REQUEST_CONTAINER pReqData,
                                           PBIDI_RESPONSE_CONTAINER* ppResData) {
    return MonitorSendRecvBidiDataFromPort(TheMonitorState(), hPort, dwAccessBit, pAction, pReqData,
                                           ppResData);
}

BOOL WINAPI OpenPortEntry(HANDLE hMonitor, LPWSTR pName, PHANDLE pHandle) {
    return OpenPort(TheMonitorState(), hMonitor, pName, pHandle);
}

BOOL WINAPI ClosePortEntry(HANDLE hPort) {
    return ClosePort(TheMonitorState(), hPort);
}

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
    table.base.pfnEnumPorts = EnumPortsEntry;
    table.base.pfnOpenPort = OpenPortEntry;
    table.base.pfnStartDocPort = StartDocPortEntry;
    table.base.pfnWritePort = WritePortEntry;
    table.base.pfnReadPort = ReadPortEntry;
    table.base.pfnEndDocPort = EndDocPortEntry;
    table.base.pfnClosePort = ClosePortEntry;
    table.base.pfnAddPortEx = AddPortExEntry;
    table.base.pfnGetPrinterDataFromPort = GetPrinterDataFromPortEntry;
    table.base.pfnSetPortTimeOuts = SetPortTimeOutsEntry;
    table.base.pfnXcvOpenPort = XcvOpenPortEntry;
    table.base.pfnXcvDataPort = XcvDataPortEntry;
    table.base.pfnXcvClosePort = XcvClosePortEntry;
    table.base.pfnShutdown = ShutdownEntry;
    table.base.pfnSendRecvBidiDataFromPort = SendRecvBidiDataFromPortEntry;
    return table;
}

const Monitor2WithPowerEvent monitorTable = MakeTable();

} // namespace

LPMONITOR2 MonitorFunctionTable() {
    // The spooler takes a non-const pointer but never writes through it.
    return const_cast<LPMONITOR2>(&monitorTable.base);
}

} // namespace vela
