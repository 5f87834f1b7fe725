// A monitor with three registered ports, the handler's timings restored after each
// test, and a simulated firmware on the far end of the test's serial line: the
// monitor's end is COM21, the firmware's COM22 (a pty pair the suite's fixture links).
#pragma once

#include "doubles/MonitorHarness.h"
#include "doubles/SimulatedFirmware.h"
#include "protocol/ProtocolHandler.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vela::test {

constexpr wchar_t kHostDevice[] = L"\\\\.\\COM21";
constexpr wchar_t kFirmwareDevice[] = L"\\\\.\\COM22";
// A serial printer's port, a USB printer's (no device path) and a vanished device's.
constexpr wchar_t kSerialPort[] = L"Serial21:";
constexpr wchar_t kUsbPort[] = L"Usb1:";
constexpr wchar_t kMissingDevicePort[] = L"Serial99:";
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

class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts a firmware on COM22 with the options.
    void StartFirmware(const FirmwareOptions& options = FirmwareOptions{});
    // Bytes as WritePort queues them.
    void Queue(const std::string& text);
    BOOL Open(const wchar_t* name = kSerialPort);
    BOOL Close();

    // "G1 X... Y... E..." lines numbered from first, and their commands as executed.
    static std::string Job(int first, int count);
    static std::vector<std::string> JobCommands(int first, int count);

    MonitorState& State() { return harness_.State(); }
    PortEntry* Entry(const wchar_t* name);

    MonitorHarness harness_;
    LPMONITOR2 table_ = nullptr;
    std::unique_ptr<SimulatedFirmware> firmware_;
    HANDLE port_ = nullptr;
    ProtocolTimings savedTimings_;
};

} // namespace vela::test
