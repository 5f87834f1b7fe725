// Whole serial documents as the spooler sends them: one after another on an open
// port, their bytes as lines, the test page, and cancelling.
#include "core/PortSettings.h"
#include "core/PortSettingsLayout.h"
#include "serial/SerialLinkTest.h"

#include <thread>

namespace vela::test {
namespace {

using SerialDocument = SerialLinkTest;

std::vector<std::string> Joined(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST_F(SerialDocument, DocumentsFollowOneAnotherOnAnOpenOrReopenedPort) {
    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "port reopened between documents" : "port kept open");
        spooler_.setJobCalls.clear();
        spooler_.prompts.clear();
        // The firmware keeps its line counter from document to document.
        StartFirmware();
        ASSERT_TRUE(Open());
        Print(Job(1, 40), 37);
        if (reopen) {
            ASSERT_TRUE(Close());
            ASSERT_TRUE(Open());
        }
        Print(Job(41, 30), 4096);
        // EndDocPort returned only when the firmware had run every line: the
        // spooler's ClosePort right after it cuts nothing off.
        ASSERT_TRUE(Close());
        EXPECT_EQ(firmware_->ExecutedNumberedCommands(),
                  Joined(Document(JobCommands(1, 40)), Document(JobCommands(41, 30))));
        const FirmwareStats stats = firmware_->Stats();
        EXPECT_EQ(stats.resendRequests, 0u);
        EXPECT_EQ(stats.maxLinesInFlight, 1u);
        // Each job is settled as for any document, with the remove-model prompt.
        ASSERT_EQ(spooler_.setJobCalls.size(), 2u);
        EXPECT_EQ(spooler_.setJobCalls[1].command, static_cast<DWORD>(JOB_CONTROL_SENT_TO_PRINTER));
        EXPECT_EQ(spooler_.prompts.size(), 2u);
        EXPECT_EQ(Entry(kSerialPort)->flags & kPortDocumentInProgress, 0u);
    }
}

TEST_F(SerialDocument, BytesBecomeLinesHoweverThePiecesFall) {
    // A byte-order mark, comments, a NUL inside a line, and a last line without its end.
    const std::string text = std::string("\xEF\xBB\xBF; sliced model\nG28 (home)\nG1 X1") +
                             std::string(1, '\0') + " Y2\r\n\nM84";
    for (const size_t piece : {size_t{1}, size_t{2}, size_t{5}, size_t{4096}}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        StartFirmware();
        ASSERT_TRUE(Open());
        Print(text, piece);
        // The next document's first line is never glued to the last one.
        Print("G1 Z5\n");
        ASSERT_TRUE(Close());
        EXPECT_EQ(firmware_->ExecutedNumberedCommands(),
                  Joined(Document({"G28", "G1 X1 Y2", "", "M84"}), Document({"G1 Z5"})));
    }
}

TEST_F(SerialDocument, TestPageIsNotSentToASerialPrinter) {
    StartFirmware();
    ASSERT_TRUE(Open());
    spooler_.documentName = L"Test Page";
    Print("This is a Windows test page\nG1 X99\n");
    EXPECT_TRUE(spooler_.prompts.empty());
    spooler_.documentName = L"model.gcode";
    Print("G28\n");
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document({"G28"}));
}

class SerialCancel : public SerialLinkTest {
  protected:
    void SetUp() override {
        SerialLinkTest::SetUp();
        FirmwareOptions options;
        // Line 5 runs but its "ok" never comes: the document stalls there.
        options.dropOkForLines = {5};
        StartFirmware(options);
        ASSERT_TRUE(Open());
    }
    // The spooler job is deleted; time runs until the call on the thread returns.
    void DeleteJobWhile(std::thread& call) {
        ASSERT_TRUE(firmware_->WaitForReceived(6, kJobWaitMs));
        spooler_.jobStatus = JOB_STATUS_DELETING;
        {
            ClockTicker ticker(harness_.clock, 1000);
            call.join();
        }
    }
    void ExpectCancelled(const std::vector<std::string>& cancelLines) {
        // The queue shows the cancel until the end of the document clears it.
        const std::vector<std::wstring> texts = spooler_.StatusTexts();
        ASSERT_GE(texts.size(), 2u);
        EXPECT_EQ(std::vector<std::wstring>(texts.end() - 2, texts.end()),
                  (std::vector<std::wstring>{L"Cancelling", FakeSpooler::kCleared}));
        // The job's lines in order up to where the cancel came (the poke's answer
        // may have let a few more through), then the cancel lines and nothing else.
        std::vector<std::string> executed = firmware_->ExecutedNumberedCommands();
        ASSERT_GE(executed.size(), 6 + cancelLines.size());
        // When the line in flight never got its "ok", "M110" sets the counter again
        // before the cancel lines; whether it did depends on how far the clock ran.
        const auto cancelStart = executed.end() - static_cast<std::ptrdiff_t>(cancelLines.size());
        if (*(cancelStart - 1) == "M110") {
            executed.erase(cancelStart - 1);
        }
        const size_t jobLines = executed.size() - 1 - cancelLines.size();
        std::vector<std::string> expected = Document(JobCommands(1, static_cast<int>(jobLines)));
        expected.pop_back();
        EXPECT_EQ(executed, Joined(expected, cancelLines));
        EXPECT_TRUE(spooler_.prompts.empty());
        EXPECT_EQ(Entry(kSerialPort)->flags & kPortDocumentInProgress, 0u);
        // The port serves the next document.
        spooler_.jobStatus = JOB_STATUS_PRINTING;
        Print("G28\n");
        EXPECT_EQ(firmware_->ExecutedNumberedCommands().back(), "M400");
    }
};

TEST_F(SerialCancel, DeletedJobDuringEndDocSendsTheCancelLinesAndNothingMore) {
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 40)));
    BOOL ended = FALSE;
    std::thread end([&] { ended = EndDoc(); });
    DeleteJobWhile(end);
    EXPECT_TRUE(ended);
    EXPECT_EQ(spooler_.setJobCalls.size(), 1u);
    ExpectCancelled(DefaultCancelLines());
}

TEST_F(SerialCancel, DeletedJobWhileWritePortWaitsForRoom) {
    TheProtocolTimings().highWaterBytes = 400;
    // The monitor's own setting replaces the cancel lines.
    const wchar_t custom[] = L"M104 S0\0M140 S0\0\0";
    ASSERT_EQ(::RegSetValueExW(harness_.registry.Root(), kCancelGcodeName, 0, REG_MULTI_SZ,
                               reinterpret_cast<const BYTE*>(custom), sizeof(custom)),
              ERROR_SUCCESS);
    ASSERT_TRUE(StartDoc());
    BOOL wrote = TRUE;
    DWORD error = 0;
    std::thread write([&] {
        wrote = Write(Job(1, 400), 100);
        error = ::GetLastError();
    });
    DeleteJobWhile(write);
    ::RegDeleteValueW(harness_.registry.Root(), kCancelGcodeName);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    {
        ClockTicker ticker(harness_.clock, 1000);
        EXPECT_TRUE(EndDoc());
    }
    ExpectCancelled({"M104 S0", "M140 S0"});
}

} // namespace
} // namespace vela::test
