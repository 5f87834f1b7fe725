// When a silent line draws its "M105" poke: after a few times the longest answer
// of the recent lines (never under 0.5 s), but a long command, a line the firmware
// said it is busy with, and a link not yet measured keep the full 5 s.
#include "serial/LineFraming.h"
#include "serial/SendState.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

struct PokeCase {
    const char* name;
    int answeredLines; // lines before, each answered after answerMs
    uint32_t answerMs;
    bool longCommand;     // the silent line is a long command (a G28 of 30 s)
    bool busyAt100Ms;     // the firmware says it is busy 100 ms after the line
    uint32_t pokeAfterMs; // since the line went out (or the busy notice)
};

constexpr PokeCase kPokeCases[] = {
    {"a line lost on a fast link", 8, 20, false, false, 500},
    {"a line lost on a slower link", 8, 300, false, false, 1200},
    {"a link answering slowly", 8, 2000, false, false, 5000},
    {"a link not yet measured", 3, 20, false, false, 5000},
    {"a long command without busy notices", 8, 20, true, false, 5000},
    {"a line the firmware is busy with", 8, 20, false, true, 5000},
};

bool Reply(SendStateMachine& machine, const std::string& text, uint64_t now) {
    const std::string line = text + "\n";
    return machine.OnReply(reinterpret_cast<const uint8_t*>(line.data()),
                           static_cast<uint32_t>(line.size()), now);
}

TEST(PokeTiming, ASilentLineIsPokedAfterWhatTheLinkHasShown) {
    for (const PokeCase& item : kPokeCases) {
        SCOPED_TRACE(item.name);
        SendStateMachine machine{SendTimings{}};
        uint64_t now = 1000;
        for (int line = 0; line < item.answeredLines; ++line) {
            ASSERT_EQ(machine.NextAction(now), SendAction::Advance);
            machine.OnLineSent(SendAction::Advance, false, now);
            now += item.answerMs;
            Reply(machine, "ok", now);
        }
        ASSERT_EQ(machine.NextAction(now), SendAction::Advance);
        machine.OnLineSent(SendAction::Advance, false, now, -1, item.longCommand);
        uint64_t quietFrom = now;
        if (item.busyAt100Ms) {
            quietFrom = now + 100;
            machine.OnBytesReceived(quietFrom);
            Reply(machine, "echo:busy: processing", quietFrom);
        }
        // Nothing comes back: not a moment before the wait, the poke at its end.
        EXPECT_EQ(machine.NextAction(quietFrom + item.pokeAfterMs - 1), SendAction::None);
        EXPECT_LE(machine.WaitTime(quietFrom + item.pokeAfterMs - 1), 1u);
        ASSERT_EQ(machine.NextAction(quietFrom + item.pokeAfterMs), SendAction::Poke);
        const uint64_t poked = quietFrom + item.pokeAfterMs;
        machine.OnLineSent(SendAction::Poke, false, poked);
        // One poke at a time: its answer (or the silence limit) settles the line.
        EXPECT_EQ(machine.NextAction(poked + kPokeAfterMs), SendAction::None);
    }
}

TEST(PokeTiming, TheLongCommandsAreKnownByTheirNumber) {
    const struct {
        const char* line;
        bool longCommand;
    } cases[] = {{"G28", true},           {"N12 G29 T", true},  {"  m109 S210", true},
                 {"M190 S60", true},      {"G4 P500", true},    {"M400", true},
                 {"G1 X10 F3000", false}, {"G280", false},      {"G28.1", false},
                 {"M1090", false},        {"M104 S200", false}, {"", false}};
    for (const auto& item : cases) {
        EXPECT_EQ(IsLongCommand(reinterpret_cast<const uint8_t*>(item.line),
                                static_cast<uint32_t>(std::string(item.line).size())),
                  item.longCommand)
            << item.line;
    }
}

} // namespace
} // namespace vela
