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

void ShowTransfer(PortDocument& document) {
    JobStatusFacts sending;
    sending.phase = JobPhase::Sending;
    sending.count = document.transfer.sentCount;
    sending.total = document.transfer.announcedCount;
    document.status.Show(sending);
}

// The records of one WritePort call go to the USB printer, and the call's log
// lines and the job's status go with them.
class PrinterRecordSink final : public JobRecordSink {
  public:
    PrinterRecordSink(PrinterDevice& device, PortDocument& document)
        : device_(device), document_(document) {}

    int32_t SendCommands(const uint8_t* records, int32_t count) override {
        ShowTransfer(document_);
        return device_.SendCommands(records, count);
    }
    bool StartPrint() override {
        // A document asked to end is not started, whatever it sent.
        if (document_.EndRequested() != DocumentEnd::None) {
            return false;
        }
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
    PortDocument& document_;
};

// The document's cancellation for the printer device: the spooler job deleted or
// restarted, or ClosePort or Shutdown ending the document. Remembers that it said so.
class DocumentCancellation final : public JobCancellation {
  public:
    explicit DocumentCancellation(const PortDocument& document)
        : spooler_(document.printer.Get(), document.jobId), document_(document) {}
    bool JobCancelled() override {
        cancelled_ = cancelled_ || StopRequested() || spooler_.JobCancelled();
        return cancelled_;
    }
    bool StopRequested() override {
        cancelled_ = cancelled_ || document_.EndRequested() != DocumentEnd::None;
        return cancelled_;
    }
    bool Cancelled() const { return cancelled_; }

  private:
    SpoolerJobCancellation spooler_;
    const PortDocument& document_;
    bool cancelled_ = false;
};

// Nothing more of the document can reach the printer: it refused the document,
// the link failed, or the print would not start. A document that announces no
// records has nothing to deliver and does not fail here.
bool UsbDocumentFailed(const PortDocument& document) {
    return document.jobFlags.sendingDisabled != 0 && document.transfer.announcedCount > 0;
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
    PortHandle* handle = nullptr;
    PortSession* session = SessionForCall(state, port, &handle);
    if (session == nullptr) {
        return FALSE;
    }
    PortEntry* entry = handle->entry;
    PortDocument& document = session->document;
    // Bytes belong to the handle's own document: with none started, after a
    // failed StartDocPort, or once the document ended early, they go nowhere.
    if (!document.EnterCall(handle)) {
        const bool failed = handle->startFailed || document.OwnedBy(handle);
        ::SetLastError(failed ? ERROR_NOT_READY : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DocumentTurn turn(document);

    if (document.serial) {
        // G-code only: never framed as records. The spooler's test page is not
        // meant for a serial printer.
        if (!document.serialStarted) {
            *written = count;
            return TRUE;
        }
        SpoolerJobWatch watch(entry, document);
        const DWORD result = session->serial->Write(bytes, count, written, watch);
        if (result != 0) {
            const DocumentProgress progress = session->serial->Progress();
            document.status.Show(SerialDocumentFacts(progress));
            WriteSerialWriteFailure(entry, result, progress);
            if (progress.cancelledOnPrinter) {
                EndJobCancelledOnPrinter(entry, document);
            }
            ::SetLastError(result);
            return FALSE;
        }
        return TRUE;
    }

    if (UsbDocumentFailed(document)) {
        ::SetLastError(document.usbCancelled ? ERROR_PRINT_CANCELLED : ERROR_NOT_READY);
        return FALSE;
    }
    UsbTransport unnamed;
    PrinterDevice device(PortUsbLink(state, entry, unnamed), document.jobFlags);
    DocumentCancellation cancellation(document);
    device.WatchForCancellation(&cancellation);
    PrinterRecordSink sink(device, document);
    FrameJobPiece(document.transfer, document.jobFlags, bytes, count, sink);
    if (document.transfer.sentCount > 0) {
        ShowTransfer(document);
    }
    // One connection per call: the next call opens the printer again.
    device.Link().CloseDevice();
    document.usbCancelled = document.usbCancelled || cancellation.Cancelled();
    if (UsbDocumentFailed(document)) {
        ::SetLastError(document.usbCancelled ? ERROR_PRINT_CANCELLED : ERROR_NOT_READY);
        return FALSE;
    }
    *written = count;
    return TRUE;
}

} // namespace vela
