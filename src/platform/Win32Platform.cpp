// Thin Win32 implementations of the platform seams.
#include "platform/Platform.h"

#include "platform/RuntimeFunction.h"

namespace vela {
namespace {

class Win32DeviceNotifications final : public DeviceNotifications {
  public:
    // Resolved at run time: older systems (and Wine) have no such export, and a
    // missing import would keep the spooler from loading the monitor at all.
    CONFIGRET CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID context,
                                       PCM_NOTIFY_CALLBACK callback,
                                       PHCMNOTIFICATION notifyContext) override {
        using Fn =
            CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK, PHCMNOTIFICATION);
        auto fn = ResolveRuntimeFunction<Fn>(L"cfgmgr32.dll", "CM_Register_Notification");
        if (fn == nullptr) {
            return CR_CALL_NOT_IMPLEMENTED;
        }
        return fn(filter, context, callback, notifyContext);
    }
    CONFIGRET CM_Unregister_Notification(HCMNOTIFICATION notifyContext) override {
        using Fn = CONFIGRET(WINAPI*)(HCMNOTIFICATION);
        auto fn = ResolveRuntimeFunction<Fn>(L"cfgmgr32.dll", "CM_Unregister_Notification");
        if (fn == nullptr) {
            return CR_CALL_NOT_IMPLEMENTED;
        }
        return fn(notifyContext);
    }
};

class Win32SpoolerHelpers final : public SpoolerHelpers {
  public:
    HANDLE RevertToPrinterSelf() override { return ::RevertToPrinterSelf(); }
    BOOL ImpersonatePrinterClient(HANDLE token) override {
        return ::ImpersonatePrinterClient(token);
    }
};

class Win32DeviceSetup final : public DeviceSetup {
  public:
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                  DWORD flags) override {
        return ::SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
    }
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex,
                               PSP_DEVINFO_DATA deviceInfo) override {
        return ::SetupDiEnumDeviceInfo(set, memberIndex, deviceInfo);
    }
    HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD scope,
                              DWORD hwProfile, DWORD keyType, REGSAM access) override {
        return ::SetupDiOpenDevRegKey(set, deviceInfo, scope, hwProfile, keyType, access);
    }
    LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) override {
        return ::RegQueryValueExW(key, valueName, reserved, type, data, dataSize);
    }
    LSTATUS RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                     const GUID* interfaceClassGuid, DWORD memberIndex,
                                     PSP_DEVICE_INTERFACE_DATA interfaceData) override {
        return ::SetupDiEnumDeviceInterfaces(set, deviceInfo, interfaceClassGuid, memberIndex,
                                             interfaceData);
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                          DWORD detailSize, PDWORD requiredSize,
                                          PSP_DEVINFO_DATA deviceInfo) override {
        return ::SetupDiGetDeviceInterfaceDetailW(set, interfaceData, detail, detailSize,
                                                  requiredSize, deviceInfo);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override {
        return ::SetupDiDestroyDeviceInfoList(set);
    }
};

class Win32UsbDevice final : public UsbDevice {
  public:
    HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                       LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                       HANDLE templateFile) override {
        return ::CreateFileW(fileName, access, shareMode, security, creation, flags, templateFile);
    }
    BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
    BOOL WinUsb_Initialize(HANDLE deviceHandle, PWINUSB_INTERFACE_HANDLE interfaceHandle) override {
        return ::WinUsb_Initialize(deviceHandle, interfaceHandle);
    }
    BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE interfaceHandle) override {
        return ::WinUsb_Free(interfaceHandle);
    }
    BOOL WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                       ULONG informationType, PULONG bufferLength,
                                       PVOID buffer) override {
        return ::WinUsb_QueryDeviceInformation(interfaceHandle, informationType, bufferLength,
                                               buffer);
    }
    BOOL WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                       UCHAR alternateSetting,
                                       PUSB_INTERFACE_DESCRIPTOR descriptor) override {
        return ::WinUsb_QueryInterfaceSettings(interfaceHandle, alternateSetting, descriptor);
    }
    BOOL WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR alternateSetting,
                          UCHAR pipeIndex, PWINUSB_PIPE_INFORMATION pipeInformation) override {
        return ::WinUsb_QueryPipe(interfaceHandle, alternateSetting, pipeIndex, pipeInformation);
    }
    BOOL WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                              ULONG policyType, ULONG valueLength, PVOID value) override {
        return ::WinUsb_SetPipePolicy(interfaceHandle, pipeId, policyType, valueLength, value);
    }
    BOOL WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                         ULONG bufferLength, PULONG lengthTransferred,
                         LPOVERLAPPED overlapped) override {
        return ::WinUsb_ReadPipe(interfaceHandle, pipeId, buffer, bufferLength, lengthTransferred,
                                 overlapped);
    }
    BOOL WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                          ULONG bufferLength, PULONG lengthTransferred,
                          LPOVERLAPPED overlapped) override {
        return ::WinUsb_WritePipe(interfaceHandle, pipeId, buffer, bufferLength, lengthTransferred,
                                  overlapped);
    }
};

class Win32Spooler final : public Spooler {
  public:
    BOOL OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) override {
        return ::OpenPrinterW(printerName, printer, defaults);
    }
    BOOL ClosePrinter(HANDLE printer) override { return ::ClosePrinter(printer); }
    BOOL GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD size,
                 LPDWORD needed) override {
        return ::GetJobW(printer, jobId, level, job, size, needed);
    }
    BOOL SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) override {
        return ::SetJobW(printer, jobId, level, job, command);
    }
    BOOL EnumPortsW(LPWSTR serverName, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                    LPDWORD returned) override {
        return ::EnumPortsW(serverName, level, ports, size, needed, returned);
    }
    HMODULE LoadLibraryW(LPCWSTR fileName) override { return ::LoadLibraryW(fileName); }
    FARPROC GetProcAddress(HMODULE module, LPCSTR procName) override {
        return ::GetProcAddress(module, procName);
    }
    BOOL FreeLibrary(HMODULE module) override { return ::FreeLibrary(module); }
};

class Win32Clock final : public Clock {
  public:
    void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
    void GetLocalTime(LPSYSTEMTIME time) override { ::GetLocalTime(time); }
    ULONGLONG GetTickCount64() override { return ::GetTickCount64(); }
    DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                 DWORD milliseconds) override {
        return ::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
    }
};

class Win32CommConfig final : public CommConfig {
  public:
    BOOL GetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, LPDWORD size) override {
        return ::GetDefaultCommConfigW(name, config, size);
    }
    BOOL SetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, DWORD size) override {
        return ::SetDefaultCommConfigW(name, config, size);
    }
};

class Win32SerialDevices final : public SystemSerialDevices {};

class Win32ModuleReferences final : public ModuleReferences {
  public:
    BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) override {
        return ::GetModuleHandleExW(flags, moduleName, module);
    }
    BOOL FreeLibrary(HMODULE module) override { return ::FreeLibrary(module); }
    void FreeLibraryAndExitThread(HMODULE module, DWORD exitCode) override {
        ::FreeLibraryAndExitThread(module, exitCode);
    }
};

Platform MakeWin32Platform() {
    static Win32DeviceNotifications notifications;
    static Win32SpoolerHelpers spoolerHelpers;
    static Win32DeviceSetup deviceSetup;
    static Win32UsbDevice usb;
    static Win32Spooler spooler;
    static Win32Clock clock;
    static Win32CommConfig commConfig;
    static Win32SerialDevices serialDevices;
    static Win32ModuleReferences modules;
    return Platform{&notifications, &spoolerHelpers, &deviceSetup,   &usb,    &spooler,
                    &clock,         &commConfig,     &serialDevices, &modules};
}

} // namespace

const Platform& Win32Platform() {
    static const Platform platform = MakeWin32Platform();
    return platform;
}
} // namespace vela
