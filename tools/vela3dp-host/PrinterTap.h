// Watches the conversation between the monitor and the printer on the USB seam,
// without changing it, and picks out what a supervision poll read: the machine
// state, the printer status and the head position.
#pragma once

#include "ProgressDisplay.h"
#include "sim/ForwardingUsbDevice.h"

#include <cstdint>
#include <vector>

namespace vela::host {

// Takes one request and its reply into the reading: parameter 0 is the machine
// state, parameter 16 the printer status, and a position request for axis 0, 1 or
// 2 gives that axis in motor steps, divided by its scale (Z counts the other way
// round, as the monitor shows it). Other exchanges leave the reading as it is.
void ApplyExchange(const uint8_t* request, uint32_t requestLength, const uint8_t* reply,
                   uint32_t replyLength, const double scales[3], PollReading& reading);

class PrinterTap final : public test::ForwardingUsbDevice {
  public:
    // scales: motor steps per millimetre of X, Y and Z, as the printer reports them.
    PrinterTap(UsbDevice& printer, const double scales[3]);

    // Readings are collected between these two calls.
    void BeginPoll();
    PollReading EndPoll();
    bool Watching() const { return watching_; }

    BOOL WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                         ULONG bufferLength, PULONG lengthTransferred,
                         LPOVERLAPPED overlapped) override;
    BOOL WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                          ULONG bufferLength, PULONG lengthTransferred,
                          LPOVERLAPPED overlapped) override;

  private:
    double scales_[3];
    bool watching_ = false;
    PollReading reading_;
    std::vector<uint8_t> lastRequest_;
};

} // namespace vela::host
