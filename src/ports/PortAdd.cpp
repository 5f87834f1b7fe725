#include "ports/PortAdd.h"

#include "core/Memory.h"
#include "platform/Handles.h"
#include "core/LastError.h"
#include "ports/PortEnumeration.h"
#include "ports/PortList.h"

namespace vela {
namespace {

// Unlinks exactly this entry. Removing by name instead could take an older entry
// that differs only in letter case, one a job may be using. Callers hold the lock.
void RemoveEntry(MonitorContext* context, PortEntry* entry) {
    FreeMem(PortsOf(*context).Unlink(
        [entry](const PortEntry* candidate) { return candidate == entry; }));
}

} // namespace

DWORD AddNewPort(MonitorState& state, MonitorContext* context, LPWSTR serverName, LPCWSTR name,
                 DWORD knownCode) {
    if (name == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    // An empty value name is the key's default value, which the stored name list
    // cannot hold: the names stored after it would not be loaded again.
    if (name[0] == L'\0') {
        return ERROR_INVALID_NAME;
    }
    if (IsPortKnownToSpooler(serverName, name)) {
        return knownCode;
    }
    // The lock spans the duplicate test, the entry and its registry value: two adds
    // of one name cannot both pass the test, and no other thread sees, uses or
    // deletes an entry that may yet be taken back.
    CriticalSectionLock guard(state.lock);
    if (FindPortEntry(context->firstPort, name) != nullptr) {
        return knownCode;
    }
    PortEntry* entry = CreatePortEntry(state, context, name);
    if (entry == nullptr) {
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    }
    const DWORD stored = AddRegisteredPort(state, name);
    if (stored != ERROR_SUCCESS) {
        RemoveEntry(context, entry);
        return stored;
    }
    return ERROR_SUCCESS;
}

} // namespace vela
