// How far a serial document has come, for its status: the size of its spooler
// job and how long it has been printing. The size is read from the spooler once
// a document, when its first line shows.
#pragma once

#include "monitor/JobStatusText.h"
#include "platform/Win32Headers.h"

#include <cstdint>

namespace vela {

struct JobSize {
    // Bytes of the spooled document; 0: unknown.
    uint64_t bytes = 0;
    // The spooler is still taking the document in: its size still grows.
    bool spooling = false;
};

// GetJobW level 2. A job that cannot be read has no known size.
JobSize ReadJobSize(HANDLE printer, DWORD jobId);

// A size still growing is read again this often, no more often than the numbers
// of a status may change.
constexpr ULONGLONG kJobSizeReadMs = 5000;

class JobProgressMeter {
  public:
    // A new document's job: nothing measured yet.
    void Begin(HANDLE printer, DWORD jobId);
    // Adds the job's size and the printing time so far to the facts of a serial
    // document's line; paused phases stop the time.
    void Measure(JobStatusFacts& facts, ULONGLONG now);

  private:
    HANDLE printer_ = nullptr;
    DWORD jobId_ = 0;
    JobSize size_;
    bool sizeRead_ = false;
    ULONGLONG sizeReadAt_ = 0;
    // Since the printer was seen to have the document's first line.
    bool printing_ = false;
    ULONGLONG printingSince_ = 0;
    bool paused_ = false;
    ULONGLONG pausedSince_ = 0;
    ULONGLONG pausedMs_ = 0;
};

} // namespace vela
