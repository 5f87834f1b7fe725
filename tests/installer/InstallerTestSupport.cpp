#include "InstallerTestSupport.h"

#include "platform/Handles.h"
#include "platform/RegistryKey.h"
#include "platform/Win32Headers.h"
#include "sim/WineSpooler.h"

#include <cstdint>

namespace vela::installer_test {
namespace {

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vela3dpPrintMonitor";
constexpr wchar_t kMonitorKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Vela3dp Print Monitor";
constexpr wchar_t kSerialComm[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr wchar_t kTestComValue[] = L"VelaInstallerTestSerial";
// Well inside CTest's two minutes for a test.
constexpr DWORD kRunLimitMs = 100000;

std::wstring ReadString(HKEY root, const std::wstring& key, const wchar_t* name, bool* found) {
    DWORD bytes = 0;
    *found = false;
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
        return L"";
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, &value[0], &bytes) !=
        ERROR_SUCCESS) {
        return L"";
    }
    *found = true;
    value.resize(::wcslen(value.c_str()));
    return value;
}

// The two-call pattern of the spooler's enumerations.
template <typename Enumerate> std::vector<uint8_t> Enumerated(Enumerate enumerate, DWORD* count) {
    DWORD needed = 0;
    *count = 0;
    std::vector<uint8_t> buffer;
    if (!enumerate(nullptr, 0, &needed, count) && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return buffer;
    }
    buffer.resize(needed + 1);
    if (!enumerate(buffer.data(), needed, &needed, count)) {
        *count = 0;
    }
    return buffer;
}

} // namespace

std::wstring SetupPath() {
    // Built on Linux; Wine maps the Unix root to drive Z:.
    const std::string unixPath = VELA_SETUP_PATH;
    std::wstring path = L"Z:";
    for (const char c : unixPath) {
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return path;
}

std::wstring QuotedPath(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring InstallFolder() {
    wchar_t programFiles[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    return std::wstring(programFiles) + L"\\Vela3dp Print Monitor";
}

std::vector<std::wstring> InstalledFiles() {
    return {SystemFolder() + L"\\" + kMonitorDll, SystemFolder() + L"\\" + kUiDll,
            InstallFolder() + L"\\vela3dp-host.exe", InstallFolder() + L"\\uninstall.exe"};
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteTextFile(const std::wstring& path, const std::string& text) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.Get() &&
           ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                       nullptr) &&
           written == text.size();
}

std::string ReadTextFile(const std::wstring& path) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    char chunk[256];
    DWORD read = 0;
    while (file.Get() && ::ReadFile(file.Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        text.append(chunk, read);
    }
    return text;
}

DWORD RunToEnd(const std::wstring& commandLine) {
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    UniqueHandle port(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
    association.CompletionKey = job.Get();
    association.CompletionPort = port.Get();
    if (!job.Get() || !port.Get() ||
        !::SetInformationJobObject(job.Get(), JobObjectAssociateCompletionPortInformation,
                                   &association, sizeof(association))) {
        return ~0u;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &process)) {
        return ~0u;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle thread(process.hThread);
    if (!::AssignProcessToJobObject(job.Get(), processHandle.Get())) {
        ::TerminateProcess(processHandle.Get(), ~0u);
        return ~0u;
    }
    ::ResumeThread(thread.Get());
    for (;;) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED detail = nullptr;
        if (!::GetQueuedCompletionStatus(port.Get(), &message, &key, &detail, kRunLimitMs)) {
            ::TerminateJobObject(job.Get(), ~0u);
            return ~0u;
        }
        if (key == reinterpret_cast<ULONG_PTR>(job.Get()) &&
            message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
            break;
        }
    }
    DWORD exitCode = ~0u;
    ::WaitForSingleObject(processHandle.Get(), INFINITE);
    ::GetExitCodeProcess(processHandle.Get(), &exitCode);
    return exitCode;
}

std::wstring ReadUninstallValue(const wchar_t* name) {
    bool found = false;
    return ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, name, &found);
}

std::wstring ListedMonitorDll(const wchar_t* monitor) {
    DWORD count = 0;
    const std::vector<uint8_t> buffer = Enumerated(
        [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return ::EnumMonitorsW(nullptr, 2, data, size, needed, returned) != FALSE;
        },
        &count);
    const auto* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (monitors[i].pName != nullptr && ::wcscmp(monitors[i].pName, monitor) == 0) {
            return monitors[i].pDLLName != nullptr ? monitors[i].pDLLName : L"(null)";
        }
    }
    return L"";
}

std::wstring ListedPortMonitor(const wchar_t* port) {
    DWORD count = 0;
    const std::vector<uint8_t> buffer = Enumerated(
        [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return ::EnumPortsW(nullptr, 2, data, size, needed, returned) != FALSE;
        },
        &count);
    const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (ports[i].pPortName != nullptr && ::wcscmp(ports[i].pPortName, port) == 0) {
            return ports[i].pMonitorName != nullptr ? ports[i].pMonitorName : L"(null)";
        }
    }
    return L"";
}

std::wstring StoredPortDevice(const wchar_t* port) {
    bool found = false;
    const std::wstring device =
        ReadString(HKEY_LOCAL_MACHINE, std::wstring(kMonitorKey) + L"\\Ports", port, &found);
    return found ? device : kNoValue;
}

bool WriteMonitorDriverValue(const wchar_t* dll) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          key.Put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((::wcslen(dll) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.Get(), L"Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll),
                            bytes) == ERROR_SUCCESS;
}

void AddMachineComPort(const wchar_t* com) {
    UniqueRegKey key;
    // The hardware map lives only while the machine runs.
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_SET_VALUE, nullptr, key.Put(), nullptr) == ERROR_SUCCESS) {
        const DWORD bytes = static_cast<DWORD>((::wcslen(com) + 1) * sizeof(wchar_t));
        ::RegSetValueExW(key.Get(), kTestComValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(com),
                         bytes);
    }
}

void RemoveMachineComPort() {
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSerialComm, kTestComValue);
}

void RemoveInstallation() {
    test::spooler::DeletePrinter(kTestPrinter);
    ::DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName));
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMonitorKey);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMonitorKey);
    for (const std::wstring& file : InstalledFiles()) {
        ::DeleteFileW(file.c_str());
    }
    ::RemoveDirectoryW(InstallFolder().c_str());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
}

} // namespace vela::installer_test
