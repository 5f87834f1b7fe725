// The status text of a document's spooler job, as the print queue shows it: set
// when the document's phase changes, at most every 5 s while only its numbers
// move, and cleared at the end of the document. A status the spooler refuses
// never holds the print up.
#pragma once

#include "monitor/JobStatusText.h"
#include "platform/Win32Headers.h"

namespace vela {

// How often a phase's numbers may change the text.
constexpr ULONGLONG kJobStatusProgressMs = 5000;

class JobStatus {
  public:
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
    void Write(const wchar_t* text, DWORD addedStatus = 0);

    HANDLE printer_ = nullptr;
    DWORD jobId_ = 0;
    JobPhase phase_ = JobPhase::None;
    wchar_t shown_[kJobStatusChars] = {};
    ULONGLONG shownAt_ = 0;
    bool refusalLogged_ = false;
};

} // namespace vela
