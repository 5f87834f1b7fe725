#include "monitor/JobStream.h"

#include "VelaLib2/PrinterDevice.h"
#include "monitor/DebugLog.h"
#include "monitor/JobFraming.h"
#include "monitor/PortLink.h"
#include "monitor/PortSession.h"
#include "monitor/SerialDocumentLog.h"
#include "monitor/SpoolerJob.h"

namespace vela {
namespace {

// The records of one WritePort call go to the USB printer, and the call's log
// lines go with them.
class PrinterRecordSink final : public JobRecordSink {
  public:
    explicit PrinterRecordSink(PrinterDevice& device) : device_(device) {}

    int32_t SendCommands(const uint8_t* records, int32_t count) override {
        return device_.SendCommands(records, count);
    }
    bool StartPrint() override {
        const bool started = device_.StartPrint();
        WriteLog("Start print in write port\r\n");
        if (!started) {
            WriteLog("The printer refused to start the print\r\n");
        }
        return started;
    }
    void PieceCounted(uint32_t records, uint32_t remainder) override {
        WriteLogFormatted("WritePort Get %d CMD and %d Bytes(0 is OK)\r\n",
                          static_cast<int>(records), static_cast<int>(remainder));
    }

  private:
    PrinterDevice& device_;
};

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
    auto* entry = static_cast<PortEntry*>(port);
    PortSession* session = SessionOf(state, entry);
    if (session == nullptr) {
        ::SetLastError(entry == nullptr ? ERROR_INVALID_HANDLE : ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }

    if (session->serialDocument) {
        // G-code only: never framed as records. The spooler's test page is not
        // meant for a serial printer.
        if (!session->serialStarted) {
            *written = count;
            return TRUE;
        }
        SpoolerJobWatch watch(entry);
        const DWORD result = session->serial->Write(bytes, count, written, watch);
        if (result != 0) {
            WriteSerialWriteFailure(entry, result, session->serial->Progress());
            ::SetLastError(result);
            return FALSE;
        }
        return TRUE;
    }

    *written = count;
    UsbTransport unnamed;
    PrinterDevice device(PortUsbLink(state, entry, unnamed), session->jobFlags);
    SpoolerJobCancellation cancellation(entry->printerHandle, entry->jobId);
    device.WatchForCancellation(&cancellation);
    PrinterRecordSink sink(device);
    FrameJobPiece(session->transfer, session->jobFlags, bytes, count, sink);
    // One connection per call: the next call opens the printer again.
    device.Link().CloseDevice();
    return TRUE;
}

} // namespace vela
