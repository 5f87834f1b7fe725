// The "Ports" key, reached through the registry functions the spooler hands over.
#include "core/Memory.h"
#include "core/SpoolerRegKey.h"
#include "platform/Platform.h"
#include "ports/PortList.h"
#include "ports/PrinterSelf.h"

#include <cstring>

namespace vela {
namespace {

// Opens "Ports" below the monitor's root, creating it when missing.
LONG CreatePortsKey(const MONITORINIT& init, REGSAM access, UniqueSpoolerRegKey& key) {
    key = SpoolerRegKeyOf(init);
    return init.pMonitorReg->fpCreateKey(init.hckRegistryRoot, kPortsKeyName, 0, access, nullptr,
                                         key.Put(), nullptr, init.hSpooler);
}

bool HasRegistry(const MonitorState& state) {
    return state.monitorInit != nullptr && state.monitorInit->pMonitorReg != nullptr;
}

} // namespace

DWORD ReadRegisteredPortNames(MonitorState& state, LPWSTR* names) {
    if (names == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *names = nullptr;
    if (!HasRegistry(state)) {
        return ERROR_INVALID_PARAMETER;
    }
    const MONITORINIT& init = *state.monitorInit;
    UniqueSpoolerRegKey key;
    LONG result = CreatePortsKey(init, KEY_READ, key);
    if (result != ERROR_SUCCESS) {
        return static_cast<DWORD>(result);
    }
    DWORD valueCount = 0;
    DWORD longestName = 0;
    result =
        init.pMonitorReg->fpQueryInfoKey(key.Get(), nullptr, nullptr, &valueCount, &longestName,
                                         nullptr, nullptr, nullptr, init.hSpooler);
    if (result != ERROR_SUCCESS) {
        return static_cast<DWORD>(result);
    }
    if (valueCount == 0) {
        return ERROR_SUCCESS;
    }
    const SIZE_T characters = (static_cast<SIZE_T>(longestName) + 1) * valueCount + 1;
    auto* list = static_cast<LPWSTR>(AllocMem(characters * sizeof(WCHAR)));
    if (list == nullptr) {
        return ::GetLastError();
    }
    // The last character is kept for the closing empty string.
    LPWSTR position = list;
    SIZE_T left = characters - 1;
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(left);
        result = init.pMonitorReg->fpEnumValue(key.Get(), index, position, &length, nullptr,
                                               nullptr, nullptr, init.hSpooler);
        if (result != ERROR_SUCCESS) {
            break;
        }
        if (length + 1 > left) {
            // Values added since the count was taken: keep what fits.
            result = ERROR_NO_MORE_ITEMS;
            break;
        }
        if (length == 0) {
            // The key's default value has no name to offer, and an empty string in
            // the list would end it early, hiding every name after it.
            continue;
        }
        position[length] = L'\0';
        position += length + 1;
        left -= length + 1;
    }
    if (result != ERROR_NO_MORE_ITEMS) {
        FreeMem(list);
        return static_cast<DWORD>(result);
    }
    *position = L'\0';
    *names = list;
    return ERROR_SUCCESS;
}

DWORD AddRegisteredPort(MonitorState& state, LPCWSTR name) {
    if (name == nullptr) {
        return ERROR_INVALID_DATA;
    }
    if (!HasRegistry(state)) {
        return ERROR_INVALID_PARAMETER;
    }
    PrinterSelf asSpooler; // writes run as the spooler itself
    const MONITORINIT& init = *state.monitorInit;
    UniqueSpoolerRegKey key;
    LONG result = CreatePortsKey(init, KEY_SET_VALUE, key);
    if (result == ERROR_SUCCESS) {
        const WCHAR emptyData[1] = {L'\0'};
        result = init.pMonitorReg->fpSetValue(key.Get(), name, REG_SZ,
                                              reinterpret_cast<const BYTE*>(emptyData),
                                              sizeof(emptyData), init.hSpooler);
    }
    return static_cast<DWORD>(result);
}

void DeleteRegisteredPort(MonitorState& state, LPCWSTR name) {
    if (name == nullptr || !HasRegistry(state)) {
        return;
    }
    PrinterSelf asSpooler; // writes run as the spooler itself
    const MONITORINIT& init = *state.monitorInit;
    UniqueSpoolerRegKey key;
    if (CreatePortsKey(init, KEY_SET_VALUE, key) == ERROR_SUCCESS) {
        init.pMonitorReg->fpDeleteValue(key.Get(), name, init.hSpooler);
    }
}

DWORD QueryPortValue(MonitorState& state, LPCWSTR name, LPBYTE buffer, LPDWORD byteCount) {
    if (byteCount == nullptr || name == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!HasRegistry(state)) {
        return ERROR_INVALID_PARAMETER;
    }
    const MONITORINIT& init = *state.monitorInit;
    UniqueSpoolerRegKey key;
    LONG result = CreatePortsKey(init, KEY_QUERY_VALUE, key);
    if (result != ERROR_SUCCESS) {
        return static_cast<DWORD>(result);
    }
    DWORD type = 0;
    if (buffer == nullptr) {
        DWORD stored = 0;
        result =
            init.pMonitorReg->fpQueryValue(key.Get(), name, &type, nullptr, &stored, init.hSpooler);
        if (result == ERROR_SUCCESS && type != REG_SZ) {
            return ERROR_INVALID_DATA;
        }
        // Room for a whole number of characters and a terminator of our own.
        *byteCount = ((stored + 1) & ~1UL) + sizeof(WCHAR);
        return static_cast<DWORD>(result);
    }
    if (*byteCount < sizeof(WCHAR)) {
        *byteCount = sizeof(WCHAR);
        return ERROR_MORE_DATA;
    }
    DWORD capacity = (*byteCount & ~1UL) - sizeof(WCHAR);
    DWORD read = capacity;
    result = init.pMonitorReg->fpQueryValue(key.Get(), name, &type, buffer, &read, init.hSpooler);
    if (result == ERROR_SUCCESS && type != REG_SZ) {
        return ERROR_INVALID_DATA;
    }
    if (result != ERROR_SUCCESS) {
        if (result == ERROR_MORE_DATA) {
            *byteCount = ((read + 1) & ~1UL) + sizeof(WCHAR);
        }
        return static_cast<DWORD>(result);
    }
    const DWORD characters = (read < capacity ? read : capacity) / sizeof(WCHAR);
    reinterpret_cast<LPWSTR>(buffer)[characters] = L'\0';
    *byteCount = (characters + 1) * sizeof(WCHAR);
    return ERROR_SUCCESS;
}

} // namespace vela
