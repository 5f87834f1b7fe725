// Documents on a real serial line against the simulated firmware: numbering,
// resends, pokes and what the firmware says.
#include "serial/SerialLinkTest.h"

namespace vela::test {
namespace {

class ProtocolLink : public SerialLinkTest {
  protected:
    void SetUp() override {
        SerialLinkTest::SetUp();
        ASSERT_TRUE(Open());
    }

    // A 2,000-line job through firmware that corrupts 5 % of the lines it receives
    // arrives exactly once and in order, one line in flight.
    void ExpectCorruptedJobArrivesOnceAndInOrder(bool okAfterResend) {
        FirmwareOptions options;
        options.corruptShare = 0.05;
        options.okAfterResend = okAfterResend;
        StartFirmware(options);
        Print(Job(1, 2000));
        std::vector<std::string> executed = firmware_->ExecutedNumberedCommands();
        // A final "M400" acknowledged after a resend request whose "ok" never came
        // may have had that "ok": it goes again, and runs again (it only waits).
        const std::vector<std::string> expected = Document(JobCommands(1, 2000));
        while (executed.size() > expected.size() && executed.back() == "M400") {
            executed.pop_back();
        }
        EXPECT_EQ(executed, expected);
        const FirmwareStats stats = firmware_->Stats();
        EXPECT_GT(stats.checksumErrors, 60u);
        EXPECT_EQ(stats.sequenceErrors, 0u);
        EXPECT_EQ(stats.duplicatesDropped, 0u);
        EXPECT_EQ(stats.maxLinesInFlight, 1u);
    }

    // Starts a document of the job and waits until the firmware has received so
    // many lines (the handshake counted).
    // The greeting and this many lines of the job received.
    void WriteAndWaitForReceived(const std::string& job, size_t lines) {
        ASSERT_TRUE(StartDoc());
        ASSERT_TRUE(Write(job));
        ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + lines, kJobWaitMs));
    }
};

// What the firmware receives for a line numbered n.
std::string Framed(int number, const std::string& command) {
    const std::string checked = "N" + std::to_string(number) + " " + command + " ";
    return checked + "*" + std::to_string(FirmwareChecksum(checked));
}

TEST_F(ProtocolLink, HandshakeThenTheFirstLineAsNumberOne) {
    StartFirmware();
    Print("G28\n");
    const std::vector<std::string> received = firmware_->Received();
    ASSERT_EQ(received.size(), 5u);
    // The greeting: the firmware's identity (first in a connection), the
    // temperature query, whose answer no earlier exchange can leave over, then
    // the counter line.
    EXPECT_EQ(received[0], "M115");
    EXPECT_EQ(received[1], "M105");
    EXPECT_EQ(received[2], "N0 M110 N0*125");
    EXPECT_EQ(received[3], "N1 G28 *50");
    EXPECT_EQ(received[3], Framed(1, "G28"));
    EXPECT_EQ(received[4], Framed(2, "M400"));
}

TEST_F(ProtocolLink, DamagedLineIsSentAgainUnderItsNumberAfterTheRequestsOk) {
    FirmwareOptions options;
    options.corruptLines = {3};
    // Replies that take a while show any line sent before its "ok".
    options.replyDelayMs = 15;
    StartFirmware(options);
    Print(Job(1, 5));
    const std::vector<std::string> commands = JobCommands(1, 5);
    const std::vector<std::string> expected = {"M115",
                                               "M105",
                                               "N0 M110 N0*125",
                                               Framed(1, commands[0] + " "),
                                               Framed(2, commands[1] + " "),
                                               Framed(3, commands[2] + " "),
                                               Framed(3, commands[2] + " "),
                                               Framed(4, commands[3] + " "),
                                               Framed(5, commands[4] + " "),
                                               Framed(6, "M400")};
    EXPECT_EQ(firmware_->Received(), expected);
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(commands));
    EXPECT_EQ(firmware_->Stats().maxLinesInFlight, 1u);
}

TEST_F(ProtocolLink, LostLineOrOkRecoversThroughThePokeAfterFiveSeconds) {
    struct Case {
        const char* name;
        FirmwareOptions options;
        uint32_t sequenceErrors;
    };
    Case cases[2];
    cases[0].name = "line lost";
    cases[0].options.loseLines = {3};
    cases[0].sequenceErrors = 1;
    cases[1].name = "ok dropped";
    cases[1].options.dropOkForLines = {4};
    cases[1].sequenceErrors = 0;
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        StartFirmware(item.options);
        // Greeting and lines 1 to 3 (the third lost) or 1 to 4 (its "ok" dropped).
        WriteAndWaitForReceived(Job(1, 8), item.sequenceErrors != 0 ? 3 : 4);
        const ULONGLONG stalled = harness_.clock.now;
        harness_.clock.Advance(5000);
        ASSERT_TRUE(EndDoc());
        EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(JobCommands(1, 8)));
        const FirmwareStats stats = firmware_->Stats();
        EXPECT_EQ(stats.unnumberedExecuted, 3u); // the greeting's queries and the poke
        EXPECT_EQ(stats.sequenceErrors, item.sequenceErrors);
        EXPECT_EQ(stats.duplicatesDropped, 0u);
        EXPECT_EQ(harness_.clock.now - stalled, 5000u);
        ASSERT_TRUE(Close());
        ASSERT_TRUE(Open());
    }
}

TEST_F(ProtocolLink, LateOkAfterThePokeDoesNotPutTwoLinesInFlight) {
    FirmwareOptions options;
    options.delayOkForLines = {{4, 400}};
    StartFirmware(options);
    WriteAndWaitForReceived(Job(1, 8), 4);
    harness_.clock.Advance(5000);
    ASSERT_TRUE(EndDoc());
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(JobCommands(1, 8)));
    const FirmwareStats stats = firmware_->Stats();
    EXPECT_LE(stats.unnumberedExecuted, 3u);
    EXPECT_EQ(stats.maxLinesInFlight, 1u);
    EXPECT_EQ(stats.duplicatesDropped, 0u);
}

TEST_F(ProtocolLink, FirmwareMessagesGoToTheDebuggerOutput) {
    DebuggerOutputCapture debugger;
    FirmwareOptions options;
    options.corruptLines = {2};
    options.echoEveryLines = 3;
    StartFirmware(options);
    Print(Job(1, 4));
    EXPECT_TRUE(debugger.Contains("Error:checksum mismatch, Last Line: 1\n"));
    EXPECT_TRUE(debugger.Contains("echo:unsolicited message 3\n"));
    for (const std::string& text : debugger.Texts()) {
        EXPECT_NE(text.rfind("ok", 0), 0u) << text;
        EXPECT_NE(text.rfind("Resend", 0), 0u) << text;
    }
}

TEST_F(ProtocolLink, EndlessReplyLineIsCutAt4096Bytes) {
    DebuggerOutputCapture debugger;
    FirmwareOptions options;
    options.longEchoBytes = 8000;
    StartFirmware(options);
    Print(Job(1, 3));
    const std::string kept = "echo:" + std::string(4096 - 5, 'x') + "\n";
    EXPECT_TRUE(debugger.Contains(kept));
    for (const std::string& text : debugger.Texts()) {
        EXPECT_LE(text.size(), 4097u);
    }
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(JobCommands(1, 3)));
}

TEST_F(ProtocolLink, N0CounterLineRestartsTheNumbering) {
    StartFirmware();
    Print("G28\nG1 X1\nN0 M110\nG1 X2\n");
    const std::vector<std::string> received = firmware_->Received();
    ASSERT_EQ(received.size(), 8u);
    EXPECT_EQ(received[5], Framed(3, "M110 N0"));
    EXPECT_EQ(received[6], Framed(1, "G1 X2"));
    EXPECT_EQ(firmware_->Stats().resendRequests, 0u);
}

TEST_F(ProtocolLink, CounterLineInTheJobSetsTheNextNumber) {
    StartFirmware();
    Print("G28\nM110 N100\nG1 X1\nN7 M110\nG1 X2\n");
    const std::vector<std::string> received = firmware_->Received();
    ASSERT_EQ(received.size(), 9u);
    EXPECT_EQ(received[4], Framed(2, "M110 N100"));
    EXPECT_EQ(received[5], Framed(101, "G1 X1"));
    // The line's own number sets the counter when M110 has no parameter.
    EXPECT_EQ(received[6], Framed(102, "M110 N7"));
    EXPECT_EQ(received[7], Framed(8, "G1 X2"));
    EXPECT_EQ(firmware_->Stats().resendRequests, 0u);
}

TEST_F(ProtocolLink, LineTooLongToSendIsSkippedAndItsNumberGoesToTheNext) {
    DebuggerOutputCapture debugger;
    StartFirmware();
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write("G1 X1\n" + std::string(1100, 'M') + "\nG1 X2\n"));
    EXPECT_FALSE(EndDoc());
    EXPECT_EQ(firmware_->Received(),
              (std::vector<std::string>{"M115", "M105", "N0 M110 N0*125", Framed(1, "G1 X1"),
                                        Framed(2, "G1 X2"), Framed(3, "M400")}));
    EXPECT_TRUE(debugger.Contains("Skipped a G-code line of 1101 bytes: too long to send\n"));
}

TEST_F(ProtocolLink, CorruptedLinesWithOkAfterResendArriveOnceAndInOrder) {
    ExpectCorruptedJobArrivesOnceAndInOrder(true);
}

TEST_F(ProtocolLink, CorruptedLinesWithoutOkAfterResendArriveOnceAndInOrder) {
    // Each resend then waits out its 500 ms on the fake clock.
    ClockTicker ticker(harness_.clock, 100);
    ExpectCorruptedJobArrivesOnceAndInOrder(false);
}

} // namespace
} // namespace vela::test
