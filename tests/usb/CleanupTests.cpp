// The abort that every unload of the module sends to the printer.
#include "sim/MonitorHarness.h"
#include "sim/SimulatedUsbPrinter.h"
#include "monitor/Shutdown.h"

#include <gtest/gtest.h>

#include <vector>

namespace vela::test {
namespace {

TEST(Cleanup, UnloadAbortsThePrintOnceAndClosesTheDevice) {
    FakeClock clock;
    SimulatedUsbPrinter printer(clock);
    MonitorHarness harness;
    harness.platform.usb = &printer;
    harness.platform.deviceSetup = &printer;
    harness.platform.clock = &clock;
    ASSERT_TRUE(harness.Attach());
    ASSERT_NE(harness.Initialize(), nullptr);
    harness.Unload();
    EXPECT_EQ(printer.Codes(), "ssssSVVVvVjV");
    EXPECT_EQ(clock.sleeps, (std::vector<DWORD>{500}));
    EXPECT_EQ(printer.openDeviceHandles, 0);
    EXPECT_EQ(printer.liveInterfaces, 0);
    EXPECT_EQ(harness.notifications.unregisterCalls, 1);
    // The state's own destruction runs the clean-up again: nothing more is sent.
    InstanceCleanUp(harness.State());
    EXPECT_EQ(printer.received.size(), 12u);
}

TEST(Cleanup, AbortRunsWhenNoPrintIsRunning) {
    FakeClock clock;
    SimulatedUsbPrinter printer(clock);
    MonitorHarness harness;
    harness.platform.usb = &printer;
    harness.platform.deviceSetup = &printer;
    harness.platform.clock = &clock;
    ASSERT_TRUE(harness.Attach());
    harness.Unload();
    EXPECT_EQ(printer.CountCode('S'), 1);
    EXPECT_EQ(printer.parameters[16], 1);
    EXPECT_EQ(printer.parameters[142], -1);
}

TEST(Cleanup, UnloadWithoutPrinterStillCleansUp) {
    FakeClock clock;
    SimulatedUsbPrinter printer(clock);
    printer.unplugged = true;
    MonitorHarness harness;
    harness.platform.usb = &printer;
    harness.platform.deviceSetup = &printer;
    harness.platform.clock = &clock;
    ASSERT_TRUE(harness.Attach());
    harness.Unload();
    EXPECT_TRUE(printer.received.empty());
    EXPECT_EQ(harness.State().registered, 0);
    EXPECT_EQ(harness.notifications.unregisterCalls, 1);
}

} // namespace
} // namespace vela::test
