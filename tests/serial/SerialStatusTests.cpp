// What the print queue shows for a serial document, on the fake clock: the
// handshake, the line reached, the final moves, and nothing once it is done.
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
    ASSERT_TRUE(firmware_->WaitForReceived(7, kJobWaitMs));
    ASSERT_TRUE(harness_.clock.WaitForWaitsOf(999, greetingWaits + 1, kJobWaitMs));
    harness_.clock.Advance(1000);
    // The greeting's temperature query already told the temperatures.
    ASSERT_TRUE(spooler_.WaitForStatus(kLineFive, kJobWaitMs));
    harness_.clock.Advance(5000);
    // The greeting's two lines, lines 1 to 8, the poke and the final "M400".
    ASSERT_TRUE(firmware_->WaitForReceived(12, kJobWaitMs));
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

} // namespace
} // namespace vela::test
