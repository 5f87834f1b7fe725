// The seams through which the monitor reaches platform services that cannot be
// exercised for real in tests: device notifications, spooler helpers and calls,
// device setup, the printer's USB device and the clock. Each seam mirrors the
// platform functions it stands for: same names, arguments and results.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

class DeviceNotifications {
  public:
    virtual ~DeviceNotifications() = default;
    virtual CONFIGRET CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID context,
                                               PCM_NOTIFY_CALLBACK callback,
                                               PHCMNOTIFICATION notifyContext) = 0;
    virtual CONFIGRET CM_Unregister_Notification(HCMNOTIFICATION notifyContext) = 0;
};

class SpoolerHelpers {
  public:
    virtual ~SpoolerHelpers() = default;
    virtual HANDLE RevertToPrinterSelf() = 0;
    virtual BOOL ImpersonatePrinterClient(HANDLE token) = 0;
};

// Device setup as the printer scan uses it: the "3DPrinter" enumeration, each
// device's "PortName" value and its device interfaces.
class DeviceSetup {
  public:
    virtual ~DeviceSetup() = default;
    virtual HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                          DWORD flags) = 0;
    virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex,
                                       PSP_DEVINFO_DATA deviceInfo) = 0;
    virtual HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD scope,
                                      DWORD hwProfile, DWORD keyType, REGSAM access) = 0;
    virtual LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                     LPBYTE data, LPDWORD dataSize) = 0;
    virtual LSTATUS RegCloseKey(HKEY key) = 0;
    virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                             const GUID* interfaceClassGuid, DWORD memberIndex,
                                             PSP_DEVICE_INTERFACE_DATA interfaceData) = 0;
    virtual BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set,
                                                  PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                  DWORD detailSize, PDWORD requiredSize,
                                                  PSP_DEVINFO_DATA deviceInfo) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) = 0;
};

// The printer's USB device: opening its interface and WinUSB on it.
class UsbDevice {
  public:
    virtual ~UsbDevice() = default;
    virtual HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                               LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                               HANDLE templateFile) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual BOOL WinUsb_Initialize(HANDLE deviceHandle,
                                   PWINUSB_INTERFACE_HANDLE interfaceHandle) = 0;
    virtual BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE interfaceHandle) = 0;
    virtual BOOL WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                               ULONG informationType, PULONG bufferLength,
                                               PVOID buffer) = 0;
    virtual BOOL WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                               UCHAR alternateSetting,
                                               PUSB_INTERFACE_DESCRIPTOR descriptor) = 0;
    virtual BOOL WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR alternateSetting,
                                  UCHAR pipeIndex, PWINUSB_PIPE_INFORMATION pipeInformation) = 0;
    virtual BOOL WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                      ULONG policyType, ULONG valueLength, PVOID value) = 0;
    virtual BOOL WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                 PUCHAR buffer, ULONG bufferLength, PULONG lengthTransferred,
                                 LPOVERLAPPED overlapped) = 0;
    virtual BOOL WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                  PUCHAR buffer, ULONG bufferLength, PULONG lengthTransferred,
                                  LPOVERLAPPED overlapped) = 0;
};

// The spooler's printer, job and port calls, and the libraries the remove-model
// prompt resolves at run time.
class Spooler {
  public:
    virtual ~Spooler() = default;
    virtual BOOL OpenPrinterW(LPWSTR printerName, LPHANDLE printer,
                              LPPRINTER_DEFAULTSW defaults) = 0;
    virtual BOOL ClosePrinter(HANDLE printer) = 0;
    virtual BOOL GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD size,
                         LPDWORD needed) = 0;
    virtual BOOL SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) = 0;
    virtual BOOL EnumPortsW(LPWSTR serverName, DWORD level, LPBYTE ports, DWORD size,
                            LPDWORD needed, LPDWORD returned) = 0;
    virtual HMODULE LoadLibraryW(LPCWSTR fileName) = 0;
    virtual FARPROC GetProcAddress(HMODULE module, LPCSTR procName) = 0;
    virtual BOOL FreeLibrary(HMODULE module) = 0;
};

// Time: the fixed waits of the job path, the time-outs of the serial line and the
// local time of day in the log. Every wait with a time-out that the monitor makes
// goes through here, so that tests decide when time passes.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual void Sleep(DWORD milliseconds) = 0;
    virtual void GetLocalTime(LPSYSTEMTIME time) = 0;
    virtual ULONGLONG GetTickCount64() = 0;
    virtual DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                         DWORD milliseconds) = 0;
};

// The default comm configuration of a comm device, kept by the platform.
class CommConfig {
  public:
    virtual ~CommConfig() = default;
    virtual BOOL GetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, LPDWORD size) = 0;
    virtual BOOL SetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, DWORD size) = 0;
};

// Serial devices are opened and set up here: Wine does not refuse a second open
// of a serial device, so tests stand in for one that another program holds, and
// for a device that never takes a byte.
class SerialDevices {
  public:
    virtual ~SerialDevices() = default;
    virtual HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                               LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                               HANDLE templateFile) = 0;
    virtual BOOL GetCommState(HANDLE device, LPDCB dcb) = 0;
    virtual BOOL SetCommState(HANDLE device, LPDCB dcb) = 0;
    virtual BOOL GetCommTimeouts(HANDLE device, LPCOMMTIMEOUTS timeouts) = 0;
    virtual BOOL SetCommTimeouts(HANDLE device, LPCOMMTIMEOUTS timeouts) = 0;
    virtual BOOL PurgeComm(HANDLE device, DWORD flags) = 0;
};

// The system's own serial calls, for seams that stand in for only some of them.
class SystemSerialDevices : public SerialDevices {
  public:
    HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                       LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                       HANDLE templateFile) override {
        return ::CreateFileW(fileName, access, shareMode, security, creation, flags, templateFile);
    }
    BOOL GetCommState(HANDLE device, LPDCB dcb) override { return ::GetCommState(device, dcb); }
    BOOL SetCommState(HANDLE device, LPDCB dcb) override { return ::SetCommState(device, dcb); }
    BOOL GetCommTimeouts(HANDLE device, LPCOMMTIMEOUTS timeouts) override {
        return ::GetCommTimeouts(device, timeouts);
    }
    BOOL SetCommTimeouts(HANDLE device, LPCOMMTIMEOUTS timeouts) override {
        return ::SetCommTimeouts(device, timeouts);
    }
    BOOL PurgeComm(HANDLE device, DWORD flags) override { return ::PurgeComm(device, flags); }
};

// References on a module, which keep its code mapped while a thread of its own
// still runs in it.
class ModuleReferences {
  public:
    virtual ~ModuleReferences() = default;
    virtual BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) = 0;
    virtual BOOL FreeLibrary(HMODULE module) = 0;
    // Drops a reference and ends the calling thread; never returns. The code that
    // calls it may be unmapped by the drop.
    virtual void FreeLibraryAndExitThread(HMODULE module, DWORD exitCode) = 0;
};

// The one object through which the monitor reaches the platform. DllMain installs
// the Win32 implementation at process attach; tests install doubles.
struct Platform {
    DeviceNotifications* notifications;
    SpoolerHelpers* spoolerHelpers;
    DeviceSetup* deviceSetup;
    UsbDevice* usb;
    Spooler* spooler;
    Clock* clock;
    CommConfig* commConfig;
    SerialDevices* serialDevices;
    ModuleReferences* modules;
};

// The Win32 implementation of every seam.
const Platform& Win32Platform();

// The platform in use; the Win32 one until another is installed.
const Platform& CurrentPlatform();
void InstallPlatform(const Platform& platform);

} // namespace vela
