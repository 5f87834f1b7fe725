#include "ModelledUsbLink.h"

namespace vela::bench {

ModelledUsbLink::ModelledUsbLink(UsbDevice& printer, test::FakeClock& clock,
                                 uint32_t transferMicros, uint32_t reconnectMicros)
    : ForwardingUsbDevice(printer), clock_(clock), costPerTransfer_(transferMicros),
      costPerConnection_(reconnectMicros) {}

uint64_t ModelledUsbLink::NowMicros() const {
    return clock_.now * 1000u + carry_;
}

void ModelledUsbLink::Spend(uint32_t micros) {
    carry_ += micros;
    clock_.now += carry_ / 1000u;
    carry_ %= 1000u;
}

HANDLE ModelledUsbLink::CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                                    LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                                    HANDLE templateFile) {
    // Opening the device stands for the whole set-up: device search, open, WinUSB
    // initialisation and the pipe queries.
    const HANDLE device =
        device_.CreateFileW(fileName, access, shareMode, security, creation, flags, templateFile);
    if (device != INVALID_HANDLE_VALUE && device != nullptr) {
        ++connections;
        connectionMicros += costPerConnection_;
        Spend(costPerConnection_);
    }
    return device;
}

BOOL ModelledUsbLink::WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                      PUCHAR buffer, ULONG bufferLength, PULONG lengthTransferred,
                                      LPOVERLAPPED overlapped) {
    ++transfers;
    transferMicros += costPerTransfer_;
    Spend(costPerTransfer_);
    return device_.WinUsb_ReadPipe(interfaceHandle, pipeId, buffer, bufferLength, lengthTransferred,
                                   overlapped);
}

BOOL ModelledUsbLink::WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                       PUCHAR buffer, ULONG bufferLength, PULONG lengthTransferred,
                                       LPOVERLAPPED overlapped) {
    ++transfers;
    transferMicros += costPerTransfer_;
    Spend(costPerTransfer_);
    return device_.WinUsb_WritePipe(interfaceHandle, pipeId, buffer, bufferLength,
                                    lengthTransferred, overlapped);
}

} // namespace vela::bench
