// End of document: the print supervision and how a document is settled.
#include "JobTestBed.h"

#include "usb/JobFlags.h"
#include "monitor/WritePort.h"
#include "core/MonitorState.h"
#include "monitor/SpoolerJob.h"

#include <deque>

namespace vela::test {
namespace {

class EndDocTest : public ::testing::Test {
  protected:
    void SetUp() override { bed.Load(); }
    JobTestBed bed;
};

TEST_F(EndDocTest, StartedPrintNotRunningGivesExactlyOnePoll) {
    // The program has run by the first poll.
    bed.printer.programDurationMs = 0;
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(1, 1));
    bed.harness.clock.sleeps.clear();
    EXPECT_TRUE(bed.EndDoc());
    EXPECT_EQ(bed.harness.clock.sleeps, (std::vector<DWORD>{5000}));
    const std::string log = ReadLog();
    EXPECT_NE(log.find("   End Doc port\r\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("V26.4 Print is Runing,    Printer status: "), std::string::npos);
}

// A document that started no print has nothing on the printer to supervise: the
// printer may be printing from its card, and is neither polled nor aborted.
TEST_F(EndDocTest, DocumentThatStartedNoPrintTouchesNoPrinterInEndDoc) {
    bed.spooler.statusChangeAtCall = 1; // deleted: an abort would stop the card's print
    ASSERT_TRUE(bed.StartDoc());
    bed.printer.parameters[16] = 2;
    EXPECT_TRUE(bed.EndDoc());
    EXPECT_TRUE(bed.harness.clock.sleeps.empty());
    EXPECT_TRUE(bed.printer.received.empty()) << bed.printer.Codes();
    const std::string log = ReadLog();
    EXPECT_NE(log.find("14:05:09   End Doc port\r\r\n"), std::string::npos) << log;
}

TEST_F(EndDocTest, PositionLineUsesTheScalesGuardedAndNegatesZ) {
    struct Case {
        float scales[3];
        int32_t steps[3];
        const char* line;
    };
    // The second: a short geometry reply left X without scale; Z at 0 is 0, not -0.
    const Case cases[] = {
        {{2.0f, 2.0f, 4.0f}, {100, 50, 400}, "Pos:(X50.00 Y25.00 Z-100.00) scale: 2.00 2.00 4.00"},
        {{0.0f, 2.0f, 4.0f}, {100, 50, 0}, "Pos:(X0.00 Y25.00 Z0.00) scale: 0.00 2.00 4.00"},
    };
    for (const Case& c : cases) {
        for (int axis = 0; axis < 3; ++axis) {
            bed.printer.info.axisScales[axis] = c.scales[axis];
            bed.printer.positions[axis] = c.steps[axis];
        }
        ResetLog();
        bed.printer.parameters[16] = 1;
        ASSERT_TRUE(bed.StartDoc());
        // Started and finished by the poll, which reads the head's position.
        bed.printer.programDurationMs = 0;
        bed.Write(JobStream(1, 1));
        bed.EndDoc();
        EXPECT_NE(ReadLog().find(std::string("Printer status: 6;  ") + c.line + "\r\r\n"),
                  std::string::npos)
            << ReadLog();
    }
}

TEST_F(EndDocTest, WholeTransferSupervisesUntilDoneThenPrompts) {
    ASSERT_TRUE(bed.StartDoc(42));
    bed.Write(JobStream(500, 500));
    EXPECT_TRUE(bed.printer.programStarted);
    const size_t before = bed.harness.clock.sleeps.size();
    EXPECT_TRUE(bed.EndDoc());
    // The program runs 60 s on the printer: twelve polls see it running, one idle.
    EXPECT_GE(bed.Polls(), 12u);
    EXPECT_LE(bed.Polls(), 14u);
    EXPECT_GT(bed.harness.clock.sleeps.size(), before);
    const std::string log = ReadLog();
    EXPECT_NE(log.find("3D Printer V26.4: EndDocPort, Totoal Send:500, Max Cmd:500\r\r\n"),
              std::string::npos);
    // While printing, polls log the short line only.
    EXPECT_NE(log.find("Printer status: 2 \r\r\nGet print job"), std::string::npos) << log;
    ASSERT_EQ(bed.spooler.prompts.size(), 1u);
    EXPECT_EQ(bed.spooler.prompts[0].jobId, 42u);
    ASSERT_EQ(bed.spooler.setJobCalls.size(), 1u);
    EXPECT_EQ(bed.spooler.setJobCalls[0].command, static_cast<DWORD>(JOB_CONTROL_SENT_TO_PRINTER));
    EXPECT_EQ(bed.spooler.setJobCalls[0].jobId, 42u);
    EXPECT_EQ(bed.spooler.openPrinters, 0);
    EXPECT_FALSE(DocumentInProgress(bed.port));
    EXPECT_EQ(bed.Document().printerName.Get(), nullptr);
}

TEST_F(EndDocTest, DeletedJobAbortsThePrintWithoutPrompt) {
    bed.spooler.statusChangeAtCall = 3; // the first is StartDocPort's own read
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(500, 500));
    const size_t packetsBefore = bed.printer.received.size();
    EXPECT_TRUE(bed.EndDoc());
    EXPECT_EQ(bed.Polls(), 2u);
    const std::string log = ReadLog();
    EXPECT_NE(log.find("The job is deleting\r\r\nBeging cancel the print\r\r\n"), std::string::npos)
        << log;
    // The abort sequence reached the printer: all motors stopped.
    std::string codes = bed.printer.Codes().substr(packetsBefore);
    EXPECT_NE(codes.find("ssssS"), std::string::npos) << codes;
    EXPECT_TRUE(bed.spooler.prompts.empty());
    EXPECT_EQ(bed.spooler.setJobCalls.size(), 1u);
}

TEST_F(EndDocTest, RestartedJobCountsAsCancelled) {
    bed.spooler.statusChangeAtCall = 2;
    bed.spooler.changedStatus = JOB_STATUS_RESTART;
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(10, 10));
    bed.EndDoc();
    EXPECT_NE(ReadLog().find("The job is deleting"), std::string::npos);
    EXPECT_TRUE(bed.spooler.prompts.empty());
}

TEST_F(EndDocTest, ShortTransferResetsThePrinter) {
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(500, 300));
    EXPECT_FALSE(bed.printer.programStarted);
    const size_t packetsBefore = bed.printer.received.size();
    bed.EndDoc();
    const std::string codes = bed.printer.Codes().substr(packetsBefore);
    EXPECT_NE(codes.find("cVVVssssSV"), std::string::npos) << codes;
    EXPECT_EQ(bed.printer.parameters[142], -1);
    EXPECT_TRUE(bed.spooler.prompts.empty());
    EXPECT_NE(ReadLog().find("Totoal Send:300, Max Cmd:500"), std::string::npos);
}

TEST_F(EndDocTest, RefusedTransferIsNotReset) {
    bed.printer.statusChangeAfterRecords = 300;
    bed.printer.statusChangeTo = 1;
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(500, 500));
    const size_t packetsBefore = bed.printer.received.size();
    bed.EndDoc();
    const std::string codes = bed.printer.Codes().substr(packetsBefore);
    EXPECT_EQ(codes.find('c'), std::string::npos) << codes;
    EXPECT_TRUE(bed.spooler.prompts.empty());
}

TEST_F(EndDocTest, LinkLostDuringTransferResetsThePrinterWhenItIsBack) {
    ASSERT_TRUE(bed.StartDoc());
    // The printer drops off the bus after the first records, then comes back.
    bed.printer.unplugAtTransfer = 40;
    bed.Write(JobStream(500, 500));
    EXPECT_NE(bed.Document().jobFlags.sendingDisabled, 0);
    EXPECT_NE(bed.Document().jobFlags.transferFailed, 0);
    bed.printer.unplugAtTransfer = 0;
    bed.printer.unplugged = false;
    const size_t packetsBefore = bed.printer.received.size();
    bed.EndDoc();
    EXPECT_NE(bed.printer.Codes().substr(packetsBefore).find("cVVVssssSV"), std::string::npos);
    EXPECT_EQ(bed.printer.parameters[16], 1);
    EXPECT_TRUE(bed.spooler.prompts.empty());
}

TEST_F(EndDocTest, AnnouncedZeroIsNeitherStartedResetNorPrompted) {
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(0, 0));
    // Not even prepared: a start would run the program the printer holds from before.
    const size_t packetsBefore = bed.printer.received.size();
    EXPECT_EQ(packetsBefore, 0u) << bed.printer.Codes();
    bed.EndDoc();
    EXPECT_FALSE(bed.printer.programStarted);
    EXPECT_EQ(bed.printer.Codes().substr(packetsBefore).find('c'), std::string::npos);
    EXPECT_TRUE(bed.spooler.prompts.empty());
    EXPECT_NE(ReadLog().find("Totoal Send:0, Max Cmd:0"), std::string::npos);
}

TEST_F(EndDocTest, HandleWithoutDocumentTouchesNothing) {
    bed.printer.parameters[16] = 2; // printing from its own card
    ::SetLastError(0);
    EXPECT_FALSE(bed.EndDoc());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(bed.Polls(), 0u);
    EXPECT_TRUE(bed.printer.received.empty()) << bed.printer.Codes();
    EXPECT_TRUE(bed.spooler.setJobCalls.empty());
    EXPECT_EQ(ReadLog().find("EndDocPort, Totoal"), std::string::npos);
}

// A document that did not reach its printer whole is never reported as printed:
// not marked sent, but kept in the queue in error with its reason, EndDocPort false.
TEST_F(EndDocTest, FailedDocumentStaysInTheQueueInError) {
    enum class Fault { ShortStream, PrinterRefuses, LinkLost, StartRefused };
    struct Case {
        Fault fault;
        const wchar_t* reason;
    };
    const Case cases[] = {
        {Fault::ShortStream, L"The job did not reach the printer whole"},
        {Fault::PrinterRefuses, L"The printer refused the job"},
        {Fault::LinkLost, L"The link to the printer failed: the job did not reach it"},
        {Fault::StartRefused, L"The printer would not start the print"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        JobTestBed run;
        run.Load();
        if (c.fault == Fault::PrinterRefuses) {
            run.printer.statusChangeAfterRecords = 6;
            run.printer.statusChangeTo = 1;
        }
        run.printer.answerToLoad5 = c.fault == Fault::StartRefused ? 0 : 1;
        ASSERT_TRUE(run.StartDoc(42));
        if (c.fault == Fault::LinkLost) {
            run.printer.unplugAtTransfer = 40;
        }
        run.Write(JobStream(20, c.fault == Fault::ShortStream ? 12 : 20), 40);
        run.printer.unplugAtTransfer = 0;
        run.printer.unplugged = false;
        ::SetLastError(0);
        EXPECT_FALSE(run.EndDoc());
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
        ASSERT_EQ(run.spooler.setJobCalls.size(), 1u);
        EXPECT_EQ(run.spooler.setJobCalls[0].command, static_cast<DWORD>(kJobControlRetain));
        EXPECT_EQ(run.spooler.setJobCalls[0].jobId, 42u);
        ASSERT_EQ(run.spooler.errorTexts.size(), 1u);
        EXPECT_EQ(run.spooler.errorTexts[0], c.reason);
        // The reason stays: the end of the document does not clear it.
        EXPECT_EQ(run.spooler.StatusTexts().back(), c.reason);
        EXPECT_TRUE(run.spooler.prompts.empty());
        EXPECT_EQ(run.spooler.openPrinters, 0);
        EXPECT_FALSE(DocumentInProgress(run.port));
    }
}

TEST_F(EndDocTest, TestPageFlagIsClearedAtTheEnd) {
    bed.spooler.documentName = L"Test Page";
    ASSERT_TRUE(bed.StartDoc());
    EXPECT_EQ(bed.Document().testPage, true);
    bed.EndDoc();
    EXPECT_EQ(bed.Document().testPage, false);
}

TEST_F(EndDocTest, PrinterThatCouldNotBeOpenedIsLoggedEachPoll) {
    bed.spooler.failOpenPrinter = true;
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(10, 10));
    EXPECT_TRUE(bed.EndDoc());
    EXPECT_EQ(CountOf(ReadLog(), "Can't get job1\r\r\n"), bed.Polls());
    EXPECT_TRUE(bed.spooler.prompts.empty());
    EXPECT_EQ(bed.spooler.closePrinterCalls, 0);
}

TEST_F(EndDocTest, UnreadableJobIsLoggedAndSupervisionGoesOn) {
    bed.spooler.failSecondGetJob = true;
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(10, 10));
    bed.EndDoc();
    EXPECT_GE(CountOf(ReadLog(), "Can't get job2\r\r\n"), 2u);
    EXPECT_EQ(bed.spooler.prompts.size(), 1u);
}

TEST_F(EndDocTest, UnpluggedPrinterEndsSupervisionAfterThreeUnansweredPolls) {
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(10, 10));
    bed.printer.unplugged = true;
    EXPECT_TRUE(bed.EndDoc());
    EXPECT_EQ(bed.Polls(), 3u);
    const std::string log = ReadLog();
    EXPECT_NE(log.find("Printer status: 0 \r\r\nThe printer did not answer 3 polls in a row"),
              std::string::npos)
        << log;
}

TEST_F(EndDocTest, PrinterAbsentForTwoPollsIsSupervisedToTheEnd) {
    ASSERT_TRUE(bed.StartDoc(42));
    bed.Write(JobStream(500, 500));
    // The first two polls (at 5 s and 10 s) find no printer; the program runs 60 s.
    bed.printer.absentFromMs = bed.harness.clock.now + 1;
    bed.printer.absentUntilMs = bed.harness.clock.now + 10001;
    EXPECT_TRUE(bed.EndDoc());
    EXPECT_GE(bed.Polls(), 12u);
    EXPECT_FALSE(bed.printer.ProgramRunning());
    EXPECT_EQ(bed.spooler.prompts.size(), 1u);
}

TEST_F(EndDocTest, RefusedStartIsResetWithoutPrompt) {
    bed.printer.answerToLoad5 = 0;
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(10, 10));
    const size_t packetsBefore = bed.printer.received.size();
    bed.EndDoc();
    EXPECT_NE(bed.printer.Codes().substr(packetsBefore).find("cVVVssssSV"), std::string::npos);
    EXPECT_TRUE(bed.spooler.prompts.empty());
    const std::string log = ReadLog();
    EXPECT_NE(log.find("The printer refused to start the print"), std::string::npos);
    EXPECT_NE(log.find("The print never started: resetting the printer"), std::string::npos);
}

TEST_F(EndDocTest, DeletedJobWhileThePrinterHasNoRoomEndsTheTransfer) {
    bed.printer.freeRoomScript = std::deque<int32_t>(1000, 0);
    bed.spooler.statusChangeAtCall = 2; // the first is StartDocPort's own read
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(10, 10));
    EXPECT_NE(bed.Document().jobFlags.sendingDisabled, 0);
    EXPECT_TRUE(bed.printer.records.empty());
    EXPECT_EQ(bed.printer.CountCode('s'), 4);
    EXPECT_NE(ReadLog().find("The job is deleting\r\r\nBeging cancel the print"),
              std::string::npos);
}

} // namespace
} // namespace vela::test
