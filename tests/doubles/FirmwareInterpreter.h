// The text side of a simulated printer firmware: what it makes of each received
// line and what it answers, without any I/O. Behaves like common text firmware.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace vela::test {

struct FirmwareOptions {
    // A share of the numbered lines received (0 to 1) is taken as damaged.
    double corruptShare = 0.0;
    // Numbered lines taken as damaged the first time they arrive.
    std::set<int64_t> corruptLines;
    // Numbered lines ignored the first time they arrive, as if lost on the way in.
    std::set<int64_t> loseLines;
    uint32_t seed = 20260101;
    // The "ok" for these lines is never sent.
    std::set<int64_t> dropOkForLines;
    // The "ok" for these lines comes this many milliseconds late.
    std::map<int64_t, uint32_t> delayOkForLines;
    // A share of all reply bytes (0 to 1) is lost on the way.
    double dropReplyByteShare = 0.0;
    // Every reply waits this long before it goes out.
    uint32_t replyDelayMs = 0;
    // An unsolicited "echo:" line after every n-th executed line (0: never).
    uint32_t echoEveryLines = 0;
    // One "echo:" line of this many bytes (not counting its end) after the first
    // executed line: line noise that goes on and on (0: none).
    uint32_t longEchoBytes = 0;
    // Whether an error's resend request is followed by "ok".
    bool okAfterResend = true;
    // While a long command (G4) runs, "echo:busy: processing" this often.
    uint32_t busyIntervalMs = 2000;
    // Pacing of a real link: bytes a second each way (0: none) and time per command.
    uint32_t bytesPerSecond = 0;
    uint32_t commandMicroseconds = 0;
    // Look for further lines already sent before each "ok" (costs a device query).
    bool trackLinesInFlight = true;
};

struct ExecutedLine {
    int64_t number; // -1 for a line sent without a number
    std::string command;
};

struct FirmwareStats {
    uint32_t checksumErrors = 0;
    uint32_t sequenceErrors = 0;
    uint32_t duplicatesDropped = 0;
    uint32_t linesLost = 0;
    uint32_t resendRequests = 0;
    uint32_t unnumberedExecuted = 0;
    uint32_t maxLinesInFlight = 0;
};

// One reply line, without its end.
struct FirmwareReply {
    std::string text;
    // An "ok" that comes this much later than it would.
    uint32_t delayMs = 0;
    // A long command runs this long before its "ok", announcing itself as busy.
    uint32_t busyForMs = 0;
    // The "ok" of a numbered line.
    bool acknowledgesNumberedLine = false;
};

class FirmwareInterpreter {
  public:
    explicit FirmwareInterpreter(const FirmwareOptions& options);

    // One received line without its end. Fills the replies; true when the line was
    // refused with an error, after which the firmware discards what it had buffered.
    bool HandleLine(const std::string& line, std::vector<FirmwareReply>& replies);

    const std::vector<ExecutedLine>& Executed() const { return executed_; }
    const FirmwareStats& Stats() const { return stats_; }
    FirmwareStats& Stats() { return stats_; }
    int64_t LastLine() const { return lastLine_; }

  private:
    bool Refuse(const char* reason, std::vector<FirmwareReply>& replies);
    void Execute(int64_t number, const std::string& command, std::vector<FirmwareReply>& replies);

    FirmwareOptions options_;
    std::mt19937 random_;
    std::uniform_real_distribution<double> share_{0.0, 1.0};
    std::set<int64_t> corruptedOnce_;
    int64_t lastLine_ = 0;
    uint32_t executedCount_ = 0;
    std::vector<ExecutedLine> executed_;
    FirmwareStats stats_;
};

// The XOR of the bytes, as the firmware checks it.
uint8_t FirmwareChecksum(const std::string& bytes);

} // namespace vela::test
