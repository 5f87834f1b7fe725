#include "portconfig/PortNaming.h"

#include <cwctype>

namespace vela::portconfig {

std::wstring PortNameProblem(const std::wstring& name) {
    if (name.empty()) {
        return L"Enter a name for the port.";
    }
    if (name.size() > kMaxPortNameLength) {
        return L"A port name has at most " + std::to_wstring(kMaxPortNameLength) + L" characters.";
    }
    for (wchar_t c : name) {
        if (c == L',' || c == L'\\' || c < 0x20 || c == 0x7F) {
            return L"A port name cannot hold commas, backslashes or control characters.";
        }
    }
    return std::wstring();
}

bool ParseSerialDevice(const std::wstring& text, std::wstring* comName) {
    std::wstring name = text;
    const std::wstring prefix = L"\\\\.\\";
    if (name.compare(0, prefix.size(), prefix) == 0) {
        name.erase(0, prefix.size());
    }
    if (name.size() < 4 || name.size() > 6 || std::towupper(name[0]) != L'C' ||
        std::towupper(name[1]) != L'O' || std::towupper(name[2]) != L'M' || name[3] == L'0') {
        return false;
    }
    unsigned number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned>(name[i] - L'0');
    }
    if (number > 256) {
        return false;
    }
    *comName = L"COM" + std::to_wstring(number);
    return true;
}

std::wstring DevicePathOf(const std::wstring& comName) {
    return L"\\\\.\\" + comName;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(a[i]) != std::towupper(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace vela::portconfig
