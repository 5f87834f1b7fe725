// What the installer tests look at: the installed files, the installed apps' entry, the
// spooler's lists of monitors and ports, and the processes the installer starts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vela::installer_test {

constexpr wchar_t kMonitorName[] = L"Vela3dp Print Monitor";
constexpr wchar_t kMonitorDll[] = L"Vela3dpPrintMonitor.dll";
constexpr wchar_t kUiDll[] = L"Vela3dpPrintMonitorUI.dll";
constexpr wchar_t kTestComPort[] = L"COM57";
// A print queue a test puts on a port of the monitor.
constexpr wchar_t kTestPrinter[] = L"Vela Installer Test Printer";
// What StoredPortDevice answers for a port without a value.
constexpr wchar_t kNoValue[] = L"(no value)";

std::wstring SetupPath();
std::wstring QuotedPath(const std::wstring& path);
std::wstring SystemFolder();
std::wstring InstallFolder();
// Both DLLs in the system folder, the host program and the uninstaller.
std::vector<std::wstring> InstalledFiles();
bool FileExists(const std::wstring& path);
bool WriteTextFile(const std::wstring& path, const std::string& text);
std::string ReadTextFile(const std::wstring& path);

// Runs a command line and waits until it and every process it started have ended (an
// uninstaller hands its work to a copy of itself); the exit code of the first one, or
// ~0u when the processes did not end within the test's time.
DWORD RunToEnd(const std::wstring& commandLine);

// A value of the installed apps' entry, empty when there is none.
std::wstring ReadUninstallValue(const wchar_t* name);
// The DLL EnumMonitors lists for a monitor, empty when it lists no such monitor.
std::wstring ListedMonitorDll(const wchar_t* monitor);
// The monitor EnumPorts lists for a port, empty when it lists no such port.
std::wstring ListedPortMonitor(const wchar_t* port);
// A port's value under the monitor's "Ports" key, kNoValue when there is none.
std::wstring StoredPortDevice(const wchar_t* port);
bool WriteMonitorDriverValue(const wchar_t* dll);

void AddMachineComPort(const wchar_t* com);
void RemoveMachineComPort();
// Whatever an earlier run or test left: the test's printer, the registration, the
// files, the entry.
void RemoveInstallation();

} // namespace vela::installer_test
