// Four serial printers printing at once through Wine's spooler, one program
// thread each, to four firmwares paced like 250000-baud lines: each document
// reaches its own firmware, every line once and in order.
#include "spooler/SpoolerTestBed.h"

#include <thread>

namespace vela::test::spooler {
namespace {

class ConcurrentPrintTest : public SpoolerTest {};

TEST_F(ConcurrentPrintTest, FourPrintersAtOnceEachRunTheirOwnLines) {
    constexpr int kLines = 400;
    std::vector<std::unique_ptr<SimulatedFirmware>> firmwares;
    for (const SerialPrinter& printer : kSerialPrinters) {
        FirmwareOptions options;
        options.trackLinesInFlight = false;
        options.bytesPerSecond = 25000; // 250000 baud, 10 bits a byte
        options.commandMicroseconds = 200;
        firmwares.push_back(StartFirmware(printer, options));
        ASSERT_NE(firmwares.back(), nullptr);
    }
    PrintOutcome outcomes[kSerialPrinterCount];
    std::vector<std::thread> programs;
    for (int index = 0; index < kSerialPrinterCount; ++index) {
        programs.emplace_back([index, &outcomes] {
            outcomes[index] =
                PrintDocument(kSerialPrinters[index].setup.printer, Gcode(index, kLines), 4096);
        });
    }
    for (std::thread& program : programs) {
        program.join();
    }
    for (int index = 0; index < kSerialPrinterCount; ++index) {
        SCOPED_TRACE(testing::Message() << "printer " << index + 1);
        EXPECT_TRUE(outcomes[index].Printed())
            << outcomes[index].failedCall << " " << outcomes[index].error;
        EXPECT_EQ(firmwares[index]->ExecutedNumberedCommands(), Executed(index, kLines));
        EXPECT_EQ(firmwares[index]->Stats().linesExecutedTwice, 0u);
    }
}

} // namespace
} // namespace vela::test::spooler
