#include "SpoolerSetup.h"

#include "platform/Win32Headers.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vela::host {
namespace {

constexpr wchar_t kMonitorName[] = L"Vela3dp Print Monitor";
constexpr wchar_t kDllName[] = L"Vela3dpPrintMonitor.dll";

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
}

std::wstring SystemDllPath() {
    wchar_t folder[MAX_PATH] = {};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + kDllName;
}

int ReportFailure(const char* what) {
    const DWORD error = ::GetLastError();
    std::fprintf(stderr, "%s failed: error %lu%s\n", what, error,
                 error == ERROR_ACCESS_DENIED ? " (run as administrator)" : "");
    return 1;
}

} // namespace

int InstallMonitor() {
    const std::wstring source = ProgramFolder() + L"\\" + kDllName;
    const std::wstring target = SystemDllPath();
    if (!::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        return ReportFailure("Copying the monitor DLL to the system folder");
    }
    MONITOR_INFO_2W info{};
    info.pName = const_cast<LPWSTR>(kMonitorName);
    info.pEnvironment = nullptr;
    info.pDLLName = const_cast<LPWSTR>(kDllName);
    if (!::AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) {
        return ReportFailure("AddMonitor");
    }
    std::printf("Installed the port monitor \"Vela3dp Print Monitor\" (%ls).\n", target.c_str());
    return 0;
}

int UninstallMonitor() {
    if (!::DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName))) {
        return ReportFailure("DeleteMonitor");
    }
    const std::wstring target = SystemDllPath();
    if (!::DeleteFileW(target.c_str())) {
        // The spooler may still hold the module: remove it at the next start.
        ::MoveFileExW(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    std::printf("Removed the port monitor \"Vela3dp Print Monitor\".\n");
    return 0;
}

int ListPorts() {
    DWORD needed = 0;
    DWORD returned = 0;
    ::EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned);
    if (needed == 0) {
        return ReportFailure("EnumPorts");
    }
    std::vector<BYTE> buffer(needed);
    if (!::EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &returned)) {
        return ReportFailure("EnumPorts");
    }
    const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    std::printf("%-24s %-28s %s\n", "Port", "Monitor", "Description");
    for (DWORD i = 0; i < returned; ++i) {
        std::printf("%-24ls %-28ls %ls\n", ports[i].pPortName,
                    ports[i].pMonitorName != nullptr ? ports[i].pMonitorName : L"",
                    ports[i].pDescription != nullptr ? ports[i].pDescription : L"");
    }
    return 0;
}

} // namespace vela::host
