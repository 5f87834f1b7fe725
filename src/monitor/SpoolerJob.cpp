#include "monitor/SpoolerJob.h"

#include "monitor/DebugLog.h"
#include "platform/Platform.h"

#include <memory>
#include <new>

namespace vela {

JobCheck CheckSpoolerJob(HANDLE printer, DWORD jobId) {
    Spooler& spooler = *CurrentPlatform().spooler;
    DWORD needed = 0;
    if (spooler.GetJobW(printer, jobId, 1, nullptr, 0, &needed) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        WriteLog("Can't get job1\r\n");
        return JobCheck::Continue;
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
    if (buffer == nullptr) {
        WriteLog("Can't allocate memory for job\r\n");
        return JobCheck::OutOfMemory;
    }
    if (!spooler.GetJobW(printer, jobId, 1, buffer.get(), needed, &needed)) {
        WriteLog("Can't get job2\r\n");
        return JobCheck::Continue;
    }
    WriteLog("Get print job\r\n");
    const auto* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.get());
    if ((job->Status & (JOB_STATUS_DELETING | JOB_STATUS_RESTART)) != 0) {
        WriteLog("The job is deleting\r\n");
        return JobCheck::Cancelled;
    }
    return JobCheck::Continue;
}

bool SpoolerJobCancellation::JobCancelled() {
    if (CheckSpoolerJob(printer_, jobId_) != JobCheck::Cancelled) {
        return false;
    }
    WriteLog("Beging cancel the print\r\n");
    return true;
}

} // namespace vela
