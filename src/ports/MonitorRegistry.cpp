#include "ports/MonitorRegistry.h"

#include "platform/DiagnosticLog.h"

namespace vela {
namespace {

HKEY AsKey(HANDLE key) {
    return static_cast<HKEY>(key);
}

LONG WINAPI CreateKey(HANDLE key, LPCWSTR subKey, DWORD options, REGSAM access,
                      PSECURITY_ATTRIBUTES security, PHANDLE result, PDWORD disposition,
                      HANDLE /*spooler*/) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY created = nullptr;
    const LONG status = ::RegCreateKeyExW(AsKey(key), subKey, 0, nullptr, options, access, security,
                                          &created, disposition);
    *result = status == ERROR_SUCCESS ? created : nullptr;
    return status;
}

LONG WINAPI OpenKey(HANDLE key, LPCWSTR subKey, REGSAM access, PHANDLE result, HANDLE /*spooler*/) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyExW(AsKey(key), subKey, 0, access, &opened);
    *result = status == ERROR_SUCCESS ? opened : nullptr;
    return status;
}

LONG WINAPI CloseKey(HANDLE key, HANDLE /*spooler*/) {
    return ::RegCloseKey(AsKey(key));
}

LONG WINAPI DeleteKey(HANDLE key, LPCWSTR subKey, HANDLE /*spooler*/) {
    return ::RegDeleteKeyW(AsKey(key), subKey);
}

LONG WINAPI EnumKey(HANDLE key, DWORD index, LPWSTR name, PDWORD nameLength, PFILETIME written,
                    HANDLE /*spooler*/) {
    return ::RegEnumKeyExW(AsKey(key), index, name, nameLength, nullptr, nullptr, nullptr, written);
}

LONG WINAPI QueryInfoKey(HANDLE key, PDWORD subKeys, PDWORD longestSubKey, PDWORD values,
                         PDWORD longestValueName, PDWORD longestData, PDWORD security,
                         PFILETIME written, HANDLE /*spooler*/) {
    return ::RegQueryInfoKeyW(AsKey(key), nullptr, nullptr, nullptr, subKeys, longestSubKey,
                              nullptr, values, longestValueName, longestData, security, written);
}

LONG WINAPI SetValue(HANDLE key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size,
                     HANDLE /*spooler*/) {
    return ::RegSetValueExW(AsKey(key), name, 0, type, data, size);
}

LONG WINAPI DeleteValue(HANDLE key, LPCWSTR name, HANDLE /*spooler*/) {
    return ::RegDeleteValueW(AsKey(key), name);
}

LONG WINAPI EnumValue(HANDLE key, DWORD index, LPWSTR name, PDWORD nameLength, PDWORD type,
                      PBYTE data, PDWORD dataSize, HANDLE /*spooler*/) {
    return ::RegEnumValueW(AsKey(key), index, name, nameLength, nullptr, type, data, dataSize);
}

LONG WINAPI QueryValue(HANDLE key, LPCWSTR name, PDWORD type, PBYTE data, PDWORD dataSize,
                       HANDLE /*spooler*/) {
    return ::RegQueryValueExW(AsKey(key), name, nullptr, type, data, dataSize);
}

const MONITORREG kDirectRegistry = {sizeof(MONITORREG), CreateKey, OpenKey,      CloseKey,
                                    DeleteKey,          EnumKey,   QueryInfoKey, SetValue,
                                    DeleteValue,        EnumValue, QueryValue};

// A spooler whose registry functions are stubs answers this harmless question
// with ERROR_CALL_NOT_IMPLEMENTED; so does a table without the function.
bool SpoolerRegistryImplemented(const MONITORINIT& init) {
    if (init.pMonitorReg->fpQueryInfoKey == nullptr) {
        return false;
    }
    return init.pMonitorReg->fpQueryInfoKey(init.hckRegistryRoot, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, nullptr,
                                            init.hSpooler) != ERROR_CALL_NOT_IMPLEMENTED;
}

} // namespace

const wchar_t kMonitorKeyPath[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Vela3dp Print Monitor";

const MONITORREG& DirectRegistryFunctions() {
    return kDirectRegistry;
}

DWORD KeepMonitorInit(MonitorState& state, const MONITORINIT& init) {
    ReleaseMonitorInit(state);
    if (init.pMonitorReg == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    KeptMonitorInit kept{};
    kept.functions = *init.pMonitorReg;
    kept.init.cbSize = sizeof(MONITORINIT);
    kept.init.hSpooler = init.hSpooler;
    kept.init.hckRegistryRoot = init.hckRegistryRoot;
    kept.init.bLocal = init.bLocal;
    // The server name is the caller's text, and nothing here needs it.
    kept.init.pszServerName = nullptr;
    if (!SpoolerRegistryImplemented(init)) {
        // The root handle may be closed once the call returns: the key is opened
        // afresh, by its name, with the access the port list and settings need.
        HKEY own = nullptr;
        const LONG opened =
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorKeyPath, 0, KEY_READ | KEY_WRITE, &own);
        if (opened != ERROR_SUCCESS) {
            LogFormatted(LogTo::DebugLog,
                         "The spooler's registry functions are not implemented and the "
                         "monitor's key cannot be opened (error %ld)\r\n",
                         opened);
            return static_cast<DWORD>(opened);
        }
        Log(LogTo::DebugLog, "The spooler's registry functions are not implemented: the "
                             "monitor reads and writes its key directly\r\n");
        kept.functions = kDirectRegistry;
        kept.init.hckRegistryRoot = reinterpret_cast<HKEYMONITOR>(own);
        kept.ownRoot = own;
    }
    state.registry = kept;
    state.registry.init.pMonitorReg = &state.registry.functions;
    state.monitorInit = &state.registry.init;
    return ERROR_SUCCESS;
}

void ReleaseMonitorInit(MonitorState& state) {
    state.monitorInit = nullptr;
    if (state.registry.ownRoot != nullptr) {
        ::RegCloseKey(state.registry.ownRoot);
    }
    state.registry = KeptMonitorInit{};
}

} // namespace vela
