// Whether the user deleted or restarted the document's spooler job, asked of the
// spooler by print supervision and by a transmission that waits for room.
#pragma once

#include "VelaLib2/JobCancellation.h"
#include "platform/Win32Headers.h"

namespace vela {

enum class JobCheck { Continue, Cancelled, OutOfMemory };

// A job that cannot be read counts as going on (logged).
JobCheck CheckSpoolerJob(HANDLE printer, DWORD jobId);

// The check for one document, for the printer device's transmission.
class SpoolerJobCancellation final : public JobCancellation {
  public:
    SpoolerJobCancellation(HANDLE printer, DWORD jobId) : printer_(printer), jobId_(jobId) {}
    bool JobCancelled() override;

  private:
    HANDLE printer_;
    DWORD jobId_;
};

} // namespace vela
