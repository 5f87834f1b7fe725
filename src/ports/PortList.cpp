#include "ports/PortList.h"

#include "core/Memory.h"
#include "platform/Handles.h"
#include "ports/DeviceDiscovery.h"

#include <cstring>
#include <cwchar>

namespace vela {
namespace {

// An entry off the list, with what it owns (its session and document).
void FreePortEntry(PortEntry* entry) {
    delete entry->session;
    FreeMem(entry);
}

} // namespace

PortEntry* CreatePortEntry(MonitorState& state, MonitorContext* context, LPCWSTR name) {
    if (name == nullptr) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const size_t length = ::wcsnlen(name, kMaxPortNameLength + 1);
    if (length > kMaxPortNameLength) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const DWORD size = static_cast<DWORD>(sizeof(PortEntry) + (length + 1) * sizeof(WCHAR));
    auto* entry = static_cast<PortEntry*>(AllocMem(size));
    if (entry == nullptr) {
        return nullptr;
    }
    entry->name = reinterpret_cast<LPWSTR>(entry + 1);
    std::memcpy(entry->name, name, (length + 1) * sizeof(WCHAR));
    entry->recordSize = size;
    entry->openCount = 0;
    entry->monitor = context;
    entry->signature = kPortEntrySignature;

    CriticalSectionLock guard(state.lock);
    PortsOf(*context).Append(entry);
    return entry;
}

bool SamePortName(LPCWSTR first, LPCWSTR second) {
    if (first == nullptr || second == nullptr) {
        return false;
    }
    // Not lstrcmpiW: a linguistic comparison ignores characters such as the soft
    // hyphen that the registry does not, and the list and "Ports" would disagree.
    return ::CompareStringOrdinal(first, -1, second, -1, TRUE) == CSTR_EQUAL;
}

PortEntry* FindPortEntry(PortEntry* head, LPCWSTR name) {
    return IntrusiveList<PortEntry>(head).Find(
        [name](const PortEntry* entry) { return SamePortName(entry->name, name); });
}

bool DeletePortEntry(MonitorContext* context, LPCWSTR name) {
    if (context == nullptr || name == nullptr) {
        return false;
    }
    PortEntry* entry = PortsOf(*context).Unlink(
        [name](const PortEntry* candidate) { return SamePortName(candidate->name, name); });
    if (entry == nullptr) {
        return false;
    }
    FreePortEntry(entry);
    return true;
}

bool IsPortEntryInUse(const PortEntry& entry) {
    // A document belongs to an open handle: ClosePort ends it before letting go.
    return entry.spoolerOpens > 0;
}

PortEntry* HoldPortEntry(MonitorState& state, MonitorContext* context, LPCWSTR name) {
    CriticalSectionLock guard(state.lock);
    PortEntry* entry = FindPortEntry(context != nullptr ? context->firstPort : nullptr, name);
    if (entry != nullptr) {
        ++entry->spoolerOpens;
    }
    return entry;
}

void ReleasePortEntryHold(MonitorState& state, PortEntry* entry) {
    if (entry == nullptr) {
        return;
    }
    bool free = false;
    {
        CriticalSectionLock guard(state.lock);
        // A ClosePort without its OpenPort must not make a held entry look free.
        if (entry->spoolerOpens > 0) {
            --entry->spoolerOpens;
        }
        free = entry->spoolerOpens == 0 && (entry->flags & kPortDetached) != 0;
    }
    if (free) {
        FreePortEntry(entry);
    }
}

void ReleasePortListLeavingHeld(MonitorState& state, PortEntry* firstPort) {
    PortEntry* unheld = nullptr;
    {
        CriticalSectionLock guard(state.lock);
        for (PortEntry* entry = firstPort; entry != nullptr;) {
            PortEntry* next = entry->next;
            entry->next = nullptr;
            if (entry->spoolerOpens > 0) {
                entry->flags |= kPortDetached;
                entry->monitor = nullptr;
            } else {
                entry->next = unheld;
                unheld = entry;
            }
            entry = next;
        }
    }
    // Freed outside the lock: a port's serial handler stops with its entry.
    IntrusiveList<PortEntry>(unheld).ReleaseAll(FreePortEntry);
}

void ReleasePortList(MonitorContext* context) {
    if (context == nullptr) {
        return;
    }
    PortsOf(*context).ReleaseAll(FreePortEntry);
}

bool IsNetworkPortName(LPCWSTR name) {
    if (name == nullptr || (name[0] != L'N' && name[0] != L'n')) {
        return false;
    }
    if (name[1] != L'e' && name[1] != L'E') {
        return false;
    }
    size_t position = 2;
    if (name[2] == L'-') {
        ++position;
    }
    while (name[position] >= L'0' && name[position] <= L'9') {
        ++position;
    }
    return name[position] == L':' && name[position + 1] == L'\0';
}

DWORD LoadPorts(MonitorState& state) {
    LPWSTR names = nullptr;
    DWORD result = ReadRegisteredPortNames(state, &names);
    if (result == ERROR_SUCCESS) {
        CriticalSectionLock guard(state.lock);
        MonitorContext* context = state.context;
        for (LPWSTR name = names; name != nullptr && *name != L'\0';
             name += std::wcslen(name) + 1) {
            if (context == nullptr || IsNetworkPortName(name) ||
                FindPortEntry(context->firstPort, name) != nullptr) {
                continue;
            }
            // A name that cannot be made (too long, no memory) is skipped.
            CreatePortEntry(state, context, name);
        }
        FreeMem(names);
        result = DiscoverDevicePorts(state, state.context);
    }
    if (result != ERROR_SUCCESS) {
        ::SetLastError(result);
    }
    return result;
}

} // namespace vela
