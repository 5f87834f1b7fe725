// The simulated firmware's own behaviour on the pty pair, driven by a tiny
// synchronous host on COM21 instead of the monitor.
#include "serial/SerialLinkTest.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vela::test {
namespace {

// Writes lines and reads reply lines on the host's end, one call at a time.
class LineHost {
  public:
    LineHost()
        : device_(::CreateFileW(kHostDevice, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr)) {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadTotalTimeoutConstant = 50;
        ::SetCommTimeouts(device_.Get(), &timeouts);
        ::PurgeComm(device_.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    }

    bool Valid() const { return device_.Valid(); }

    void Send(const std::string& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(device_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                &written, nullptr));
        ASSERT_EQ(written, bytes.size());
    }

    // Reply lines until one begins with `last` (included); what came when time runs out.
    std::vector<std::string> ReadUntil(const std::string& last) {
        std::vector<std::string> lines;
        std::string line;
        for (const ULONGLONG end = ::GetTickCount64() + kJobWaitMs; ::GetTickCount64() < end;) {
            char byte = 0;
            DWORD count = 0;
            if (!::ReadFile(device_.Get(), &byte, 1, &count, nullptr) || count == 0) {
                continue;
            }
            if (byte != '\n') {
                line.push_back(byte);
                continue;
            }
            lines.push_back(line);
            if (line.compare(0, last.size(), last) == 0) {
                break;
            }
            line.clear();
        }
        return lines;
    }

  private:
    UniqueHandle device_;
};

class SimulatedFirmwareLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(PurgeSerialDevice(kHostDevice)) << "COM21 missing: is the pty pair linked?";
    }
};

TEST_F(SimulatedFirmwareLink, CounterOutlivesReopeningUnlessTheBoardResetsOnOpen) {
    for (const bool resetOnOpen : {false, true}) {
        SCOPED_TRACE(resetOnOpen ? "resets on open" : "keeps running");
        FirmwareOptions options;
        options.resetOnHostOpen = resetOnOpen;
        options.bootMs = 300;
        SimulatedFirmware firmware(options);
        ASSERT_TRUE(firmware.Start(kFirmwareDevice));
        {
            LineHost host;
            ASSERT_TRUE(host.Valid());
            host.Send(NumberedLine(1, "G28") + NumberedLine(2, "G1 X1"));
            EXPECT_EQ(host.ReadUntil("ok").back(), "ok");
            EXPECT_EQ(host.ReadUntil("ok").back(), "ok");
        }
        // Both ends close and open again; the host starts sending at once.
        firmware.Stop();
        ASSERT_TRUE(firmware.Start(kFirmwareDevice));
        LineHost host;
        firmware.HostOpened();
        host.Send(NumberedLine(3, "G1 X2"));
        if (!resetOnOpen) {
            EXPECT_EQ(host.ReadUntil("ok"), (std::vector<std::string>{"ok"}));
            EXPECT_EQ(firmware.LastLine(), 3);
            continue;
        }
        ASSERT_TRUE(firmware.WaitForResets(1, kJobWaitMs));
        const std::vector<std::string> banner = host.ReadUntil("echo:Free memory");
        ASSERT_EQ(banner.size(), 4u);
        EXPECT_EQ(banner[0], "start");
        EXPECT_EQ(banner[1], "echo: External Reset");
        // Line 3 was lost while the board booted; sent again, it is out of sequence.
        EXPECT_EQ(firmware.Received().size(), 2u);
        host.Send(NumberedLine(3, "G1 X2"));
        EXPECT_EQ(
            host.ReadUntil("ok"),
            (std::vector<std::string>{"Error:Line Number is not Last Line Number+1, Last Line: 0",
                                      "Resend: 1", "ok"}));
    }
}

TEST_F(SimulatedFirmwareLink, TemperatureLinesWhileHeatingAndOnItsOwn) {
    FirmwareOptions options;
    options.heatingMs = 300;
    options.heatingReportMs = 100;
    options.temperatureReportMs = 40;
    SimulatedFirmware firmware(options);
    ASSERT_TRUE(firmware.Start(kFirmwareDevice));
    LineHost host;
    host.Send(NumberedLine(1, "M109 S200"));
    std::vector<std::string> heating = host.ReadUntil("ok");
    ASSERT_GE(heating.size(), 4u);
    EXPECT_EQ(heating[heating.size() - 2], "T:200.0 /200.0 B:21.0 /0.0 @:0 B@:0");
    EXPECT_EQ(heating.back(), "ok");
    // Reported on its own initiative, between replies, each a whole line.
    host.Send(NumberedLine(2, "G1 X1"));
    std::vector<std::string> after = host.ReadUntil("ok");
    for (int more = 0; more < 3; ++more) {
        after.push_back(host.ReadUntil("T:").back());
    }
    heating.insert(heating.end(), after.begin(), after.end());
    for (const std::string& line : heating) {
        double hot = 0, hotTarget = 0, bed = 0, bedTarget = 0;
        int end = 0;
        const int fields = std::sscanf(line.c_str(), "T:%lf /%lf B:%lf /%lf @:0 B@:0%n", &hot,
                                       &hotTarget, &bed, &bedTarget, &end);
        EXPECT_TRUE(line == "ok" || (fields == 4 && end == static_cast<int>(line.size()))) << line;
    }
}

TEST_F(SimulatedFirmwareLink, BurstBeyondTheReceiveBufferLosesLines) {
    FirmwareOptions options;
    options.faithfulReceive = true;
    options.bytesPerSecond = 10000;
    options.commandMicroseconds = 50000;
    SimulatedFirmware firmware(options);
    ASSERT_TRUE(firmware.Start(kFirmwareDevice));
    LineHost host;
    std::string burst;
    for (int number = 1; number <= 10; ++number) {
        burst += NumberedLine(number, "G1 X" + std::to_string(number), 24);
    }
    ASSERT_EQ(burst.size(), 240u);
    // Line 1 runs for 50 ms while the rest arrives: 128 bytes fit the ring.
    host.Send(burst);
    for (int ok = 0; ok < 6; ++ok) {
        EXPECT_EQ(host.ReadUntil("ok").back(), "ok");
    }
    host.Send(NumberedLine(7, "G1 X7", 24));
    EXPECT_EQ(
        host.ReadUntil("ok"),
        (std::vector<std::string>{"Error:checksum mismatch, Last Line: 6", "Resend: 7", "ok"}));
    const FirmwareStats stats = firmware.Stats();
    EXPECT_EQ(stats.maxReceiveBufferBytes, 128u);
    EXPECT_EQ(stats.linesLostToOverflow, 4u);
    EXPECT_EQ(firmware.LastLine(), 6);
}

} // namespace
} // namespace vela::test
