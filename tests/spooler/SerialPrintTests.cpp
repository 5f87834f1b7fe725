// G-code printed as a program prints it, through Wine's spooler and print
// processor, to the simulated firmware on the serial printer's line.
#include "spooler/SpoolerTestBed.h"

namespace vela::test::spooler {
namespace {

class SerialPrintTest : public SpoolerTest {};

// Two documents one after the other. Wine's spooler opens and closes the port for
// each and unloads the monitor when nothing holds it, so the second document meets
// a monitor loaded anew; an open transceive handle on the port keeps the monitor
// loaded, so that the second document meets the port as the first left it.
TEST_F(SerialPrintTest, TwoDocumentsEachRunOnceAndInOrder) {
    const SerialPrinter& printer = kSerialPrinters[0];
    for (const bool keepLoaded : {false, true}) {
        SCOPED_TRACE(keepLoaded ? "monitor kept loaded" : "monitor loaded for each document");
        FirmwareOptions options;
        options.trackLinesInFlight = false;
        auto firmware = StartFirmware(printer, options);
        ASSERT_NE(firmware, nullptr);
        UniquePrinter portHandle;
        if (keepLoaded) {
            std::wstring object = L",XcvPort " + printer.setup.port;
            ASSERT_TRUE(::OpenPrinterW(&object[0], portHandle.Put(), nullptr)) << ::GetLastError();
        }
        // The first document is longer than the monitor's line queue holds, so
        // its WritePort calls wait for the printer.
        const struct {
            int tag;
            int lines;
            size_t piece;
        } documents[] = {{1, 3000, 777}, {2, 20, 5}};
        std::vector<std::string> expected;
        for (const auto& document : documents) {
            const PrintOutcome outcome = PrintDocument(
                printer.setup.printer, Gcode(document.tag, document.lines), document.piece);
            ASSERT_TRUE(outcome.Printed()) << outcome.failedCall << " " << outcome.error;
            const std::vector<std::string> lines = Executed(document.tag, document.lines);
            expected.insert(expected.end(), lines.begin(), lines.end());
            // EndDocPrinter returned after the final "M400" was answered.
            ASSERT_TRUE(firmware->WaitForNumberedExecuted(expected.size(), kFirmwareWaitMs));
            EXPECT_EQ(firmware->ExecutedNumberedCommands(), expected);
        }
        EXPECT_EQ(firmware->Stats().linesExecutedTwice, 0u);
    }
}

} // namespace
} // namespace vela::test::spooler
