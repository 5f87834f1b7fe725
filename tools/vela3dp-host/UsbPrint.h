// "print JOB": a job stream sent through the monitor to the simulated USB printer,
// the host playing the spooler's part.
#pragma once

#include "HostArguments.h"

namespace vela::host {

// The port the simulated USB printer is attached to.
extern const wchar_t kUsbPortName[];
// Printer time the simulated printer's program runs; --print-seconds is the real
// time it is shown in.
constexpr unsigned kSimulatedPrintMs = 30000;

// 0 when the job was printed completely, 1 when the monitor did not see it
// through, 2 when it could not be run at all.
int PrintOnUsbPrinter(const HostArguments& arguments);

} // namespace vela::host
