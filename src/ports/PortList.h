// The monitor's ports: a singly linked list of entries, persisted as the values of
// the "Ports" key below the monitor's registry root.
#pragma once

#include "core/IntrusiveList.h"
#include "core/PortEntry.h"

namespace vela {

constexpr size_t kMaxPortNameLength = 247;
constexpr wchar_t kPortsKeyName[] = L"Ports";

// The context's port list. Callers hold the lock or own the context alone.
inline IntrusiveList<PortEntry> PortsOf(MonitorContext& context) {
    return IntrusiveList<PortEntry>(context.firstPort);
}

// Appends a new entry for the name under the monitor lock. Null with
// ERROR_INVALID_NAME for no name or a name over 247 characters.
PortEntry* CreatePortEntry(MonitorState& state, MonitorContext* context, LPCWSTR name);
// The one comparison of port names: ordinal and case-insensitive, as the registry
// compares the value names the ports are stored under. Null matches nothing.
bool SamePortName(LPCWSTR first, LPCWSTR second);
// The first entry whose name is the same port name. Callers hold the lock.
PortEntry* FindPortEntry(PortEntry* head, LPCWSTR name);
// Unlinks and frees the first entry of the same port name. Callers hold the lock.
bool DeletePortEntry(MonitorContext* context, LPCWSTR name);
// True while the spooler holds the entry open (a document belongs to an open
// handle): such an entry must not be freed. Callers hold the lock.
bool IsPortEntryInUse(const PortEntry& entry);

// OpenPort's share of the list: finds the entry and counts the spooler's hold on it
// under one hold of the lock, so that no deletion frees it from then on.
PortEntry* HoldPortEntry(MonitorState& state, MonitorContext* context, LPCWSTR name);
// Ends one hold taken by HoldPortEntry (ClosePort, or a failed OpenPort); the last
// hold of an entry Shutdown took off the list frees it.
void ReleasePortEntryHold(MonitorState& state, PortEntry* entry);
// Frees every entry of the list. Callers hold the lock or own the context alone.
void ReleasePortList(MonitorContext* context);
// Shutdown's release of a list taken off its context: an entry the spooler still
// holds open is left to its last ClosePort, so that no call in flight loses it.
void ReleasePortListLeavingHeld(MonitorState& state, PortEntry* firstPort);

// Reads the registered names and discovers attached printers; 0 or a Win32 code
// that is also the thread's last error.
DWORD LoadPorts(MonitorState& state);
// Network-port names ("Ne" [-] digits ":") are never offered by this monitor.
bool IsNetworkPortName(LPCWSTR name);

// The value names of "Ports" as consecutive strings closed by an empty one, or none
// when the key has no values. The list is released with FreeMem.
DWORD ReadRegisteredPortNames(MonitorState& state, LPWSTR* names);
DWORD AddRegisteredPort(MonitorState& state, LPCWSTR name);
void DeleteRegisteredPort(MonitorState& state, LPCWSTR name);

// Reads the data of the port's value as a NUL-terminated string. With no buffer,
// *byteCount receives the size to allocate; the string handed out is terminated
// even when the stored data is not.
DWORD QueryPortValue(MonitorState& state, LPCWSTR name, LPBYTE buffer, LPDWORD byteCount);

} // namespace vela
