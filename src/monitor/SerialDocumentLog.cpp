#include "monitor/SerialDocumentLog.h"

#include "platform/DiagnosticLog.h"
#include "monitor/JobStatusText.h"
#include "platform/Handles.h"
#include "monitor/SpoolerJob.h"
#include "platform/Platform.h"

#include <cstdio>

namespace vela {
namespace {

constexpr unsigned long long kProgressLogMs = 5000;

} // namespace

SpoolerJobWatch::SpoolerJobWatch(const PortEntry* entry, PortDocument& document)
    : entry_(entry), document_(document), lastLogAt_(CurrentPlatform().clock->GetTickCount64()) {}

bool SpoolerJobWatch::JobCancelled() {
    if (document_.EndRequested() == DocumentEnd::None &&
        CheckSpoolerJob(document_.printer.Get(), document_.jobId) != JobCheck::Cancelled) {
        return false;
    }
    document_.status.Show(JobPhase::Cancelling);
    return true;
}

void SpoolerJobWatch::Progress(const DocumentProgress& progress) {
    document_.status.Show(SerialDocumentFacts(progress));
    const unsigned long long now = CurrentPlatform().clock->GetTickCount64();
    if (now - lastLogAt_ < kProgressLogMs) {
        return;
    }
    lastLogAt_ = now;
    LogFormatted(LogTo::DebugLog, "Serial printing on %ls: line %d, %llu lines acknowledged%s\r\n",
                 entry_->name, static_cast<int>(progress.lineNumber),
                 static_cast<unsigned long long>(progress.linesAcknowledged),
                 progress.finishing ? ", finishing moves" : "");
}

SpoolerJobProbe::SpoolerJobProbe(PortDocument& document) : document_(&document) {
    ::InitializeCriticalSection(&lock_);
}

SpoolerJobProbe::~SpoolerJobProbe() {
    ::DeleteCriticalSection(&lock_);
}

JobState SpoolerJobProbe::Look(const DocumentProgress& progress) {
    CriticalSectionLock guard(lock_);
    if (document_ == nullptr) {
        return JobState::Going;
    }
    document_->status.Show(SerialDocumentFacts(progress));
    switch (CheckSpoolerJob(document_->printer.Get(), document_->jobId)) {
    case JobCheck::Paused:
        return JobState::Paused;
    case JobCheck::Cancelled:
        document_->status.Show(JobPhase::Cancelling);
        return JobState::Cancelled;
    case JobCheck::Continue:
    case JobCheck::OutOfMemory:
        break;
    }
    return JobState::Going;
}

void SpoolerJobProbe::Detach() {
    CriticalSectionLock guard(lock_);
    document_ = nullptr;
}

void EndJobCancelledOnPrinter(const PortEntry* entry, PortDocument& document) {
    if (document.endedOnPrinter) {
        return;
    }
    document.endedOnPrinter = true;
    LogFormatted(LogTo::DebugLog, "Cancelled on the printer on %ls: the job ends\r\n", entry->name);
    document.status.Show(JobPhase::CancelledOnPrinter);
    if (document.printer.Valid()) {
        CurrentPlatform().spooler->SetJobW(document.printer.Get(), document.jobId, 0, nullptr,
                                           JOB_CONTROL_DELETE);
    }
}

std::string DescribeOutcome(const DocumentProgress& progress) {
    char text[160];
    switch (progress.outcome) {
    case DocumentOutcome::None:
        return "not sent to the printer";
    case DocumentOutcome::Running:
        return "still running";
    case DocumentOutcome::Completed:
        return "completed";
    case DocumentOutcome::Cancelled:
        std::snprintf(text, sizeof(text), "cancelled%s at line %d",
                      progress.cancelledOnPrinter ? " on the printer" : "",
                      static_cast<int>(progress.cancelledAtLine));
        return text;
    case DocumentOutcome::Stopped:
        return "stopped: the port was closed";
    case DocumentOutcome::Failed:
        break;
    }
    if (progress.deviceLost) {
        return "failed: the serial device failed (unplugged?)";
    }
    const long long line = static_cast<long long>(progress.failureLine);
    switch (progress.failure) {
    case SendFailure::NotReady:
        return "failed: no answer at " + RatesText(progress.ratesTried) + " baud";
    case SendFailure::Rejected:
        std::snprintf(text, sizeof(text), "failed: the printer rejects line %lld", line);
        return text;
    case SendFailure::StoppedAnswering:
        std::snprintf(text, sizeof(text), "failed: the printer stopped answering at line %lld",
                      line);
        return text;
    case SendFailure::Restarted:
        std::snprintf(text, sizeof(text), "failed: the printer restarted at line %lld", line);
        return text;
    case SendFailure::Halted:
        std::snprintf(text, sizeof(text), "failed: the printer halted at line %lld", line);
        return text;
    case SendFailure::None:
        break;
    }
    return "failed";
}

void WriteSerialWriteFailure(const PortEntry* entry, DWORD error,
                             const DocumentProgress& progress) {
    LogFormatted(LogTo::DebugLog, "WritePort on %ls refused (error %lu): %s\r\n", entry->name,
                 static_cast<unsigned long>(error), DescribeOutcome(progress).c_str());
}

} // namespace vela
