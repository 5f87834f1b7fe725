// The monitor-wide state and the instance record handed to the spooler.
#pragma once

#include "platform/Win32Headers.h"
#include "protocol/LineQueue.h"

namespace vela {

struct PortEntry;
struct XcvHandle;

// The spooler's monitor handle. Allocated with AllocMem, released by Shutdown.
struct MonitorContext {
    DWORD signature; // "ILM\0" in memory order
    PMONITORINIT monitorInit;
    PortEntry* firstPort;
    XcvHandle* firstXcvHandle;
};

constexpr DWORD kMonitorContextSignature = 0x004D4C49;

// The one monitor-wide state object of the module.
class MonitorState {
  public:
    MonitorState();
    ~MonitorState();
    MonitorState(const MonitorState&) = delete;
    MonitorState& operator=(const MonitorState&) = delete;

    WCHAR m_PrintName[256];
    PortEntry* m_hPort = nullptr;
    DWORD m_JobId = 0;
    PMONITORINIT m_pMonitorInit = nullptr;
    MonitorContext* m_pContext = nullptr;
    DWORD m_ThreadId = 0;
    HANDLE m_hThread = nullptr;
    LONG m_TestPage = 0;
    HINSTANCE m_hInstance = nullptr;
    CRITICAL_SECTION m_Lock;
    LineQueue m_LineQueue;
    LONG m_Registered = 0;
    HCMNOTIFICATION m_hNotify = nullptr;
};

// The module's instance, constructed when the module is loaded.
MonitorState& TheMonitorState();

} // namespace vela
