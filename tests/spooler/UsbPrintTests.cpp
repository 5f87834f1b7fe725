// A USB printer's job with no printer attached, through Wine's spooler: the
// monitor's supervision gives up after three unanswered polls (5 s each, on the
// real clock here), nothing counts as sent, the print is never started (so no
// prompt asks for the model), and the spooler and the monitor go on serving the next document.
#include "spooler/SpoolerTestBed.h"

#include "sim/JobStream.h"

namespace vela::test::spooler {
namespace {

class UsbPrintTest : public SpoolerTest {};

TEST_F(UsbPrintTest, AJobWithNoPrinterAttachedReturnsWithNothingSent) {
    const std::vector<uint8_t> job = MakeJob(100, MakeRecords(100));
    const DebugLogMark log;
    const PrintOutcome outcome =
        PrintDocument(kUsbPrinter.printer, std::string(job.begin(), job.end()), 1000, L"model.job");
    // The program is told the document did not print (the monitor fails WritePort
    // and EndDocPort; Wine's spooler reports it at EndDocPrinter).
    EXPECT_FALSE(outcome.Printed());
    const std::string appended = log.Appended();
    // No print started: the printer is not polled, and the job fails with its reason.
    EXPECT_EQ(appended.find("V26.4 Print is Runing"), std::string::npos) << appended;
    EXPECT_NE(appended.find("the document failed: The link to the printer failed"),
              std::string::npos)
        << appended;
    EXPECT_NE(appended.find("Totoal Send:0, Max Cmd:100"), std::string::npos) << appended;
    EXPECT_EQ(appended.find("Start print"), std::string::npos) << appended;

    // The same process prints the next document on a serial printer.
    FirmwareOptions options;
    options.trackLinesInFlight = false;
    auto firmware = StartFirmware(kSerialPrinters[1], options);
    ASSERT_NE(firmware, nullptr);
    const PrintOutcome next = PrintDocument(kSerialPrinters[1].setup.printer, Gcode(7, 10), 4096);
    ASSERT_TRUE(next.Printed()) << next.failedCall << " " << next.error;
    EXPECT_EQ(firmware->ExecutedNumberedCommands(), Executed(7, 10));
}

} // namespace
} // namespace vela::test::spooler
