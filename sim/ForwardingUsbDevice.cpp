#include "sim/ForwardingUsbDevice.h"

namespace vela::test {

HANDLE ForwardingUsbDevice::CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                                        LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                                        HANDLE templateFile) {
    return device_.CreateFileW(fileName, access, shareMode, security, creation, flags,
                               templateFile);
}
BOOL ForwardingUsbDevice::CloseHandle(HANDLE handle) {
    return device_.CloseHandle(handle);
}
BOOL ForwardingUsbDevice::WinUsb_Initialize(HANDLE deviceHandle,
                                            PWINUSB_INTERFACE_HANDLE interfaceHandle) {
    return device_.WinUsb_Initialize(deviceHandle, interfaceHandle);
}
BOOL ForwardingUsbDevice::WinUsb_Free(WINUSB_INTERFACE_HANDLE interfaceHandle) {
    return device_.WinUsb_Free(interfaceHandle);
}
BOOL ForwardingUsbDevice::WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                                        ULONG informationType, PULONG bufferLength,
                                                        PVOID buffer) {
    return device_.WinUsb_QueryDeviceInformation(interfaceHandle, informationType, bufferLength,
                                                 buffer);
}
BOOL ForwardingUsbDevice::WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                                        UCHAR alternateSetting,
                                                        PUSB_INTERFACE_DESCRIPTOR descriptor) {
    return device_.WinUsb_QueryInterfaceSettings(interfaceHandle, alternateSetting, descriptor);
}
BOOL ForwardingUsbDevice::WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                           UCHAR alternateSetting, UCHAR pipeIndex,
                                           PWINUSB_PIPE_INFORMATION pipeInformation) {
    return device_.WinUsb_QueryPipe(interfaceHandle, alternateSetting, pipeIndex, pipeInformation);
}
BOOL ForwardingUsbDevice::WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                               UCHAR pipeId, ULONG policyType, ULONG valueLength,
                                               PVOID value) {
    return device_.WinUsb_SetPipePolicy(interfaceHandle, pipeId, policyType, valueLength, value);
}

BOOL ForwardingUsbDevice::WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                          PUCHAR buffer, ULONG bufferLength,
                                          PULONG lengthTransferred, LPOVERLAPPED overlapped) {
    return device_.WinUsb_ReadPipe(interfaceHandle, pipeId, buffer, bufferLength, lengthTransferred,
                                   overlapped);
}
BOOL ForwardingUsbDevice::WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                           PUCHAR buffer, ULONG bufferLength,
                                           PULONG lengthTransferred, LPOVERLAPPED overlapped) {
    return device_.WinUsb_WritePipe(interfaceHandle, pipeId, buffer, bufferLength,
                                    lengthTransferred, overlapped);
}

} // namespace vela::test
