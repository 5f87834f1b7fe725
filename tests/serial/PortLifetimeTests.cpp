// A serial port's life as the spooler drives it: OpenPort whether the printer is
// on or not, the device opened and the firmware greeted at StartDocPort, kept
// across documents, closed by ClosePort.
#include "sim/SimulatedUsbPrinter.h"
#include "monitor/PortSession.h"
#include "core/PortSettings.h"
#include "core/PortSettingsLayout.h"
#include "serial/SerialLinkTest.h"

#include <tlhelp32.h>

#include <algorithm>
#include <thread>

namespace vela::test {
namespace {

using PortLifetime = SerialLinkTest;

std::vector<std::string> Joined(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

size_t ThreadsOfThisProcess() {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 thread{};
    thread.dwSize = sizeof(thread);
    size_t count = 0;
    for (BOOL more = ::Thread32First(snapshot.Get(), &thread); more;
         more = ::Thread32Next(snapshot.Get(), &thread)) {
        count += thread.th32OwnerProcessID == ::GetCurrentProcessId() ? 1 : 0;
    }
    return count;
}

TEST_F(PortLifetime, OpenPortStartsNothingAndSucceedsWithThePrinterOff) {
    for (const wchar_t* name : {kSerialPort, kMissingDevicePort, kUsbPort}) {
        ASSERT_TRUE(Open(name));
        EXPECT_EQ(EntryOf(port_), Entry(name));
        // No device is held: anyone may open it meanwhile.
        EXPECT_TRUE(PurgeSerialDevice(kHostDevice));
        EXPECT_TRUE(Close());
    }
}

TEST_F(PortLifetime, OpenPortRefusesBadArgumentsAndUnknownPortsWithAnError) {
    HANDLE opened = nullptr;
    struct Case {
        LPWSTR name;
        PHANDLE out;
        DWORD error;
    } cases[] = {{nullptr, &opened, ERROR_INVALID_PARAMETER},
                 {const_cast<LPWSTR>(kSerialPort), nullptr, ERROR_INVALID_PARAMETER},
                 {const_cast<LPWSTR>(L"NoSuchPort:"), &opened, ERROR_FILE_NOT_FOUND}};
    for (const Case& item : cases) {
        ::SetLastError(0);
        EXPECT_FALSE(table_->pfnOpenPort(harness_.MonitorHandle(), item.name, item.out));
        EXPECT_EQ(::GetLastError(), item.error);
    }
    ::SetLastError(0);
    EXPECT_FALSE(table_->pfnClosePort(nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(PortLifetime, MissingOrHeldDeviceFailsStartDocUntilItIsBack) {
    StartFirmware();
    ASSERT_TRUE(Open(kMissingDevicePort));
    ::SetLastError(0);
    EXPECT_FALSE(StartDoc());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DocumentInProgress(Entry(kMissingDevicePort)));
    EXPECT_EQ(spooler_.openPrinters, 0);
    ASSERT_TRUE(Close());

    ASSERT_TRUE(Open());
    // Another program holds the device.
    devices_.heldByAnotherProgram = true;
    ::SetLastError(0);
    EXPECT_FALSE(StartDoc());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    devices_.heldByAnotherProgram = false;
    // Released: the spooler's retry prints.
    Print("G28\n");
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document({"G28"}));
}

TEST_F(PortLifetime, SilentFirmwareFailsStartDocOnceEverySpeedHadItsRound) {
    // Nobody answers on the far end; every handshake wait runs out at once. On
    // automatic each of the nine speeds has its 3 s.
    harness_.clock.autoAdvance = true;
    ASSERT_TRUE(Open());
    ::SetLastError(0);
    EXPECT_FALSE(StartDoc());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_GE(harness_.clock.now, 27000u);
    EXPECT_LT(harness_.clock.now, 30000u);
    EXPECT_FALSE(DocumentInProgress(Entry(kSerialPort)));
    harness_.clock.autoAdvance = false;
    // Nothing half-open: the device is free again.
    EXPECT_TRUE(PurgeSerialDevice(kHostDevice));
    StartFirmware();
    Print("G28\n");
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document({"G28"}));
}

// The speed set for the port is the speed the line opens at; a change reaches the
// open device with the next document. Without one, 250000 baud.
TEST_F(PortLifetime, TheLineTalksAtThePortsSpeed) {
    StartFirmware();
    ASSERT_TRUE(Open());
    const struct {
        DWORD setting; // 0: automatic
        DWORD opened;
        int setUps;
    } documents[] = {{115200, 115200, 1},
                     {115200, 115200, 1},
                     {250000, 250000, 2},
                     {0, 250000, 2},
                     {57600, 57600, 3}};
    for (const auto& document : documents) {
        SCOPED_TRACE(document.setting);
        harness_.registry.SetPortSetting(kSerialPort, kBaudRateName, document.setting);
        Print("G28\n");
        EXPECT_EQ(devices_.baudRate, document.opened);
        EXPECT_EQ(devices_.setUps, document.setUps);
    }
    EXPECT_EQ(devices_.opens, 1);
}

TEST_F(PortLifetime, DeviceStaysOpenAcrossDocumentsAndClosesWithThePort) {
    StartFirmware();
    ASSERT_TRUE(Open());
    Print("G28\n");
    Print("G1 X1\n");
    EXPECT_EQ(devices_.opens, 1);
    ASSERT_TRUE(Close());
    ASSERT_TRUE(Open());
    Print("G1 X2\n");
    EXPECT_EQ(devices_.opens, 2);
    EXPECT_EQ(firmware_->ExecutedNumberedCommands().size(), 9u);
}

TEST_F(PortLifetime, ClosePortInTheMiddleOfADocumentCancelsIt) {
    FirmwareOptions options;
    options.dropOkForLines = {3};
    StartFirmware(options);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 50)));
    ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 3, kJobWaitMs));
    {
        // The spooler closes the port without EndDocPort; the line in flight gets
        // its time for an "ok", then the cancel lines go.
        ClockTicker ticker(harness_.clock, 1000);
        ASSERT_TRUE(Close());
    }
    ASSERT_TRUE(Open());
    Print("G28\n");
    // The job's lines up to the cancel (the poke's answer may have let a few more
    // through), the cancel lines (after "M110" when line 3's "ok" never came),
    // then the next document, started afresh.
    std::vector<std::string> executed = firmware_->ExecutedNumberedCommands();
    const std::vector<std::string> cancel = DefaultCancelLines();
    const auto cancelStart =
        std::search(executed.begin(), executed.end(), cancel.begin(), cancel.end());
    ASSERT_NE(cancelStart, executed.end());
    if (*(cancelStart - 1) == "M110") {
        executed.erase(cancelStart - 1);
    }
    const size_t ran = executed.size() - cancel.size() - Document({"G28"}).size() - 1;
    std::vector<std::string> expected = Document(JobCommands(1, static_cast<int>(ran)));
    expected.pop_back();
    expected.insert(expected.end(), cancel.begin(), cancel.end());
    const std::vector<std::string> next = Document({"G28"});
    expected.insert(expected.end(), next.begin(), next.end());
    EXPECT_EQ(executed, expected);
    for (const std::string& line : firmware_->Received()) {
        EXPECT_EQ(line.find('*'), line.rfind('*')) << "cut or glued line: " << line;
    }
}

TEST_F(PortLifetime, ShutdownWithoutClosePortCancelsTheDocumentAndEndsItsThread) {
    FirmwareOptions options;
    options.dropOkForLines = {3};
    StartFirmware(options);
    const size_t threads = ThreadsOfThisProcess();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 50)));
    ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 3, kJobWaitMs));
    ASSERT_EQ(ThreadsOfThisProcess(), threads + 1);
    {
        // The line in flight gets its time for an "ok", then the cancel lines go.
        ClockTicker ticker(harness_.clock, 1000);
        harness_.Shutdown();
    }
    port_ = nullptr;
    EXPECT_EQ(ThreadsOfThisProcess(), threads);
    // The job's lines up to where the cancel came (the poke's answer may have let
    // a few more through), then the cancel lines and nothing else.
    // When the line in flight never got its "ok", "M110" sets the counter again
    // before the cancel lines; whether it did depends on how far the clock ran.
    std::vector<std::string> executed = firmware_->ExecutedNumberedCommands();
    const std::vector<std::string> cancel = DefaultCancelLines();
    ASSERT_GE(executed.size(), 4 + cancel.size());
    const auto cancelStart = executed.end() - static_cast<std::ptrdiff_t>(cancel.size());
    if (*(cancelStart - 1) == "M110") {
        executed.erase(cancelStart - 1);
    }
    std::vector<std::string> expected =
        Document(JobCommands(1, static_cast<int>(executed.size() - 1 - cancel.size())));
    expected.pop_back();
    expected.insert(expected.end(), cancel.begin(), cancel.end());
    EXPECT_EQ(executed, expected);
}

TEST_F(PortLifetime, DocumentThreadHoldsTheModuleUntilItEnds) {
    FakeModuleReferences modules;
    harness_.platform.modules = &modules;
    InstallPlatform(harness_.platform);
    StartFirmware();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    EXPECT_EQ(modules.taken, 1);
    EXPECT_EQ(modules.dropped, 0);
    ASSERT_TRUE(Write("G28\n"));
    ASSERT_TRUE(EndDoc());
    // Dropped by the thread itself, as it ended.
    EXPECT_EQ(modules.droppedOnExit, 1);
    EXPECT_EQ(modules.dropped, 1);
    // Without the reference no thread starts, and the document fails cleanly.
    const size_t threads = ThreadsOfThisProcess();
    modules.refuseWith = ERROR_NOT_ENOUGH_MEMORY;
    ::SetLastError(0);
    EXPECT_FALSE(StartDoc());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(ThreadsOfThisProcess(), threads);
    EXPECT_FALSE(DocumentInProgress(Entry(kSerialPort)));
    modules.refuseWith = 0;
    Print("G1 X1\n");
    EXPECT_EQ(modules.taken, 2);
    EXPECT_EQ(modules.dropped, 2);
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(),
              Joined(Document({"G28"}), Document({"G1 X1"})));
    harness_.platform.modules = Win32Platform().modules;
    InstallPlatform(harness_.platform);
}

TEST_F(PortLifetime, UsbAndSerialPortsOpenAtOnceEachWithItsOwnDocument) {
    SimulatedUsbPrinter usbPrinter(harness_.clock);
    harness_.platform.usb = &usbPrinter;
    harness_.platform.deviceSetup = &usbPrinter;
    InstallPlatform(harness_.platform);
    StartFirmware();
    HANDLE usb = nullptr;
    HANDLE serial = nullptr;
    ASSERT_TRUE(table_->pfnOpenPort(harness_.MonitorHandle(), const_cast<LPWSTR>(kUsbPort), &usb));
    ASSERT_TRUE(
        table_->pfnOpenPort(harness_.MonitorHandle(), const_cast<LPWSTR>(kSerialPort), &serial));
    std::wstring printer = spooler_.printerName;
    ASSERT_TRUE(table_->pfnStartDocPort(serial, &printer[0], 3, 1, nullptr));
    ASSERT_TRUE(table_->pfnStartDocPort(usb, &printer[0], 4, 1, nullptr));
    // Were G-code framed as records, its first bytes would be a record count.
    std::string gcode = Job(1, 5);
    DWORD written = 0;
    ASSERT_TRUE(table_->pfnWritePort(serial, reinterpret_cast<LPBYTE>(&gcode[0]),
                                     static_cast<DWORD>(gcode.size()), &written));
    ASSERT_TRUE(table_->pfnEndDocPort(serial));
    EXPECT_EQ(usbPrinter.transfers, 0) << "G-code reached the USB printer";

    std::vector<uint8_t> job(4 + 2 * 20, 0x11);
    job[0] = 2;
    job[1] = job[2] = job[3] = 0;
    ASSERT_TRUE(table_->pfnWritePort(usb, job.data(), static_cast<DWORD>(job.size()), &written));
    ASSERT_TRUE(table_->pfnEndDocPort(usb));
    EXPECT_EQ(usbPrinter.records.size(), 2u);
    EXPECT_TRUE(table_->pfnClosePort(serial));
    EXPECT_TRUE(table_->pfnClosePort(usb));
    harness_.platform.usb = Win32Platform().usb;
    harness_.platform.deviceSetup = &harness_.deviceSetup;
    InstallPlatform(harness_.platform);
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(JobCommands(1, 5)));
}

} // namespace
} // namespace vela::test
