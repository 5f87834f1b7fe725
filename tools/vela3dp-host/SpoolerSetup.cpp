#include "SpoolerSetup.h"

#include "LogLocation.h"
#include "platform/Handles.h"
#include "platform/Win32Headers.h"
#include "portconfig/MonitorNames.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vela::host {
namespace {

using portconfig::kMonitorName;
constexpr wchar_t kDllName[] = L"Vela3dpPrintMonitor.dll";
// The port screens, which the spooler loads from the system folder by the name the
// monitor reports.
constexpr wchar_t kUiDllName[] = L"Vela3dpPrintMonitorUI.dll";
constexpr const wchar_t* kShippedDlls[] = {kDllName, kUiDllName};

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

std::wstring SystemDllPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

// Removes a DLL from the system folder, or at the next start while it is loaded.
void RemoveSystemDll(const wchar_t* name) {
    const std::wstring target = SystemDllPath(name);
    if (::DeleteFileW(target.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        return;
    }
    if (::MoveFileExW(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        std::printf("%ls is still loaded; it will be removed at the next restart.\n", name);
    }
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
    for (const wchar_t* name : kShippedDlls) {
        const std::wstring source = ProgramFolder() + L"\\" + name;
        if (::GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::fprintf(stderr, "%ls is not beside this program: %ls\n", name, source.c_str());
            return 2;
        }
    }
    for (const wchar_t* name : kShippedDlls) {
        const std::wstring source = ProgramFolder() + L"\\" + name;
        if (!::CopyFileW(source.c_str(), SystemDllPath(name).c_str(), FALSE)) {
            return ReportFailure("Copying a DLL to the system folder");
        }
    }
    MONITOR_INFO_2W info{};
    info.pName = const_cast<LPWSTR>(kMonitorName);
    info.pEnvironment = nullptr;
    info.pDLLName = const_cast<LPWSTR>(kDllName);
    if (!::AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) {
        return ReportFailure("AddMonitor");
    }
    std::printf(
        "Installed the port monitor \"Vela3dp Print Monitor\" and its port screens (%ls).\n",
        SystemDllPath(kDllName).c_str());
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
    for (const wchar_t* name : kShippedDlls) {
        RemoveSystemDll(name);
    }
    std::printf("Removed the port monitor \"Vela3dp Print Monitor\".\n");
    return 0;
}

} // namespace vela::host
