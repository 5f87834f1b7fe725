// The speed the line talks at, through the pty: the firmware talks at one speed
// and hears noise at any other, as the monitor's end of the line itself is set.
#include "core/PortSettingsLayout.h"
#include "platform/Handles.h"
#include "ports/PortSettingsStore.h"
#include "serial/SerialLinkTest.h"

#include <memory>
#include <thread>

namespace vela::test {
namespace {

// The speed the monitor's end of the line is set to, as the device says.
class HostLineSpeed {
  public:
    HostLineSpeed()
        : device_(::CreateFileW(kHostDevice, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr)) {}
    uint32_t Read() const {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        return ::GetCommState(device_.Get(), &dcb) ? dcb.BaudRate : 0;
    }

  private:
    UniqueHandle device_;
};

class LineSpeedTest : public SerialLinkTest {
  protected:
    void StartFirmwareAt(uint32_t rate) {
        FirmwareOptions options;
        options.baudRate = rate;
        std::shared_ptr<HostLineSpeed> host = host_;
        options.hostBaudRate = [host] { return host->Read(); };
        StartFirmware(options);
    }
    // StartDocPort, each speed's greeting heard as noise before its round is
    // moved past (the greeting of a connection whose firmware said what it is
    // has no "M115").
    BOOL StartDocThroughRounds(int noisyRounds, DWORD roundMs, DWORD* error,
                               size_t greetingLines = kGreetingLines) {
        BOOL started = FALSE;
        const UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::thread start([&] {
            started = StartDoc();
            *error = ::GetLastError();
            ::SetEvent(done.Get());
        });
        bool heard = true;
        for (int round = 1; round <= noisyRounds; ++round) {
            heard = heard && firmware_->WaitForNoiseLines(
                                 static_cast<uint32_t>(greetingLines * round), kJobWaitMs);
            harness_.clock.Advance(roundMs);
        }
        // Nothing more moves the clock: a greeting still waiting waits for a
        // speed that was never tried, and is ended here.
        const bool ended = ::WaitForSingleObject(done.Get(), kJobWaitMs / 6) == WAIT_OBJECT_0;
        if (!ended) {
            harness_.clock.Advance(3600 * 1000);
        }
        start.join();
        EXPECT_TRUE(heard) << "a greeting never came";
        EXPECT_TRUE(ended) << "StartDocPort still waited after the rounds";
        return started;
    }
    uint32_t Stored(bool detected) {
        const PortSettings settings = ReadPortSettings(State(), kSerialPort);
        return detected ? settings.detectedBaudRate : settings.baudRate;
    }

    std::shared_ptr<HostLineSpeed> host_ = std::make_shared<HostLineSpeed>();
};

TEST_F(LineSpeedTest, AutomaticFindsTheSpeedAndTriesItFirstNextTime) {
    StartFirmwareAt(115200);
    ASSERT_TRUE(Open());
    DWORD error = 0;
    // 250000 first: noise; then 115200.
    ASSERT_TRUE(StartDocThroughRounds(1, kRateRoundMs, &error));
    ASSERT_TRUE(Write(Job(1, 3)));
    ASSERT_TRUE(EndDoc());
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(JobCommands(1, 3)));
    EXPECT_EQ(host_->Read(), 115200u);
    // Kept beside the setting: automatic stays automatic.
    EXPECT_EQ(Stored(true), 115200u);
    EXPECT_EQ(Stored(false), kAutomaticBaudRate);

    // The next document starts at the speed found: no noise, no clock moved.
    Print("G28\n");
    EXPECT_EQ(firmware_->NoiseLines(), kGreetingLines);
    EXPECT_EQ(devices_.baudRate, 115200u);
}

TEST_F(LineSpeedTest, AFixedSpeedIsTriedAlone) {
    StartFirmwareAt(115200);
    harness_.registry.SetPortSetting(kSerialPort, kBaudRateName, 115200);
    ASSERT_TRUE(Open());
    Print("G28\n");
    EXPECT_EQ(host_->Read(), 115200u);
    EXPECT_EQ(firmware_->NoiseLines(), 0u);
    EXPECT_EQ(Stored(true), 0u);

    // Another speed is not left for one that would answer: the greeting's whole
    // limit at 57600, then the failure names it.
    harness_.registry.SetPortSetting(kSerialPort, kBaudRateName, 57600);
    DWORD error = 0;
    EXPECT_FALSE(StartDocThroughRounds(1, kHandshakeLimitMs, &error, kGreetingLines - 1));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_EQ(host_->Read(), 57600u);
    const std::vector<std::wstring> texts = spooler_.StatusTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), L"The printer does not answer at 57600 baud");
}

// Noise at every speed: each had its round, the one found last first, and the
// failure names them all.
TEST_F(LineSpeedTest, AutomaticGivesUpNamingEverySpeedTried) {
    StartFirmwareAt(1200);
    harness_.registry.SetPortSetting(kSerialPort, kDetectedBaudRateName, 57600);
    ASSERT_TRUE(Open());
    DWORD error = 0;
    EXPECT_FALSE(StartDocThroughRounds(9, kRateRoundMs, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_READY));
    const std::vector<std::wstring> texts = spooler_.StatusTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), L"The printer does not answer at 57600, 250000, 115200, 230400, "
                            L"500000, 1000000, 38400, 19200, 9600 baud");
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), std::vector<std::string>{});
    EXPECT_EQ(Stored(true), 57600u);
}

} // namespace
} // namespace vela::test
