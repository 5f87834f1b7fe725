// End of document: supervises the physical print until the printer is done.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// The poll period of the print supervision.
constexpr DWORD kSupervisionPollMs = 5000;

// Polls the printer until it leaves its running state, aborts the print when the
// spooler job is deleted, settles the transfer, reports the job as sent and, after a
// complete transfer, waits for the user to confirm the model's removal. Always true.
BOOL EndDocPort(MonitorState& state, HANDLE port);

} // namespace vela
