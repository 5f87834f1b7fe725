// The monitor-wide state and the instance record handed to the spooler.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

struct PortEntry;
struct XcvHandle;

// The spooler's monitor handle. Allocated with AllocMem, released by Shutdown.
struct MonitorContext {
    DWORD signature; // "ILM\0" in memory order
    // The monitor's own copy of the spooler's MONITORINIT (MonitorState::monitorInit).
    PMONITORINIT monitorInit;
    PortEntry* firstPort;
    XcvHandle* firstXcvHandle;
};

constexpr DWORD kMonitorContextSignature = 0x004D4C49;

// What the monitor keeps of the MONITORINIT that InitializePrintMonitor2 is given:
// the spooler may pass it on its stack and close the root key afterwards, so the
// record and its registry functions are copies. On a spooler whose registry
// functions are not implemented, the functions are the monitor's own and the root
// is its key, opened by name (ownRoot) and closed by Shutdown.
struct KeptMonitorInit {
    MONITORINIT init;
    MONITORREG functions;
    HKEY ownRoot;
};

// The one monitor-wide state object of the module.
class MonitorState {
  public:
    MonitorState() : registry{}, lock{} {}
    MonitorState(const MonitorState&) = delete;
    MonitorState& operator=(const MonitorState&) = delete;

    // Documents and their serial lines belong to the ports (PortSession): the
    // monitor serves several ports at once.
    // &registry.init from InitializePrintMonitor2 to Shutdown, none otherwise.
    PMONITORINIT monitorInit = nullptr;
    KeptMonitorInit registry;
    MonitorContext* context = nullptr;
    CRITICAL_SECTION lock;
    // The lock exists: from process attach to process detach.
    LONG lockReady = 0;
    // Printer arrival and removal notices, from InitializePrintMonitor2 to Shutdown.
    HCMNOTIFICATION notification = nullptr;
};

} // namespace vela
