#include "sim/FakePlatform.h"

#include <chrono>
#include <cstring>

namespace vela::test {
namespace {

HDEVINFO FakeSetHandle() {
    return reinterpret_cast<HDEVINFO>(static_cast<ULONG_PTR>(0xD5E7));
}

} // namespace

CONFIGRET FakeNotifications::CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID ctx,
                                                      PCM_NOTIFY_CALLBACK cb,
                                                      PHCMNOTIFICATION notifyContext) {
    ++registerCalls;
    lastFilter = *filter;
    context = ctx;
    callback = cb;
    if (registerResult != CR_SUCCESS || yieldNoHandle) {
        *notifyContext = nullptr;
        return registerResult;
    }
    handed = reinterpret_cast<HCMNOTIFICATION>(static_cast<ULONG_PTR>(0xC0DE));
    *notifyContext = handed;
    return CR_SUCCESS;
}

CONFIGRET FakeNotifications::CM_Unregister_Notification(HCMNOTIFICATION) {
    ++unregisterCalls;
    if (onUnregister) {
        onUnregister();
    }
    return CR_SUCCESS;
}

DWORD FakeNotifications::Notify(CM_NOTIFY_ACTION action) {
    if (callback == nullptr) {
        return ERROR_SUCCESS;
    }
    CM_NOTIFY_EVENT_DATA data{};
    data.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    return callback(handed, context, action, &data, sizeof(data));
}

HANDLE FakeSpoolerHelpers::RevertToPrinterSelf() {
    ++reverts;
    return token;
}

BOOL FakeSpoolerHelpers::ImpersonatePrinterClient(HANDLE) {
    ++impersonations;
    return TRUE;
}

HDEVINFO FakeDeviceSetup::SetupDiGetClassDevsW(const GUID*, PCWSTR enumerator, HWND, DWORD flags) {
    lastEnumerator = enumerator != nullptr ? enumerator : L"";
    lastFlags = flags;
    if (failGetClassDevs) {
        return INVALID_HANDLE_VALUE;
    }
    return FakeSetHandle();
}

BOOL FakeDeviceSetup::SetupDiEnumDeviceInfo(HDEVINFO, DWORD memberIndex,
                                            PSP_DEVINFO_DATA deviceInfo) {
    if (memberIndex >= devices.size()) {
        ::SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    deviceInfo->DevInst = memberIndex;
    return TRUE;
}

HKEY FakeDeviceSetup::SetupDiOpenDevRegKey(HDEVINFO, PSP_DEVINFO_DATA deviceInfo, DWORD, DWORD,
                                           DWORD, REGSAM) {
    ++openKeys;
    // The key stands for the device: its index plus one.
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(deviceInfo->DevInst + 1));
}

LSTATUS FakeDeviceSetup::RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type,
                                          LPBYTE data, LPDWORD dataSize) {
    ++queriedDevices;
    const size_t index = reinterpret_cast<ULONG_PTR>(key) - 1;
    const Device& device = devices.at(index);
    if (!device.hasPortName || std::wcscmp(valueName, L"PortName") != 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    const DWORD bytes = static_cast<DWORD>((device.portName.size() + 1) * sizeof(wchar_t));
    if (type != nullptr) {
        *type = device.type;
    }
    if (bytes > *dataSize) {
        *dataSize = bytes;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, device.portName.c_str(), bytes);
    *dataSize = bytes;
    return ERROR_SUCCESS;
}

LSTATUS FakeDeviceSetup::RegCloseKey(HKEY) {
    --openKeys;
    return ERROR_SUCCESS;
}

BOOL FakeDeviceSetup::SetupDiDestroyDeviceInfoList(HDEVINFO) {
    ++destroyCalls;
    return TRUE;
}

BOOL FakeDeviceSetup::SetupDiEnumDeviceInterfaces(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD,
                                                  PSP_DEVICE_INTERFACE_DATA) {
    ::SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

BOOL FakeDeviceSetup::SetupDiGetDeviceInterfaceDetailW(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                       PSP_DEVICE_INTERFACE_DETAIL_DATA_W, DWORD,
                                                       PDWORD, PSP_DEVINFO_DATA) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

namespace {

// The time a thread last saw, and whose clock it was.
struct SeenTime {
    uint64_t clock = 0;
    ULONGLONG time = 0;
};
thread_local SeenTime tSeen;
std::atomic<uint64_t> gClockIds{0};

} // namespace

FakeClock::FakeClock() : id_(++gClockIds) {}

ULONGLONG FakeClock::Seen() const {
    return tSeen.clock == id_ ? tSeen.time : now.load();
}

void FakeClock::See(ULONGLONG time) {
    tSeen.clock = id_;
    tSeen.time = time;
}

void FakeClock::Sleep(DWORD milliseconds) {
    sleeps.push_back(milliseconds);
    See(now += milliseconds);
}

void FakeClock::GetLocalTime(LPSYSTEMTIME time) {
    *time = localTime;
}

bool FakeClock::WaitForWaitsOf(DWORD timeout, int count, DWORD realMilliseconds) {
    std::unique_lock<std::mutex> guard(waitsLock_);
    return waitEntered_.wait_for(guard, std::chrono::milliseconds(realMilliseconds),
                                 [&] { return waitsEntered_[timeout] >= count; });
}

int FakeClock::WaitsOf(DWORD timeout) {
    std::lock_guard<std::mutex> guard(waitsLock_);
    return waitsEntered_[timeout];
}

ULONGLONG FakeClock::GetTickCount64() {
    const ULONGLONG time = now;
    See(time);
    return time;
}

DWORD FakeClock::WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                        DWORD milliseconds) {
    // The end is read before the wait is counted: a test that moves the clock on
    // once it sees the wait then always moves it past this end, never before it.
    const ULONGLONG end = milliseconds == INFINITE ? ~0ull : Seen() + milliseconds;
    {
        std::lock_guard<std::mutex> guard(waitsLock_);
        ++waitsEntered_[milliseconds];
    }
    waitEntered_.notify_all();
    if (onWaitCounted) {
        onWaitCounted();
    }
    // Real time only decides how often the clock is looked at.
    constexpr DWORD kLookEveryMs = 2;
    for (;;) {
        const DWORD result =
            ::WaitForMultipleObjects(count, handles, waitAll, milliseconds == 0 ? 0 : kLookEveryMs);
        if (result != WAIT_TIMEOUT || milliseconds == 0) {
            See(now);
            return result;
        }
        if (now >= end) {
            // Woken at its end, however far the clock has gone since.
            See(end);
            return WAIT_TIMEOUT;
        }
        if (autoAdvance && milliseconds != INFINITE) {
            ULONGLONG seen = now;
            while (seen < end && !now.compare_exchange_weak(seen, end)) {
            }
            See(end);
            return WAIT_TIMEOUT;
        }
    }
}

BOOL FakeModuleReferences::GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) {
    const bool counted = (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) == 0;
    if (counted && refuseWith != 0) {
        *module = nullptr;
        ::SetLastError(refuseWith);
        return FALSE;
    }
    const BOOL found = ::GetModuleHandleExW(flags | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                            moduleName, module);
    if (found && counted) {
        ++taken;
    }
    return found;
}

BOOL FakeModuleReferences::FreeLibrary(HMODULE) {
    ++dropped;
    return TRUE;
}

void FakeModuleReferences::FreeLibraryAndExitThread(HMODULE, DWORD exitCode) {
    ++dropped;
    ++droppedOnExit;
    ::ExitThread(exitCode);
}

Platform MakeTestPlatform() {
    return Win32Platform();
}

} // namespace vela::test
