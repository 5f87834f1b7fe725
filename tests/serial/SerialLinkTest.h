// A monitor with three registered ports, the fake spooler and clock, the handler's
// timings restored after each test, and a simulated firmware on the far end of the
// test's serial line: the monitor's end is COM21, the firmware's COM22 (a pty pair
// the suite's fixture links). Documents go through the table as the spooler sends
// them: OpenPort, then StartDocPort .. WritePort .. EndDocPort per document, then
// ClosePort.
#pragma once

#include "sim/FakeSpooler.h"
#include "sim/MonitorHarness.h"
#include "sim/SimulatedFirmware.h"
#include "ports/PortList.h"
#include "serial/DocumentControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vela::test {

constexpr wchar_t kHostDevice[] = L"\\\\.\\COM21";
constexpr wchar_t kFirmwareDevice[] = L"\\\\.\\COM22";
// A serial printer's port, a USB printer's (no device path) and a vanished device's.
constexpr wchar_t kSerialPort[] = L"Serial21:";
constexpr wchar_t kUsbPort[] = L"Usb1:";
constexpr wchar_t kMissingDevicePort[] = L"Serial99:";
// A connection's first greeting, as the firmware receives it: "M115", "M105" and
// the counter line.
constexpr size_t kGreetingLines = 3;
// Waits that only run out when something is broken.
constexpr DWORD kJobWaitMs = 60000;

// Collects what the process writes to the debugger output.
class DebuggerOutputCapture {
  public:
    DebuggerOutputCapture();
    ~DebuggerOutputCapture();
    DebuggerOutputCapture(const DebuggerOutputCapture&) = delete;
    DebuggerOutputCapture& operator=(const DebuggerOutputCapture&) = delete;

    std::vector<std::string> Texts() const;
    bool Contains(const std::string& text) const;

  private:
    static LONG CALLBACK OnException(EXCEPTION_POINTERS* exception);

    PVOID handler_ = nullptr;
};

// Moves the fake clock on by step every couple of real milliseconds while it
// lives: for firmware whose answers only come after a time-out.
class ClockTicker {
  public:
    ClockTicker(FakeClock& clock, DWORD step);
    ~ClockTicker();
    ClockTicker(const ClockTicker&) = delete;
    ClockTicker& operator=(const ClockTicker&) = delete;

  private:
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// The real serial devices, counted, and one that another program may hold (Wine
// itself lets a second program open a device that is in use).
class CountedSerialDevices : public SystemSerialDevices {
  public:
    HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                       LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                       HANDLE templateFile) override {
        ++opens;
        if (heldByAnotherProgram) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        return ::CreateFileW(fileName, access, shareMode, security, creation, flags, templateFile);
    }
    BOOL SetCommState(HANDLE device, LPDCB dcb) override {
        baudRate = dcb->BaudRate;
        ++setUps;
        return SystemSerialDevices::SetCommState(device, dcb);
    }

    std::atomic<int> opens{0};
    // The speed the device was last set up at, and how often it was set up.
    std::atomic<DWORD> baudRate{0};
    std::atomic<int> setUps{0};
    std::atomic<bool> heldByAnotherProgram{false};
};

class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts a firmware on COM22 with the options.
    void StartFirmware(const FirmwareOptions& options = FirmwareOptions{});
    BOOL Open(const wchar_t* name = kSerialPort);
    BOOL Close();
    BOOL StartDoc(DWORD jobId = 12);
    // WritePort in pieces of the given size; FALSE at the first refused piece.
    BOOL Write(const std::string& text, size_t piece = 4096);
    BOOL EndDoc();
    // StartDocPort, the text in pieces, EndDocPort, each expected to succeed.
    void Print(const std::string& text, size_t piece = 4096);
    // Moves the clock a second at a time until the document thread's look at the
    // job has shown the text (bounded).
    bool LookUntil(const std::wstring& text);
    // EndDocPort while the clock moves on, so that the document thread's looks at
    // the job run (bounded).
    void EndDocMovingTheClock(bool expected = true);

    // "G1 X... Y... E..." lines numbered from first, and their commands as executed.
    static std::string Job(int first, int count);
    static std::vector<std::string> JobCommands(int first, int count);
    // What the firmware executes for a whole document of these commands: the
    // handshake, the commands, the final wait for the moves.
    static std::vector<std::string> Document(const std::vector<std::string>& commands);

    // The greeting's lines this firmware received once StartDocPort has returned:
    // "M115" only in a connection's first.
    size_t GreetingLines() const;

    MonitorState& State() { return harness_.State(); }
    PortEntry* Entry(const wchar_t* name);

    FakeSpooler spooler_;
    CountedSerialDevices devices_;
    MonitorHarness harness_;
    LPMONITOR2 table_ = nullptr;
    std::unique_ptr<SimulatedFirmware> firmware_;
    HANDLE port_ = nullptr;
    ProtocolTimings savedTimings_;
};

} // namespace vela::test
