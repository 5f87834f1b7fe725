// What the host picks out of the monitor's conversation with the printer.
#include "HostClock.h"
#include "PrinterTap.h"
#include "sim/SimulatedUsbPrinter.h"

#include <gtest/gtest.h>

namespace vela::host {
namespace {

const double kScales[3] = {2.0, 2.0, 4.0};

void Apply(std::vector<uint8_t> request, std::vector<uint8_t> reply, PollReading& reading) {
    ApplyExchange(request.data(), static_cast<uint32_t>(request.size()), reply.data(),
                  static_cast<uint32_t>(reply.size()), kScales, reading);
}

TEST(ApplyExchangeTest, ParameterZeroIsTheMachineStateAndSixteenTheStatus) {
    PollReading reading;
    Apply({'v', 0, 0}, {2, 0, 0, 0}, reading);
    Apply({'v', 16, 16}, {6, 0, 0, 0}, reading);
    EXPECT_TRUE(reading.haveMachineState);
    EXPECT_EQ(reading.machineState, 2);
    EXPECT_TRUE(reading.haveStatus);
    EXPECT_EQ(reading.status, 6);
}

TEST(ApplyExchangeTest, PositionsAreScaledAndZCountsTheOtherWay) {
    PollReading reading;
    Apply({'p', '0'}, {0, 0, 0, 0, 100, 0, 0, 0, 0}, reading);
    Apply({'p', '1'}, {1, 0, 0, 0, 50, 0, 0, 0, 0}, reading);
    EXPECT_FALSE(reading.havePosition);
    Apply({'p', '2'}, {2, 0, 0, 0, 0x90, 0x01, 0, 0, 0}, reading);
    EXPECT_TRUE(reading.havePosition);
    EXPECT_DOUBLE_EQ(reading.position[0], 50.0);
    EXPECT_DOUBLE_EQ(reading.position[1], 25.0);
    EXPECT_DOUBLE_EQ(reading.position[2], -100.0);
}

TEST(ApplyExchangeTest, OtherAndShortExchangesChangeNothing) {
    PollReading reading;
    Apply({'v', 62, 62}, {1, 0, 0, 0}, reading);
    Apply({'v', 0, 0}, {2, 0}, reading);
    Apply({'p', '3'}, {3, 0, 0, 0, 9, 0, 0, 0, 0}, reading);
    Apply({'p', '0'}, {0, 0, 0}, reading);
    Apply({'F'}, {64, 0, 0, 0}, reading);
    ApplyExchange(nullptr, 0, nullptr, 0, kScales, reading);
    EXPECT_FALSE(reading.haveMachineState);
    EXPECT_FALSE(reading.haveStatus);
    EXPECT_FALSE(reading.havePosition);
    EXPECT_DOUBLE_EQ(reading.position[0], 0.0);
}

TEST(PrinterTapTest, CollectsOnlyWhileAPollIsWatched) {
    test::FakeClock clock;
    test::SimulatedUsbPrinter printer(clock);
    printer.parameters[0] = 3;
    PrinterTap tap(printer, kScales);
    HANDLE device = tap.CreateFileW(test::SimulatedUsbPrinter::DevicePath(0).c_str(), 0, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    WINUSB_INTERFACE_HANDLE usb = nullptr;
    ASSERT_TRUE(tap.WinUsb_Initialize(device, &usb));
    uint8_t request[3] = {'v', 0, 0};
    uint8_t reply[64] = {};
    ULONG done = 0;

    ASSERT_TRUE(tap.WinUsb_WritePipe(usb, 0x01, request, 3, &done, nullptr));
    ASSERT_TRUE(tap.WinUsb_ReadPipe(usb, 0x81, reply, sizeof(reply), &done, nullptr));
    tap.BeginPoll();
    EXPECT_TRUE(tap.Watching());
    EXPECT_FALSE(tap.EndPoll().haveMachineState);

    tap.BeginPoll();
    ASSERT_TRUE(tap.WinUsb_WritePipe(usb, 0x01, request, 3, &done, nullptr));
    ASSERT_TRUE(tap.WinUsb_ReadPipe(usb, 0x81, reply, sizeof(reply), &done, nullptr));
    const PollReading reading = tap.EndPoll();
    EXPECT_FALSE(tap.Watching());
    EXPECT_TRUE(reading.haveMachineState);
    EXPECT_EQ(reading.machineState, 3);
    // The tap changes nothing on the way: the printer saw both requests.
    EXPECT_EQ(printer.CountCode('v'), 2);
    tap.WinUsb_Free(usb);
    tap.CloseHandle(device);
    EXPECT_EQ(printer.openDeviceHandles, 0);
}

TEST(SimulatedPrinterTest, CountsRecordsAlsoWhenNotKeepingThem) {
    test::FakeClock clock;
    test::SimulatedUsbPrinter printer(clock);
    printer.keepTraffic = false;
    HANDLE device = printer.CreateFileW(test::SimulatedUsbPrinter::DevicePath(0).c_str(), 0, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    WINUSB_INTERFACE_HANDLE usb = nullptr;
    ASSERT_TRUE(printer.WinUsb_Initialize(device, &usb));
    uint8_t packet[2 + 2 * 20] = {'/', 2};
    ULONG done = 0;
    ASSERT_TRUE(printer.WinUsb_WritePipe(usb, 0x01, packet, sizeof(packet), &done, nullptr));
    EXPECT_EQ(printer.recordCount, 2);
    EXPECT_TRUE(printer.records.empty());
    EXPECT_TRUE(printer.received.empty());
    printer.WinUsb_Free(usb);
    printer.CloseHandle(device);
}

TEST(HostClockTest, AdvancesPrinterTimeFullyAndRealTimeByTheScale) {
    EXPECT_EQ(ScaledWait(5000, 0.1), 500u);
    EXPECT_EQ(ScaledWait(5000, 0.0), 0u);
    EXPECT_EQ(ScaledWait(3, 0.5), 2u);
    EXPECT_EQ(ScaledWait(0xFFFFFFFFu, 2.0), 0xFFFFFFFEu);
    HostClock clock(0.0);
    std::vector<DWORD> seen;
    clock.beforeSleep = [&](DWORD milliseconds) { seen.push_back(milliseconds); };
    clock.Sleep(5000);
    clock.Sleep(2000);
    EXPECT_EQ(clock.now, 7000u);
    EXPECT_EQ(clock.GetTickCount64(), 7000u);
    EXPECT_EQ(seen, (std::vector<DWORD>{5000, 2000}));
}

} // namespace
} // namespace vela::host
