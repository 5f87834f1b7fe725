// How a queued G-code line goes out on the serial line: numbered and closed by an
// XOR checksum that the firmware checks before it executes the line.
#pragma once

#include <cstdint>

namespace vela {

// Room for one framed line and a terminating NUL.
constexpr uint32_t kWriteBufferSize = 1024;

// XOR of every byte; 0 to 255.
uint8_t LineChecksum(const uint8_t* bytes, uint32_t length);

// True for a line beginning with "N0" in either case: the job restarts numbering.
bool BeginsWithN0(const uint8_t* line, uint32_t length);

// For a line that sets the firmware's line counter, "M110 N<k>" (or "N<k> M110",
// the line's own number standing in for the parameter): k. Otherwise -1.
int64_t CounterSetBy(const uint8_t* line, uint32_t length);

// True for a command that may run long without a word from the firmware: heating
// and other waits, homing, probing and levelling, a dwell, "M400", a filament
// change or a stop for the user.
bool IsLongCommand(const uint8_t* line, uint32_t length);

// Writes "N<number> <line with its final byte replaced by a space>*<checksum>\n"
// and a NUL into out. The checksum covers everything up to the space before '*'.
// False, with nothing to send, when the line is empty or the framed line and
// its NUL do not fit the capacity.
bool FrameLine(int32_t number, const uint8_t* line, uint32_t length, uint8_t* out,
               uint32_t capacity, uint32_t* framedLength);

} // namespace vela
