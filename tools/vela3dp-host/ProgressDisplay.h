// What the host shows while a job runs, as plain text lines: no terminal escape
// codes, so the output stays readable in any console and in a captured log.
#pragma once

#include <cstdint>
#include <string>

namespace vela::host {

// "[#####-----]  250/500 records  50%" with a bar of the given width. A stream
// that announces no records shows the count alone; more records than announced
// fill the bar and no more.
std::string FormatProgressBar(int64_t sent, int64_t announced, int width);

// What one supervision poll read from the printer.
struct PollReading {
    bool haveMachineState = false;
    int32_t machineState = 0;
    bool haveStatus = false;
    int32_t status = 0;
    // Head position in millimetres, when the poll read the axes.
    bool havePosition = false;
    double position[3] = {};
};

// "poll 3   0:15  machine: Running Program  status: Printing" and, when the head
// was read, "  head X12.50 Y-3.00 Z0.40 mm". Values without a name in the
// printer's catalogue show their number.
std::string FormatPoll(int number, uint64_t printerMilliseconds, const PollReading& reading);

// Minutes and seconds, "m:ss", from milliseconds.
std::string FormatMinutes(uint64_t milliseconds);

// The result line of a USB job, judged as the monitor judges the transfer.
std::string DescribeTransfer(int32_t sent, int32_t announced, bool sendingDisabled);
// True when the monitor saw the whole job through: all announced records sent, at
// least one.
bool TransferComplete(int32_t sent, int32_t announced);

} // namespace vela::host
