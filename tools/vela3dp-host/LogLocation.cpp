#include "LogLocation.h"

#include "platform/Win32Headers.h"

namespace vela::host {

const wchar_t kDebugLogPath[] = L"C:\\temp\\vela3dp.log";

bool EnsureLogFolder() {
    return ::CreateDirectoryW(L"C:\\temp", nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RunningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string UnixPathOf(const wchar_t* windowsPath) {
    // Wine's own export: resolved at run time, since Windows has no such function.
    using UnixName = char*(CDECL*)(LPCWSTR);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto convert = kernel != nullptr ? reinterpret_cast<UnixName>(reinterpret_cast<void*>(
                                           ::GetProcAddress(kernel, "wine_get_unix_file_name")))
                                     : nullptr;
    if (convert == nullptr) {
        return std::string();
    }
    char* unixPath = convert(windowsPath);
    if (unixPath == nullptr) {
        return std::string();
    }
    std::string path(unixPath);
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return path;
}

std::string DescribeLogPath() {
    std::string description = "C:\\temp\\vela3dp.log";
    const std::string unixPath = UnixPathOf(kDebugLogPath);
    if (!unixPath.empty()) {
        description += "  (on this machine: " + unixPath + ")";
    }
    return description;
}

} // namespace vela::host
