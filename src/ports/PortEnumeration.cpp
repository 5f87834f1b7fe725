#include "ports/PortEnumeration.h"

#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortAdd.h"
#include "ports/PortInfoPacking.h"
#include "ports/PortList.h"
#include "core/ScopedMem.h"

#include <cstring>

namespace vela {
namespace {

constexpr DWORD kAddPortExDefaultLevel = 0xFFFFFFFF;
constexpr int kEnumPortsAttempts = 8;

BOOL Fail(DWORD error) {
    ::SetLastError(error);
    return FALSE;
}

bool ListsPortName(const BYTE* ports, DWORD count, LPCWSTR portName) {
    const auto* infos = reinterpret_cast<const PORT_INFO_1W*>(ports);
    for (DWORD index = 0; index < count; ++index) {
        if (SamePortName(infos[index].pName, portName)) {
            return true;
        }
    }
    return false;
}

} // namespace

BOOL MonitorEnumPorts(MonitorState& state, HANDLE monitor, LPWSTR /*serverName*/, DWORD level,
                      LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (needed == nullptr || returned == nullptr || (ports == nullptr && size != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (level != 1 && level != 2) {
        return Fail(ERROR_INVALID_LEVEL);
    }
    auto* context = static_cast<MonitorContext*>(monitor);
    if (context == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    *returned = 0;
    DWORD result = ERROR_SUCCESS;
    {
        CriticalSectionLock guard(state.lock);
        DWORD total = 0;
        PortsOf(*context).ForEach([level, &total](const PortEntry* entry) {
            total += PortInfoBytes(level, entry->name);
        });
        *needed = total;
        if (ports == nullptr || size < total) {
            result = ERROR_INSUFFICIENT_BUFFER;
        } else {
            PortInfoPacker packer(level, ports, size);
            PortsOf(*context).ForEach(
                [&packer](const PortEntry* entry) { packer.Add(entry->name); });
            *returned = packer.Count();
        }
    }
    return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

BOOL MonitorAddPortEx(MonitorState& state, HANDLE monitor, LPWSTR serverName, DWORD level,
                      LPBYTE buffer, LPWSTR /*monitorName*/) {
    if (level != 1 && level != kAddPortExDefaultLevel) {
        return Fail(ERROR_INVALID_LEVEL);
    }
    // Both levels start with the pName of PORT_INFO_1.
    LPWSTR portName = nullptr;
    if (buffer != nullptr) {
        std::memcpy(&portName, buffer, sizeof(portName));
    }
    if (portName == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    auto* context = static_cast<MonitorContext*>(monitor);
    if (context == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    const DWORD result = AddNewPort(state, context, serverName, portName, ERROR_INVALID_PARAMETER);
    return result == ERROR_SUCCESS ? TRUE : Fail(result);
}

bool IsPortKnownToSpooler(LPWSTR serverName, LPCWSTR portName) {
    Spooler& spooler = *CurrentPlatform().spooler;
    DWORD needed = 0;
    DWORD returned = 0;
    if (spooler.EnumPortsW(serverName, 1, nullptr, 0, &needed, &returned)) {
        // Nothing to report: the spooler has no ports at all.
        return false;
    }
    // Ports added by other threads between the size query and the fill make the
    // fill too small again: asked anew with the new size, a few times.
    DWORD error = ::GetLastError();
    for (int attempt = 0; attempt < kEnumPortsAttempts && error == ERROR_INSUFFICIENT_BUFFER;
         ++attempt) {
        auto ports = AllocScoped<BYTE>(needed);
        if (!ports.Valid()) {
            return true;
        }
        if (spooler.EnumPortsW(serverName, 1, ports.Get(), needed, &needed, &returned)) {
            return ListsPortName(ports.Get(), returned, portName);
        }
        error = ::GetLastError();
    }
    // Any other failure, or a list that keeps growing: the name counts as known.
    return true;
}

} // namespace vela
