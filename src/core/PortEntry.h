// A port's record: what the spooler holds as the port handle.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// What an open port owns beyond the entry's own fields (its document and serial
// line); released with the entry.
class PortOwned {
  public:
    virtual ~PortOwned() = default;
};

struct PortEntry {
    DWORD signature; // "PT" low byte first
    DWORD recordSize;
    PortEntry* next;
    LONG openCount;
    LPWSTR name; // stored behind the fixed fields, in the same block
    DWORD flags;
    MonitorContext* monitor;
    // Made by OpenPort; none until then.
    PortOwned* session;
    // OpenPort calls not yet matched by ClosePort: the spooler holds the entry as
    // its port handle meanwhile. Changed under the monitor lock.
    LONG spoolerOpens;
};

constexpr DWORD kPortEntrySignature = 0x5450;
// Shutdown took the entry off the list while the spooler still held it open: the
// last ClosePort frees it.
constexpr DWORD kPortDetached = 0x100;

} // namespace vela
