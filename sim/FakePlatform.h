// Test doubles for the platform seams that the foundation uses, and a platform
// that combines them with the Win32 implementation of every other seam.
#pragma once

#include "platform/Platform.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vela::test {

class FakeNotifications : public DeviceNotifications {
  public:
    CONFIGRET CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID context,
                                       PCM_NOTIFY_CALLBACK callback,
                                       PHCMNOTIFICATION notifyContext) override;
    CONFIGRET CM_Unregister_Notification(HCMNOTIFICATION notifyContext) override;

    // Calls the registered callback as the configuration manager would; nothing
    // without a registration.
    DWORD Notify(CM_NOTIFY_ACTION action);

    CONFIGRET registerResult = CR_SUCCESS;
    bool yieldNoHandle = false;
    int registerCalls = 0;
    int unregisterCalls = 0;
    CM_NOTIFY_FILTER lastFilter{};
    PVOID context = nullptr;
    PCM_NOTIFY_CALLBACK callback = nullptr;
    HCMNOTIFICATION handed = nullptr;
    // Runs inside CM_Unregister_Notification, where the real one waits for a
    // callback that is running.
    std::function<void()> onUnregister;
};

class FakeSpoolerHelpers : public SpoolerHelpers {
  public:
    HANDLE RevertToPrinterSelf() override;
    BOOL ImpersonatePrinterClient(HANDLE token) override;

    HANDLE token = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x70C));
    int reverts = 0;
    int impersonations = 0;
};

// Devices of the "3DPrinter" enumerator, each with a "PortName" or none.
class FakeDeviceSetup : public DeviceSetup {
  public:
    struct Device {
        bool hasPortName;
        std::wstring portName;
        // The registry type "PortName" is stored with.
        DWORD type = REG_SZ;
    };

    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                  DWORD flags) override;
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex,
                               PSP_DEVINFO_DATA deviceInfo) override;
    HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD scope,
                              DWORD hwProfile, DWORD keyType, REGSAM access) override;
    LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) override;
    LSTATUS RegCloseKey(HKEY key) override;
    // The devices have no interfaces.
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                     const GUID* interfaceClassGuid, DWORD memberIndex,
                                     PSP_DEVICE_INTERFACE_DATA interfaceData) override;
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                          DWORD detailSize, PDWORD requiredSize,
                                          PSP_DEVINFO_DATA deviceInfo) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;

    std::vector<Device> devices;
    bool failGetClassDevs = false;
    std::wstring lastEnumerator;
    DWORD lastFlags = 0;
    int openKeys = 0;
    int destroyCalls = 0;
    int queriedDevices = 0;
};

// Time that passes only when the monitor sleeps or a test advances it. A wait with
// a time-out returns when one of its objects is signalled, or once the clock has
// reached its end; with autoAdvance, a wait that nothing ends within a few real
// milliseconds moves the clock to its end at once (for a silent peer).
// A wait's time-out counts from the time its thread last saw (read, slept to or
// woke at), as if no time passed between the look and the wait: a thread that
// works out what is left of a limit and then waits for it ends its wait at the
// limit, however the clock moved in between.
class FakeClock : public Clock {
  public:
    FakeClock();

    void Sleep(DWORD milliseconds) override;
    void GetLocalTime(LPSYSTEMTIME time) override;
    ULONGLONG GetTickCount64() override;
    DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                 DWORD milliseconds) override;

    void Advance(DWORD milliseconds) { now += milliseconds; }
    // Waits (real time) until a thread has entered a wait with this time-out at
    // least count times: then the thread has read the clock before its wait.
    bool WaitForWaitsOf(DWORD timeout, int count, DWORD realMilliseconds);
    // The waits with this time-out entered so far.
    int WaitsOf(DWORD timeout);

    std::atomic<ULONGLONG> now{0};
    std::atomic<bool> autoAdvance{false};
    // Called by the waiting thread once its wait is counted (tests of the clock).
    std::function<void()> onWaitCounted;
    // Sleeps are recorded by the thread that runs the job path only.
    std::vector<DWORD> sleeps;
    SYSTEMTIME localTime{2026, 12, 1, 7, 14, 5, 9, 0};

  private:
    ULONGLONG Seen() const;
    void See(ULONGLONG time);

    // Tells this clock's time from an earlier clock's at the same address.
    const uint64_t id_;
    std::mutex waitsLock_;
    std::condition_variable waitEntered_;
    std::map<DWORD, int> waitsEntered_;
};

// Module references counted, none taken for real: the handles are the real
// modules', and a thread that drops its reference as it ends just ends.
class FakeModuleReferences : public ModuleReferences {
  public:
    BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) override;
    BOOL FreeLibrary(HMODULE module) override;
    void FreeLibraryAndExitThread(HMODULE module, DWORD exitCode) override;

    // The next references asked for are refused with this error (0: granted).
    std::atomic<DWORD> refuseWith{0};
    std::atomic<int> taken{0};
    std::atomic<int> dropped{0};
    // Of those dropped, by a thread as it ended.
    std::atomic<int> droppedOnExit{0};
};

// Win32 for every seam, unless a test replaces it.
Platform MakeTestPlatform();

} // namespace vela::test
