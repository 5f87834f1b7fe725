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
        {Facts(JobPhase::Sending, 120, 2000), L"Sending to printer: 6 % (120 of 2000 records)"},
        {Facts(JobPhase::Sending, 2000, 2000), L"Sending to printer: 100 % (2000 of 2000 records)"},
        {Facts(JobPhase::Sending, 0, 0), L"Sending to printer: 0 of 0 records"},
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

TEST(JobStatusText, ShareDoneAndTimeLeft) {
    const auto line = [](uint64_t done, uint64_t size, uint64_t printingMs) {
        JobStatusFacts facts = Facts(JobPhase::PrintingLine, 1200);
        facts.temperatures = {true, true, 2096, 595};
        facts.bytesDone = done;
        facts.documentBytes = size;
        facts.printingMs = printingMs;
        return facts;
    };
    JobStatusFacts longest = line(UINT64_MAX / 2, UINT64_MAX, 59999ull * 60000);
    longest.count = INT64_MIN;
    longest.temperatures = {true, true, INT32_MIN + 5, INT32_MAX - 5};
    const std::wstring temperatures = L", hot end 210 \u00B0C, bed 60 \u00B0C";
    const struct {
        JobStatusFacts facts;
        std::wstring text;
    } cases[] = {
        // No size, or one the document outgrew: the line alone, whatever the time.
        {line(500, 0, 600000), L"Printing: line 1200" + temperatures},
        {line(501, 500, 600000), L"Printing: line 1200" + temperatures},
        // Rounded down, and never 100 % while lines are out; no estimate before 3 min.
        {line(3399, 10000, 179999), L"Printing: 33 % (line 1200)" + temperatures},
        {line(10000, 10000, 100), L"Printing: 99 % (line 1200)" + temperatures},
        {line(0, 10000, 600000), L"Printing: 0 % (line 1200)" + temperatures},
        // Minutes rounded up.
        {line(2500, 10000, 180000),
         L"Printing: 25 % (line 1200)" + temperatures + L", about 9 min left"},
        {line(2500, 10000, 180001),
         L"Printing: 25 % (line 1200)" + temperatures + L", about 10 min left"},
        {line(9990, 10000, 180000),
         L"Printing: 99 % (line 1200)" + temperatures + L", about 1 min left"},
        {line(2000, 10000, 1200000),
         L"Printing: 20 % (line 1200)" + temperatures + L", about 1 h 20 min left"},
        {line(2000, 10000, 1800000),
         L"Printing: 20 % (line 1200)" + temperatures + L", about 2 h left"},
        // A rate this far off is no estimate.
        {line(1, 1000000000, 180000), L"Printing: 0 % (line 1200)" + temperatures},
        // The longest text fits whole.
        {longest, L"Printing: 50 % (line -9223372036854775808), hot end -214748364 \u00B0C, "
                  L"bed 214748364 \u00B0C, about 999 h 59 min left"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(c.facts), c.text);
        EXPECT_LT(c.text.size(), kJobStatusChars);
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
              (std::vector<std::wstring>{L"Sending to printer: 0 % (0 of 500 records)",
                                         L"Sending to printer: 0 % (3 of 500 records)", L"Printing",
                                         L"Cancelling", FakeSpooler::kCleared}));
    bed.spooler.ClosePrinter(printer);
}

TEST_F(JobStatusTest, TimeLeftCountsPrintingSinceTheFirstLineAndOnlyAFinalSize) {
    HANDLE printer = nullptr;
    ASSERT_TRUE(bed.spooler.OpenPrinterW(&bed.spooler.printerName[0], &printer, nullptr));
    bed.spooler.jobSize = 10000;
    bed.spooler.jobSpooling = true;
    JobStatus status;
    status.Begin(printer, 9);
    const auto line = [](int64_t number, uint64_t done) {
        JobStatusFacts facts = Facts(JobPhase::PrintingLine, number);
        facts.bytesDone = done;
        return facts;
    };
    const struct {
        DWORD advanceMs;
        JobStatusFacts facts;
        bool spooling;
    } steps[] = {
        {0, line(0, 0), true},
        {60000, line(1, 100), true}, // the first line: its size still grows
        {5000, line(2, 500), false},
        {60000, Facts(JobPhase::PausedAtLine, 2), false},
        {600000, line(3, 2000), false}, // 65 s of printing
        {115000, line(4, 2500), false}, // 3 min
        {60000, line(5, 5000), false},  // 4 min
    };
    for (const auto& step : steps) {
        bed.harness.clock.Advance(step.advanceMs);
        bed.spooler.jobSpooling = step.spooling;
        status.Show(step.facts);
    }
    status.End();
    EXPECT_EQ(bed.spooler.StatusTexts(),
              (std::vector<std::wstring>{
                  L"Printing: line 0", L"Printing: line 1", L"Printing: 5 % (line 2)",
                  L"Paused at line 2", L"Printing: 20 % (line 3)",
                  L"Printing: 25 % (line 4), about 9 min left",
                  L"Printing: 50 % (line 5), about 4 min left", FakeSpooler::kCleared}));
    // Read again only while it still grew.
    EXPECT_EQ(bed.spooler.jobSizeReads.load(), 2);
    bed.spooler.ClosePrinter(printer);
}

TEST(JobStatusUsb, DocumentFromTransferToPromptOrCancel) {
    const struct {
        bool cancel;
        std::vector<std::wstring> texts;
    } cases[] = {
        {false,
         {L"Sending to printer: 0 % (0 of 500 records)",
          L"Sending to printer: 50 % (250 of 500 records)", L"Printer not responding", L"Printing",
          L"Printing - Finish Printing", L"Remove the model from the printer",
          FakeSpooler::kCleared}},
        {true,
         {L"Sending to printer: 0 % (0 of 500 records)",
          L"Sending to printer: 50 % (250 of 500 records)", L"Printer not responding",
          L"Cancelling", FakeSpooler::kCleared}},
    };
    for (const auto& c : cases) {
        // A printer of its own for each document.
        JobTestBed bed;
        bed.Load();
        // The first two polls find no printer; the program runs 60 s.
        bed.spooler.statusChangeAtCall = c.cancel ? 3 : 0;
        ASSERT_TRUE(bed.StartDoc());
        // Half the records, and the rest once the numbers may change again.
        const std::vector<uint8_t> stream = JobStream(500, 500);
        const auto half = stream.begin() + 4 + 250 * 20;
        bed.Write(std::vector<uint8_t>(stream.begin(), half));
        bed.harness.clock.Advance(kJobStatusProgressMs);
        bed.Write(std::vector<uint8_t>(half, stream.end()));
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
