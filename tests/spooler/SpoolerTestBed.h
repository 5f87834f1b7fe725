// The monitor in Wine's own spooler, in the suite's prefix: every test makes sure
// that the built DLLs are installed with their ports and printers (what another
// test changed is set back), then prints, configures and enumerates through the
// spooler's API as programs do. The serial printers' devices are four socat pty
// pairs the suite's fixture links as COM61/COM62 .. COM67/COM68; the monitor has
// the odd ends, the simulated firmware the even ones.
#pragma once

#include "sim/SimulatedFirmware.h"
#include "sim/WineSpooler.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vela::test::spooler {

struct SerialPrinter {
    PrinterSetup setup;
    const wchar_t* firmwareDevice;
};

constexpr int kSerialPrinterCount = 4;
extern const SerialPrinter kSerialPrinters[kSerialPrinterCount];
extern const PrinterSetup kUsbPrinter;
// The port the screen tests change; its printer is never printed to.
extern const PrinterSetup kScreenPrinter;
std::vector<PrinterSetup> AllPrinters();

// Waits that only run out when something is broken.
constexpr DWORD kFirmwareWaitMs = 60000;

class SpoolerTest : public ::testing::Test {
  protected:
    void SetUp() override;

    // A firmware on the far end of the serial printer's line.
    static std::unique_ptr<SimulatedFirmware> StartFirmware(const SerialPrinter& printer,
                                                            const FirmwareOptions& options);
    // "G1 ..." lines, distinct for each tag and line, each with a comment, and the
    // commands the firmware runs for them: the greeting, the lines, the final wait.
    static std::string Gcode(int tag, int lines);
    static std::vector<std::string> Executed(int tag, int lines);
};

// What the monitor appends to its debug log (C:\temp\vela3dp.log, kept while
// C:\temp exists) from the mark's making on.
class DebugLogMark {
  public:
    DebugLogMark();
    std::string Appended() const;

  private:
    long long start_ = 0;
};

} // namespace vela::test::spooler
