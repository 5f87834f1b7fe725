#include "PrinterTap.h"

#include "usb/PrinterDevice.h"
#include "usb/PrinterPackets.h"

namespace vela::host {

void ApplyExchange(const uint8_t* request, uint32_t requestLength, const uint8_t* reply,
                   uint32_t replyLength, const double scales[3], PollReading& reading) {
    if (request == nullptr || reply == nullptr || requestLength < 2 || replyLength == 0) {
        return;
    }
    if (request[0] == request::kReadParameter) {
        if (replyLength < 4) {
            return;
        }
        const int32_t value = OverlayLittleEndian(0, reply, 4);
        if (request[1] == parameter::kMachineState) {
            reading.haveMachineState = true;
            reading.machineState = value;
        } else if (request[1] == parameter::kPrinterStatus) {
            reading.haveStatus = true;
            reading.status = value;
        }
    } else if (request[0] == request::kPosition) {
        const int axis = request[1] - '0';
        if (axis < 0 || axis > 2 || replyLength < 8) {
            return;
        }
        const double steps = static_cast<double>(PositionFromReply(reply, replyLength));
        const double scale = scales[axis];
        const double millimetres = scale != 0.0 ? steps / scale : 0.0;
        reading.position[axis] = axis == 2 ? -millimetres : millimetres;
        // The head is known once all three axes were read.
        reading.havePosition = axis == 2;
    }
}

PrinterTap::PrinterTap(UsbDevice& printer, const double scales[3]) : ForwardingUsbDevice(printer) {
    for (int axis = 0; axis < 3; ++axis) {
        scales_[axis] = scales[axis];
    }
}

void PrinterTap::BeginPoll() {
    reading_ = PollReading{};
    watching_ = true;
}

PollReading PrinterTap::EndPoll() {
    watching_ = false;
    return reading_;
}

BOOL PrinterTap::WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                 PUCHAR buffer, ULONG bufferLength, PULONG lengthTransferred,
                                 LPOVERLAPPED overlapped) {
    const BOOL read = device_.WinUsb_ReadPipe(interfaceHandle, pipeId, buffer, bufferLength,
                                              lengthTransferred, overlapped);
    if (read && watching_ && !lastRequest_.empty() && lengthTransferred != nullptr) {
        ApplyExchange(lastRequest_.data(), static_cast<uint32_t>(lastRequest_.size()), buffer,
                      *lengthTransferred, scales_, reading_);
    }
    return read;
}

BOOL PrinterTap::WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                  PUCHAR buffer, ULONG bufferLength, PULONG lengthTransferred,
                                  LPOVERLAPPED overlapped) {
    // Only the short requests of a poll matter; record packets are not kept.
    if (watching_ && buffer != nullptr && bufferLength <= 16) {
        lastRequest_.assign(buffer, buffer + bufferLength);
    } else {
        lastRequest_.clear();
    }
    return device_.WinUsb_WritePipe(interfaceHandle, pipeId, buffer, bufferLength,
                                    lengthTransferred, overlapped);
}

} // namespace vela::host
