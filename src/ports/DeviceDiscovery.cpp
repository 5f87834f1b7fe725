#include "ports/DeviceDiscovery.h"

#include "monitor/MonitorEntry.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"

#include <cwchar>

namespace vela {
namespace {

constexpr wchar_t kEnumerator[] = L"3DPrinter";
constexpr wchar_t kPortNameValue[] = L"PortName";
constexpr wchar_t kMakerMark[] = L"Quarlend";
constexpr DWORD kPortNameBufferBytes = 2048;

} // namespace

DWORD DiscoverDevicePorts(MonitorState& state, MonitorContext* context) {
    if (context == nullptr) {
        return ERROR_SUCCESS;
    }
    DeviceSetup& setup = *CurrentPlatform().deviceSetup;
    // With DIGCF_ALLCLASSES the class is ignored: every device of the enumerator,
    // attached or not.
    HDEVINFO devices = setup.SetupDiGetClassDevsW(&kPrinterInterfaceClassGuid, kEnumerator, nullptr,
                                                  DIGCF_ALLCLASSES);
    // A debugger's output, not standard output: the spooler service has no console.
    ::OutputDebugStringW(L"Enumerating printers with enumerator: ");
    ::OutputDebugStringW(kEnumerator);
    ::OutputDebugStringW(L"\r\n\r\n");
    if (devices == INVALID_HANDLE_VALUE) {
        return ERROR_SUCCESS;
    }
    DWORD result = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (!setup.SetupDiEnumDeviceInfo(devices, index, &device)) {
            break;
        }
        HKEY key =
            setup.SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        // One character more than the value may fill, so the name always ends.
        WCHAR portName[kPortNameBufferBytes / sizeof(WCHAR) + 1] = {};
        DWORD size = kPortNameBufferBytes;
        const LSTATUS queried = setup.RegQueryValueExW(key, kPortNameValue, nullptr, nullptr,
                                                       reinterpret_cast<LPBYTE>(portName), &size);
        const bool keyOpen = key != INVALID_HANDLE_VALUE && key != nullptr;
        if (queried != ERROR_SUCCESS) {
            if (keyOpen) {
                setup.RegCloseKey(key);
            }
            // The walk ends at the first device without a readable port name.
            break;
        }
        ::OutputDebugStringW(L"Retrieved a port name of ");
        ::OutputDebugStringW(portName);
        ::OutputDebugStringW(L"\r\n");
        if (std::wcsstr(portName, kMakerMark) != nullptr &&
            FindPortEntry(context->firstPort, portName) == nullptr) {
            PortEntry* entry = CreatePortEntry(state, context, portName);
            if (entry != nullptr) {
                entry->openCount = 1;
            } else {
                result = ERROR_CANNOT_MAKE;
            }
        }
        if (keyOpen) {
            setup.RegCloseKey(key);
        }
    }
    setup.SetupDiDestroyDeviceInfoList(devices);
    return result;
}

DWORD CALLBACK OnDeviceInterfaceChange(HCMNOTIFICATION /*notify*/, PVOID context,
                                       CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA /*eventData*/,
                                       DWORD /*eventDataSize*/) {
    if (action != CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL &&
        action != CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL) {
        return ERROR_SUCCESS;
    }
    auto* state = static_cast<MonitorState*>(context);
    if (state == nullptr) {
        return ERROR_SUCCESS;
    }
    DWORD result = ERROR_SUCCESS;
    {
        CriticalSectionLock guard(state->m_Lock);
        // Before InitializePrintMonitor2 has made the context there is no list yet.
        if (state->m_pContext == nullptr) {
            return ERROR_SUCCESS;
        }
        result = LoadPorts(*state);
    }
    if (result != ERROR_SUCCESS) {
        ::SetLastError(result);
    }
    return result;
}

} // namespace vela
