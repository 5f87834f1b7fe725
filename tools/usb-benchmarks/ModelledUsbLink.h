// A USB link with a price: every bulk transfer and every connection set-up costs a
// fixed time on the simulated printer's virtual clock, so that how the monitor uses
// the link can be measured in modelled time.
#pragma once

#include "sim/FakePlatform.h"
#include "sim/ForwardingUsbDevice.h"

#include <cstdint>

namespace vela::bench {

class ModelledUsbLink final : public test::ForwardingUsbDevice {
  public:
    ModelledUsbLink(UsbDevice& printer, test::FakeClock& clock, uint32_t transferMicros,
                    uint32_t reconnectMicros);

    // Modelled time since the clock's start, in microseconds: what the link cost and
    // whatever else the clock was advanced by (waits, pipe time-outs).
    uint64_t NowMicros() const;

    uint64_t transfers = 0;
    uint64_t connections = 0;
    uint64_t transferMicros = 0;
    uint64_t connectionMicros = 0;

    HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                       LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                       HANDLE templateFile) override;
    BOOL WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                         ULONG bufferLength, PULONG lengthTransferred,
                         LPOVERLAPPED overlapped) override;
    BOOL WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                          ULONG bufferLength, PULONG lengthTransferred,
                          LPOVERLAPPED overlapped) override;

  private:
    void Spend(uint32_t micros);

    test::FakeClock& clock_;
    uint32_t costPerTransfer_;
    uint32_t costPerConnection_;
    // Microseconds not yet a whole millisecond of the clock.
    uint32_t carry_ = 0;
};

} // namespace vela::bench
