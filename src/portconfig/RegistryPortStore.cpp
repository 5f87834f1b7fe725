#include "portconfig/RegistryPortStore.h"

#include "platform/RegistryKey.h"

namespace vela::portconfig {

RegistryPortStore::RegistryPortStore(HKEY base, std::wstring rootPath)
    : base_(base), portsPath_(rootPath.empty() ? L"Ports" : rootPath + L"\\Ports") {}

DWORD RegistryPortStore::ReadDevice(const std::wstring& port, std::wstring* device) {
    device->clear();
    UniqueRegKey key;
    const LONG opened = ::RegOpenKeyExW(base_, portsPath_.c_str(), 0, KEY_QUERY_VALUE, key.Put());
    if (opened != ERROR_SUCCESS) {
        return static_cast<DWORD>(opened);
    }
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    LONG status = ::RegQueryValueExW(key.Get(), port.c_str(), nullptr, &type, nullptr, &bytes);
    if (status != ERROR_SUCCESS) {
        return static_cast<DWORD>(status);
    }
    if (type != REG_SZ) {
        return ERROR_INVALID_DATA;
    }
    // Room for a terminator the stored data may lack.
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(key.Get(), port.c_str(), nullptr, &type,
                                reinterpret_cast<LPBYTE>(&data[0]), &bytes);
    if (status != ERROR_SUCCESS) {
        return static_cast<DWORD>(status);
    }
    data.resize(data.find(L'\0'));
    *device = data;
    return ERROR_SUCCESS;
}

DWORD RegistryPortStore::WriteDevice(const std::wstring& port, const std::wstring& device) {
    UniqueRegKey key;
    const LONG opened =
        ::RegOpenKeyExW(base_, portsPath_.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Put());
    if (opened != ERROR_SUCCESS) {
        return static_cast<DWORD>(opened);
    }
    // A value written here for a name the monitor does not store would become a
    // port at the monitor's next start.
    LONG status = ::RegQueryValueExW(key.Get(), port.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return static_cast<DWORD>(status);
    }
    status = ::RegSetValueExW(key.Get(), port.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(device.c_str()),
                              static_cast<DWORD>((device.size() + 1) * sizeof(wchar_t)));
    return static_cast<DWORD>(status);
}

} // namespace vela::portconfig
