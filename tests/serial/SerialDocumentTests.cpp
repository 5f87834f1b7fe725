// Whole serial documents as the spooler sends them: one after another on an open
// port, their bytes as lines, the test page, and cancelling.
#include "core/PortSettings.h"
#include "core/PortSettingsLayout.h"
#include "serial/SerialLinkTest.h"

#include <algorithm>
#include <set>
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
        EXPECT_FALSE(DocumentInProgress(Entry(kSerialPort)));
    }
}

TEST_F(SerialDocument, BytesBecomeLinesHoweverThePiecesFall) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> commands;
    };
    const Case cases[] = {
        // A byte-order mark, comments, a NUL inside a line, and a last line without its end.
        {"comments, a NUL and a last line without its end",
         std::string("\xEF\xBB\xBF; sliced model\nG28 (home)\nG1 X1") + std::string(1, '\0') +
             " Y2\r\nM84",
         {"G28", "G1 X1 Y2", "M84"}},
        // Old Mac line ends: each CR ends a line, as a LF does.
        {"CR alone ends a line",
         "G28\rG1 X1 ; move\rG1 X2\r\rM84\r",
         {"G28", "G1 X1", "G1 X2", "M84"}},
        {"CR LF and LF CR", "G28\r\nG1 X1\n\rG1 X2\r\n", {"G28", "G1 X1", "G1 X2"}},
        // A line without a command is never numbered and sent.
        {"blank, white and comment-only lines",
         "G28\n\n   \n\t \n; only a comment\n  ; indented\n (also) \r\n\nG1 X1\n\n  ",
         {"G28", "G1 X1"}},
    };
    for (const Case& test : cases) {
        for (const size_t piece : {size_t{1}, size_t{2}, size_t{5}, size_t{4096}}) {
            SCOPED_TRACE(std::string(test.name) + ", pieces of " + std::to_string(piece));
            StartFirmware();
            ASSERT_TRUE(Open());
            Print(test.text, piece);
            // The next document's first line is never glued to the last one.
            Print("G1 Z5\n");
            ASSERT_TRUE(Close());
            EXPECT_EQ(firmware_->ExecutedNumberedCommands(),
                      Joined(Document(test.commands), Document({"G1 Z5"})));
        }
    }
}

TEST_F(SerialDocument, OverLongLineInPiecesIsSkippedAndItsEndStillEndsIt) {
    DebuggerOutputCapture debugger;
    StartFirmware();
    ASSERT_TRUE(Open());
    // 100,000 bytes of one line, in small pieces, then the lines after it.
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write("G1 X1\nG1 E" + std::string(100000, '5') + "\rG1 X2\n", 1000));
    // The print is not what was sent: never reported as printed.
    EXPECT_FALSE(EndDoc());
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document({"G1 X1", "G1 X2"}));
    EXPECT_TRUE(debugger.Contains("Skipped a G-code line of 100005 bytes: too long to send\n"));
    EXPECT_TRUE(spooler_.prompts.empty());
    ASSERT_EQ(spooler_.errorTexts.size(), 1u);
    EXPECT_EQ(spooler_.errorTexts[0], L"Lines too long to send were left out");
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
        // Line 5 runs but its "ok" never comes: the document stalls there, for the
        // full 5 s before the poke (not the link's shorter silence).
        options.dropOkForLines = {5};
        TheProtocolTimings().send.shortestPokeAfterMs = kPokeAfterMs;
        StartFirmware(options);
        ASSERT_TRUE(Open());
    }
    // The spooler job is deleted; time runs until the call on the thread returns.
    void DeleteJobWhile(std::thread& call) {
        ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 5, kJobWaitMs));
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
        EXPECT_FALSE(DocumentInProgress(Entry(kSerialPort)));
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

// Each line as the firmware received it is one of these: the greeting, the
// unnumbered M108, or a numbered line, checksum intact, of a whole command.
void ExpectWholeLines(const std::vector<std::string>& received,
                      const std::set<std::string>& commands) {
    for (const std::string& line : received) {
        if (line == "M115" || line == "M105" || line == "M108" || line == "N0 M110 N0*125") {
            continue;
        }
        const size_t space = line.find(' ');
        const size_t star = line.rfind('*');
        ASSERT_TRUE(line[0] == 'N' && space != std::string::npos && star != std::string::npos &&
                    star > space)
            << line;
        EXPECT_EQ(std::to_string(FirmwareChecksum(line.substr(0, star))), line.substr(star + 1))
            << line;
        std::string command = line.substr(space + 1, star - space - 1);
        command.erase(command.find_last_not_of(' ') + 1);
        EXPECT_EQ(commands.count(command), 1u) << "cut or glued line: " << line;
    }
}

TEST_F(SerialCancel, DeletedJobWhileWritePortWaitsForRoomSendsOnlyWholeLines) {
    TheProtocolTimings().highWaterBytes = 400;
    // The monitor's own setting replaces the cancel lines.
    const wchar_t custom[] = L"M104 S0\0M140 S0\0\0";
    ASSERT_EQ(::RegSetValueExW(harness_.registry.Root(), kCancelGcodeName, 0, REG_MULTI_SZ,
                               reinterpret_cast<const BYTE*>(custom), sizeof(custom)),
              ERROR_SUCCESS);
    const std::vector<std::string> cancelLines = {"M104 S0", "M140 S0"};
    std::set<std::string> whole = {"M110", "M400"};
    for (const std::string& command : JobCommands(1, 400)) {
        whole.insert(command);
    }
    whole.insert(cancelLines.begin(), cancelLines.end());
    // The last piece before WritePort waits for room ends anywhere in a line.
    const size_t pieces[] = {100, 7, 13, 29, 50, 101, 149, 333};
    for (const size_t piece : pieces) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        spooler_.prompts.clear();
        if (piece != pieces[0]) {
            FirmwareOptions options;
            options.dropOkForLines = {5};
            StartFirmware(options);
        }
        ASSERT_TRUE(StartDoc());
        BOOL wrote = TRUE;
        DWORD error = 0;
        std::thread write([&] {
            wrote = Write(Job(1, 400), piece);
            error = ::GetLastError();
        });
        DeleteJobWhile(write);
        EXPECT_FALSE(wrote);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_PRINT_CANCELLED));
        {
            ClockTicker ticker(harness_.clock, 1000);
            EXPECT_TRUE(EndDoc());
        }
        ExpectWholeLines(firmware_->Received(), whole);
        ExpectCancelled(cancelLines);
    }
    ::RegDeleteValueW(harness_.registry.Root(), kCancelGcodeName);
}

TEST_F(SerialCancel, DeletedJobDuringAHeatingWaitEndsTheWaitAtOnce) {
    for (const std::string heat : {"M109 S200", "M190 S60"}) {
        SCOPED_TRACE(heat);
        FirmwareOptions options;
        // Far longer than the test takes: only an M108 ends the wait in time.
        options.heatingMs = 20000;
        options.heatingReportMs = 200;
        StartFirmware(options);
        spooler_.jobStatus = JOB_STATUS_PRINTING;
        ASSERT_TRUE(StartDoc());
        ASSERT_TRUE(Write(heat + "\nG1 X1\nG1 X2\n"));
        BOOL ended = FALSE;
        std::thread end([&] { ended = EndDoc(); });
        // The greeting and the heating line.
        ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 1, kJobWaitMs));
        spooler_.jobStatus = JOB_STATUS_DELETING;
        {
            ClockTicker ticker(harness_.clock, 100);
            end.join();
        }
        EXPECT_TRUE(ended);
        EXPECT_EQ(firmware_->Stats().heatingWaitsBroken, 1u);
        // The unnumbered M108 went out while the heating line was in flight...
        const std::vector<ExecutedLine> executed = firmware_->Executed();
        const auto m108 =
            std::find_if(executed.begin(), executed.end(), [](const ExecutedLine& line) {
                return line.number < 0 && line.command == "M108";
            });
        ASSERT_NE(m108, executed.end());
        auto before = m108;
        while (before != executed.begin() && (--before)->command == "M105") {
        }
        EXPECT_EQ(before->command, heat);
        // ...and nothing of the document ran after it, only the cancel lines.
        std::vector<std::string> numbered = firmware_->ExecutedNumberedCommands();
        if (numbered.size() > 2 && numbered[2] == "M110") {
            numbered.erase(numbered.begin() + 2);
        }
        EXPECT_EQ(numbered, Joined({"M110 N0", heat}, DefaultCancelLines()));
    }
}

} // namespace
} // namespace vela::test
