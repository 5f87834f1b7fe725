// The job's status text in the print queue: the words that carry numbers, when a
// text goes to the spooler, and what a USB document shows from start to end.
#include "JobTestBed.h"

#include "monitor/JobStatus.h"

namespace vela::test {
namespace {

std::wstring Text(const JobStatusFacts& facts) {
    wchar_t text[kJobStatusChars];
    FormatJobStatus(facts, text);
    return text;
}

JobStatusFacts Facts(JobPhase phase, int64_t count = 0, int64_t total = 0, int32_t status = 0) {
    JobStatusFacts facts;
    facts.phase = phase;
    facts.count = count;
    facts.total = total;
    facts.printerStatus = static_cast<PrinterStatus>(status);
    return facts;
}

TEST(JobStatusText, NumbersPrinterStatusesAndTemperatures) {
    JobStatusFacts hot = Facts(JobPhase::PrintingLine, 1200);
    hot.temperatures = {true, true, 2096, 595};
    JobStatusFacts noBed = hot;
    noBed.temperatures = {true, false, -4, 0};
    const struct {
        JobStatusFacts facts;
        const wchar_t* text;
    } cases[] = {
        {Facts(JobPhase::Sending, 120, 2000), L"Sending to printer: 120 of 2000 records"},
        // The printer's own "Printing" is not said twice; a status without a name
        // shows its number.
        {Facts(JobPhase::Printing, 0, 0, 2), L"Printing"},
        {Facts(JobPhase::Printing, 0, 0, 8), L"Printing - Nozzle too hot"},
        {Facts(JobPhase::Printing, 0, 0, -3), L"Printing - status -3"},
        {hot, L"Printing: line 1200, hot end 210 \u00B0C, bed 60 \u00B0C"},
        {noBed, L"Printing: line 1200, hot end 0 \u00B0C"},
        {Facts(JobPhase::None), L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(c.facts), c.text);
    }
}

class JobStatusTest : public ::testing::Test {
  protected:
    void SetUp() override { bed.Load(); }
    JobTestBed bed;
};

TEST_F(JobStatusTest, PhasesShowAtOnceNumbersEveryFiveSecondsAndACancelStays) {
    HANDLE printer = nullptr;
    ASSERT_TRUE(bed.spooler.OpenPrinterW(&bed.spooler.printerName[0], &printer, nullptr));
    JobStatus status;
    status.Begin(printer, 9);
    const struct {
        DWORD advanceMs;
        JobStatusFacts facts;
    } steps[] = {
        {0, Facts(JobPhase::Sending, 0, 500)},
        {4999, Facts(JobPhase::Sending, 2, 500)}, // too soon
        {1, Facts(JobPhase::Sending, 3, 500)},
        {1, Facts(JobPhase::Printing, 0, 0, 2)}, // a new phase
        {1, Facts(JobPhase::Cancelling)},
        {9000, Facts(JobPhase::Printing, 0, 0, 2)},
    };
    for (const auto& step : steps) {
        bed.harness.clock.Advance(step.advanceMs);
        status.Show(step.facts);
    }
    status.End();
    status.Show(Facts(JobPhase::Printing, 0, 0, 2));
    status.End();
    EXPECT_EQ(bed.spooler.StatusTexts(),
              (std::vector<std::wstring>{L"Sending to printer: 0 of 500 records",
                                         L"Sending to printer: 3 of 500 records", L"Printing",
                                         L"Cancelling", FakeSpooler::kCleared}));
    bed.spooler.ClosePrinter(printer);
}

TEST(JobStatusUsb, DocumentFromTransferToPromptOrCancel) {
    const struct {
        bool cancel;
        std::vector<std::wstring> texts;
    } cases[] = {
        {false,
         {L"Sending to printer: 0 of 500 records", L"Printer not responding", L"Printing",
          L"Printing - Finish Printing", L"Remove the model from the printer",
          FakeSpooler::kCleared}},
        {true,
         {L"Sending to printer: 0 of 500 records", L"Printer not responding", L"Cancelling",
          FakeSpooler::kCleared}},
    };
    for (const auto& c : cases) {
        // A printer of its own for each document.
        JobTestBed bed;
        bed.Load();
        // The first two polls find no printer; the program runs 60 s.
        bed.spooler.statusChangeAtCall = c.cancel ? 3 : 0;
        ASSERT_TRUE(bed.StartDoc());
        bed.Write(JobStream(500, 500));
        bed.printer.absentFromMs = bed.harness.clock.now + 1;
        bed.printer.absentUntilMs = bed.harness.clock.now + 10001;
        ASSERT_TRUE(bed.EndDoc());
        EXPECT_EQ(bed.spooler.StatusTexts(), c.texts);
        EXPECT_EQ(bed.spooler.statusCallsChangingFields, 0);
    }
}

TEST(JobStatusUsb, RefusedOrImpossibleStatusLeavesThePrintAlone) {
    for (const bool noPrinter : {false, true}) {
        SCOPED_TRACE(noPrinter ? "no printer handle" : "status refused");
        JobTestBed bed;
        bed.Load();
        bed.spooler.refuseStatus = !noPrinter;
        bed.spooler.failOpenPrinter = noPrinter;
        ASSERT_TRUE(bed.StartDoc());
        bed.Write(JobStream(50, 50));
        ASSERT_TRUE(bed.EndDoc());
        EXPECT_EQ(bed.Document().transfer.sentCount, 50);
        EXPECT_EQ(bed.spooler.prompts.size(), noPrinter ? 0u : 1u);
        EXPECT_EQ(bed.spooler.StatusTexts().empty(), noPrinter);
        EXPECT_EQ(CountOf(ReadLog(), "The spooler refused the job's status text"),
                  noPrinter ? 0u : 1u);
    }
}

} // namespace
} // namespace vela::test
