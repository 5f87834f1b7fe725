// The monitor's ports: a singly linked list of entries, persisted as the values of
// the "Ports" key below the monitor's registry root.
#pragma once

#include "monitor/MonitorState.h"
#include "ports/PortConnection.h"

namespace vela {

struct PortEntry {
    DWORD signature; // "PT" low byte first
    DWORD recordSize;
    PortEntry* next;
    LONG openCount;
    LPWSTR name; // stored behind the fixed fields, in the same block
    HANDLE deviceHandle;
    DWORD flags;
    LPWSTR printerName;
    LPWSTR devicePath;
    HANDLE printerHandle;
    DWORD jobId;
    MonitorContext* monitor;
    // The port's link to its printer, made by the job path; released with the entry.
    PortConnection* connection;
};

constexpr DWORD kPortEntrySignature = 0x5450;
// A document has been started on the port and not yet ended.
constexpr DWORD kPortDocumentInProgress = 0x8;
constexpr size_t kMaxPortNameLength = 247;
constexpr wchar_t kPortsKeyName[] = L"Ports";

// Appends a new entry for the name under the monitor lock. Null with
// ERROR_INVALID_NAME for no name or a name over 247 characters.
PortEntry* CreatePortEntry(MonitorState& state, MonitorContext* context, LPCWSTR name);
// The first entry whose name matches case-insensitively. Callers hold the lock.
PortEntry* FindPortEntry(PortEntry* head, LPCWSTR name);
// The entry whose name matches exactly, case-sensitively. Callers hold the lock.
PortEntry* FindPortEntryExact(PortEntry* head, LPCWSTR name);
// Unlinks and frees the first case-insensitive match. Callers hold the lock.
bool DeletePortEntry(MonitorContext* context, LPCWSTR name);
// Frees every entry of the list. Callers hold the lock or own the context alone.
void ReleasePortList(MonitorContext* context);

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
