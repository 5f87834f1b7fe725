#include "monitor/DocumentEnding.h"

#include "monitor/PortLink.h"
#include "monitor/PrintSupervision.h"
#include "monitor/RemoveModelPrompt.h"
#include "monitor/SerialDocumentLog.h"
#include "monitor/SpoolerJob.h"
#include "monitor/TransferOutcome.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"
#include "usb/PrinterDevice.h"

#include <cwchar>

namespace vela {
namespace {

// What became of the document, as the spooler is to hear it.
struct Verdict {
    enum Kind { Printed, Deleted, Failed } kind = Printed;
    // Printed: the user is asked to remove the model.
    bool prompt = false;
    // Failed: why, in the queue's words.
    JobStatusFacts why;
};

Verdict FailedFor(JobPhase phase) {
    Verdict verdict;
    verdict.kind = Verdict::Failed;
    verdict.why.phase = phase;
    return verdict;
}

// The end that counts: an EndDocPort that ClosePort or Shutdown interrupted is
// their end, not the spooler's.
DocumentEnd EffectiveEnd(const PortDocument& document, DocumentEnd reason) {
    const DocumentEnd requested = document.EndRequested();
    return reason == DocumentEnd::EndDocPort && requested != DocumentEnd::None ? requested : reason;
}

JobPhase EarlyEndPhase(DocumentEnd reason) {
    switch (reason) {
    case DocumentEnd::PortClosed:
        return JobPhase::PortClosed;
    case DocumentEnd::Restarted:
        return JobPhase::Restarted;
    case DocumentEnd::Shutdown:
        return JobPhase::MonitorStopped;
    case DocumentEnd::None:
    case DocumentEnd::EndDocPort:
        break;
    }
    return JobPhase::None;
}

Verdict EndSerialDocument(PortEntry* entry, PortSession& session, DocumentEnd reason) {
    PortDocument& document = session.document;
    DocumentProgress progress;
    if (document.serialStarted && session.serial != nullptr) {
        SpoolerJobWatch watch(entry, document);
        progress = reason == DocumentEnd::EndDocPort ? session.serial->EndDocument(watch)
                                                     : session.serial->AbandonDocument(watch);
        document.serialStarted = false;
        document.status.Show(SerialDocumentFacts(progress));
    }
    LogFormatted(LogTo::DebugLog,
                 "3D Printer V26.4: EndDocPort on %ls, serial document %s, %llu lines%s\r\n",
                 entry->name, DescribeOutcome(progress).c_str(),
                 static_cast<unsigned long long>(progress.linesAcknowledged),
                 !progress.windowed        ? ""
                 : progress.windowFellBack ? " (streamed in a window, then one line at a time "
                                             "after ten resend requests in a row)"
                                           : " (streamed in a window)");
    const DocumentEnd effective = EffectiveEnd(document, reason);
    if (effective != DocumentEnd::EndDocPort) {
        return FailedFor(EarlyEndPhase(effective));
    }
    Verdict verdict;
    switch (progress.outcome) {
    case DocumentOutcome::Failed:
    case DocumentOutcome::Stopped:
        verdict.kind = Verdict::Failed;
        verdict.why = SerialDocumentFacts(progress);
        if (verdict.why.phase == JobPhase::None) {
            verdict.why.phase = JobPhase::PortClosed;
        }
        return verdict;
    case DocumentOutcome::Cancelled:
        if (progress.cancelledOnPrinter) {
            EndJobCancelledOnPrinter(entry, document);
        }
        verdict.kind = Verdict::Deleted;
        return verdict;
    case DocumentOutcome::Completed:
        // Every line that went was acknowledged, but not every line of the
        // document went: the print is not what was sent.
        if (progress.linesSkipped > 0) {
            return FailedFor(JobPhase::LinesSkipped);
        }
        break;
    case DocumentOutcome::None:
    case DocumentOutcome::Running:
        break;
    }
    // The test page never goes to the printer, and has no outcome.
    verdict.prompt = SerialDocumentReachedPrinter(progress, document.testPage);
    return verdict;
}

// Why a USB document's records did not all run on the printer; none when they did
// or when the job announced nothing.
JobPhase UsbFailure(const JobTransferState& transfer, const JobFlags& flags) {
    if (transfer.announcedCount < 1) {
        return JobPhase::None;
    }
    if (transfer.sentCount == transfer.announcedCount) {
        return flags.printStarted != 0 ? JobPhase::None : JobPhase::StartRefused;
    }
    if (flags.transferFailed != 0) {
        return JobPhase::LinkFailed;
    }
    return flags.sendingDisabled != 0 ? JobPhase::JobRefused : JobPhase::JobIncomplete;
}

Verdict EndUsbDocument(MonitorState& state, PortEntry* entry, PortSession& session,
                       DocumentEnd reason) {
    PortDocument& document = session.document;
    UsbTransport unnamed;
    PrinterDevice device(PortUsbLink(state, entry, unnamed), document.jobFlags);
    const bool started = document.jobFlags.printStarted != 0;
    bool cancelled = document.usbCancelled;
    // Only a print this document started is watched, and only to its own end.
    if (reason == DocumentEnd::EndDocPort && started && !cancelled) {
        cancelled = SupervisePrint(device, document);
    }
    const DocumentEnd effective = EffectiveEnd(document, reason);
    const bool early = effective != DocumentEnd::EndDocPort;
    const TransferOutcome outcome = SettleTransfer(document.transfer, document.jobFlags);
    if (started && (cancelled || early) && !document.usbAborted) {
        document.status.Show(JobPhase::Cancelling);
        Log(LogTo::DebugLog, "Beging cancel the print\r\n");
        device.AbortPrint();
        document.usbAborted = true;
    } else if (outcome == TransferOutcome::Reset && document.jobFlags.printerPrepared != 0) {
        // Prepared (heaters on) but not printing what it was given.
        if (document.transfer.sentCount == document.transfer.announcedCount) {
            Log(LogTo::DebugLog, "The print never started: resetting the printer\r\n");
        }
        device.ResetPrinter();
    }
    device.Link().CloseDevice();
    LogFormatted(LogTo::DebugLog, "3D Printer V26.4: EndDocPort, Totoal Send:%d, Max Cmd:%d\r\n",
                 document.transfer.sentCount, document.transfer.announcedCount);
    if (early) {
        return FailedFor(EarlyEndPhase(effective));
    }
    Verdict verdict;
    if (cancelled) {
        verdict.kind = Verdict::Deleted;
        return verdict;
    }
    const JobPhase failure = UsbFailure(document.transfer, document.jobFlags);
    if (failure != JobPhase::None) {
        return FailedFor(failure);
    }
    verdict.prompt = outcome == TransferOutcome::Complete;
    return verdict;
}

} // namespace

void ReleaseDocumentPrinter(PortDocument& document) {
    // The document thread looks at the job through the printer: not from here on.
    if (document.probe != nullptr) {
        document.probe->Detach();
        document.probe.reset();
    }
    document.endedOnPrinter = false;
    document.printer.Reset();
    document.printerName.Reset();
    // The next document's prompt can only name its own job.
    document.jobId = 0;
    document.testPage = false;
}

BOOL EndPortDocument(MonitorState& state, PortEntry* entry, PortSession& session,
                     DocumentEnd reason) {
    PortDocument& document = session.document;
    const Verdict verdict = document.serial ? EndSerialDocument(entry, session, reason)
                                            : EndUsbDocument(state, entry, session, reason);
    Spooler& spooler = *CurrentPlatform().spooler;
    if (verdict.kind == Verdict::Failed) {
        // Never reported as printed: kept in the queue (retained), in error with
        // the reason as its status, for the user to restart or delete.
        wchar_t reasonText[kJobStatusChars];
        FormatJobStatus(verdict.why, reasonText);
        LogFormatted(LogTo::DebugLog, "EndDocPort on %ls: the document failed: %ls\r\n",
                     entry->name, reasonText);
        document.status.Fail(reasonText);
        if (document.printer.Valid()) {
            spooler.SetJobW(document.printer.Get(), document.jobId, 0, nullptr, kJobControlRetain);
        }
        ReleaseDocumentPrinter(document);
        ::SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    // Printed, or deleted by the user (whose deletion completes once it is sent).
    if (document.printer.Valid()) {
        spooler.SetJobW(document.printer.Get(), document.jobId, 0, nullptr,
                        JOB_CONTROL_SENT_TO_PRINTER);
    }
    if (verdict.kind == Verdict::Printed && verdict.prompt) {
        document.status.Show(JobPhase::RemoveModel);
        PromptRemoveModel(state, document.printerName.Get(), document.jobId, kRemoveModelTitle,
                          kRemoveModelMessage);
    }
    document.status.End();
    ReleaseDocumentPrinter(document);
    return TRUE;
}

} // namespace vela
