// What the simulated firmware makes of lines, without any I/O.
#include "sim/FirmwareInterpreter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vela::test {
namespace {

// A numbered line with its checksum, without its end.
std::string Numbered(int number, const std::string& command) {
    const std::string line = NumberedLine(number, command);
    return line.substr(0, line.size() - 1);
}

constexpr char kReset[] = "<reset>";
constexpr char kHalted[] = "Error:Printer halted. kill() called!";
const std::vector<std::string> kBanner = {"start", "echo: Watchdog Reset",
                                          "echo:Simulated text firmware 2.1 (Vela3dp tests)",
                                          "echo:Free memory: 4096  PlannerBufferBytes: 1200"};

std::vector<std::string> Join(std::vector<std::string> first,
                              const std::vector<std::string>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

struct InterpreterCase {
    const char* name;
    std::function<void(FirmwareOptions&)> configure;
    std::vector<std::string> lines; // kReset restarts the firmware
    std::vector<std::string> replies;
    uint32_t executedTwice;
};

TEST(FirmwareInterpreter, AnswersResetsHaltsAndCountsLinesRunTwice) {
    const auto none = [](FirmwareOptions&) {};
    const std::string outOfSequence = "Error:Line Number is not Last Line Number+1, Last Line: ";
    const InterpreterCase cases[] = {
        {"plain ok", none, {Numbered(1, "G28"), "M114"}, {"ok", "ok"}, 0},
        {"ok with the line's number; unnumbered: the last",
         [](FirmwareOptions& o) { o.okFormat = OkFormat::LineNumber; },
         {Numbered(1, "G28"), Numbered(2, "G1 X1"), "M114"},
         {"ok 1", "ok 2", "ok 2"},
         0},
        {"ok with buffer state",
         [](FirmwareOptions& o) { o.okFormat = OkFormat::BufferState; },
         {Numbered(1, "G28")},
         {"ok N1 P15 B4"},
         0},
        {"M105 answers with temperatures in every wording",
         [](FirmwareOptions& o) { o.okFormat = OkFormat::LineNumber; },
         {Numbered(1, "M105")},
         {"ok T:21.0 /0.0 B:21.0 /0.0 @:0 B@:0"},
         0},
        {"counter kept without a reset",
         none,
         {Numbered(1, "G28"), Numbered(2, "G28"), Numbered(1, "G1 X1")},
         {"ok", "ok"},
         0},
        {"a reset sets the counter to 0",
         none,
         {Numbered(1, "G28"), Numbered(2, "G28"), kReset, Numbered(3, "G1"), Numbered(1, "G1")},
         Join(Join({"ok", "ok"}, kBanner), {outOfSequence + "0", "Resend: 1", "ok", "ok"}),
         0},
        {"halted after its line: silent until a reset",
         [](FirmwareOptions& o) { o.haltAfterLine = 2; },
         {Numbered(1, "G28"), Numbered(2, "G1 X1"), Numbered(3, "G1 X2"), "M105", kReset,
          Numbered(1, "G28")},
         Join({"ok", "ok", kHalted}, Join(kBanner, {"ok"})),
         0},
        {"unchecked numbers run a line sent again",
         [](FirmwareOptions& o) { o.checkLineNumbers = false; },
         {Numbered(1, "G28"), Numbered(2, "G1 X1"), Numbered(2, "G1 X1"), Numbered(9, "G1")},
         {"ok", "ok", "ok", "ok"},
         1},
        {"M110 between: not run twice",
         [](FirmwareOptions& o) { o.checkLineNumbers = false; },
         {Numbered(1, "G28"), Numbered(2, "G1 X1"), "M110 N0", Numbered(1, "G28")},
         {"ok", "ok", "ok", "ok"},
         0},
        {"a reset between: not run twice",
         [](FirmwareOptions& o) { o.checkLineNumbers = false; },
         {Numbered(1, "G28"), kReset, Numbered(1, "G28")},
         Join(Join({"ok"}, kBanner), {"ok"}),
         0},
    };
    for (const InterpreterCase& test : cases) {
        SCOPED_TRACE(test.name);
        FirmwareOptions options;
        test.configure(options);
        FirmwareInterpreter firmware(options);
        std::vector<std::string> texts;
        for (const std::string& line : test.lines) {
            std::vector<FirmwareReply> replies;
            if (line == kReset) {
                firmware.Reset("Watchdog Reset", replies);
            } else {
                firmware.HandleLine(line, replies);
            }
            for (const FirmwareReply& reply : replies) {
                texts.push_back(firmware.AckText(reply, 0));
            }
        }
        EXPECT_EQ(texts, test.replies);
        EXPECT_EQ(firmware.Stats().linesExecutedTwice, test.executedTwice);
    }
}

} // namespace
} // namespace vela::test
