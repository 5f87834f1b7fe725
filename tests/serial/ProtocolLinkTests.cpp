// The handler thread on a real serial line, against the simulated firmware.
#include "serial/SerialLinkTest.h"

namespace vela::test {
namespace {

class ProtocolLink : public SerialLinkTest {
  protected:
    // A 2,000-line job through firmware that corrupts 5 % of the lines it receives
    // arrives exactly once and in order, one line in flight.
    void ExpectCorruptedJobArrivesOnceAndInOrder(bool okAfterResend) {
        FirmwareOptions options;
        options.corruptShare = 0.05;
        options.okAfterResend = okAfterResend;
        StartFirmware(options);
        Queue(Job(1, 2000));
        ASSERT_TRUE(Open());
        ASSERT_TRUE(firmware_->WaitForNumberedExecuted(2000, kJobWaitMs));
        EXPECT_EQ(firmware_->ExecutedNumberedCommands(), JobCommands(1, 2000));
        const FirmwareStats stats = firmware_->Stats();
        EXPECT_GT(stats.checksumErrors, 60u);
        EXPECT_EQ(stats.sequenceErrors, 0u);
        EXPECT_EQ(stats.duplicatesDropped, 0u);
        EXPECT_EQ(stats.maxLinesInFlight, 1u);
    }
};

// What the firmware receives for a line numbered n.
std::string Framed(int number, const std::string& command) {
    const std::string checked = "N" + std::to_string(number) + " " + command + " ";
    return checked + "*" + std::to_string(FirmwareChecksum(checked));
}

TEST_F(ProtocolLink, FirstPassSendsTheFirstQueuedLineAsNumberOneAtOnce) {
    StartFirmware();
    Queue("G28\n");
    const ULONGLONG opened = ::GetTickCount64();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForReceived(1, kJobWaitMs));
    // Well inside the loop's one-second wait: the channel events start signalled.
    EXPECT_LT(::GetTickCount64() - opened, 700u);
    EXPECT_EQ(firmware_->Received()[0], "N1 G28 *50");
    EXPECT_EQ(firmware_->Received()[0], Framed(1, "G28"));
}

TEST_F(ProtocolLink, JobArrivesOnceAndInOrder) {
    StartFirmware();
    Queue(Job(1, 30));
    ASSERT_TRUE(Open());
    // Lines queued while the handler runs are taken too.
    Queue(Job(31, 30));
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(60, kJobWaitMs));
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), JobCommands(1, 60));
    EXPECT_EQ(firmware_->LastLine(), 60);
    const FirmwareStats stats = firmware_->Stats();
    EXPECT_EQ(stats.resendRequests, 0u);
    EXPECT_EQ(stats.maxLinesInFlight, 1u);
}

TEST_F(ProtocolLink, DamagedLineIsSentAgainUnderItsNumberAfterTheRequestsOk) {
    FirmwareOptions options;
    options.corruptLines = {3};
    // Replies that take a while show any line sent before its "ok".
    options.replyDelayMs = 15;
    StartFirmware(options);
    Queue(Job(1, 5));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(5, kJobWaitMs));
    const std::vector<std::string> commands = JobCommands(1, 5);
    const std::vector<std::string> expected = {
        Framed(1, commands[0] + " "), Framed(2, commands[1] + " "), Framed(3, commands[2] + " "),
        Framed(3, commands[2] + " "), Framed(4, commands[3] + " "), Framed(5, commands[4] + " ")};
    EXPECT_EQ(firmware_->Received(), expected);
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), commands);
    EXPECT_EQ(firmware_->Stats().maxLinesInFlight, 1u);
}

TEST_F(ProtocolLink, LostLineIsRecoveredThroughThePokeAndThePreviousLine) {
    TheProtocolHandlerParams().timings.send.pokeAfterMs = 300;
    FirmwareOptions options;
    options.loseLines = {3};
    StartFirmware(options);
    Queue(Job(1, 6));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(6, kJobWaitMs));
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), JobCommands(1, 6));
    const FirmwareStats stats = firmware_->Stats();
    EXPECT_EQ(stats.linesLost, 1u);
    EXPECT_EQ(stats.unnumberedExecuted, 1u);
    EXPECT_EQ(stats.sequenceErrors, 1u);
    EXPECT_EQ(stats.duplicatesDropped, 0u);
}

TEST_F(ProtocolLink, DroppedOkRecoversThroughThePokeWithoutRunningALineTwice) {
    TheProtocolHandlerParams().timings.send.pokeAfterMs = 300;
    FirmwareOptions options;
    options.dropOkForLines = {4};
    StartFirmware(options);
    Queue(Job(1, 8));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(8, kJobWaitMs));
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), JobCommands(1, 8));
    const FirmwareStats stats = firmware_->Stats();
    EXPECT_EQ(stats.unnumberedExecuted, 1u);
    EXPECT_EQ(stats.duplicatesDropped, 0u);
    EXPECT_EQ(stats.resendRequests, 0u);
    const std::vector<ExecutedLine> executed = firmware_->Executed();
    ASSERT_GE(executed.size(), 5u);
    EXPECT_EQ(executed[4].number, -1);
    EXPECT_EQ(executed[4].command, "M105");
}

TEST_F(ProtocolLink, LateOkDoesNotPutTwoLinesInFlight) {
    TheProtocolHandlerParams().timings.send.pokeAfterMs = 300;
    FirmwareOptions options;
    options.delayOkForLines = {{4, 700}};
    options.replyDelayMs = 20;
    StartFirmware(options);
    Queue(Job(1, 8));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(8, kJobWaitMs));
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), JobCommands(1, 8));
    const FirmwareStats stats = firmware_->Stats();
    EXPECT_EQ(stats.unnumberedExecuted, 1u);
    EXPECT_EQ(stats.maxLinesInFlight, 1u);
    EXPECT_EQ(stats.duplicatesDropped, 0u);
}

TEST_F(ProtocolLink, FirmwareMessagesGoToTheDebuggerOutput) {
    DebuggerOutputCapture debugger;
    FirmwareOptions options;
    options.corruptLines = {2};
    options.echoEveryLines = 3;
    StartFirmware(options);
    Queue(Job(1, 4));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(4, kJobWaitMs));
    // The reply's last line is fetched with the next read; stop to be sure it is handled.
    ASSERT_TRUE(Close());
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
    Queue(Job(1, 3));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(3, kJobWaitMs));
    ASSERT_TRUE(Close());
    const std::string kept = "echo:" + std::string(4096 - 5, 'x') + "\n";
    EXPECT_TRUE(debugger.Contains(kept));
    for (const std::string& text : debugger.Texts()) {
        EXPECT_LE(text.size(), 4097u);
    }
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), JobCommands(1, 3));
}

TEST_F(ProtocolLink, BusyMessagesDuringALongCommandKeepThePokeAway) {
    DebuggerOutputCapture debugger;
    TheProtocolHandlerParams().timings.send.pokeAfterMs = 250;
    FirmwareOptions options;
    options.busyIntervalMs = 100;
    StartFirmware(options);
    Queue("G28\nG4 P700\nG1 X5\n");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(3, kJobWaitMs));
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(),
              (std::vector<std::string>{"G28", "G4 P700", "G1 X5"}));
    EXPECT_EQ(firmware_->Stats().unnumberedExecuted, 0u);
    EXPECT_TRUE(debugger.Contains("echo:busy: processing\n"));
}

TEST_F(ProtocolLink, N0LineRestartsTheNumbering) {
    StartFirmware();
    Queue("G28\nG1 X1\nN0 M110\nG1 X2\n");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(4, kJobWaitMs));
    const std::vector<std::string> received = firmware_->Received();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[2], Framed(1, "N0 M110"));
    EXPECT_EQ(received[3], Framed(2, "G1 X2"));
}

TEST_F(ProtocolLink, LineTooLongToSendIsSkippedAndItsNumberGoesToTheNext) {
    DebuggerOutputCapture debugger;
    StartFirmware();
    Queue("G1 X1\n" + std::string(1100, 'M') + "\nG1 X2\n");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(2, kJobWaitMs));
    EXPECT_EQ(firmware_->Received(),
              (std::vector<std::string>{Framed(1, "G1 X1"), Framed(2, "G1 X2")}));
    EXPECT_TRUE(debugger.Contains("Skipped a G-code line of 1101 bytes: too long to send\n"));
}

TEST_F(ProtocolLink, StopWhileAReadIsPendingEndsAtOnce) {
    StartFirmware();
    Queue("G28\n");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(1, kJobWaitMs));
    // Nothing more to send: the thread sits in its wait with a read outstanding.
    const ULONGLONG stopping = ::GetTickCount64();
    ASSERT_TRUE(Close());
    EXPECT_LT(::GetTickCount64() - stopping, 700u);
    // The cancelled read left the device fit for the next run.
    Queue("G1 X1\n");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForReceived(2, kJobWaitMs));
}

TEST_F(ProtocolLink, NextRunNumbersFromOneAgain) {
    StartFirmware();
    Queue(Job(1, 3));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(3, kJobWaitMs));
    ASSERT_TRUE(Close());
    // A printer that was reset in between.
    StartFirmware();
    Queue(Job(4, 2));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(2, kJobWaitMs));
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), JobCommands(4, 2));
    EXPECT_EQ(firmware_->Received()[0].rfind("N1 ", 0), 0u);
}

TEST_F(ProtocolLink, LeftoverStopRequestDoesNotStopTheNextHandler) {
    UniqueHandle stale(::CreateEventW(nullptr, TRUE, TRUE, kStartShutdownEventName));
    ASSERT_TRUE(stale.Valid());
    StartFirmware();
    Queue(Job(1, 3));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(3, kJobWaitMs));
}

TEST_F(ProtocolLink, CorruptedLinesWithOkAfterResendArriveOnceAndInOrder) {
    ExpectCorruptedJobArrivesOnceAndInOrder(true);
}

TEST_F(ProtocolLink, CorruptedLinesWithoutOkAfterResendArriveOnceAndInOrder) {
    // The fallback itself is timed on the fake clock; a short one keeps this test quick.
    TheProtocolHandlerParams().timings.send.resendOkWaitMs = 40;
    ExpectCorruptedJobArrivesOnceAndInOrder(false);
}

} // namespace
} // namespace vela::test
