// Record transmission with the printer's flow control, and the fixed request
// sequences that prepare, start, abort and reset a print.
#include "usb/PrinterDevice.h"

#include "platform/Platform.h"

namespace vela {
namespace {

constexpr DWORD kStartSettleMs = 2000;
constexpr DWORD kAbortSettleMs = 500;

// Statuses in which the printer cannot take records: errors, stopped, finished,
// or not prepared for this job. Anything else (printing, pausing, saving, and
// codes this monitor does not know) lets the transmission go on.
bool StatusRefusesRecords(PrinterStatus status) {
    switch (status) {
    case PrinterStatus::PrinterSystemError:
    case PrinterStatus::PreparedForPrinting:
    case PrinterStatus::NozzleError:
    case PrinterStatus::MoveError:
    case PrinterStatus::FinishPrinting:
    case PrinterStatus::StoppedByUser:
    case PrinterStatus::NozzleTooHot:
    case PrinterStatus::NozzleTooCool:
    case PrinterStatus::PlatformTooHot:
    case PrinterStatus::SdCardError:
    case PrinterStatus::SdWriteError:
    case PrinterStatus::SdReadError:
        return true;
    case PrinterStatus::Printing:
    case PrinterStatus::PrinterPause:
    case PrinterStatus::DipError:
    case PrinterStatus::SweepError:
    case PrinterStatus::ScanError:
    case PrinterStatus::ScanCalibrationError:
    case PrinterStatus::SystemPowerOn:
    case PrinterStatus::SaveDataToSd:
    case PrinterStatus::JogCommandError:
        return false;
    }
    // Of the values without a name, the firmware's -1 refuses too.
    return static_cast<int32_t>(status) == -1;
}

} // namespace

int32_t PrinterDevice::StopTransfer(bool linkFailed) {
    jobFlags_.sendingDisabled = 1;
    if (linkFailed) {
        jobFlags_.transferFailed = 1;
    }
    return 0;
}

bool PrinterDevice::AppendRecords(const uint8_t* records, int32_t count) {
    if (count < 1) {
        return false;
    }
    const uint32_t length = BuildRecordPacket(requestBuffer_, sizeof(requestBuffer_), records,
                                              static_cast<uint32_t>(count));
    if (length == 0) {
        return false;
    }
    // A record packet gets no reply, and the printer reports no count of the
    // records it has taken: after a write WinUSB failed, nothing tells whether
    // they arrived. Written again they could print twice, left out the print
    // would miss them, so the transfer ends here and the document fails.
    return link_.WriteRecordPacket(requestBuffer_, length) == PacketWrite::Written;
}

bool PrinterDevice::WaitForRoom(int32_t& waits) {
    ++waits;
    if (cancellation_ != nullptr && waits % kNoRoomWaitsPerCancelCheck == 0 &&
        cancellation_->JobCancelled()) {
        return true;
    }
    CurrentPlatform().clock->Sleep(kNoRoomWaitMs);
    return false;
}

int32_t PrinterDevice::SendCommands(const uint8_t* records, int32_t count) {
    if (jobFlags_.sendingDisabled != 0) {
        return 0;
    }
    if (!PreparePrinter()) {
        jobFlags_.sendingDisabled = 1;
        return 0;
    }
    if (count <= 0) {
        return 0;
    }
    int32_t next = 0;
    int32_t waits = 0;
    while (next < count) {
        if (cancellation_ != nullptr && cancellation_->StopRequested()) {
            // Records are missing from a prepared printer: it is reset at the end.
            return StopTransfer(true);
        }
        int32_t freeRecords = 0;
        if (!QueryFreeCapacity(&freeRecords)) {
            return StopTransfer(true);
        }
        int32_t status = 0;
        const bool statusRead = ReadParameter(parameter::kPrinterStatus, &status);
        if (StatusRefusesRecords(static_cast<PrinterStatus>(status))) {
            return StopTransfer(!statusRead);
        }
        // A pausing printer may have no room for a long time: the user can
        // still cancel the document meanwhile.
        if (freeRecords <= 0) {
            if (WaitForRoom(waits)) {
                AbortPrint();
                return StopTransfer(false);
            }
            continue;
        }
        // Batches of up to three, never more records than the printer has room for.
        int32_t batchStart = next;
        while (freeRecords > 0 && next < count) {
            ++next;
            --freeRecords;
            if (next - batchStart == static_cast<int32_t>(kRecordsPerGroup)) {
                // A record packet that did not reach the printer, even after the
                // transport's reconnect, ends the transfer: the records are missing.
                if (!AppendRecords(records + static_cast<size_t>(batchStart) * kPrintCommandSize,
                                   next - batchStart)) {
                    return StopTransfer(true);
                }
                batchStart = next;
            }
        }
        if (next > batchStart &&
            !AppendRecords(records + static_cast<size_t>(batchStart) * kPrintCommandSize,
                           next - batchStart)) {
            return StopTransfer(true);
        }
    }
    return count;
}

bool PrinterDevice::PreparePrinter() {
    if (jobFlags_.printerPrepared != 0) {
        return true;
    }
    // Set before the first exchange: a failed preparation is not tried again.
    jobFlags_.printerPrepared = 1;
    int32_t status = 0;
    if (!ReadParameter(parameter::kPrinterStatus, &status)) {
        jobFlags_.transferFailed = 1;
    }
    if (static_cast<PrinterStatus>(status) != PrinterStatus::PreparedForPrinting) {
        jobFlags_.sendingDisabled = 1;
        return false;
    }
    SendClear();
    WriteParameter(parameter::kLayer, 0);
    WriteFloatParameter(parameter::kHeight, 0.0f);
    SendLine(9, 1);
    SetPrinterStatus(PrinterStatus::SaveDataToSd);
    int32_t loaded = 0;
    if (!ExchangeForValue(DigitRequest(request::kLoad, 2), &loaded)) {
        // The printer may already be half prepared: it is reset at the end.
        jobFlags_.transferFailed = 1;
        return false;
    }
    if (loaded == 0) {
        return false;
    }
    WriteParameter(parameter::kNozzle1Heating, 1);
    WriteParameter(parameter::kPlatformHeating, 1);
    WriteParameter(parameter::kParameter142, 15);
    return true;
}

bool PrinterDevice::StartPrint() {
    if (SendLoad(5) == 0) {
        return false;
    }
    uint8_t startRecord[kPrintCommandSize] = {};
    startRecord[0] = 1;
    // Written once, and the start goes no further unless it surely arrived: a
    // second start record could start the program twice, and a print whose start
    // is in doubt is not reported as printed.
    const uint32_t length =
        BuildRecordPacket(requestBuffer_, sizeof(requestBuffer_), startRecord, 1);
    if (link_.WriteRecordPacket(requestBuffer_, length) != PacketWrite::Written) {
        return false;
    }
    CurrentPlatform().clock->Sleep(kStartSettleMs);
    SendClear();
    SendLine(9, 0);
    SendExecute();
    return true;
}

bool PrinterDevice::AbortPrint() {
    for (int32_t motor = 0; motor < 4; ++motor) {
        StopMotor(motor);
    }
    StopAll();
    SetPrinterStatus(PrinterStatus::PreparedForPrinting);
    WriteParameter(parameter::kPlatformHeating, 0);
    WriteParameter(parameter::kNozzle1Heating, 0);
    int32_t unused = 0;
    ReadParameter(parameter::kParameter142, &unused);
    WriteParameter(parameter::kParameter142, -1);
    CurrentPlatform().clock->Sleep(kAbortSettleMs);
    Jog(kAxisZ, 10.0f, 40.0f);
    WriteParameter(parameter::kPrintingFlag, 0);
    return true;
}

bool PrinterDevice::ResetPrinter() {
    SendClear();
    WriteParameter(parameter::kLayer, 0);
    WriteFloatParameter(parameter::kHeight, 0.0f);
    SetPrinterStatus(PrinterStatus::PreparedForPrinting);
    for (int32_t motor = 0; motor < 4; ++motor) {
        StopMotor(motor);
    }
    StopAll();
    WriteParameter(parameter::kParameter142, -1);
    // The preparation switched the heaters on; nothing prints now to need them.
    WriteParameter(parameter::kPlatformHeating, 0);
    WriteParameter(parameter::kNozzle1Heating, 0);
    return true;
}

} // namespace vela
