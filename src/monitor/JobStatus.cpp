#include "monitor/JobStatus.h"

#include "platform/DiagnosticLog.h"
#include "monitor/SpoolerJob.h"
#include "platform/Handles.h"
#include "platform/Platform.h"

#include <cstring>
#include <cwchar>
#include <memory>

namespace vela {

JobStatus::JobStatus() {
    ::InitializeCriticalSection(&lock_);
}

JobStatus::~JobStatus() {
    ::DeleteCriticalSection(&lock_);
}

void JobStatus::Begin(HANDLE printer, DWORD jobId) {
    CriticalSectionLock guard(lock_);
    shown_ = Shown{};
    shown_.printer = printer;
    shown_.jobId = jobId;
    meter_.Begin(printer, jobId);
}

void JobStatus::Show(const JobStatusFacts& facts) {
    CriticalSectionLock guard(lock_);
    ShowLocked(facts);
}

void JobStatus::ShowLocked(const JobStatusFacts& facts) {
    // A cancel is the last word: later progress is the cancel's own lines.
    if (shown_.printer == nullptr || facts.phase == JobPhase::None ||
        shown_.phase == JobPhase::Cancelling || shown_.phase == JobPhase::CancelledOnPrinter) {
        return;
    }
    const ULONGLONG now = CurrentPlatform().clock->GetTickCount64();
    JobStatusFacts measured = facts;
    meter_.Measure(measured, now);
    wchar_t text[kJobStatusChars];
    FormatJobStatus(measured, text);
    if (std::wcscmp(text, shown_.text) == 0 ||
        (facts.phase == shown_.phase && now - shown_.at < kJobStatusProgressMs)) {
        return;
    }
    shown_.phase = facts.phase;
    std::memcpy(shown_.text, text, sizeof(shown_.text));
    shown_.at = now;
    Write(text);
}

void JobStatus::Show(JobPhase phase) {
    JobStatusFacts facts;
    facts.phase = phase;
    Show(facts);
}

void JobStatus::End() {
    CriticalSectionLock guard(lock_);
    if (shown_.printer != nullptr && shown_.phase != JobPhase::None) {
        Write(nullptr);
    }
    shown_ = Shown{};
}

void JobStatus::Fail(const wchar_t* reason) {
    CriticalSectionLock guard(lock_);
    if (shown_.printer != nullptr) {
        Write(reason, JOB_STATUS_ERROR);
    }
    shown_ = Shown{};
}

void JobStatus::Write(const wchar_t* text, DWORD addedStatus) {
    // Level 1 sets every field it carries: all go back as the spooler gave them.
    std::unique_ptr<BYTE[]> buffer;
    bool written = ReadJob(shown_.printer, shown_.jobId, buffer) == JobRead::Read;
    if (written) {
        auto* job = reinterpret_cast<JOB_INFO_1W*>(buffer.get());
        job->pStatus = const_cast<LPWSTR>(text);
        job->Status |= addedStatus;
        written = CurrentPlatform().spooler->SetJobW(shown_.printer, shown_.jobId, 1, buffer.get(),
                                                     0) != FALSE;
    }
    if (!written && !shown_.refusalLogged) {
        shown_.refusalLogged = true;
        LogFormatted(LogTo::DebugLog, "The spooler refused the job's status text (error %lu)\r\n",
                     static_cast<unsigned long>(::GetLastError()));
    }
}

} // namespace vela
