// The window against the modelled receive side of a board on one virtual clock,
// without a device, so that the same bytes meet the same fate in every run: what a
// window risks when lines are corrupted on the way, and what it still keeps.
#include "serial/LineFraming.h"
#include "serial/StreamWindow.h"
#include "sim/FirmwareCommandBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace vela::test {
namespace {

// Streams commands through a window to the board; both sides at the link's pace.
class VirtualLink {
  public:
    VirtualLink(const FirmwareOptions& options, uint32_t windowBytes)
        : interpreter_(options), board_(options, interpreter_),
          byteUs_(1000000 / options.bytesPerSecond) {
        EXPECT_TRUE(window_.Start(windowBytes, 1, 0));
    }

    // False when the window failed the document or time ran out.
    bool Stream(const std::vector<std::string>& commands) {
        size_t taken = 0;
        for (int64_t now = 0; now < kTimeLimitUs;) {
            const uint64_t ms = static_cast<uint64_t>(now / 1000);
            for (; !inbound_.empty() && inbound_.front().atUs <= now; inbound_.pop_front()) {
                const std::string line = inbound_.front().text + "\n";
                window_.OnBytesReceived(ms);
                window_.OnReply(reinterpret_cast<const uint8_t*>(line.data()),
                                static_cast<uint32_t>(line.size()), ms);
            }
            if (window_.Failure() != SendFailure::None) {
                return false;
            }
            if (taken == commands.size() && window_.Idle()) {
                Run(INT64_MAX / 2);
                return true;
            }
            SendWhatTheWindowAllows(commands, taken, ms, now);
            int64_t next =
                std::min<int64_t>(board_.NextEventAt(), now + 1000 * int64_t{window_.WaitTime(ms)});
            if (!inbound_.empty()) {
                next = std::min(next, inbound_.front().atUs);
            }
            now = std::max(next, now + 1);
            Run(now);
        }
        return false;
    }

    const FirmwareInterpreter& Firmware() const { return interpreter_; }

  private:
    static constexpr int64_t kTimeLimitUs = 3600ll * 1000000;

    void SendWhatTheWindowAllows(const std::vector<std::string>& commands, size_t& taken,
                                 uint64_t ms, int64_t now) {
        for (;;) {
            const StreamWindow::Step step = window_.NextStep(ms);
            const uint8_t* bytes = nullptr;
            uint32_t length = 0;
            uint8_t framed[kWriteBufferSize];
            if (step == StreamWindow::Step::Poke) {
                window_.OnPokeSent(ms);
                bytes = reinterpret_cast<const uint8_t*>(kPokeLine);
                length = sizeof(kPokeLine) - 1;
            } else if (step == StreamWindow::Step::SendKept) {
                window_.SendKept(&bytes, &length, ms);
            } else if (step == StreamWindow::Step::TakeNew && taken < commands.size()) {
                const std::string command = commands[taken] + "\n";
                const int32_t number = window_.NextNewNumber();
                FrameLine(number, reinterpret_cast<const uint8_t*>(command.data()),
                          static_cast<uint32_t>(command.size()), framed, sizeof(framed), &length);
                if (!window_.RoomFor(length, false)) {
                    return;
                }
                window_.SendNew(framed, length, number, false, -1, ms);
                ++taken;
                bytes = framed;
            } else {
                return;
            }
            board_.Deliver(std::string(reinterpret_cast<const char*>(bytes), length), now);
        }
    }

    // The board up to a time; its replies cross the wire one after another.
    void Run(int64_t untilUs) {
        CommandBufferOutput output;
        board_.AdvanceTo(untilUs, output);
        for (const TimedReply& reply : output.replies) {
            replyWireFreeAt_ = std::max(replyWireFreeAt_, reply.atUs) +
                               static_cast<int64_t>(reply.text.size() + 1) * byteUs_;
            inbound_.push_back({replyWireFreeAt_, reply.text});
        }
    }

    FirmwareInterpreter interpreter_;
    FirmwareCommandBuffer board_;
    StreamWindow window_;
    const int64_t byteUs_;
    std::deque<TimedReply> inbound_;
    int64_t replyWireFreeAt_ = 0;
};

std::vector<std::string> Moves(int count) {
    std::vector<std::string> moves;
    for (int index = 1; index <= count; ++index) {
        moves.push_back("G1 X" + std::to_string(index) + "." + std::to_string(index % 7) + " Y" +
                        std::to_string(2 * index % 211) + " E0.0" + std::to_string(index % 9));
    }
    return moves;
}

TEST(StreamWindowHazard, CorruptedLinesMakeAWindowRunCutLinesAndOneLineInFlightRunsEachOnce) {
    // 3,000 moves at 3 % corruption; a move takes about as long as its line on the wire.
    const std::vector<std::string> moves = Moves(3000);
    const struct {
        uint32_t windowBytes; // 1: one line in flight
        bool cutLinesRun;
    } cases[] = {{StreamWindow::kDefaultBytes, true}, {1, false}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.windowBytes);
        FirmwareOptions options;
        options.bytesPerSecond = 25000;
        options.commandMicroseconds = 2000;
        options.corruptShare = 0.03;
        VirtualLink link(options, item.windowBytes);
        ASSERT_TRUE(link.Stream(moves));
        std::vector<std::string> numbered;
        std::vector<std::string> all;
        for (const ExecutedLine& line : link.Firmware().Executed()) {
            if (line.number >= 0) {
                numbered.push_back(line.command);
            }
            // Every command run but the window's pokes.
            if (line.command != "M105") {
                all.push_back(line.command);
            }
        }
        const FirmwareStats& stats = link.Firmware().Stats();
        EXPECT_GT(stats.checksumErrors, 60u);
        // The line number check: every numbered line once and in order, either way.
        EXPECT_EQ(numbered, moves);
        EXPECT_EQ(stats.linesExecutedTwice, 0u);
        EXPECT_EQ(stats.linesLostToOverflow, 0u);
        EXPECT_EQ(stats.acceptedLinesSentAgain, 0u);
        // The rest of a line cut by the firmware's drop runs unchecked: a move run
        // twice, or damaged.
        EXPECT_EQ(stats.cutLinesRun > 0, item.cutLinesRun) << stats.cutLinesRun;
        EXPECT_EQ(all == moves, !item.cutLinesRun);
    }
}

} // namespace
} // namespace vela::test
