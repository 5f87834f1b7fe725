#include "spooler/SpoolerTestBed.h"

#include "platform/Handles.h"

#include <cstdio>

namespace vela::test::spooler {
namespace {

constexpr wchar_t kLogFolder[] = L"C:\\temp";
constexpr wchar_t kLogFile[] = L"C:\\temp\\vela3dp.log";

} // namespace

std::vector<PrinterSetup> AllPrinters() {
    std::vector<PrinterSetup> printers;
    for (const SerialPrinter& serial : kSerialPrinters) {
        printers.push_back(serial.setup);
    }
    printers.push_back(kUsbPrinter);
    printers.push_back(kScreenPrinter);
    return printers;
}

namespace {

long long FileSize(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

const SerialPrinter kSerialPrinters[kSerialPrinterCount] = {
    {{L"Vela Serial 1", L"Vela Serial 1:", L"\\\\.\\COM61"}, L"\\\\.\\COM62"},
    {{L"Vela Serial 2", L"Vela Serial 2:", L"\\\\.\\COM63"}, L"\\\\.\\COM64"},
    {{L"Vela Serial 3", L"Vela Serial 3:", L"\\\\.\\COM65"}, L"\\\\.\\COM66"},
    {{L"Vela Serial 4", L"Vela Serial 4:", L"\\\\.\\COM67"}, L"\\\\.\\COM68"},
};
const PrinterSetup kUsbPrinter{L"Vela USB", L"Vela USB:", L""};
const PrinterSetup kScreenPrinter{L"Vela Screen", L"Vela Screen:", L"\\\\.\\COM61"};

void SpoolerTest::SetUp() {
    // The DLLs are in the build folder, above the test executables' folder.
    ASSERT_EQ(EnsureMonitor(ProgramFolder(1)), "");
    ASSERT_EQ(EnsurePrinters(AllPrinters()), "");
    ::CreateDirectoryW(kLogFolder, nullptr);
}

std::unique_ptr<SimulatedFirmware> SpoolerTest::StartFirmware(const SerialPrinter& printer,
                                                              const FirmwareOptions& options) {
    auto firmware = std::make_unique<SimulatedFirmware>(options);
    if (!firmware->Start(printer.firmwareDevice)) {
        ADD_FAILURE() << "the firmware's end of the line is missing: is the pty pair linked?";
        return nullptr;
    }
    return firmware;
}

std::string SpoolerTest::Gcode(int tag, int lines) {
    std::string gcode = "; sliced for printer " + std::to_string(tag) + "\n";
    for (const std::string& command : Executed(tag, lines)) {
        if (command != "M110 N0" && command != "M400") {
            gcode += command + " ; move\n";
        }
    }
    return gcode;
}

std::vector<std::string> SpoolerTest::Executed(int tag, int lines) {
    std::vector<std::string> executed{"M110 N0"};
    char command[80];
    for (int line = 1; line <= lines; ++line) {
        std::snprintf(command, sizeof(command), "G1 X%d.%03d Y%d E0.%04d F%d", line % 200,
                      line * 7 % 1000, line % 150, line % 9973, 1200 + tag);
        executed.push_back(command);
    }
    executed.push_back("M400");
    return executed;
}

DebugLogMark::DebugLogMark() : start_(FileSize(kLogFile)) {}

std::string DebugLogMark::Appended() const {
    UniqueHandle file(::CreateFileW(kLogFile, GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    const long long size = FileSize(kLogFile);
    if (!file.Valid() || size <= start_) {
        return std::string();
    }
    LARGE_INTEGER offset;
    offset.QuadPart = start_;
    std::string text(static_cast<size_t>(size - start_), '\0');
    DWORD read = 0;
    if (!::SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN) ||
        !::ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr)) {
        return std::string();
    }
    text.resize(read);
    return text;
}

} // namespace vela::test::spooler
