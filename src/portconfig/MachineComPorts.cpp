#include "portconfig/MachineComPorts.h"

#include "portconfig/PortNaming.h"
#include "platform/RegistryKey.h"

#include <algorithm>

namespace vela::portconfig {

std::vector<std::wstring> MachineComPorts::Names() {
    std::vector<std::wstring> names;
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                        key.Put()) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256] = {};
        DWORD nameLength = 256;
        wchar_t data[64] = {};
        DWORD dataBytes = sizeof(data) - sizeof(wchar_t);
        DWORD type = REG_NONE;
        const LONG status = ::RegEnumValueW(key.Get(), index, valueName, &nameLength, nullptr,
                                            &type, reinterpret_cast<LPBYTE>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        std::wstring comName;
        // A value too long for a COM name is not one; it is skipped, not fatal.
        if (status == ERROR_SUCCESS && type == REG_SZ && ParseSerialDevice(data, &comName)) {
            names.push_back(comName);
        }
    }
    key.Reset();
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

} // namespace vela::portconfig
