#include "sim/WineSpooler.h"

#include "platform/RegistryKey.h"

namespace vela::test::spooler {
namespace {

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length < MAX_PATH ? length : 0);
}

DWORD LastErrorUnless(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : ::GetLastError();
}

std::wstring PortsKeyPath() {
    return std::wstring(kMonitorKeyPath) + L"\\Ports";
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return narrow;
}

// The step's name and error when it failed, else "".
std::string Check(DWORD error, const std::string& step) {
    if (error == ERROR_SUCCESS) {
        return std::string();
    }
    return step + " failed with error " + std::to_string(error);
}

} // namespace

std::wstring ProgramFolder(int levelsUp) {
    wchar_t program[MAX_PATH] = {};
    std::wstring path(program, ::GetModuleFileNameW(nullptr, program, MAX_PATH));
    for (int level = 0; level <= levelsUp; ++level) {
        const size_t slash = path.find_last_of(L"\\/");
        path.erase(slash == std::wstring::npos ? 0 : slash);
    }
    return path;
}

DWORD CopyMonitorLibraries(const std::wstring& folder) {
    for (const wchar_t* library : {kMonitorLibrary, kMonitorUiLibrary}) {
        const std::wstring from = folder + L"\\" + library;
        const std::wstring to = SystemFolder() + L"\\" + library;
        if (!::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            return ::GetLastError();
        }
    }
    return ERROR_SUCCESS;
}

DWORD DeleteMonitorLibraries() {
    for (const wchar_t* library : {kMonitorLibrary, kMonitorUiLibrary}) {
        const std::wstring path = SystemFolder() + L"\\" + library;
        if (!::DeleteFileW(path.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
            return ::GetLastError();
        }
    }
    return ERROR_SUCCESS;
}

DWORD AddMonitor() {
    MONITOR_INFO_2W info{};
    info.pName = const_cast<LPWSTR>(kMonitorName);
    info.pEnvironment = nullptr;
    info.pDLLName = const_cast<LPWSTR>(kMonitorLibrary);
    return LastErrorUnless(::AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
}

DWORD DeleteMonitor() {
    return LastErrorUnless(::DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName)));
}

DWORD MonitorCommand(const wchar_t* command, const std::wstring& input, void* output,
                     DWORD outputSize, DWORD* needed) {
    std::wstring object = std::wstring(L",XcvMonitor ") + kMonitorName;
    PRINTER_DEFAULTSW defaults{};
    defaults.DesiredAccess = SERVER_ACCESS_ADMINISTER;
    UniquePrinter xcv;
    if (!::OpenPrinterW(&object[0], xcv.Put(), &defaults)) {
        return ::GetLastError();
    }
    DWORD ignored = 0;
    DWORD status = ERROR_SUCCESS;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(input.c_str());
    if (!::XcvDataW(xcv.Get(), command, const_cast<PBYTE>(bytes),
                    static_cast<DWORD>((input.size() + 1) * sizeof(wchar_t)),
                    static_cast<PBYTE>(output), outputSize, needed != nullptr ? needed : &ignored,
                    &status)) {
        return ::GetLastError();
    }
    return status;
}

DWORD LinkPortForWine(const std::wstring& port) {
    UniqueRegKey key;
    return static_cast<DWORD>(::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                                (PortsKeyPath() + L"\\" + port).c_str(), 0, nullptr,
                                                0, KEY_READ, nullptr, key.Put(), nullptr));
}

DWORD UnlinkPortForWine(const std::wstring& port) {
    const LONG status =
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (PortsKeyPath() + L"\\" + port).c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(status);
}

DWORD WritePortDevice(const std::wstring& port, const std::wstring& device) {
    UniqueRegKey key;
    LONG status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, PortsKeyPath().c_str(), 0, KEY_SET_VALUE, key.Put());
    if (status == ERROR_SUCCESS) {
        status = ::RegSetValueExW(key.Get(), port.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(device.c_str()),
                                  static_cast<DWORD>((device.size() + 1) * sizeof(wchar_t)));
    }
    return static_cast<DWORD>(status);
}

DWORD ReadPortDevice(const std::wstring& port, std::wstring* device) {
    device->clear();
    wchar_t data[MAX_PATH] = {};
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    const LONG status = ::RegGetValueW(HKEY_LOCAL_MACHINE, PortsKeyPath().c_str(), port.c_str(),
                                       RRF_RT_REG_SZ, &type, data, &bytes);
    if (status == ERROR_SUCCESS) {
        *device = data;
    }
    return static_cast<DWORD>(status);
}

DWORD ListComPort(const std::wstring& comName) {
    UniqueRegKey key;
    LONG status =
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                          REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, key.Put(), nullptr);
    if (status == ERROR_SUCCESS) {
        const std::wstring value = L"\\Device\\VelaTest" + comName;
        status = ::RegSetValueExW(key.Get(), value.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(comName.c_str()),
                                  static_cast<DWORD>((comName.size() + 1) * sizeof(wchar_t)));
    }
    return static_cast<DWORD>(status);
}

DWORD AddDriver() {
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(kDriverName);
    driver.pEnvironment = nullptr;
    driver.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
    driver.pDataFile = const_cast<LPWSTR>(L"generic.ppd");
    driver.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
    return LastErrorUnless(::AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver)));
}

DWORD AddPrinter(const PrinterSetup& setup) {
    std::wstring printer = setup.printer;
    std::wstring port = setup.port;
    PRINTER_INFO_2W info{};
    info.pPrinterName = &printer[0];
    info.pPortName = &port[0];
    info.pDriverName = const_cast<LPWSTR>(kDriverName);
    info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    info.pDatatype = const_cast<LPWSTR>(L"RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    const UniquePrinter added(::AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
    return added.Valid() ? ERROR_SUCCESS : ::GetLastError();
}

DWORD DeletePrinter(const std::wstring& printer) {
    std::wstring name = printer;
    PRINTER_DEFAULTSW defaults{};
    defaults.DesiredAccess = PRINTER_ALL_ACCESS;
    UniquePrinter opened;
    if (!::OpenPrinterW(&name[0], opened.Put(), &defaults)) {
        return ::GetLastError() == ERROR_INVALID_PRINTER_NAME ? ERROR_SUCCESS : ::GetLastError();
    }
    return LastErrorUnless(::DeletePrinter(opened.Get()));
}

std::string EnsureMonitor(const std::wstring& libraryFolder) {
    std::string problem = Check(CopyMonitorLibraries(libraryFolder), "Copying the DLLs");
    if (problem.empty()) {
        const DWORD added = AddMonitor();
        problem = Check(added == ERROR_PRINT_MONITOR_ALREADY_INSTALLED ? ERROR_SUCCESS : added,
                        "AddMonitorW");
    }
    return problem;
}

std::string EnsurePrinters(const std::vector<PrinterSetup>& printers) {
    std::string problem = Check(AddDriver(), "AddPrinterDriverW");
    for (const PrinterSetup& setup : printers) {
        const std::string port = Narrow(setup.port);
        std::wstring stored;
        // A port the monitor stores needs no "AddPort" (each costs a load of the
        // monitor into this process).
        if (problem.empty() && ReadPortDevice(setup.port, &stored) != ERROR_SUCCESS) {
            problem = Check(MonitorCommand(L"AddPort", setup.port), "\"AddPort\" of " + port);
        }
        if (problem.empty()) {
            problem = Check(LinkPortForWine(setup.port), "Linking " + port + " for Wine");
        }
        if (problem.empty() && stored != setup.device) {
            problem =
                Check(WritePortDevice(setup.port, setup.device), "Storing the device of " + port);
        }
        if (problem.empty()) {
            const DWORD added = AddPrinter(setup);
            problem = Check(added == ERROR_PRINTER_ALREADY_EXISTS ? ERROR_SUCCESS : added,
                            "AddPrinterW of " + Narrow(setup.printer));
        }
    }
    return problem;
}

PrintOutcome PrintDocument(const std::wstring& printer, const std::string& bytes, size_t piece,
                           const std::wstring& documentName) {
    PrintOutcome outcome;
    const auto fail = [&outcome](const char* call) {
        outcome.failedCall = call;
        outcome.error = ::GetLastError();
        return outcome;
    };
    std::wstring name = printer;
    std::wstring datatype = L"RAW";
    std::wstring document = documentName;
    PRINTER_DEFAULTSW defaults{};
    defaults.pDatatype = &datatype[0];
    defaults.DesiredAccess = PRINTER_ACCESS_USE;
    UniquePrinter opened;
    if (!::OpenPrinterW(&name[0], opened.Put(), &defaults)) {
        return fail("OpenPrinterW");
    }
    DOC_INFO_1W info{};
    info.pDocName = &document[0];
    info.pDatatype = &datatype[0];
    if (::StartDocPrinterW(opened.Get(), 1, reinterpret_cast<LPBYTE>(&info)) == 0) {
        return fail("StartDocPrinterW");
    }
    for (size_t offset = 0; offset < bytes.size(); offset += piece) {
        std::string part = bytes.substr(offset, piece);
        DWORD written = 0;
        if (!::WritePrinter(opened.Get(), &part[0], static_cast<DWORD>(part.size()), &written) ||
            written != part.size()) {
            return fail("WritePrinter");
        }
    }
    LARGE_INTEGER frequency;
    LARGE_INTEGER started;
    LARGE_INTEGER ended;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&started);
    const BOOL endedDoc = ::EndDocPrinter(opened.Get());
    ::QueryPerformanceCounter(&ended);
    outcome.endSeconds = static_cast<double>(ended.QuadPart - started.QuadPart) /
                         static_cast<double>(frequency.QuadPart);
    if (!endedDoc) {
        return fail("EndDocPrinter");
    }
    if (!::ClosePrinter(opened.Release())) {
        return fail("ClosePrinter");
    }
    return outcome;
}

DWORD EnumeratePorts(DWORD level, std::vector<PortRecord>* ports) {
    ports->clear();
    DWORD needed = 0;
    DWORD count = 0;
    std::vector<BYTE> buffer;
    while (!::EnumPortsW(nullptr, level, buffer.empty() ? nullptr : buffer.data(),
                         static_cast<DWORD>(buffer.size()), &needed, &count)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            return ::GetLastError();
        }
        buffer.resize(needed);
    }
    for (DWORD index = 0; index < count; ++index) {
        PortRecord record;
        if (level == 1) {
            const PORT_INFO_1W& port = reinterpret_cast<const PORT_INFO_1W*>(buffer.data())[index];
            record.name = port.pName != nullptr ? port.pName : L"";
        } else {
            const PORT_INFO_2W& port = reinterpret_cast<const PORT_INFO_2W*>(buffer.data())[index];
            record.name = port.pPortName != nullptr ? port.pPortName : L"";
            record.monitor = port.pMonitorName != nullptr ? port.pMonitorName : L"";
            record.description = port.pDescription != nullptr ? port.pDescription : L"";
            record.type = port.fPortType;
        }
        ports->push_back(record);
    }
    return ERROR_SUCCESS;
}

} // namespace vela::test::spooler
