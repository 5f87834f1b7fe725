// Watches the conversation between the monitor and the printer on the USB seam,
// without changing it, and picks out what a supervision poll read: the machine
// state, the printer status and the head position.
#pragma once

#include "ProgressDisplay.h"
#include "platform/Platform.h"

#include <cstdint>
#include <vector>

namespace vela::host {

// Takes one request and its reply into the reading: parameter 0 is the machine
// state, parameter 16 the printer status, and a position request for axis 0, 1 or
// 2 gives that axis in motor steps, divided by its scale (Z counts the other way
// round, as the monitor shows it). Other exchanges leave the reading as it is.
void ApplyExchange(const uint8_t* request, uint32_t requestLength, const uint8_t* reply,
                   uint32_t replyLength, const double scales[3], PollReading& reading);

class PrinterTap final : public UsbDevice {
  public:
    // scales: motor steps per millimetre of X, Y and Z, as the printer reports them.
    PrinterTap(UsbDevice& printer, const double scales[3]);

    // Readings are collected between these two calls.
    void BeginPoll();
    PollReading EndPoll();
    bool Watching() const { return watching_; }

    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                  DWORD flags) override;
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex,
                               PSP_DEVINFO_DATA deviceInfo) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                     const GUID* interfaceClassGuid, DWORD memberIndex,
                                     PSP_DEVICE_INTERFACE_DATA interfaceData) override;
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                          DWORD detailSize, PDWORD requiredSize,
                                          PSP_DEVINFO_DATA deviceInfo) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;
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

  private:
    UsbDevice& printer_;
    double scales_[3];
    bool watching_ = false;
    PollReading reading_;
    std::vector<uint8_t> lastRequest_;
};

} // namespace vela::host
