// The spooler's job as the job path reads it: its document name and whether the
// user deleted or restarted it, asked by print supervision and by a transmission
// that waits for room; the status text is written from the same read.
#pragma once

#include "usb/JobCancellation.h"
#include "platform/Win32Headers.h"

#include <memory>

namespace vela {

// JOB_CONTROL_RETAIN (Windows Vista and later): the spooler keeps the job in the
// queue once the port is done with it. The toolchain's headers lack it.
constexpr DWORD kJobControlRetain = 8;

enum class JobCheck { Continue, Cancelled, Paused, OutOfMemory };

enum class JobRead { Read, Unreadable, SizeUnknown, OutOfMemory };

// GetJobW: the size, then the job (a JOB_INFO_1W, or the level's own) into buffer.
JobRead ReadJob(HANDLE printer, DWORD jobId, std::unique_ptr<BYTE[]>& buffer, DWORD level = 1);

// Whether the job's document is the spooler's test page. False only when the job
// buffer cannot be allocated; an unreadable job is not the test page.
bool ReadJobIsTestPage(HANDLE printer, DWORD jobId, bool* testPage);

// Whether the user deleted or restarted the job meanwhile; logs what it finds.
// A job that cannot be read counts as going on.
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
