// What the print queue shows for a serial document, on the fake clock: the
// handshake, the line reached, the share done and the time left, the final moves,
// and nothing once it is done.
#include "core/PortSettingsLayout.h"
#include "monitor/PortSession.h"
#include "serial/SerialLinkTest.h"

#include <thread>

namespace vela::test {
namespace {

using SerialStatus = SerialLinkTest;

constexpr wchar_t kLineFive[] = L"Printing: line 5, hot end 21 \u00B0C, bed 21 \u00B0C";

TEST_F(SerialStatus, WaitingThenLinesThenFinishingMovesThenCleared) {
    FirmwareOptions options;
    // Line 5 and the final "M400" (N9) lose their "ok": the document stays at each
    // until the poke's answer, 5 s of the clock later (the full wait, not the
    // link's shorter silence).
    options.dropOkForLines = {5, 9};
    TheProtocolTimings().send.shortestPokeAfterMs = kPokeAfterMs;
    StartFirmware(options);
    // A look at the job unlike the document thread's waits: EndDocPort's first
    // wait past StartDocPort's (the greeting's) shows that it has taken the time
    // it counts from.
    TheProtocolTimings().watchIntervalMs = 999;
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 8)));
    const int greetingWaits = harness_.clock.WaitsOf(999);
    std::thread end([this] { EXPECT_TRUE(EndDoc()); });
    ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 5, kJobWaitMs));
    ASSERT_TRUE(harness_.clock.WaitForWaitsOf(999, greetingWaits + 1, kJobWaitMs));
    harness_.clock.Advance(1000);
    // The greeting's temperature query already told the temperatures.
    ASSERT_TRUE(spooler_.WaitForStatus(kLineFive, kJobWaitMs));
    harness_.clock.Advance(5000);
    // The greeting, lines 1 to 8, the poke and the final "M400".
    ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 10, kJobWaitMs));
    harness_.clock.Advance(1000);
    ASSERT_TRUE(spooler_.WaitForStatus(L"Finishing moves", kJobWaitMs));
    harness_.clock.Advance(5000);
    end.join();

    const std::vector<std::wstring> texts = spooler_.StatusTexts();
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(texts[0], L"Waiting for the printer");
    EXPECT_EQ(texts[1], kLineFive);
    // Any look between the two stalls saw a line of the document.
    for (size_t index = 2; index + 3 < texts.size(); ++index) {
        EXPECT_EQ(texts[index].rfind(L"Printing: line ", 0), 0u) << index;
    }
    EXPECT_EQ(std::vector<std::wstring>(texts.end() - 3, texts.end()),
              (std::vector<std::wstring>{L"Finishing moves", L"Remove the model from the printer",
                                         FakeSpooler::kCleared}));
    // The greeting's and the pokes' answers carried the temperatures.
    const auto* session = static_cast<PortSession*>(Entry(kSerialPort)->session);
    const TemperatureReading reading = session->serial->Progress().temperatures;
    EXPECT_TRUE(reading.hotEndKnown && reading.bedKnown);
    EXPECT_EQ(reading.hotEndTenths, 210);
}

// A quarter of a document the spooler knows the size of, acknowledged: its share
// at the next look at the job, and once 3 minutes of the clock have passed since
// then, the time left, with one line in flight and with a window.
TEST_F(SerialStatus, ShareDoneThenTimeLeftOnceThreeMinutesHavePassed) {
    // Four quarters of one length, comments included.
    const auto quarter = [](int k) {
        const std::string x = std::to_string(k);
        return "; layer " + x + "\nG1 X" + x + " Y1\nG1 X" + x + " Y2\n";
    };
    const std::wstring hot = L", hot end 21 \u00B0C, bed 21 \u00B0C";
    for (const DWORD window : {0ul, 127ul}) {
        SCOPED_TRACE(window);
        harness_.registry.SetPortSetting(kSerialPort, kStreamWindowName, window);
        spooler_.jobSize = static_cast<DWORD>(4 * quarter(1).size());
        spooler_.jobSizeReads = 0;
        StartFirmware();
        ASSERT_TRUE(Open());
        const ULONGLONG begun = harness_.clock.now;
        ASSERT_TRUE(StartDoc());
        ASSERT_TRUE(Write(quarter(1)));
        ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 2, kJobWaitMs));
        // Between lines, one line at a time already counts the next line.
        const std::wstring quarterDone =
            L"Printing: 25 % (line " + std::to_wstring(window != 0 ? 2 : 3) + L")" + hot;
        for (int look = 0; look < 20 && !spooler_.WaitForStatus(quarterDone, look == 0 ? 0 : 200);
             ++look) {
            harness_.clock.Advance(1000);
        }
        ASSERT_TRUE(spooler_.WaitForStatus(quarterDone, 0));
        // The printing time counts from the first look that saw a line acknowledged,
        // within 20 s of the start: 200 s after the start it is 3 min or more, and
        // three times that, rounded up, is 10 min.
        harness_.clock.Advance(static_cast<DWORD>(begun + 200000 - harness_.clock.now));
        EXPECT_TRUE(spooler_.WaitForStatus(quarterDone + L", about 10 min left", kJobWaitMs));
        ASSERT_TRUE(Write(quarter(2) + quarter(3) + quarter(4)));
        ASSERT_TRUE(EndDoc());
        ASSERT_TRUE(Close());
        EXPECT_EQ(spooler_.jobSizeReads.load(), 1);
        spooler_.ClearStatusTexts();
    }
}

} // namespace
} // namespace vela::test
