#include "monitor/EndDoc.h"

#include "VelaLib2/PrinterDevice.h"
#include "monitor/DebugLog.h"
#include "monitor/JobStream.h"
#include "monitor/Memory.h"
#include "monitor/PortSession.h"
#include "monitor/RemoveModelPrompt.h"
#include "monitor/SerialDocumentLog.h"
#include "monitor/SpoolerJob.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"


namespace vela {
namespace {

constexpr int32_t kStatusPrinting = 2;

// One poll's reading of the printer: status, and the head position when idle.
void PollPrinter(PrinterDevice& device, bool& running) {
    WriteLog("V26.4 Print is Runing,    ");
    CurrentPlatform().clock->Sleep(kSupervisionPollMs);
    running = device.IsRunning();
    int32_t status = 0;
    device.ReadParameter(parameter::kPrinterStatus, &status);
    device.Link().CloseDevice();
    WriteLogFormatted("Printer status: %d \r\n", status);
    if (status == kStatusPrinting) {
        return;
    }
    device.ReadStatus();
    device.WriteParameter(parameter::kParameter148, 999);
    const double* scales = device.Info().axisScales;
    const double x = static_cast<double>(device.ReadAxisPosition(0)) / scales[0];
    const double y = static_cast<double>(device.ReadAxisPosition(1)) / scales[1];
    const double z = -static_cast<double>(device.ReadAxisPosition(2)) / scales[2];
    device.WriteParameter(parameter::kParameter148, 0);
    device.Link().CloseDevice();
    WriteLogFormatted("Printer status: %d;  Pos:(X%.2f Y%.2f Z%.2f) scale: %.2f %.2f %.2f\r\n",
                      status, x, y, z, scales[0], scales[1], scales[2]);
}

void LogLocalTime() {
    SYSTEMTIME now{};
    CurrentPlatform().clock->GetLocalTime(&now);
    WriteLogFormatted("%02u:%02u:%02u", static_cast<unsigned>(now.wHour) % 100u,
                      static_cast<unsigned>(now.wMinute) % 100u,
                      static_cast<unsigned>(now.wSecond) % 100u);
}

bool DocumentInProgress(MonitorState& state, const PortEntry* entry) {
    if (entry == nullptr) {
        return false;
    }
    CriticalSectionLock guard(state.m_Lock);
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
        CriticalSectionLock guard(state.m_Lock);
        entry->flags &= ~kPortDocumentInProgress;
    }
    if (prompt) {
        PromptRemoveModel(state, entry, kRemoveModelTitle, kRemoveModelMessage);
    }
    if (entry->printerHandle != nullptr) {
        CurrentPlatform().spooler->ClosePrinter(entry->printerHandle);
        entry->printerHandle = nullptr;
    }
    FreeString(entry->printerName);
    entry->printerName = nullptr;
}

// A serial document: supervised until the firmware has acknowledged every line
// and finished its moves, or the document is cancelled or fails.
BOOL EndSerialDocument(MonitorState& state, PortEntry* entry, PortSession& session) {
    DocumentProgress progress;
    if (session.serialStarted && session.serial != nullptr) {
        SpoolerJobWatch watch(entry);
        progress = session.serial->EndDocument(watch);
        session.serialStarted = false;
    } else {
        progress.outcome = DocumentOutcome::Completed;
    }
    WriteLogFormatted("3D Printer V26.4: EndDocPort on %ls, serial document %s, %llu lines\r\n",
                      entry->name, DescribeOutcome(progress).c_str(),
                      static_cast<unsigned long long>(progress.linesAcknowledged));
    if (!DocumentInProgress(state, entry)) {
        return TRUE;
    }
    // The test page never reached the printer: nothing to remove.
    const bool printed = progress.outcome == DocumentOutcome::Completed && !session.testPage &&
                         progress.linesAcknowledged > 0;
    SettleDocument(state, entry, session, printed);
    return TRUE;
}

} // namespace

BOOL EndDocPort(MonitorState& state, HANDLE port) {
    auto* entry = static_cast<PortEntry*>(port);
    PortSession* session = SessionOf(state, entry);
    if (session != nullptr && session->serialDocument) {
        LogLocalTime();
        WriteLog("   End Doc port\r\n");
        return EndSerialDocument(state, entry, *session);
    }
    JobFlags noDocument;
    PrinterDevice device(session != nullptr ? session->jobFlags : noDocument);
    LogLocalTime();
    WriteLog("   End Doc port\r\n");

    bool running = true;
    bool cancelled = false;
    while (running) {
        PollPrinter(device, running);
        const JobCheck check = CheckSpoolerJob(entry != nullptr ? entry->printerHandle : nullptr,
                                               entry != nullptr ? entry->jobId : 0);
        if (check == JobCheck::OutOfMemory) {
            break;
        }
        if (check == JobCheck::Cancelled) {
            cancelled = true;
            break;
        }
    }
    if (cancelled) {
        WriteLog("Beging cancel the print\r\n");
        device.AbortPrint();
        device.Link().CloseDevice();
    }

    if (session == nullptr || !DocumentInProgress(state, entry)) {
        return TRUE;
    }

    const JobTransferState& transfer = session->transfer;
    int completion = 0;
    if (transfer.sentCount == transfer.announcedCount) {
        completion = transfer.sentCount >= 1 ? 0 : 2;
    } else if (session->jobFlags.sendingDisabled != 0 && session->jobFlags.transferFailed == 0) {
        // The printer refused the records: it is left as it chose to be.
        completion = 2;
    } else {
        device.ResetPrinter();
        completion = 1;
    }
    device.Link().CloseDevice();
    WriteLogFormatted("3D Printer V26.4: EndDocPort, Totoal Send:%d, Max Cmd:%d\r\n",
                      transfer.sentCount, transfer.announcedCount);
    SettleDocument(state, entry, *session, completion == 0 && !cancelled);
    return TRUE;
}

} // namespace vela
