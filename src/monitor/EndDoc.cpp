#include "monitor/EndDoc.h"

#include "usb/PrinterDevice.h"
#include "platform/DiagnosticLog.h"
#include "monitor/WritePort.h"
#include "core/Memory.h"
#include "monitor/PortLink.h"
#include "monitor/PortSession.h"
#include "monitor/RemoveModelPrompt.h"
#include "monitor/SerialDocumentLog.h"
#include "monitor/SpoolerJob.h"
#include "monitor/TransferOutcome.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"

#include <utility>

namespace vela {
namespace {

// Polls whose machine-state read fails, in a row, before supervision ends: one
// time-out or another program holding the device does not end it.
constexpr int kFailedPollsToEnd = 3;

// One poll's reading of the printer: status, and the head position when idle.
// An unanswered poll counts as running until kFailedPollsToEnd in a row.
PrinterStatus PollPrinter(PrinterDevice& device, int& failedPolls, bool& running) {
    Log(LogTo::DebugLog, "V26.4 Print is Runing,    ");
    CurrentPlatform().clock->Sleep(kSupervisionPollMs);
    const RunState runState = device.ReadRunState();
    failedPolls = runState == RunState::Unanswered ? failedPolls + 1 : 0;
    running = runState == RunState::Running ||
              (runState == RunState::Unanswered && failedPolls < kFailedPollsToEnd);
    const PrinterStatus status = device.ReadPrinterStatus();
    device.Link().CloseDevice();
    LogFormatted(LogTo::DebugLog, "Printer status: %d \r\n", static_cast<int>(status));
    if (failedPolls >= kFailedPollsToEnd) {
        LogFormatted(LogTo::DebugLog, "The printer did not answer %d polls in a row\r\n",
                     failedPolls);
    }
    if (status == PrinterStatus::Printing) {
        return status;
    }
    device.ReadStatus();
    device.WriteParameter(parameter::kParameter148, 999);
    const PrinterInfo& info = device.Info();
    const double x = AxisCoordinate(info, kAxisX, device.ReadAxisPosition(kAxisX));
    const double y = AxisCoordinate(info, kAxisY, device.ReadAxisPosition(kAxisY));
    const double z = AxisCoordinate(info, kAxisZ, device.ReadAxisPosition(kAxisZ));
    const double* scales = info.axisScales;
    device.WriteParameter(parameter::kParameter148, 0);
    device.Link().CloseDevice();
    LogFormatted(LogTo::DebugLog,
                 "Printer status: %d;  Pos:(X%.2f Y%.2f Z%.2f) scale: %.2f %.2f %.2f\r\n",
                 static_cast<int>(status), x, y, z, scales[0], scales[1], scales[2]);
    return status;
}

void LogLocalTime() {
    SYSTEMTIME now{};
    CurrentPlatform().clock->GetLocalTime(&now);
    LogFormatted(LogTo::DebugLog, "%02u:%02u:%02u", static_cast<unsigned>(now.wHour) % 100u,
                 static_cast<unsigned>(now.wMinute) % 100u,
                 static_cast<unsigned>(now.wSecond) % 100u);
}

// The document is over: the handle no longer owns it and the printer it opened
// through the spooler is closed.
void EndOwnership(MonitorState& state, PortEntry* entry, PortSession& session) {
    session.testPage = false;
    ReleaseDocumentPrinter(entry);
    CriticalSectionLock guard(state.lock);
    entry->flags &= ~kPortDocumentInProgress;
    session.documentOwner = nullptr;
}

// Settles the spooler's side of a document that reached its printer, or whose
// job was deleted: the job is marked sent, the prompt shown for a print that ran
// to its end, and the printer closed.
BOOL SettleDocument(MonitorState& state, PortEntry* entry, PortSession& session, bool prompt) {
    CurrentPlatform().spooler->SetJobW(entry->printerHandle, entry->jobId, 0, nullptr,
                                       JOB_CONTROL_SENT_TO_PRINTER);
    if (prompt) {
        session.status.Show(JobPhase::RemoveModel);
        PromptRemoveModel(state, entry, kRemoveModelTitle, kRemoveModelMessage);
    }
    EndOwnership(state, entry, session);
    return TRUE;
}

// A document that did not reach its printer is never reported as printed: the job
// is not marked sent but kept in the queue (retained), in error with the reason as
// its status, for the user to restart or delete. EndDocPort fails.
BOOL FailDocument(MonitorState& state, PortEntry* entry, PortSession& session,
                  const wchar_t* reason) {
    LogFormatted(LogTo::DebugLog, "EndDocPort on %ls: the document failed: %ls\r\n", entry->name,
                 reason);
    session.status.Fail(reason);
    CurrentPlatform().spooler->SetJobW(entry->printerHandle, entry->jobId, 0, nullptr,
                                       kJobControlRetain);
    EndOwnership(state, entry, session);
    ::SetLastError(ERROR_NOT_READY);
    return FALSE;
}

// Words for the queue on why a serial document failed.
void SerialFailureReason(const DocumentProgress& progress, wchar_t (&text)[kJobStatusChars]) {
    FormatJobStatus(SerialDocumentFacts(progress), text);
    if (text[0] == L'\0') {
        JobStatusFacts closed;
        closed.phase = JobPhase::PortClosed;
        FormatJobStatus(closed, text);
    }
}

// A serial document: supervised until the firmware has acknowledged every line
// and finished its moves, or the document is cancelled or fails.
BOOL EndSerialDocument(MonitorState& state, PortEntry* entry, PortSession& session) {
    DocumentProgress progress;
    if (session.serialStarted && session.serial != nullptr) {
        SpoolerJobWatch watch(entry, session.status);
        progress = session.serial->EndDocument(watch);
        session.serialStarted = false;
        session.status.Show(SerialDocumentFacts(progress));
    }
    LogFormatted(LogTo::DebugLog,
                 "3D Printer V26.4: EndDocPort on %ls, serial document %s, %llu lines%s\r\n",
                 entry->name, DescribeOutcome(progress).c_str(),
                 static_cast<unsigned long long>(progress.linesAcknowledged),
                 !progress.windowed        ? ""
                 : progress.windowFellBack ? " (streamed in a window, then one line at a time "
                                             "after ten resend requests in a row)"
                                           : " (streamed in a window)");
    // The test page is never handed to the handler: it has no outcome, and no failure.
    if (progress.outcome == DocumentOutcome::Failed ||
        progress.outcome == DocumentOutcome::Stopped) {
        wchar_t reason[kJobStatusChars];
        SerialFailureReason(progress, reason);
        return FailDocument(state, entry, session, reason);
    }
    return SettleDocument(state, entry, session,
                          SerialDocumentReachedPrinter(progress, session.testPage));
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

// Supervises a started print until the printer leaves its running state; true when
// the job was deleted (or Shutdown ended it) meanwhile.
bool SupervisePrint(PrinterDevice& device, PortEntry* entry, PortSession& session) {
    bool running = true;
    int failedPolls = 0;
    while (running) {
        const PrinterStatus status = PollPrinter(device, failedPolls, running);
        JobStatusFacts poll;
        poll.phase = failedPolls > 0 ? JobPhase::NotResponding : JobPhase::Printing;
        poll.printerStatus = status;
        session.status.Show(poll);
        const JobCheck check = session.shutdownRequested != 0
                                   ? JobCheck::Cancelled
                                   : CheckSpoolerJob(entry->printerHandle, entry->jobId);
        if (check == JobCheck::OutOfMemory) {
            return false;
        }
        if (check == JobCheck::Cancelled) {
            return true;
        }
    }
    return false;
}

} // namespace

BOOL EndDocPort(MonitorState& state, HANDLE port) {
    PortHandle* handle = HandleOf(port);
    LogLocalTime();
    Log(LogTo::DebugLog, "   End Doc port\r\n");
    if (handle == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Nothing of this handle's to end: no printer is polled, aborted or reset.
    if (!OwnsDocument(state, *handle)) {
        const bool startFailed = std::exchange(handle->startFailed, false);
        ::SetLastError(startFailed ? ERROR_NOT_READY : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PortEntry* entry = handle->entry;
    PortSession& session = *SessionOf(state, entry);
    const PortCall call(state, session);
    if (session.serialDocument) {
        return EndSerialDocument(state, entry, session);
    }
    UsbTransport unnamed;
    PrinterDevice device(PortUsbLink(state, entry, unnamed), session.jobFlags);

    // Only a print this document started is watched, and aborted when its job goes.
    bool cancelled = session.usbCancelled;
    if (session.jobFlags.printStarted != 0 && !cancelled) {
        cancelled = SupervisePrint(device, entry, session);
        if (cancelled) {
            session.status.Show(JobPhase::Cancelling);
            Log(LogTo::DebugLog, "Beging cancel the print\r\n");
            device.AbortPrint();
            device.Link().CloseDevice();
        }
    }

    const JobTransferState& transfer = session.transfer;
    const TransferOutcome outcome = SettleTransfer(transfer, session.jobFlags);
    if (outcome == TransferOutcome::Reset) {
        if (transfer.sentCount == transfer.announcedCount) {
            Log(LogTo::DebugLog, "The print never started: resetting the printer\r\n");
        }
        device.ResetPrinter();
    }
    device.Link().CloseDevice();
    LogFormatted(LogTo::DebugLog, "3D Printer V26.4: EndDocPort, Totoal Send:%d, Max Cmd:%d\r\n",
                 transfer.sentCount, transfer.announcedCount);

    const JobPhase failure = UsbFailure(transfer, session.jobFlags);
    if (!cancelled && failure != JobPhase::None) {
        wchar_t reason[kJobStatusChars];
        JobStatusFacts facts;
        facts.phase = failure;
        FormatJobStatus(facts, reason);
        return FailDocument(state, entry, session, reason);
    }
    return SettleDocument(state, entry, session,
                          outcome == TransferOutcome::Complete && !cancelled);
}

} // namespace vela
