#include "monitor/WritePort.h"

#include "usb/PrinterDevice.h"
#include "platform/DiagnosticLog.h"
#include "monitor/JobFraming.h"
#include "monitor/PortLink.h"
#include "monitor/PortSession.h"
#include "monitor/SerialDocumentLog.h"
#include "monitor/SpoolerJob.h"

namespace vela {
namespace {

void ShowTransfer(PortSession& session) {
    JobStatusFacts sending;
    sending.phase = JobPhase::Sending;
    sending.count = session.transfer.sentCount;
    sending.total = session.transfer.announcedCount;
    session.status.Show(sending);
}

// The records of one WritePort call go to the USB printer, and the call's log
// lines and the job's status go with them.
class PrinterRecordSink final : public JobRecordSink {
  public:
    PrinterRecordSink(PrinterDevice& device, PortSession& session)
        : device_(device), session_(session) {}

    int32_t SendCommands(const uint8_t* records, int32_t count) override {
        ShowTransfer(session_);
        return device_.SendCommands(records, count);
    }
    bool StartPrint() override {
        const bool started = device_.StartPrint();
        Log(LogTo::DebugLog, "Start print in write port\r\n");
        if (!started) {
            Log(LogTo::DebugLog, "The printer refused to start the print\r\n");
        }
        return started;
    }
    void PieceCounted(uint32_t records, uint32_t remainder) override {
        LogFormatted(LogTo::DebugLog, "WritePort Get %d CMD and %d Bytes(0 is OK)\r\n",
                     static_cast<int>(records), static_cast<int>(remainder));
    }
    void NothingAnnounced(int32_t announced) override {
        LogFormatted(LogTo::DebugLog,
                     "The job announces %d records: nothing is sent and no print is started\r\n",
                     static_cast<int>(announced));
    }

  private:
    PrinterDevice& device_;
    PortSession& session_;
};

// The document's cancellation for the printer device: the spooler job deleted or
// restarted, or Shutdown ending the document. Remembers that it said so.
class DocumentCancellation final : public JobCancellation {
  public:
    DocumentCancellation(const PortEntry& entry, const PortSession& session)
        : spooler_(entry.printerHandle, entry.jobId), session_(session) {}
    bool JobCancelled() override {
        cancelled_ = cancelled_ || session_.shutdownRequested != 0 || spooler_.JobCancelled();
        return cancelled_;
    }
    bool Cancelled() const { return cancelled_; }

  private:
    SpoolerJobCancellation spooler_;
    const PortSession& session_;
    bool cancelled_ = false;
};

// Nothing more of the document can reach the printer: it refused the document,
// the link failed, or the print would not start. A document that announces no
// records has nothing to deliver and does not fail here.
bool UsbDocumentFailed(const PortSession& session) {
    return session.jobFlags.sendingDisabled != 0 && session.transfer.announcedCount > 0;
}

} // namespace

BOOL WritePort(MonitorState& state, HANDLE port, LPBYTE bytes, DWORD count, LPDWORD written) {
    if (written == nullptr || bytes == nullptr) {
        if (written != nullptr) {
            *written = 0;
        }
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *written = 0;
    PortHandle* handle = HandleOf(port);
    if (handle == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Bytes belong to the handle's own document: with none started, or after a
    // failed StartDocPort, they go nowhere.
    if (!OwnsDocument(state, *handle)) {
        ::SetLastError(handle->startFailed ? ERROR_NOT_READY : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PortEntry* entry = handle->entry;
    PortSession* session = SessionOf(state, entry);
    if (session == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const PortCall call(state, *session);

    if (session->serialDocument) {
        // G-code only: never framed as records. The spooler's test page is not
        // meant for a serial printer.
        if (!session->serialStarted) {
            *written = count;
            return TRUE;
        }
        SpoolerJobWatch watch(entry, session->status);
        const DWORD result = session->serial->Write(bytes, count, written, watch);
        if (result != 0) {
            const DocumentProgress progress = session->serial->Progress();
            session->status.Show(SerialDocumentFacts(progress));
            WriteSerialWriteFailure(entry, result, progress);
            ::SetLastError(result);
            return FALSE;
        }
        return TRUE;
    }

    if (UsbDocumentFailed(*session)) {
        ::SetLastError(session->usbCancelled ? ERROR_PRINT_CANCELLED : ERROR_NOT_READY);
        return FALSE;
    }
    UsbTransport unnamed;
    PrinterDevice device(PortUsbLink(state, entry, unnamed), session->jobFlags);
    DocumentCancellation cancellation(*entry, *session);
    device.WatchForCancellation(&cancellation);
    PrinterRecordSink sink(device, *session);
    FrameJobPiece(session->transfer, session->jobFlags, bytes, count, sink);
    if (session->transfer.sentCount > 0) {
        ShowTransfer(*session);
    }
    // One connection per call: the next call opens the printer again.
    device.Link().CloseDevice();
    session->usbCancelled = session->usbCancelled || cancellation.Cancelled();
    if (UsbDocumentFailed(*session)) {
        ::SetLastError(session->usbCancelled ? ERROR_PRINT_CANCELLED : ERROR_NOT_READY);
        return FALSE;
    }
    *written = count;
    return TRUE;
}

} // namespace vela
