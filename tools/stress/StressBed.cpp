#include "StressBed.h"

#include "HostileDocuments.h"

#include <cwchar>

namespace vela::stress {

BOOL MemoryCommConfig::GetDefaultCommConfigW(LPCWSTR /*name*/, LPCOMMCONFIG config, LPDWORD size) {
    if (*size < sizeof(COMMCONFIG)) {
        *size = sizeof(COMMCONFIG);
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    *config = stored_;
    *size = sizeof(COMMCONFIG);
    return TRUE;
}

BOOL MemoryCommConfig::SetDefaultCommConfigW(LPCWSTR /*name*/, LPCOMMCONFIG config, DWORD size) {
    if (size < sizeof(COMMCONFIG)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    stored_ = *config;
    return TRUE;
}

StressBed::StressBed() {
    harness.platform.commConfig = &commConfig;
}

bool StressBed::Load() {
    harness.registry.SetPortValue(kStoredBasePort, L"");
    harness.platform.spooler = &spooler;
    if (!serialHost.empty()) {
        harness.registry.SetPortValue(kSerialStressPort, serialHost);
        // The serial line's time-outs pass as soon as nothing is there to wait for.
        harness.clock.autoAdvance = true;
    }
    harness.deviceSetup.devices = {{true, kDiscoveredBasePort}};
    if (!harness.Attach()) {
        return false;
    }
    table = harness.Initialize();
    monitor = harness.MonitorHandle();
    return table != nullptr;
}

std::vector<std::wstring> StressBed::Enumerate(DWORD level, StressTally& results) {
    const std::string kind = "EnumPorts level " + std::to_string(level);
    std::vector<std::wstring> names;
    DWORD needed = 0;
    DWORD returned = 0;
    std::vector<BYTE> buffer;
    for (;;) {
        buffer.assign(needed, 0xA5);
        if (table->pfnEnumPorts(monitor, nullptr, level, buffer.empty() ? nullptr : buffer.data(),
                                needed, &needed, &returned)) {
            break;
        }
        const DWORD error = ::GetLastError();
        results.Count(kind, error);
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            results.Violation(kind + " failed with " + std::to_string(error));
            return names;
        }
    }
    results.Count(kind, 0);
    const BYTE* begin = buffer.data();
    const BYTE* end = begin + buffer.size();
    const size_t recordSize = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    for (DWORD index = 0; index < returned; ++index) {
        const BYTE* record = begin + index * recordSize;
        LPWSTR name = level == 1 ? reinterpret_cast<const PORT_INFO_1W*>(record)->pName
                                 : reinterpret_cast<const PORT_INFO_2W*>(record)->pPortName;
        const auto* bytes = reinterpret_cast<const BYTE*>(name);
        if (bytes < begin + returned * recordSize || bytes >= end ||
            std::wmemchr(name, L'\0', (end - bytes) / sizeof(WCHAR)) == nullptr) {
            results.Violation(kind + ": a name outside the buffer");
            return names;
        }
        names.emplace_back(name);
    }
    for (const std::wstring& twice : ListedTwice(names)) {
        results.Violation(kind + " lists " + Narrow(twice) + " twice");
    }
    return names;
}

DWORD StressBed::Xcv(HANDLE xcv, LPCWSTR command, const void* input, DWORD inputSize, void* output,
                     DWORD outputSize, DWORD* needed) {
    return table->pfnXcvDataPort(xcv, command, static_cast<PBYTE>(const_cast<void*>(input)),
                                 inputSize, static_cast<PBYTE>(output), outputSize, needed);
}

} // namespace vela::stress
