// A USB device seam that hands every call on to another one: the base of the
// wrappers that watch, time or disturb the monitor's conversation with a printer
// by overriding only the calls they care about.
#pragma once

#include "platform/Platform.h"

namespace vela::test {

class ForwardingUsbDevice : public UsbDevice {
  public:
    explicit ForwardingUsbDevice(UsbDevice& device) : device_(device) {}

    HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                       LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                       HANDLE templateFile) override;
    BOOL CloseHandle(HANDLE handle) override;
    BOOL WinUsb_Initialize(HANDLE deviceHandle, PWINUSB_INTERFACE_HANDLE interfaceHandle) override;
    BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE interfaceHandle) override;
    BOOL WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                       ULONG informationType, PULONG bufferLength,
                                       PVOID buffer) override;
    BOOL WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                       UCHAR alternateSetting,
                                       PUSB_INTERFACE_DESCRIPTOR descriptor) override;
    BOOL WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR alternateSetting,
                          UCHAR pipeIndex, PWINUSB_PIPE_INFORMATION pipeInformation) override;
    BOOL WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                              ULONG policyType, ULONG valueLength, PVOID value) override;
    BOOL WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                         ULONG bufferLength, PULONG lengthTransferred,
                         LPOVERLAPPED overlapped) override;
    BOOL WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                          ULONG bufferLength, PULONG lengthTransferred,
                          LPOVERLAPPED overlapped) override;

  protected:
    UsbDevice& device_;
};

} // namespace vela::test
