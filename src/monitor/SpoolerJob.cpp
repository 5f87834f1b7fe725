#include "monitor/SpoolerJob.h"

#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"

#include <memory>
#include <new>

namespace vela {

JobRead ReadJob(HANDLE printer, DWORD jobId, std::unique_ptr<BYTE[]>& buffer, DWORD level) {
    Spooler& spooler = *CurrentPlatform().spooler;
    DWORD needed = 0;
    if (spooler.GetJobW(printer, jobId, level, nullptr, 0, &needed) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return JobRead::SizeUnknown;
    }
    buffer.reset(new (std::nothrow) BYTE[needed]);
    if (buffer == nullptr) {
        return JobRead::OutOfMemory;
    }
    return spooler.GetJobW(printer, jobId, level, buffer.get(), needed, &needed)
               ? JobRead::Read
               : JobRead::Unreadable;
}

bool ReadJobIsTestPage(HANDLE printer, DWORD jobId, bool* testPage) {
    *testPage = false;
    std::unique_ptr<BYTE[]> buffer;
    const JobRead read = ReadJob(printer, jobId, buffer);
    if (read == JobRead::Read) {
        const auto* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.get());
        *testPage = job->pDocument != nullptr && ::lstrcmpiW(job->pDocument, L"Test Page") == 0;
    }
    return read != JobRead::OutOfMemory;
}

JobCheck CheckSpoolerJob(HANDLE printer, DWORD jobId) {
    std::unique_ptr<BYTE[]> buffer;
    switch (ReadJob(printer, jobId, buffer)) {
    case JobRead::SizeUnknown:
        Log(LogTo::DebugLog, "Can't get job1\r\n");
        return JobCheck::Continue;
    case JobRead::OutOfMemory:
        Log(LogTo::DebugLog, "Can't allocate memory for job\r\n");
        return JobCheck::OutOfMemory;
    case JobRead::Unreadable:
        Log(LogTo::DebugLog, "Can't get job2\r\n");
        return JobCheck::Continue;
    case JobRead::Read:
        break;
    }
    Log(LogTo::DebugLog, "Get print job\r\n");
    const auto* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.get());
    if ((job->Status & (JOB_STATUS_DELETING | JOB_STATUS_RESTART)) != 0) {
        Log(LogTo::DebugLog, "The job is deleting\r\n");
        return JobCheck::Cancelled;
    }
    if ((job->Status & JOB_STATUS_PAUSED) != 0) {
        return JobCheck::Paused;
    }
    return JobCheck::Continue;
}

bool SpoolerJobCancellation::JobCancelled() {
    if (CheckSpoolerJob(printer_, jobId_) != JobCheck::Cancelled) {
        return false;
    }
    Log(LogTo::DebugLog, "Beging cancel the print\r\n");
    return true;
}

} // namespace vela
