// The printer's own buttons and a pause from the queue: held lines, the pause
// and resume lines as whole numbered lines of their own, and cancels that end
// the document as a deleted job's.
#include "ports/PortSettingsStore.h"
#include "serial/SerialLinkTest.h"

namespace vela::test {
namespace {

class PauseTest : public SerialLinkTest {
  protected:
    void SetPauseLines(std::vector<std::string> pause, std::vector<std::string> resume) {
        PortSettingsChange change;
        change.pauseLines = std::move(pause);
        change.resumeLines = std::move(resume);
        CriticalSectionLock guard(State().lock);
        ASSERT_EQ(WritePortSettings(State(), kSerialPort, change), 0u);
    }
    std::vector<std::string> Numbered() { return firmware_->ExecutedNumberedCommands(); }
    bool Deleted() const {
        for (const auto& call : spooler_.setJobCalls) {
            if (call.command == JOB_CONTROL_DELETE) {
                return true;
            }
        }
        return false;
    }
};

// "//action:pause" before line 2's "ok": lines 3 and 4 wait, past the silence
// limit, without a poke; "//action:resume" lets them go.
TEST_F(PauseTest, ThePrintersPauseHoldsNewLinesUntilItsResume) {
    FirmwareOptions options;
    options.sayBeforeOkOfLines = {{2, "//action:pause"}};
    StartFirmware(options);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 4)));
    ASSERT_TRUE(LookUntil(L"Paused on the printer"));
    harness_.clock.Advance(120000);
    EXPECT_EQ(Numbered(),
              (std::vector<std::string>{"M110 N0", JobCommands(1, 2)[0], JobCommands(1, 2)[1]}));
    firmware_->Say("//action:resume");
    EndDocMovingTheClock();
    EXPECT_EQ(Numbered(), Document(JobCommands(1, 4)));
    const std::vector<std::string> received = firmware_->Received();
    EXPECT_EQ(std::count(received.begin(), received.end(), "M105"), 1) << "poked while paused";
    EXPECT_EQ(spooler_.prompts.size(), 1u);
}

// "//action:cancel": the cancel lines, the job ended, no prompt; a later
// WritePort is refused as for a deleted job.
TEST_F(PauseTest, ThePrintersCancelEndsTheDocumentAndItsJob) {
    FirmwareOptions options;
    options.sayBeforeOkOfLines = {{2, "//action:cancel"}};
    StartFirmware(options);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 4)));
    std::vector<std::string> expected{"M110 N0", JobCommands(1, 2)[0], JobCommands(1, 2)[1]};
    for (const std::string& line : DefaultCancelLines()) {
        expected.push_back(line);
    }
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(expected.size(), kJobWaitMs));
    ::SetLastError(0);
    EXPECT_FALSE(Write(Job(5, 1)));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_TRUE(Deleted());
    EndDocMovingTheClock();
    EXPECT_EQ(Numbered(), expected);
    EXPECT_TRUE(spooler_.prompts.empty());
    const std::vector<std::wstring> texts = spooler_.StatusTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"Cancelled on the printer"), texts.end());
    int deletes = 0;
    for (const auto& call : spooler_.setJobCalls) {
        deletes += call.command == JOB_CONTROL_DELETE ? 1 : 0;
    }
    EXPECT_EQ(deletes, 1);
}

// The job paused in the queue: the pause lines after the lines in flight, then
// nothing until the job goes on; the resume lines first then. Deleted while
// paused: the cancel lines, never the resume lines.
TEST_F(PauseTest, AQueuePauseSendsItsLinesAndHoldsTheRest) {
    const std::vector<std::string> pause{"G91", "G1 Z5"};
    const std::vector<std::string> resume{"G1 Z-5", "G90"};
    for (const bool deletedWhilePaused : {false, true}) {
        SCOPED_TRACE(deletedWhilePaused);
        StartFirmware();
        SetPauseLines(pause, resume);
        ASSERT_TRUE(Open());
        ASSERT_TRUE(StartDoc());
        ASSERT_TRUE(Write(Job(1, 2)));
        ASSERT_TRUE(firmware_->WaitForNumberedExecuted(3, kJobWaitMs));
        spooler_.jobStatus = JOB_STATUS_PRINTING | JOB_STATUS_PAUSED;
        ASSERT_TRUE(LookUntil(L"Paused at line 2"))
            << ::testing::PrintToString(spooler_.StatusTexts());
        ASSERT_TRUE(Write(Job(3, 2)));
        harness_.clock.Advance(120000);
        ASSERT_TRUE(firmware_->WaitForNumberedExecuted(5, kJobWaitMs));
        std::vector<std::string> expected = Document(JobCommands(1, 2));
        expected.pop_back();
        expected.insert(expected.end(), pause.begin(), pause.end());
        if (deletedWhilePaused) {
            spooler_.jobStatus = JOB_STATUS_DELETING;
            EndDocMovingTheClock();
            for (const std::string& line : DefaultCancelLines()) {
                expected.push_back(line);
            }
        } else {
            spooler_.jobStatus = JOB_STATUS_PRINTING;
            EndDocMovingTheClock();
            expected.insert(expected.end(), resume.begin(), resume.end());
            for (const std::string& line : JobCommands(3, 2)) {
                expected.push_back(line);
            }
            expected.push_back("M400");
        }
        EXPECT_EQ(Numbered(), expected);
        ASSERT_TRUE(Close());
        firmware_.reset();
        spooler_.jobStatus = JOB_STATUS_PRINTING;
        spooler_.ClearStatusTexts();
    }
}

} // namespace
} // namespace vela::test
