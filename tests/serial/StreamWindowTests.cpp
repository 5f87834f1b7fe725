// The window's decisions, driven without a device: which lines go out, when, and
// under which numbers, as the firmware's answers come.
#include "serial/LineFraming.h"
#include "serial/StreamWindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace vela {
namespace {

// Sends what the window lets out; new lines are "G1 X<n>" padded to a framed
// length of about lineBytes.
class WindowDriver {
  public:
    explicit WindowDriver(uint32_t windowBytes, uint32_t lineBytes = 30) : lineBytes_(lineBytes) {
        EXPECT_TRUE(window.Start(windowBytes, 1, now));
    }

    // The numbers sent in this pass, new or again.
    std::vector<int32_t> Pump(int newLinesAvailable = 100) {
        std::vector<int32_t> sent;
        for (;;) {
            const StreamWindow::Step step = window.NextStep(now);
            if (step == StreamWindow::Step::SendKept) {
                const uint8_t* bytes = nullptr;
                uint32_t length = 0;
                window.SendKept(&bytes, &length, now);
                sent.push_back(std::atoi(reinterpret_cast<const char*>(bytes) + 1));
            } else if (step == StreamWindow::Step::TakeNew && newLinesAvailable-- > 0) {
                const int32_t number = window.NextNewNumber();
                std::string command = "G1 X" + std::to_string(number);
                command.resize(lineBytes_ - 12, ' ');
                command += "\n";
                uint8_t framed[kWriteBufferSize];
                uint32_t length = 0;
                FrameLine(number, reinterpret_cast<const uint8_t*>(command.data()),
                          static_cast<uint32_t>(command.size()), framed, sizeof(framed), &length);
                if (!window.RoomFor(length, false)) {
                    return sent;
                }
                window.SendNew(framed, length, number, false, -1, now);
                sent.push_back(number);
            } else {
                return sent;
            }
        }
    }

    void Reply(const std::string& text) {
        const std::string line = text + "\n";
        window.OnBytesReceived(now);
        window.OnReply(reinterpret_cast<const uint8_t*>(line.data()),
                       static_cast<uint32_t>(line.size()), now);
    }

    // The quiet after a resend request, and the answer of the poke it draws.
    void Quiet() {
        now += kResendDrainMs;
        if (window.NextStep(now) == StreamWindow::Step::Poke) {
            window.OnPokeSent(now);
            Reply(kPokeAnswer);
        }
    }

    static constexpr const char* kPokeAnswer = "ok T:20.0 /0.0 B:20.0 /0.0";
    StreamWindow window;
    uint64_t now = 1000;

  private:
    uint32_t lineBytes_;
};

using Numbers = std::vector<int32_t>;

TEST(StreamWindow, LinesGoWhileTheirBytesAndTheFreeSlotsAllow) {
    WindowDriver driver(127, 30);
    EXPECT_EQ(driver.Pump(), (Numbers{1, 2, 3, 4})); // 120 bytes; a fifth would be 150
    driver.Reply("ok");
    EXPECT_EQ(driver.Pump(), (Numbers{5}));
    // The firmware reports one free command slot: one line out at a time.
    driver.Reply("ok N2 P15 B1");
    EXPECT_EQ(driver.Pump(), Numbers{});
    driver.Reply("ok N5 P15 B1");
    EXPECT_EQ(driver.Pump(), (Numbers{6}));
    EXPECT_EQ(driver.window.Unacknowledged(), 1u);
    // A line longer than the window still goes, alone.
    WindowDriver wide(20, 40);
    EXPECT_EQ(wide.Pump(), (Numbers{1}));
}

TEST(StreamWindow, ResendRequestWaitsForTheLinesOutThenSendsFromTheLineAskedFor) {
    WindowDriver driver(127, 30);
    EXPECT_EQ(driver.Pump(), (Numbers{1, 2, 3, 4}));
    driver.Reply("ok");
    driver.Reply("Resend: 2");
    driver.Reply("ok");
    // Lines 3 and 4 are still out: the firmware rejects or drops them first.
    EXPECT_EQ(driver.Pump(), Numbers{});
    driver.Reply("Resend: 2");
    driver.Reply("ok");
    EXPECT_EQ(driver.Pump(), Numbers{});
    // Line 4 was dropped with the firmware's buffer: quiet, then the poke's answer
    // shows nothing more to come.
    driver.Quiet();
    EXPECT_EQ(driver.Pump(), (Numbers{2, 3, 4, 5}));
    for (int ok = 0; ok < 4; ++ok) {
        driver.Reply("ok");
    }
    EXPECT_TRUE(driver.window.Idle());
    // Answered as the firmware reports itself: a request below what was counted as
    // acknowledged (its own request got lost, its "ok" counted) goes back there.
    EXPECT_EQ(driver.Pump(), (Numbers{6, 7, 8, 9}));
    driver.Reply("ok");
    driver.Reply("ok");
    driver.Reply("Resend: 6");
    driver.Reply("ok");
    driver.Reply("Resend: 6");
    driver.Reply("ok");
    EXPECT_EQ(driver.Pump(), (Numbers{6, 7, 8, 9}));
    EXPECT_EQ(driver.window.Unacknowledged(), 4u);
}

TEST(StreamWindow, AfterARequestOnlyOksThatNameLinesAcknowledgeAndTheDrainStaysTwentyMs) {
    // Lines 1 to 3 wait in the firmware's command slots, line 4 is refused, line 5
    // is dropped with its buffer; then come the answers of the case.
    const struct {
        const char* name;
        std::vector<std::string> answers;
        Numbers sentAgain;
    } cases[] = {
        {"plain oks of the lines before", {"ok", "ok", "ok"}, {4, 5}},
        {"oks naming the lines before", {"ok N1 P15 B4", "ok N2 P15 B4", "ok N3 P15 B4"}, {4, 5}},
        {"an ok naming the line asked for", {"ok N4 P15 B4"}, {5}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        WindowDriver driver(127, 25);
        ASSERT_EQ(driver.Pump(5), (Numbers{1, 2, 3, 4, 5}));
        driver.Reply("Resend: 4");
        driver.Reply("ok");
        for (const std::string& answer : item.answers) {
            driver.Reply(answer);
        }
        // Line 5 is never answered: the quiet ends the wait, not the loop's second.
        EXPECT_FALSE(driver.window.Idle());
        EXPECT_EQ(driver.Pump(0), Numbers{});
        EXPECT_LE(driver.window.WaitTime(driver.now), kResendDrainMs);
        driver.Quiet();
        EXPECT_EQ(driver.Pump(0), item.sentAgain);
    }
}

TEST(StreamWindow, LinesGoAgainOnlyOnceAPokeShowsTheLinesOutAnsweredOrDropped) {
    // About 124 bytes out: the poke fits beside the lines still unanswered only.
    WindowDriver driver(127, 35);
    ASSERT_EQ(driver.Pump(4), (Numbers{1, 2, 3, 4}));
    // Line 1 is refused, lines 2 and 3 dropped with the buffer; line 4 is still on
    // its way.
    driver.Reply("Resend: 1");
    driver.Reply("ok");
    driver.now += kResendDrainMs;
    EXPECT_EQ(driver.window.NextStep(driver.now), StreamWindow::Step::Poke);
    driver.window.OnPokeSent(driver.now);
    EXPECT_EQ(driver.Pump(0), Numbers{});
    EXPECT_EQ(driver.window.WaitTime(driver.now), kLoopWaitMs);
    // Line 4 is refused in its turn, then the poke is answered: lines sent again
    // before would have met that refusal and gone a third time.
    driver.Reply("Resend: 1");
    driver.Reply("ok");
    driver.Reply(WindowDriver::kPokeAnswer);
    EXPECT_EQ(driver.Pump(0), (Numbers{1, 2, 3, 4}));
    for (int ok = 0; ok < 4; ++ok) {
        driver.Reply("ok");
    }
    EXPECT_TRUE(driver.window.Idle());
    // A poke lost with the buffer holds the lines no longer than the poke's time.
    ASSERT_EQ(driver.Pump(2), (Numbers{5, 6}));
    driver.Reply("Resend: 5");
    driver.Reply("ok");
    driver.now += kResendDrainMs;
    EXPECT_EQ(driver.window.NextStep(driver.now), StreamWindow::Step::Poke);
    driver.window.OnPokeSent(driver.now);
    driver.now += kPokeAfterMs;
    // An answer still coming as the poke's time runs out (the rest of line 6, cut)
    // holds them for the quiet, waited for, not spun through.
    driver.Reply("ok");
    EXPECT_EQ(driver.Pump(0), Numbers{});
    EXPECT_EQ(driver.window.WaitTime(driver.now), kResendDrainMs);
    driver.now += kResendDrainMs;
    EXPECT_EQ(driver.Pump(0), (Numbers{5, 6}));
}

TEST(StreamWindow, TenRequestsInARowShrinkToOneLineAndTwentyFail) {
    WindowDriver driver(127, 30);
    driver.Pump();
    for (int request = 1; request <= 20; ++request) {
        driver.Reply("Resend: 1");
        driver.Reply("ok");
        driver.Quiet();
        const Numbers sent = driver.Pump();
        EXPECT_EQ(driver.window.FellBack(), request >= 10) << request;
        if (request >= 10 && request < 20) {
            EXPECT_EQ(sent, (Numbers{1})) << request;
            driver.now += kResendDrainMs;
        }
    }
    EXPECT_EQ(driver.window.Failure(), SendFailure::Rejected);
    EXPECT_EQ(driver.window.FailureLine(), 1);
}

TEST(StreamWindow, PokeAnswersLostOksAndHaltsOrRestartsEndTheDocument) {
    WindowDriver driver(127, 30);
    driver.Pump();
    driver.now += kPokeAfterMs;
    EXPECT_EQ(driver.window.NextStep(driver.now), StreamWindow::Step::Poke);
    driver.window.OnPokeSent(driver.now);
    driver.Reply("ok T:20.0 /0.0 B:20.0 /0.0");
    EXPECT_TRUE(driver.window.Idle());
    EXPECT_TRUE(driver.window.LastAcknowledgedByPoke());
    for (const char* notice : {"Error:Printer halted. kill() called!", "start"}) {
        WindowDriver failing(127, 30);
        failing.Pump();
        failing.Reply(notice);
        EXPECT_NE(failing.window.Failure(), SendFailure::None) << notice;
        EXPECT_EQ(failing.window.NextStep(failing.now), StreamWindow::Step::None);
    }
    // A window too full for a poke, and silence beyond the limit: it fails at once,
    // rather than naming no wait first.
    WindowDriver full(127, 35);
    ASSERT_EQ(full.Pump(4), (Numbers{1, 2, 3, 4}));
    full.now += kSilenceLimitMs;
    EXPECT_EQ(full.window.NextStep(full.now), StreamWindow::Step::None);
    EXPECT_EQ(full.window.Failure(), SendFailure::StoppedAnswering);
}

} // namespace
} // namespace vela
