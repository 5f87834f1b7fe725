// The spooler's job as the job path reads it: its document name and whether the
// user deleted or restarted it.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

enum class JobCheck { Continue, Cancelled, OutOfMemory };

// Whether the job's document is the spooler's test page. False only when the job
// buffer cannot be allocated; an unreadable job is not the test page.
bool ReadJobIsTestPage(HANDLE printer, DWORD jobId, bool* testPage);

// Whether the user deleted or restarted the job meanwhile; logs what it finds.
JobCheck CheckSpoolerJob(HANDLE printer, DWORD jobId);

} // namespace vela
