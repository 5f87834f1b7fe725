// The modelled receive side of a board, on the model's virtual clock.
#include "sim/FirmwareCommandBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vela::test {
namespace {

// 10,000 bytes a second: a byte takes 100 us.
FirmwareOptions Board(int64_t commandUs) {
    FirmwareOptions options;
    options.bytesPerSecond = 10000;
    options.commandMicroseconds = static_cast<uint32_t>(commandUs);
    options.busyIntervalMs = 1;
    options.heatingReportMs = 1;
    options.heatingMs = 2;
    options.m400Ms = 3;
    return options;
}

struct TimingCase {
    const char* name;
    int64_t commandUs;
    std::string burst;
    std::vector<std::pair<int64_t, std::string>> replies;
};

TEST(FirmwareCommandBuffer, LinesArriveAtTheLinkPaceAndAreAnsweredWhenExecuted) {
    const std::string move = "G1 X10\n"; // 7 bytes: 700 us on the wire
    const TimingCase cases[] = {
        {"a quick command is answered while the next line arrives",
         200,
         move + move + move,
         {{900, "ok"}, {1600, "ok"}, {2300, "ok"}}},
        {"lines wait in the ring while a slow command runs",
         5000,
         move + move + move,
         {{5700, "ok"}, {10700, "ok"}, {15700, "ok"}}},
        {"busy notices while M400 waits",
         0,
         "M400\n",
         {{1500, "echo:busy: processing"},
          {2500, "echo:busy: processing"},
          {3500, "echo:busy: processing"},
          {3500, "ok"}}},
        {"temperatures while M109 heats",
         0,
         "M109 S221\n",
         {{2000, "T:121.0 /221.0 B:21.0 /0.0 @:0 B@:0"},
          {3000, "T:221.0 /221.0 B:21.0 /0.0 @:0 B@:0"},
          {3000, "ok"}}},
        {"an unnumbered M108 ends the heating wait the moment it arrives",
         0,
         "M109 S221\nM108\n",
         {{1500, "ok"}, {1500, "ok"}}},
        {"a numbered M108 waits its turn behind the heating wait",
         0,
         "M109 S221\n" + NumberedLine(1, "M108"),
         {{2000, "T:121.0 /221.0 B:21.0 /0.0 @:0 B@:0"},
          {3000, "T:221.0 /221.0 B:21.0 /0.0 @:0 B@:0"},
          {3000, "ok"},
          {3000, "ok"}}},
    };
    for (const TimingCase& test : cases) {
        SCOPED_TRACE(test.name);
        const FirmwareOptions options = Board(test.commandUs);
        FirmwareInterpreter interpreter(options);
        FirmwareCommandBuffer board(options, interpreter);
        board.Deliver(test.burst, 0);
        CommandBufferOutput output;
        // In steps, as the firmware's thread would run it.
        for (int64_t now = 0; now <= 20000; now += 300) {
            board.AdvanceTo(now, output);
        }
        std::vector<std::pair<int64_t, std::string>> replies;
        for (const TimedReply& reply : output.replies) {
            replies.emplace_back(reply.atUs, reply.text);
        }
        EXPECT_EQ(replies, test.replies);
        EXPECT_EQ(board.NextEventAt(), INT64_MAX);
    }
}

TEST(FirmwareCommandBuffer, BytesFindingTheRingFullAreLostAndTheMangledLineIsRefused) {
    FirmwareOptions options = Board(50000);
    options.okFormat = OkFormat::BufferState;
    FirmwareInterpreter interpreter(options);
    FirmwareCommandBuffer board(options, interpreter);
    std::vector<std::string> lines;
    std::string burst;
    for (int number = 1; number <= 10; ++number) {
        lines.push_back(NumberedLine(number, "G1 X" + std::to_string(number), 24));
        burst += lines.back();
    }
    // Line 1 runs for 50 ms; 128 bytes of lines 2 to 7 wait in the ring, the rest is
    // lost. The ring empties into the command slots as commands end.
    board.Deliver(burst, 0);
    CommandBufferOutput output;
    board.AdvanceTo(1000000, output);
    const FirmwareStats& stats = interpreter.Stats();
    EXPECT_EQ(stats.maxReceiveBufferBytes, 128u);
    EXPECT_EQ(stats.bytesLostToOverflow, 240u - 24u - 128u);
    EXPECT_EQ(stats.linesLostToOverflow, 4u);
    EXPECT_EQ(interpreter.LastLine(), 6);
    ASSERT_EQ(output.replies.size(), 6u);
    // Line 1's "ok" leaves the slots empty; line 2's, three waiting behind it.
    EXPECT_EQ(output.replies[0].text, "ok N1 P15 B4");
    EXPECT_EQ(output.replies[1].text, "ok N2 P12 B1");
    EXPECT_EQ(output.replies[1].atUs, 2400 + 100000);

    // The host sends line 7 again: it joins the 8 bytes left of the first one.
    board.Deliver(lines[6], 2000000);
    board.AdvanceTo(3000000, output);
    ASSERT_EQ(output.replies.size(), 9u);
    EXPECT_EQ(output.replies[6].text, "Error:checksum mismatch, Last Line: 6");
    EXPECT_EQ(output.replies[7].text, "Resend: 7");
    EXPECT_EQ(output.lines.back(), lines[6].substr(0, 8) + lines[6].substr(0, 23));
}

TEST(FirmwareCommandBuffer, ErrorFlushesTheRingCuttingTheLineOnItsWayAndResetForgetsEverything) {
    // Line 1 (M400) runs from 2.5 ms to 15.5 ms; line 2, damaged, waits in the ring
    // and is refused when line 1 ends. Line 3 comes at a time of the test's choosing.
    std::string damaged = NumberedLine(2, "G1 X2", 25);
    damaged[4] = 'Y';
    const std::string third = NumberedLine(3, "G1 X3 Y4 E0.5");
    const struct {
        const char* name;
        int64_t thirdAtUs;
        std::vector<std::string> executed;
        uint32_t cutLinesRun;
        uint32_t resendRequests;
    } cases[] = {
        {"in the ring whole: dropped with it", 0, {"M400"}, 0, 1},
        // Its first 5 bytes ("N3 G1") are in the ring at 15.5 ms.
        {"on its way: the rest runs unchecked", 15000, {"M400", "X3 Y4 E0.5"}, 1, 1},
        {"after the flush: refused as out of sequence", 16000, {"M400"}, 0, 2},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        const FirmwareOptions options = Board(10000);
        FirmwareInterpreter interpreter(options);
        FirmwareCommandBuffer board(options, interpreter);
        board.Deliver(NumberedLine(1, "M400", 25) + damaged, 0);
        board.Deliver(third, item.thirdAtUs);
        CommandBufferOutput output;
        board.AdvanceTo(1000000, output);
        std::vector<std::string> executed;
        for (const ExecutedLine& line : interpreter.Executed()) {
            executed.push_back(line.command);
        }
        EXPECT_EQ(executed, item.executed);
        EXPECT_EQ(interpreter.Stats().cutLinesRun, item.cutLinesRun);
        EXPECT_EQ(interpreter.Stats().resendRequests, item.resendRequests);
        EXPECT_EQ(interpreter.LastLine(), 1);
        EXPECT_EQ(output.replies.back().text, "ok");
    }

    const FirmwareOptions options = Board(10000);
    FirmwareInterpreter interpreter(options);
    FirmwareCommandBuffer board(options, interpreter);
    CommandBufferOutput output;
    board.Deliver(NumberedLine(1, "G4 P100", 25), 0);
    board.AdvanceTo(2500 + 500, output);
    EXPECT_EQ(board.SlotsInUse(), 1u);
    board.Clear();
    EXPECT_EQ(board.SlotsInUse(), 0u);
    EXPECT_EQ(board.NextEventAt(), INT64_MAX);
}

} // namespace
} // namespace vela::test
