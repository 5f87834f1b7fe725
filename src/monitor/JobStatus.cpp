#include "monitor/JobStatus.h"

#include "platform/DiagnosticLog.h"
#include "monitor/SpoolerJob.h"
#include "platform/Platform.h"

#include <cstring>
#include <cwchar>
#include <memory>

namespace vela {

void JobStatus::Begin(HANDLE printer, DWORD jobId) {
    *this = JobStatus{};
    printer_ = printer;
    jobId_ = jobId;
}

void JobStatus::Show(const JobStatusFacts& facts) {
    // A cancel is the last word: later progress is the cancel's own lines.
    if (printer_ == nullptr || facts.phase == JobPhase::None || phase_ == JobPhase::Cancelling) {
        return;
    }
    wchar_t text[kJobStatusChars];
    FormatJobStatus(facts, text);
    const ULONGLONG now = CurrentPlatform().clock->GetTickCount64();
    if (std::wcscmp(text, shown_) == 0 ||
        (facts.phase == phase_ && now - shownAt_ < kJobStatusProgressMs)) {
        return;
    }
    phase_ = facts.phase;
    std::memcpy(shown_, text, sizeof(shown_));
    shownAt_ = now;
    Write(text);
}

void JobStatus::Show(JobPhase phase) {
    JobStatusFacts facts;
    facts.phase = phase;
    Show(facts);
}

void JobStatus::End() {
    if (printer_ != nullptr && phase_ != JobPhase::None) {
        Write(nullptr);
    }
    *this = JobStatus{};
}

void JobStatus::Fail(const wchar_t* reason) {
    if (printer_ != nullptr) {
        Write(reason, JOB_STATUS_ERROR);
    }
    *this = JobStatus{};
}

void JobStatus::Write(const wchar_t* text, DWORD addedStatus) {
    // Level 1 sets every field it carries: all go back as the spooler gave them.
    std::unique_ptr<BYTE[]> buffer;
    bool written = ReadJob(printer_, jobId_, buffer) == JobRead::Read;
    if (written) {
        auto* job = reinterpret_cast<JOB_INFO_1W*>(buffer.get());
        job->pStatus = const_cast<LPWSTR>(text);
        job->Status |= addedStatus;
        written = CurrentPlatform().spooler->SetJobW(printer_, jobId_, 1, buffer.get(), 0) != FALSE;
    }
    if (!written && !refusalLogged_) {
        refusalLogged_ = true;
        LogFormatted(LogTo::DebugLog, "The spooler refused the job's status text (error %lu)\r\n",
                     static_cast<unsigned long>(::GetLastError()));
    }
}

} // namespace vela
