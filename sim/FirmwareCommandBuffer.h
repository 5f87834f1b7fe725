// The receive side of a real text-firmware board, on a virtual clock and without
// I/O: bytes cross the wire one after another at the link's pace into a small
// receive ring (bytes that find it full are lost), the main loop moves them into a
// line while a command slot is free (never while a command runs), each complete
// line is checked when it takes its slot, and its replies go out when it has been
// executed. A refused line empties the ring: the start of a line already arriving
// goes with it, and its rest runs as a line without a number, unchecked. Times are microseconds on
// any clock that only goes forward; arrival times follow from the pacing alone, so a burst of bytes
// always meets the same fate.
#pragma once

#include "sim/FirmwareInterpreter.h"

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace vela::test {

// A reply line that is ready at a time.
struct TimedReply {
    int64_t atUs;
    std::string text;
};

struct CommandBufferOutput {
    std::vector<TimedReply> replies;
    // The lines taken from the receive ring, as the interpreter got them.
    std::vector<std::string> lines;
};

class FirmwareCommandBuffer {
  public:
    FirmwareCommandBuffer(const FirmwareOptions& options, FirmwareInterpreter& interpreter);

    // Bytes the host wrote, first seen at seenUs; they arrive at the link's pace
    // after whatever is still on the wire.
    void Deliver(const std::string& bytes, int64_t seenUs);
    // Runs every arrival, line intake, busy notice and command end up to nowUs.
    void AdvanceTo(int64_t nowUs, CommandBufferOutput& output);
    // When the next of those happens; INT64_MAX when nothing is waiting.
    int64_t NextEventAt() const;
    // A reset: forgets the bytes on the wire and in the ring, the lines and the
    // command that runs.
    void Clear();

    uint32_t SlotsInUse() const { return static_cast<uint32_t>(slots_.size()); }

  private:
    struct Slot {
        std::vector<FirmwareReply> replies;
        int64_t runUs = 0;
        int64_t busyUs = 0;
        int64_t noticeEveryUs = 0;
        bool heats = false;
        // An unnumbered "M108" ended its heating wait.
        bool broken = false;
    };

    // The next busy notice of the command that runs; INT64_MAX when none is due.
    int64_t NoticeAt() const;
    void Arrive(char byte, int64_t atUs, CommandBufferOutput& output);
    void Notice(int64_t atUs, CommandBufferOutput& output);
    void Finish(int64_t atUs, CommandBufferOutput& output);
    // At a loop point of the main loop: take bytes into lines while a slot is free,
    // then start the next command.
    void Intake(int64_t atUs, CommandBufferOutput& output);
    void TakeLine(int64_t atUs, CommandBufferOutput& output);
    uint32_t LinesAwaitingOk() const;

    const FirmwareOptions options_;
    FirmwareInterpreter& interpreter_;
    const int64_t byteUs_;
    std::deque<std::pair<int64_t, char>> onWire_;
    int64_t wireFreeAt_ = 0;
    std::deque<char> ring_;
    std::string line_;
    // The start of the line now arriving, as the board's emergency parser reads
    // it before the line reaches the ring: an unnumbered "M108" ends a heating wait.
    std::string arriving_;
    // A byte of the line now arriving was lost.
    bool lineDamaged_ = false;
    // An error's flush dropped the start of the line now arriving.
    bool lineCut_ = false;
    std::deque<Slot> slots_;
    // The front slot's command runs.
    bool running_ = false;
    int64_t startedAt_ = 0;
    int64_t nextNoticeAt_ = 0;
};

} // namespace vela::test
