// The monitor-wide state and the instance record handed to the spooler.
#pragma once

#include "platform/Win32Headers.h"

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
    MonitorState() : lock{} {}
    MonitorState(const MonitorState&) = delete;
    MonitorState& operator=(const MonitorState&) = delete;

    // Documents and their serial lines belong to the ports (PortSession): the
    // monitor serves several ports at once.
    PMONITORINIT monitorInit = nullptr;
    MonitorContext* context = nullptr;
    CRITICAL_SECTION lock;
    LONG registered = 0;
    HCMNOTIFICATION notification = nullptr;
};

} // namespace vela
