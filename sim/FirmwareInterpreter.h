// The text side of a simulated printer firmware: what it makes of each received
// line and what it answers, without any I/O. Behaves like common text firmware.
#pragma once

#include "sim/FirmwareOptions.h"

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace vela::test {

struct ExecutedLine {
    int64_t number; // -1 for a line sent without a number
    std::string command;
};

// One reply line, without its end.
struct FirmwareReply {
    std::string text;
    // An "ok" that comes this much later than it would.
    uint32_t delayMs = 0;
    // A long command runs this long before its "ok", announcing itself as busy, or,
    // when it heats, with temperature lines.
    uint32_t busyForMs = 0;
    bool heats = false;
    // The "ok" of a numbered line.
    bool acknowledgesNumberedLine = false;
    // An "ok" worded by the OkFormat (AckText); the number of the line it answers.
    bool formattedOk = false;
    int64_t number = -1;
};

// FNV-1a, for the digest of executed commands.
constexpr uint64_t kDigestStart = 14695981039346656037ull;
uint64_t DigestCommand(uint64_t digest, const std::string& command);

class FirmwareInterpreter {
  public:
    explicit FirmwareInterpreter(const FirmwareOptions& options);

    // One received line without its end. Fills the replies; true when the line was
    // refused with an error, after which the firmware discards what it had buffered.
    // A halted firmware ignores every line.
    bool HandleLine(const std::string& line, std::vector<FirmwareReply>& replies);
    // A restart: "start" and a banner naming the cause; line counter 0, no halt.
    void Reset(const std::string& cause, std::vector<FirmwareReply>& replies);

    // The words of an "ok": with commandsWaiting lines in the command buffer behind it.
    std::string AckText(const FirmwareReply& ok, uint32_t commandsWaiting) const;
    // "T:<hot> /<target> B:<bed> /<target> @:0 B@:0".
    std::string TemperatureLine() const;
    // The interval of reports on the board's own initiative (M155), and their text.
    uint32_t ReportMs() const { return reportMs_; }
    std::string AutoReportLine() const;
    // How far an M109 or M190 has come (0 to 1): the heater's temperature follows.
    void AdvanceHeating(double fraction);
    // An "M108" broke the heating wait: the heater stays where it is, its target set.
    void EndHeatingWait();

    bool Halted() const { return halted_; }
    const std::vector<ExecutedLine>& Executed() const { return executed_; }
    // Numbered lines executed, and a digest of their commands in order (each
    // followed by '\n'), kept whether or not lines are recorded.
    size_t NumberedExecuted() const { return numberedExecuted_; }
    // Every command executed, recorded or not.
    size_t ExecutedCount() const { return numberedExecuted_ + stats_.unnumberedExecuted; }
    uint64_t ExecutedDigest() const { return digest_; }
    const FirmwareStats& Stats() const { return stats_; }
    FirmwareStats& Stats() { return stats_; }
    int64_t LastLine() const { return lastLine_; }

  private:
    uint32_t reportMs_ = 0;
    bool autoReported_ = false;
    bool Refuse(const char* reason, std::vector<FirmwareReply>& replies);
    void Execute(int64_t number, const std::string& command, std::vector<FirmwareReply>& replies);
    enum class Heater { None, Hotend, Bed };
    uint32_t StartHeating(Heater heater, const std::string& command);
    double& Temperature(Heater heater);

    FirmwareOptions options_;
    // A damaged line end: the line waits for more bytes.
    bool lineHeld_ = false;
    // When the last numbered line ran (real time), for the gaps between them.
    uint64_t lastNumberedAt_ = 0;
    std::mt19937 random_;
    std::uniform_real_distribution<double> share_{0.0, 1.0};
    std::set<int64_t> corruptedOnce_;
    int64_t lastLine_ = 0;
    uint32_t executedCount_ = 0;
    std::vector<ExecutedLine> executed_;
    size_t numberedExecuted_ = 0;
    uint64_t digest_ = kDigestStart;
    // Numbers executed since the last M110 or reset.
    std::set<int64_t> executedNumbers_;
    bool halted_ = false;
    double hotend_ = 21.0;
    double hotendTarget_ = 0.0;
    double bed_ = 21.0;
    double bedTarget_ = 0.0;
    // The heater an M109/M190 is heating, and where it started.
    Heater heating_ = Heater::None;
    double heatingFrom_ = 0.0;
    FirmwareStats stats_;
};

// The XOR of the bytes, as the firmware checks it.
uint8_t FirmwareChecksum(const std::string& bytes);
// A line as a host sends it: "N<number> <command>*<checksum>\n". With a length, padded
// with spaces before the "*" to that many bytes; empty when no padding gives it.
std::string NumberedLine(int64_t number, const std::string& command, size_t length = 0);

} // namespace vela::test
