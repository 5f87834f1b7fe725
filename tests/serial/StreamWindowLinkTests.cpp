// Streaming a window of lines through the table to a simulated firmware that
// models a real board's 128-byte receive buffer and 4 command slots.
#include "core/PortSettings.h"
#include "core/PortSettingsLayout.h"
#include "ports/PortSettingsStore.h"
#include "serial/SerialLinkTest.h"

namespace vela::test {
namespace {

using StreamWindowLink = SerialLinkTest;

// The document's commands as the firmware ran them, with the final "M400" (sent
// again when only the poke answered it) once.
std::vector<std::string> OnceEach(std::vector<std::string> executed) {
    while (executed.size() > 1 && executed.back() == "M400" &&
           executed[executed.size() - 2] == "M400") {
        executed.pop_back();
    }
    return executed;
}

// Every command the firmware ran, numbered or not, but the monitor's queries.
std::vector<std::string> CommandsRun(const std::vector<ExecutedLine>& executed) {
    std::vector<std::string> commands;
    for (const ExecutedLine& line : executed) {
        if (line.command != "M105" && line.command != "M115") {
            commands.push_back(line.command);
        }
    }
    return commands;
}

TEST_F(StreamWindowLink, DamagedLinesAndLostOksRunEveryNumberedLineOnceAndOneInFlightNothingElse) {
    // A board's receive side at a real link's pace, a command about as long as its
    // line on the wire. With a window the rest of a line cut by the firmware's drop
    // may run unchecked besides (StreamWindowHazard shows it on a virtual clock).
    for (const DWORD window : {127ul, 0ul}) {
        SCOPED_TRACE(window);
        harness_.registry.SetPortSetting(kSerialPort, kStreamWindowName, window);
        FirmwareOptions options;
        options.faithfulReceive = true;
        options.bytesPerSecond = 25000;
        options.commandMicroseconds = 3000;
        options.corruptShare = 0.1;
        options.dropOkForLines = {30, 31, 90};
        StartFirmware(options);
        // Drains after a resend request and pokes run on the fake clock.
        ClockTicker ticker(harness_.clock, 10);
        ASSERT_TRUE(Open());
        Print(Job(1, 200), 1000);
        ASSERT_TRUE(Close());
        const std::vector<std::string> document = Document(JobCommands(1, 200));
        EXPECT_EQ(OnceEach(firmware_->ExecutedNumberedCommands()), document);
        const FirmwareStats stats = firmware_->Stats();
        EXPECT_GT(stats.resendRequests, 5u);
        EXPECT_EQ(stats.linesExecutedTwice, 0u);
        EXPECT_EQ(stats.linesLostToOverflow, 0u);
        EXPECT_LE(stats.maxReceiveBufferBytes, 128u);
        EXPECT_EQ(stats.maxLinesInFlight > 1, window != 0);
        if (window == 0) {
            EXPECT_EQ(stats.cutLinesRun, 0u);
            EXPECT_EQ(OnceEach(CommandsRun(firmware_->Executed())), document);
        }
    }
}

TEST_F(StreamWindowLink, EveryOkWordingIsReadAtOnceAndNoneOpensAWindow) {
    // Free command slots in the "ok" are no reason to send lines ahead of it.
    for (const OkFormat format : {OkFormat::LineNumber, OkFormat::BufferState}) {
        FirmwareOptions options;
        options.okFormat = format;
        options.faithfulReceive = true;
        // Noise that is no reply, and ends no line of its own for 300 bytes.
        options.longEchoBytes = 300;
        StartFirmware(options);
        ASSERT_TRUE(Open());
        // The fake clock stands still: no reply waits for a time-out.
        Print(Job(1, 30));
        EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(JobCommands(1, 30)));
        EXPECT_EQ(firmware_->Stats().maxLinesInFlight, 1u);
        ASSERT_TRUE(Close());
    }
}

TEST_F(StreamWindowLink, ALineRefusedForEverFallsBackToOneLineThenFailsTheDocument) {
    harness_.registry.SetPortSetting(kSerialPort, kStreamWindowName, 127);
    DebuggerOutputCapture output;
    FirmwareOptions options;
    options.refuseLines = {5};
    StartFirmware(options);
    ClockTicker ticker(harness_.clock, 10);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    Write(Job(1, 40));
    EXPECT_FALSE(EndDoc());
    std::vector<std::string> ran = Document(JobCommands(1, 4));
    ran.pop_back();
    // The firmware still listens: "M110" and the cancel lines go.
    ran.push_back("M110");
    for (const std::string& line : DefaultCancelLines()) {
        ran.push_back(line);
    }
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), ran);
    EXPECT_TRUE(output.Contains("Ten resend requests in a row: one line in flight from now on\n"));
    EXPECT_TRUE(spooler_.prompts.empty());
}

TEST_F(StreamWindowLink, ThePortSettingIsReadAsAWindowOfBytes) {
    // A value out of range or of another type is ignored: no window of the port's own.
    const struct {
        DWORD type;
        DWORD value;
        bool stored;
        uint32_t bytes;
    } cases[] = {{REG_DWORD, 0, true, 0},
                 {REG_DWORD, 300, true, 300},
                 {REG_DWORD, 100000, false, 0},
                 {REG_SZ, 300, false, 0}};
    for (const auto& item : cases) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(harness_.registry.Root(), L"PortSettings\\Serial21:", 0,
                                    nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(key, kStreamWindowName, 0, item.type,
                         reinterpret_cast<const BYTE*>(&item.value), sizeof(item.value));
        ::RegCloseKey(key);
        const PortSettings read = ReadPortSettings(State(), kSerialPort);
        EXPECT_EQ(read.streamWindowStored, item.stored) << item.value;
        EXPECT_EQ(read.streamWindow, item.bytes) << item.value;
    }
    // No value, or a name that would reach another key: none of the port's own.
    for (const wchar_t* name : {kUsbPort, L"Serial21:\\..\\Serial21:"}) {
        EXPECT_FALSE(ReadPortSettings(State(), name).streamWindowStored);
    }
}

} // namespace
} // namespace vela::test
