// What the monitor's end does to a USB printer: it ends the document this monitor
// has in progress (a started print aborted; see the document ending tests), and
// touches no printer otherwise (a print from the printer's own
// card or from another program goes on).
#include "sim/FakeSpooler.h"
#include "sim/MonitorHarness.h"
#include "sim/SimulatedUsbPrinter.h"
#include "monitor/Shutdown.h"
#include "ports/PortList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vela::test {
namespace {

class CleanupTest : public ::testing::Test {
  protected:
    CleanupTest() : printer(clock) {
        harness.platform.usb = &printer;
        harness.platform.deviceSetup = &printer;
        harness.platform.clock = &clock;
        harness.platform.spooler = &spooler;
    }
    // A document started on the port of the attached printer, and not ended.
    void StartDocument() {
        ASSERT_TRUE(harness.Attach());
        ASSERT_NE(harness.Initialize(), nullptr);
        PortEntry* port =
            FindPortEntry(harness.Context()->firstPort, SimulatedUsbPrinter::PortName(0).c_str());
        ASSERT_NE(port, nullptr);
        std::wstring portName = port->name;
        ASSERT_TRUE(harness.Table()->pfnOpenPort(harness.MonitorHandle(), &portName[0], &handle));
        std::wstring name = spooler.printerName;
        ASSERT_TRUE(harness.Table()->pfnStartDocPort(handle, &name[0], 7, 1, nullptr));
    }

    FakeClock clock;
    SimulatedUsbPrinter printer;
    FakeSpooler spooler;
    MonitorHarness harness;
    // Still open at Shutdown, as when the spooler stops with a document printing.
    HANDLE handle = nullptr;
};

TEST_F(CleanupTest, ShutdownOfADocumentThatSentNothingTouchesNoPrinter) {
    // The printer may be busy with a print of its own: the document never started one.
    StartDocument();
    harness.Shutdown();
    EXPECT_EQ(printer.Codes(), "");
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(printer.openDeviceHandles, 0);
    EXPECT_EQ(printer.liveInterfaces, 0);
    // The module's unload sends nothing either.
    harness.Unload();
    InstanceCleanUp(harness.State());
    EXPECT_TRUE(printer.received.empty());
}

TEST_F(CleanupTest, ShutdownWithThePrinterUnpluggedStillCleansUp) {
    StartDocument();
    printer.unplugged = true;
    harness.Unload();
    EXPECT_TRUE(printer.received.empty());
    EXPECT_EQ(harness.notifications.unregisterCalls, 1);
    EXPECT_EQ(harness.State().context, nullptr);
    EXPECT_EQ(harness.State().lockReady, 0);
}

TEST_F(CleanupTest, EndWithoutADocumentTouchesNoPrinter) {
    // Printing from its own card: an abort would stop it.
    printer.parameters[16] = 2;
    for (bool initialized : {true, false}) {
        ASSERT_TRUE(harness.Attach());
        if (initialized) {
            ASSERT_NE(harness.Initialize(), nullptr);
        }
        harness.Unload();
        EXPECT_TRUE(printer.received.empty()) << printer.Codes();
        EXPECT_TRUE(clock.sleeps.empty());
        EXPECT_EQ(harness.State().lockReady, 0);
    }
}

} // namespace
} // namespace vela::test
