#include "sim/RegistryMonitorInit.h"

#include <atomic>

namespace vela::test {
namespace {

std::atomic<LONG> everyCall{0};
std::atomic<LONG> failSetValue{0};
std::atomic<LONG> failCreateKey{0};
std::atomic<int> setValueCalls{0};
std::atomic<int> deleteValueCalls{0};
std::atomic<int> writesBeforeFailure{0};
std::atomic<LONG> failWrite{0};

// The code of the write that FailWriteAfter picked, else 0.
LONG InjectedWriteFailure() {
    if (failWrite == 0) {
        return 0;
    }
    if (writesBeforeFailure-- > 0) {
        return 0;
    }
    return failWrite.exchange(0);
}

HKEY AsKey(HANDLE handle) {
    return static_cast<HKEY>(handle);
}

LONG WINAPI CreateKey(HANDLE key, LPCWSTR subKey, DWORD options, REGSAM access,
                      PSECURITY_ATTRIBUTES security, PHANDLE result, PDWORD disposition, HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    if (failCreateKey != 0) {
        return failCreateKey;
    }
    HKEY created = nullptr;
    const LONG status = ::RegCreateKeyExW(AsKey(key), subKey, 0, nullptr, options, access, security,
                                          &created, disposition);
    *result = created;
    return status;
}
LONG WINAPI OpenKey(HANDLE key, LPCWSTR subKey, REGSAM access, PHANDLE result, HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyExW(AsKey(key), subKey, 0, access, &opened);
    *result = opened;
    return status;
}
LONG WINAPI CloseKey(HANDLE key, HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    return ::RegCloseKey(AsKey(key));
}
LONG WINAPI DeleteKey(HANDLE key, LPCWSTR subKey, HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    return ::RegDeleteKeyW(AsKey(key), subKey);
}
LONG WINAPI EnumKey(HANDLE key, DWORD index, LPWSTR name, PDWORD nameLength, PFILETIME written,
                    HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    return ::RegEnumKeyExW(AsKey(key), index, name, nameLength, nullptr, nullptr, nullptr, written);
}
LONG WINAPI QueryInfoKey(HANDLE key, PDWORD subKeys, PDWORD longestSubKey, PDWORD values,
                         PDWORD longestValueName, PDWORD longestData, PDWORD security,
                         PFILETIME written, HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    return ::RegQueryInfoKeyW(AsKey(key), nullptr, nullptr, nullptr, subKeys, longestSubKey,
                              nullptr, values, longestValueName, longestData, security, written);
}
LONG WINAPI SetValue(HANDLE key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size, HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    ++setValueCalls;
    if (failSetValue != 0) {
        return failSetValue;
    }
    if (const LONG injected = InjectedWriteFailure()) {
        return injected;
    }
    return ::RegSetValueExW(AsKey(key), name, 0, type, data, size);
}
LONG WINAPI DeleteValue(HANDLE key, LPCWSTR name, HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    ++deleteValueCalls;
    if (const LONG injected = InjectedWriteFailure()) {
        return injected;
    }
    return ::RegDeleteValueW(AsKey(key), name);
}
LONG WINAPI EnumValue(HANDLE key, DWORD index, LPWSTR name, PDWORD nameLength, PDWORD type,
                      PBYTE data, PDWORD dataSize, HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    return ::RegEnumValueW(AsKey(key), index, name, nameLength, nullptr, type, data, dataSize);
}
LONG WINAPI QueryValue(HANDLE key, LPCWSTR name, PDWORD type, PBYTE data, PDWORD dataSize, HANDLE) {
    if (everyCall != 0) {
        return everyCall;
    }
    return ::RegQueryValueExW(AsKey(key), name, nullptr, type, data, dataSize);
}

} // namespace

RegistryMonitorInit::RegistryMonitorInit() {
    static std::atomic<int> counter{0};
    rootPath_ = L"Software\\Vela3dpTests\\Root" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                std::to_wstring(counter++);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, rootPath_.c_str());
    Open(HKEY_CURRENT_USER);
}

RegistryMonitorInit::RegistryMonitorInit(HKEY base, std::wstring rootPath)
    : rootPath_(std::move(rootPath)), owned_(false) {
    Open(base);
}

void RegistryMonitorInit::Open(HKEY base) {
    ::RegCreateKeyExW(base, rootPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                      nullptr);
    reg_.cbSize = sizeof(reg_);
    reg_.fpCreateKey = CreateKey;
    reg_.fpOpenKey = OpenKey;
    reg_.fpCloseKey = CloseKey;
    reg_.fpDeleteKey = DeleteKey;
    reg_.fpEnumKey = EnumKey;
    reg_.fpQueryInfoKey = QueryInfoKey;
    reg_.fpSetValue = SetValue;
    reg_.fpDeleteValue = DeleteValue;
    reg_.fpEnumValue = EnumValue;
    reg_.fpQueryValue = QueryValue;
    init_.cbSize = sizeof(init_);
    init_.hSpooler = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5E00));
    init_.hckRegistryRoot = reinterpret_cast<HKEYMONITOR>(root_);
    init_.pMonitorReg = &reg_;
    init_.bLocal = TRUE;
    everyCall = 0;
    failSetValue = 0;
    failCreateKey = 0;
    failWrite = 0;
    setValueCalls = 0;
    deleteValueCalls = 0;
}

RegistryMonitorInit::~RegistryMonitorInit() {
    CloseRoot();
    if (owned_) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, rootPath_.c_str());
    }
    everyCall = 0;
    failSetValue = 0;
    failCreateKey = 0;
    failWrite = 0;
}

void RegistryMonitorInit::SetPortValue(const std::wstring& name, const std::wstring& data) {
    SetPortValueRaw(name, REG_SZ, data.c_str(),
                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

void RegistryMonitorInit::SetPortSetting(const std::wstring& port, const std::wstring& name,
                                         DWORD value) {
    HKEY settings = nullptr;
    ::RegCreateKeyExW(root_, (L"PortSettings\\" + port).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &settings, nullptr);
    ::RegSetValueExW(settings, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                     sizeof(value));
    ::RegCloseKey(settings);
}

void RegistryMonitorInit::SetPortValueRaw(const std::wstring& name, DWORD type, const void* data,
                                          DWORD size) {
    HKEY ports = nullptr;
    ::RegCreateKeyExW(root_, L"Ports", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &ports, nullptr);
    ::RegSetValueExW(ports, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(ports);
}

bool RegistryMonitorInit::HasPortValue(const std::wstring& name) const {
    return PortValueType(name) != REG_NONE;
}

DWORD RegistryMonitorInit::PortValueType(const std::wstring& name) const {
    DWORD type = REG_NONE;
    if (::RegGetValueW(root_, L"Ports", name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                       nullptr) != ERROR_SUCCESS) {
        return REG_NONE;
    }
    return type;
}

std::wstring RegistryMonitorInit::PortValueData(const std::wstring& name) const {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    ::RegGetValueW(root_, L"Ports", name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, nullptr, data, &size);
    return std::wstring(data);
}

void RegistryMonitorInit::CloseRoot() {
    if (root_ != nullptr) {
        ::RegCloseKey(root_);
        root_ = nullptr;
    }
}

void RegistryMonitorInit::AnswerEveryCallWith(LONG code) {
    everyCall = code;
}
void RegistryMonitorInit::FailSetValueWith(LONG code) {
    failSetValue = code;
}
void RegistryMonitorInit::FailCreateKeyWith(LONG code) {
    failCreateKey = code;
}
void RegistryMonitorInit::FailWriteAfter(int writes, LONG code) {
    writesBeforeFailure = writes;
    failWrite = code;
}
int RegistryMonitorInit::SetValueCalls() {
    return setValueCalls;
}
int RegistryMonitorInit::DeleteValueCalls() {
    return deleteValueCalls;
}

} // namespace vela::test
