#include "monitor/JobSize.h"

#include "monitor/SpoolerJob.h"

#include <memory>

namespace vela {

JobSize ReadJobSize(HANDLE printer, DWORD jobId) {
    JobSize size;
    std::unique_ptr<BYTE[]> buffer;
    if (ReadJob(printer, jobId, buffer, 2) == JobRead::Read) {
        const auto* job = reinterpret_cast<const JOB_INFO_2W*>(buffer.get());
        size.bytes = job->Size;
        size.spooling = (job->Status & JOB_STATUS_SPOOLING) != 0;
    }
    return size;
}

void JobProgressMeter::Begin(HANDLE printer, DWORD jobId) {
    *this = JobProgressMeter();
    printer_ = printer;
    jobId_ = jobId;
}

void JobProgressMeter::Measure(JobStatusFacts& facts, ULONGLONG now) {
    const bool paused =
        facts.phase == JobPhase::PausedAtLine || facts.phase == JobPhase::PausedOnPrinter;
    if (!printing_) {
        // The line number cannot tell: one line at a time already counts the
        // next line while none is out.
        if (facts.phase != JobPhase::PrintingLine || facts.bytesDone == 0) {
            return;
        }
        printing_ = true;
        printingSince_ = now;
    }
    if (paused != paused_) {
        paused_ = paused;
        if (paused) {
            pausedSince_ = now;
        } else {
            pausedMs_ += now - pausedSince_;
        }
    }
    if (facts.phase != JobPhase::PrintingLine) {
        return;
    }
    if (!sizeRead_ || (size_.spooling && now - sizeReadAt_ >= kJobSizeReadMs)) {
        size_ = ReadJobSize(printer_, jobId_);
        sizeRead_ = true;
        sizeReadAt_ = now;
    }
    // A share of a size still growing would run ahead of the print.
    facts.documentBytes = size_.spooling ? 0 : size_.bytes;
    facts.printingMs = now - printingSince_ - pausedMs_;
}

} // namespace vela
