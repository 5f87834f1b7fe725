#include "ports/DeviceDiscovery.h"

#include "platform/DiagnosticLog.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "platform/PrinterDeviceScan.h"
#include "ports/PortList.h"

#include <cwchar>
#include <vector>

namespace vela {

const GUID kPrinterInterfaceClassGuid = {
    0x77267826, 0xFF06, 0x4142, {0xA5, 0x49, 0x8B, 0xBD, 0xE3, 0x18, 0xF4, 0x5F}};

namespace {

constexpr wchar_t kMakerMark[] = L"Quarlend";

} // namespace

DWORD DiscoverDevicePorts(MonitorState& state, MonitorContext* context) {
    if (context == nullptr) {
        return ERROR_SUCCESS;
    }
    Log(LogTo::Debugger, L"Enumerating printers with enumerator: ");
    Log(LogTo::Debugger, kPrinterEnumerator);
    Log(LogTo::Debugger, L"\r\n\r\n");
    std::vector<ScannedPrinter> printers;
    if (!ScanPrinterDevices(ScanInterfaces::No, printers)) {
        return ERROR_SUCCESS;
    }
    DWORD result = ERROR_SUCCESS;
    for (const ScannedPrinter& printer : printers) {
        // A device that cannot name its port makes none; the next may.
        if (!printer.hasPortName) {
            Log(LogTo::Debugger, L"Passed over a printer without a readable port name\r\n");
            continue;
        }
        const wchar_t* portName = printer.portName.c_str();
        Log(LogTo::Debugger, L"Retrieved a port name of ");
        Log(LogTo::Debugger, portName);
        Log(LogTo::Debugger, L"\r\n");
        if (std::wcsstr(portName, kMakerMark) == nullptr ||
            FindPortEntry(context->firstPort, portName) != nullptr) {
            continue;
        }
        // No port can carry it: a misconfigured device is not a reason for the
        // monitor to fail to load.
        if (printer.portName.size() > kMaxPortNameLength) {
            Log(LogTo::Debugger, L"Passed over a port name longer than a port name can be\r\n");
            continue;
        }
        PortEntry* entry = CreatePortEntry(state, context, portName);
        if (entry != nullptr) {
            entry->openCount = 1;
        } else {
            result = ERROR_CANNOT_MAKE;
        }
    }
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
        CriticalSectionLock guard(state->lock);
        // Before InitializePrintMonitor2 has made the context there is no list yet.
        if (state->context == nullptr) {
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
