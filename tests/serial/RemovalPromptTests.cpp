// The remove-model prompt after a serial document: shown only when the firmware
// acknowledged the document's last line and the final "M400", never for a print
// that did not reach the printer or whose moves may still run.
#include "serial/SerialLinkTest.h"

#include <algorithm>
#include <string>

namespace vela::test {
namespace {

using RemovalPrompt = SerialLinkTest;

enum class Ending {
    Complete,
    NothingToPrint,   // comments only: no line of the document reaches the printer
    SilentBeforeM400, // the last line's "ok" never comes and the printer goes quiet
    HaltedAtLastLine,
    Cancelled, // the job is deleted while the last line waits for its "ok"
    FirstLineRefused,
    ClosedBeforeEnd, // the port closes before EndDocPort
};

struct Case {
    const char* name;
    Ending ending;
    bool prompt;
    // EndDocPort succeeds: a failed document fails, and a handle whose document
    // went with an earlier ClosePort has none to end.
    bool ended;
};

TEST_F(RemovalPrompt, OnlyAfterTheFirmwareAcknowledgedTheLastLineAndTheFinalM400) {
    constexpr int kLines = 6;
    const Case cases[] = {
        {"complete", Ending::Complete, true, true},
        {"nothing to print", Ending::NothingToPrint, false, true},
        {"printer silent before the final M400", Ending::SilentBeforeM400, false, false},
        {"printer halted at the last line", Ending::HaltedAtLastLine, false, false},
        {"cancelled before the final M400", Ending::Cancelled, false, true},
        {"first line never accepted", Ending::FirstLineRefused, false, false},
        {"port closed before the document ended", Ending::ClosedBeforeEnd, false, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        spooler_.prompts.clear();
        spooler_.jobStatus = JOB_STATUS_PRINTING;
        TheProtocolTimings() = savedTimings_;
        harness_.clock.autoAdvance = false;
        FirmwareOptions options;
        if (row.ending == Ending::SilentBeforeM400 || row.ending == Ending::Cancelled) {
            options.dropOkForLines = {kLines};
        } else if (row.ending == Ending::HaltedAtLastLine) {
            options.haltAfterLine = kLines;
        } else if (row.ending == Ending::FirstLineRefused) {
            options.refuseLines = {1};
        }
        if (row.ending == Ending::Cancelled) {
            // EndDocPort looks at the job at once, and the cancel lines go at once.
            TheProtocolTimings().watchIntervalMs = 0;
            TheProtocolTimings().cancelOkWaitMs = 0;
        }
        StartFirmware(options);
        ASSERT_TRUE(Open());
        ASSERT_TRUE(StartDoc());
        ASSERT_TRUE(
            Write(row.ending == Ending::NothingToPrint ? "; a comment only\n" : Job(1, kLines)));
        if (row.ending == Ending::SilentBeforeM400) {
            // The greeting and every line arrived; then nothing answers any more.
            ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + kLines, kJobWaitMs));
            firmware_->Stop();
            harness_.clock.autoAdvance = true;
        } else if (row.ending == Ending::Cancelled) {
            ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + kLines, kJobWaitMs));
            spooler_.jobStatus = JOB_STATUS_DELETING;
        } else if (row.ending == Ending::FirstLineRefused) {
            harness_.clock.autoAdvance = true;
        } else if (row.ending == Ending::ClosedBeforeEnd) {
            ASSERT_TRUE(Close());
            ASSERT_TRUE(Open());
        }
        EXPECT_EQ(EndDoc() != FALSE, row.ended);
        harness_.clock.autoAdvance = false;
        ASSERT_TRUE(Close());
        EXPECT_EQ(spooler_.prompts.size(), row.prompt ? 1u : 0u);
        const std::vector<std::string> executed = firmware_->ExecutedNumberedCommands();
        if (row.prompt) {
            EXPECT_EQ(executed, Document(JobCommands(1, kLines)));
        } else if (row.ending != Ending::NothingToPrint) {
            EXPECT_EQ(std::count(executed.begin(), executed.end(), "M400"), 0);
        }
        firmware_.reset();
    }
}

TEST_F(RemovalPrompt, WaitsForTheFinalM400sOwnOkWhenAnEarlierOkCameLate) {
    // The last line arrives damaged, and the "ok" after its resend request comes
    // later than the monitor waits for it: taken for the "ok" of the line sent
    // again, it would make every later "ok" look like the next line's, the final
    // "M400"'s included while its moves still run.
    constexpr int kLines = 6;
    FirmwareOptions options;
    options.corruptLines = {kLines};
    options.replyDelayMs = 100;
    options.m400Ms = 300;
    TheProtocolTimings().send.resendOkWaitMs = 0;
    StartFirmware(options);
    bool prompted = false;
    spooler_.onStatus = [&](const wchar_t* text) {
        if (text == nullptr || std::wstring(text) != L"Remove the model from the printer") {
            return;
        }
        prompted = true;
        // Every line the firmware ran has had its "ok", the final "M400"'s last.
        const std::vector<std::string> executed = firmware_->ExecutedNumberedCommands();
        ASSERT_FALSE(executed.empty());
        EXPECT_EQ(executed.back(), "M400");
        EXPECT_EQ(firmware_->Stats().numberedLinesAcknowledged, executed.size());
    };
    ASSERT_TRUE(Open());
    Print(Job(1, kLines));
    ASSERT_TRUE(Close());
    spooler_.onStatus = nullptr;
    EXPECT_TRUE(prompted);
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(JobCommands(1, kLines)));
}

} // namespace
} // namespace vela::test
