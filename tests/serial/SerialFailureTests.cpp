// Serial documents that cannot go on: firmware that refuses a line, halts, restarts
// or boots when the port opens, and lines or answers lost on the way.
#include "core/PortSettings.h"
#include "monitor/SpoolerJob.h"
#include "serial/SerialLinkTest.h"

#include <algorithm>
#include <thread>

namespace vela::test {
namespace {

class SerialFailure : public SerialLinkTest {
  protected:
    // The job's first lines, as far as the firmware ran them.
    std::vector<std::string> Ran(int lines) {
        std::vector<std::string> ran = Document(JobCommands(1, lines));
        ran.pop_back();
        return ran;
    }
    // The first lines, then what a firmware that refuses a line but still listens
    // is sent: "M110" and the cancel lines (heaters and motors off).
    std::vector<std::string> RanThenCancelled(int lines) {
        std::vector<std::string> ran = Ran(lines);
        ran.push_back("M110");
        for (const std::string& line : DefaultCancelLines()) {
            ran.push_back(line);
        }
        return ran;
    }
};

TEST_F(SerialFailure, RefusedHaltedOrRestartedFirmwareEndsTheDocumentWithNothingMoreSent) {
    enum class Fault { Refuses, Halts, Restarts };
    // What the print queue shows, and keeps with the failed job.
    const wchar_t* const reasons[] = {L"The printer rejects line 5", L"The printer halted",
                                      L"The printer restarted"};
    for (const Fault fault : {Fault::Refuses, Fault::Halts, Fault::Restarts}) {
        SCOPED_TRACE(static_cast<int>(fault));
        spooler_.prompts.clear();
        spooler_.ClearStatusTexts();
        spooler_.errorTexts.clear();
        spooler_.setJobCalls.clear();
        FirmwareOptions options;
        options.bootMs = 50;
        if (fault == Fault::Refuses) {
            options.refuseLines = {5};
        } else if (fault == Fault::Halts) {
            options.haltAfterLine = 5;
        } else {
            // The board stalls at line 5 and restarts.
            options.dropOkForLines = {5};
        }
        StartFirmware(options);
        ASSERT_TRUE(Open());
        ASSERT_TRUE(StartDoc());
        Write(Job(1, 40));
        if (fault == Fault::Restarts) {
            ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 5, kJobWaitMs));
            firmware_->Reset();
        }
        // A failed document fails: not marked sent, but kept in the queue in error.
        ::SetLastError(0);
        EXPECT_FALSE(EndDoc());
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
        ASSERT_EQ(spooler_.setJobCalls.size(), 1u);
        EXPECT_EQ(spooler_.setJobCalls[0].command, static_cast<DWORD>(kJobControlRetain));
        const size_t received = firmware_->Received().size();
        // Lines 1 to 4 ran, and line 5 unless it was refused.
        EXPECT_EQ(firmware_->ExecutedNumberedCommands(),
                  fault == Fault::Refuses ? RanThenCancelled(4) : Ran(5));
        EXPECT_TRUE(spooler_.prompts.empty());
        EXPECT_FALSE(DocumentInProgress(Entry(kSerialPort)));
        const std::vector<std::wstring> texts = spooler_.StatusTexts();
        ASSERT_GE(texts.size(), 3u);
        EXPECT_EQ(texts.front(), L"Waiting for the printer");
        EXPECT_EQ(texts.back(), reasons[static_cast<int>(fault)]);
        EXPECT_EQ(spooler_.errorTexts, std::vector<std::wstring>{reasons[static_cast<int>(fault)]});
        // The port is free for the next document, which greets the firmware anew.
        ASSERT_TRUE(firmware_->WaitForResets(fault == Fault::Restarts ? 1 : 0, kJobWaitMs));
        EXPECT_EQ(firmware_->Received().size(), received);
        if (fault != Fault::Halts) {
            Print("G28\n");
            EXPECT_EQ(firmware_->ExecutedNumberedCommands().back(), "M400");
        }
        ASSERT_TRUE(Close());
    }
}

TEST_F(SerialFailure, AnswerLeftOverFromAnEarlierDocumentIsNotTakenForTheGreeting) {
    FirmwareOptions options;
    options.refuseLines = {5};
    // The "ok" after each resend request comes late: the last one, after the
    // document has given up, arrives once the next document has greeted.
    options.okAfterResendDelayMs = 200;
    StartFirmware(options);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    Write(Job(1, 8));
    // The refused line fails the first document.
    ASSERT_FALSE(EndDoc());
    // Taken for the greeting's answer, the left-over "ok" would let the greeting's
    // own answer acknowledge the dwell while it runs, and the next line go with it.
    Print("G4 P500\nG1 X1\n");
    std::vector<std::string> expected = RanThenCancelled(4);
    const std::vector<std::string> second = Document({"G4 P500", "G1 X1"});
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), expected);
    EXPECT_EQ(firmware_->Stats().maxLinesInFlight, 1u);
    ASSERT_TRUE(Close());
}

TEST_F(SerialFailure, BoardThatResetsWhenThePortOpensIsGreetedUntilItAnswers) {
    FirmwareOptions options;
    options.resetOnHostOpen = true;
    options.bootMs = 300;
    StartFirmware(options);
    for (int document = 0; document < 2; ++document) {
        ASSERT_TRUE(Open());
        firmware_->HostOpened();
        {
            // The handshake goes again every 2 s of the clock until the board is up.
            ClockTicker ticker(harness_.clock, 20);
            ASSERT_TRUE(StartDoc());
        }
        ASSERT_TRUE(Write(Job(1 + 10 * document, 10)));
        ASSERT_TRUE(EndDoc());
        ASSERT_TRUE(Close());
    }
    const std::vector<std::string> second = Document(JobCommands(11, 10));
    std::vector<std::string> expected = Document(JobCommands(1, 10));
    expected.insert(expected.end(), second.begin(), second.end());
    // A greeting sent by the clock just as the board printed "start" reaches it as
    // well as the one "start" draws: the counter is set to 0 twice, harmlessly.
    std::vector<std::string> executed = firmware_->ExecutedNumberedCommands();
    executed.erase(std::unique(executed.begin(), executed.end(),
                               [](const std::string& a, const std::string& b) {
                                   return a == "M110 N0" && b == a;
                               }),
                   executed.end());
    EXPECT_EQ(executed, expected);
    EXPECT_EQ(firmware_->Stats().resets, 2u);
}

TEST_F(SerialFailure, LostLineOrOkCostsFiveSecondsEvenWhileTemperaturesArrive) {
    DebuggerOutputCapture debugger;
    FirmwareOptions options;
    options.loseLines = {3};
    options.temperatureReportMs = 20;
    StartFirmware(options);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 8)));
    ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 3, kJobWaitMs));
    harness_.clock.Advance(3000);
    // A temperature report reaches the monitor after the first 3 s...
    const size_t texts = debugger.Texts().size();
    while (debugger.Texts().size() == texts) {
        ::Sleep(5);
    }
    // ...and does not put the poke off: 5 s after the line, it goes.
    harness_.clock.Advance(2000);
    ASSERT_TRUE(EndDoc());
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(JobCommands(1, 8)));
    // The greeting's queries and the poke.
    EXPECT_EQ(firmware_->Stats().unnumberedExecuted, 3u);
}

TEST_F(SerialFailure, LostFinalLineIsNotTakenAsDoneOnThePokesAnswer) {
    // The final "M400" (N4) is lost; the poke's answer cannot tell lost from run.
    FirmwareOptions options;
    options.loseLines = {4};
    StartFirmware(options);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 3)));
    std::thread end([this] { EXPECT_TRUE(EndDoc()); });
    ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 4, kJobWaitMs));
    harness_.clock.Advance(5000);
    end.join();
    std::vector<std::string> expected = Document(JobCommands(1, 3));
    // A second "M400" showed that the first never arrived, and it went again.
    expected.push_back("M400");
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), expected);
    EXPECT_EQ(spooler_.prompts.size(), 1u);
}

} // namespace
} // namespace vela::test
