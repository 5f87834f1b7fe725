#include "monitor/JobStream.h"

#include "VelaLib2/PrinterDevice.h"
#include "monitor/DebugLog.h"
#include "monitor/JobFraming.h"
#include "monitor/PortLink.h"
#include "monitor/SpoolerJob.h"
#include "ports/PortList.h"
#include "protocol/ProtocolHandler.h"

namespace vela {
namespace {

JobTransferState jobTransferState;

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

// The serial printer's share of the bytes: the protocol handler streams them
// from the line queue as text lines.
bool AppendToLineQueue(MonitorState& state, const BYTE* bytes, DWORD count) {
    return state.m_LineQueue.AppendBytes(bytes, count) == S_OK;
}

} // namespace

JobTransferState& TheJobTransferState() {
    return jobTransferState;
}

BOOL WritePort(MonitorState& state, HANDLE port, LPBYTE bytes, DWORD count, LPDWORD written) {
    if (written == nullptr || bytes == nullptr) {
        if (written != nullptr) {
            *written = 0;
        }
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    // Only a handler with a serial device drains the queue; a USB job's bytes would
    // pile up there and reach the next serial printer as G-code. The spooler's
    // test page is not meant for a serial printer.
    const bool forLineQueue = state.m_TestPage == 0 && ProtocolHandlerHasSerialDevice();
    BOOL result = TRUE;
    *written = count;
    if (forLineQueue && !AppendToLineQueue(state, bytes, count)) {
        result = FALSE;
        *written = 0;
    }

    // Framing and transmission run whatever became of the line queue's share.
    auto* entry = static_cast<PortEntry*>(port);
    UsbTransport unnamed;
    PrinterDevice device(PortUsbLink(state, entry, unnamed));
    SpoolerJobCancellation cancellation(entry != nullptr ? entry->printerHandle : nullptr,
                                        entry != nullptr ? entry->jobId : 0);
    device.WatchForCancellation(&cancellation);
    PrinterRecordSink sink(device);
    FrameJobPiece(TheJobTransferState(), TheJobFlags(), bytes, count, sink);
    // One connection per call: the next call opens the printer again.
    device.Link().CloseDevice();
    return result;
}

} // namespace vela
