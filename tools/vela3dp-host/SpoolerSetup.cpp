#include "SpoolerSetup.h"

#include "LogLocation.h"
#include "platform/Handles.h"
#include "platform/Win32Headers.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vela::host {
namespace {

constexpr wchar_t kMonitorName[] = L"Vela3dp Print Monitor";
constexpr wchar_t kDllName[] = L"Vela3dpPrintMonitor.dll";

std::wstring ProgramFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return L".";
        }
        if (length < path.size()) {
            std::wstring folder(path.data(), length);
            const size_t slash = folder.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
        }
        path.resize(path.size() * 2);
    }
}

std::wstring SystemDllPath() {
    wchar_t folder[MAX_PATH] = {};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + kDllName;
}

int ReportFailure(const char* what) {
    const DWORD error = ::GetLastError();
    const char* hint = "";
    if (error == ERROR_ACCESS_DENIED) {
        hint = " (run as administrator)";
    } else if (error == RPC_S_SERVER_UNAVAILABLE) {
        hint = " (the print spooler service is not running)";
    } else if (error == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
        hint = " (the monitor is already installed)";
    } else if (error == ERROR_UNKNOWN_PRINT_MONITOR) {
        hint = " (the monitor is not installed)";
    } else if (error == ERROR_PRINT_MONITOR_IN_USE) {
        hint = " (a port of the monitor is still in use by a printer)";
    } else if (error == ERROR_SHARING_VIOLATION) {
        hint = " (the spooler still holds the old DLL: uninstall first)";
    }
    std::fprintf(stderr, "%s failed: error %lu%s\n", what, error, hint);
    return 1;
}

bool IsElevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    UniqueHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::GetTokenInformation(owned.Get(), TokenElevation, &elevation, sizeof(elevation),
                                 &size) &&
           elevation.TokenIsElevated != 0;
}

// Under Wine there is no spooler service to register a monitor with.
bool RefuseUnderWine(const char* command, const char* needs) {
    if (!RunningUnderWine()) {
        return false;
    }
    std::fprintf(stderr,
                 "vela3dp-host %s needs %s;\n"
                 "under Wine there is none. Use \"vela3dp-host print\" to run a job on the\n"
                 "simulated printers instead.\n",
                 command, needs);
    return true;
}

constexpr char kSpoolerAndAdministrator[] = "a real Windows print spooler and administrator rights";

bool RefuseWithoutElevation(const char* command) {
    if (IsElevated()) {
        return false;
    }
    std::fprintf(stderr,
                 "vela3dp-host %s changes the spooler's monitors: run it from a command\n"
                 "prompt opened with \"Run as administrator\".\n",
                 command);
    return true;
}

} // namespace

int InstallMonitor() {
    if (RefuseUnderWine("install", kSpoolerAndAdministrator) || RefuseWithoutElevation("install")) {
        return 2;
    }
    const std::wstring source = ProgramFolder() + L"\\" + kDllName;
    if (::GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "The monitor DLL is not beside this program: %ls\n", source.c_str());
        return 2;
    }
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
    if (RefuseUnderWine("uninstall", kSpoolerAndAdministrator) ||
        RefuseWithoutElevation("uninstall")) {
        return 2;
    }
    if (!::DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName))) {
        return ReportFailure("DeleteMonitor");
    }
    const std::wstring target = SystemDllPath();
    if (!::DeleteFileW(target.c_str())) {
        // The spooler may still hold the module: remove it at the next start.
        if (::MoveFileExW(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            std::printf("The DLL is still loaded; it will be removed at the next restart.\n");
        }
    }
    std::printf("Removed the port monitor \"Vela3dp Print Monitor\".\n");
    return 0;
}

int ListPorts() {
    if (RefuseUnderWine("ports", "a real Windows print spooler")) {
        return 2;
    }
    DWORD needed = 0;
    DWORD returned = 0;
    if (!::EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
            return ReportFailure("EnumPorts");
        }
    }
    std::vector<BYTE> buffer(needed > 0 ? needed : 1);
    returned = 0;
    if (needed > 0 && !::EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &returned)) {
        return ReportFailure("EnumPorts");
    }
    const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    std::printf("%-24s %-28s %s\n", "Port", "Monitor", "Description");
    for (DWORD i = 0; i < returned; ++i) {
        std::printf("%-24ls %-28ls %ls\n", ports[i].pPortName != nullptr ? ports[i].pPortName : L"",
                    ports[i].pMonitorName != nullptr ? ports[i].pMonitorName : L"",
                    ports[i].pDescription != nullptr ? ports[i].pDescription : L"");
    }
    if (returned == 0) {
        std::printf("(the spooler reports no ports)\n");
    }
    return 0;
}

} // namespace vela::host
