#include "portconfig/MachineComPorts.h"

#include "portconfig/PortNaming.h"

#include <algorithm>

namespace vela::portconfig {

std::vector<std::wstring> MachineComPorts::Names() {
    std::vector<std::wstring> names;
    std::vector<wchar_t> devices(16 * 1024);
    for (;;) {
        const DWORD length =
            ::QueryDosDeviceW(nullptr, devices.data(), static_cast<DWORD>(devices.size()));
        if (length != 0) {
            devices.resize(length);
            break;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || devices.size() >= (1u << 22)) {
            return names;
        }
        devices.resize(devices.size() * 4);
    }
    // A list of NUL-terminated names, ended by an empty one.
    for (size_t start = 0; start < devices.size() && devices[start] != L'\0';) {
        const std::wstring device(&devices[start]);
        std::wstring comName;
        // Only the bare names: "COM3", not "\\.\COM3" or other aliases.
        if (device.find(L'\\') == std::wstring::npos && ParseSerialDevice(device, &comName) &&
            SameName(comName, device)) {
            names.push_back(comName);
        }
        start += device.size() + 1;
    }
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

} // namespace vela::portconfig
