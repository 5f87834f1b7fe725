// The status text of a document's spooler job, as the print queue shows it: set
// when the document's phase changes, at most every 5 s while only its numbers
// move, and cleared at the end of the document. A status the spooler refuses
// never holds the print up. Shown from the spooler's threads and from the serial
// document thread (while a paused job's spooler waits outside the monitor): one
// at a time.
#pragma once

#include "monitor/JobSize.h"
#include "monitor/JobStatusText.h"
#include "platform/Win32Headers.h"

namespace vela {

// How often a phase's numbers may change the text.
constexpr ULONGLONG kJobStatusProgressMs = 5000;

class JobStatus {
  public:
    JobStatus();
    ~JobStatus();
    JobStatus(const JobStatus&) = delete;
    JobStatus& operator=(const JobStatus&) = delete;

    // A new document's job; none (no printer handle) makes every call a no-op.
    void Begin(HANDLE printer, DWORD jobId);
    void Show(const JobStatusFacts& facts);
    // A phase whose words carry no number.
    void Show(JobPhase phase);
    // Clears a text the document set, and forgets the job.
    void End();
    // The document failed: the job is marked in error with the reason as its text,
    // which stays after the document, and the job is forgotten.
    void Fail(const wchar_t* reason);

  private:
    struct Shown {
        HANDLE printer = nullptr;
        DWORD jobId = 0;
        JobPhase phase = JobPhase::None;
        wchar_t text[kJobStatusChars] = {};
        ULONGLONG at = 0;
        bool refusalLogged = false;
    };

    void ShowLocked(const JobStatusFacts& facts);
    void Write(const wchar_t* text, DWORD addedStatus = 0);

    CRITICAL_SECTION lock_;
    Shown shown_;
    JobProgressMeter meter_;
};

} // namespace vela
