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

bool DocumentInProgress(MonitorState& state, const PortEntry* entry) {
    if (entry == nullptr) {
        return false;
    }
    CriticalSectionLock guard(state.lock);
    return (entry->flags & kPortDocumentInProgress) != 0;
}

// Settles the spooler's side of an ended document: the job is marked sent, the
// document flag cleared, the prompt shown for a print that ran to its end, and
// the printer closed.
void SettleDocument(MonitorState& state, PortEntry* entry, PortSession& session, bool prompt) {
    CurrentPlatform().spooler->SetJobW(entry->printerHandle, entry->jobId, 0, nullptr,
                                       JOB_CONTROL_SENT_TO_PRINTER);
    session.testPage = false;
    {
        CriticalSectionLock guard(state.lock);
        entry->flags &= ~kPortDocumentInProgress;
    }
    if (prompt) {
        session.status.Show(JobPhase::RemoveModel);
        PromptRemoveModel(state, entry, kRemoveModelTitle, kRemoveModelMessage);
    }
    ReleaseDocumentPrinter(entry);
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
    if (!DocumentInProgress(state, entry)) {
        return TRUE;
    }
    SettleDocument(state, entry, session, SerialDocumentReachedPrinter(progress, session.testPage));
    return TRUE;
}

} // namespace

BOOL EndDocPort(MonitorState& state, HANDLE port) {
    auto* entry = static_cast<PortEntry*>(port);
    PortSession* session = SessionOf(state, entry);
    LogLocalTime();
    Log(LogTo::DebugLog, "   End Doc port\r\n");
    if (session != nullptr && session->serialDocument) {
        return EndSerialDocument(state, entry, *session);
    }
    UsbTransport unnamed;
    JobFlags noDocument;
    PrinterDevice device(PortUsbLink(state, entry, unnamed),
                         session != nullptr ? session->jobFlags : noDocument);

    bool running = true;
    bool cancelled = false;
    int failedPolls = 0;
    while (running) {
        const PrinterStatus status = PollPrinter(device, failedPolls, running);
        if (session != nullptr) {
            JobStatusFacts poll;
            poll.phase = failedPolls > 0 ? JobPhase::NotResponding : JobPhase::Printing;
            poll.printerStatus = status;
            session->status.Show(poll);
        }
        const JobCheck check = entry != nullptr
                                   ? CheckSpoolerJob(entry->printerHandle, entry->jobId)
                                   : CheckSpoolerJob(nullptr, 0);
        if (check == JobCheck::OutOfMemory) {
            break;
        }
        if (check == JobCheck::Cancelled) {
            cancelled = true;
            if (session != nullptr) {
                session->status.Show(JobPhase::Cancelling);
            }
            break;
        }
    }
    if (cancelled) {
        Log(LogTo::DebugLog, "Beging cancel the print\r\n");
        device.AbortPrint();
        device.Link().CloseDevice();
    }

    if (session == nullptr || !DocumentInProgress(state, entry)) {
        return TRUE;
    }

    const JobTransferState& transfer = session->transfer;
    const TransferOutcome outcome = SettleTransfer(transfer, session->jobFlags);
    if (outcome == TransferOutcome::Reset) {
        if (transfer.sentCount == transfer.announcedCount) {
            Log(LogTo::DebugLog, "The print never started: resetting the printer\r\n");
        }
        device.ResetPrinter();
    }
    device.Link().CloseDevice();
    LogFormatted(LogTo::DebugLog, "3D Printer V26.4: EndDocPort, Totoal Send:%d, Max Cmd:%d\r\n",
                 transfer.sentCount, transfer.announcedCount);

    SettleDocument(state, entry, *session, outcome == TransferOutcome::Complete && !cancelled);
    return TRUE;
}

} // namespace vela
