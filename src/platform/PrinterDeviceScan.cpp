#include "platform/PrinterDeviceScan.h"

#include "platform/SeamResources.h"

#include <memory>
#include <new>
#include <utility>

namespace vela {

const GUID kUsbPrinterInterfaceGuid = {
    0x7D7B43B9, 0x09AA, 0x4AA5, {0xBF, 0x07, 0xB0, 0x3A, 0x94, 0x84, 0x17, 0x22}};

namespace {

constexpr wchar_t kPortNameValue[] = L"PortName";
constexpr DWORD kPortNameBufferBytes = 2048;

// The device's "PortName"; false when it cannot be read as a string (missing, not
// text, or longer than the buffer).
bool ReadPortName(DeviceSetup& setup, HDEVINFO set, SP_DEVINFO_DATA& device, std::wstring& name) {
    const UniqueDeviceRegKey key(
        setup.SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    // One character more than the value may fill, so the name always ends.
    WCHAR portName[kPortNameBufferBytes / sizeof(WCHAR) + 1] = {};
    DWORD size = kPortNameBufferBytes;
    DWORD type = REG_NONE;
    const LSTATUS queried = setup.RegQueryValueExW(key.Get(), kPortNameValue, nullptr, &type,
                                                   reinterpret_cast<LPBYTE>(portName), &size);
    if (queried != ERROR_SUCCESS || type != REG_SZ) {
        return false;
    }
    name = portName;
    return true;
}

// The device path of one interface; empty when it cannot be read.
std::wstring InterfacePath(DeviceSetup& setup, HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data) {
    DWORD required = 0;
    if (setup.SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required == 0) {
        return {};
    }
    // Never smaller than the fixed part whose size field is set below.
    const DWORD size = required > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)
                           ? required
                           : static_cast<DWORD>(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
    // Whole DWORDs keep the block aligned for the structure; zero-filled, so the
    // path ends within the block whatever the call writes.
    std::unique_ptr<DWORD[]> block(new (std::nothrow) DWORD[size / sizeof(DWORD) + 1]());
    if (!block) {
        return {};
    }
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(block.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!setup.SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, nullptr, nullptr)) {
        return {};
    }
    return detail->DevicePath;
}

// The first active printer interface among all of the device's interfaces.
std::wstring ActiveInterfacePath(DeviceSetup& setup, HDEVINFO set, SP_DEVINFO_DATA& device) {
    for (DWORD member = 0;; ++member) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof(data);
        if (!setup.SetupDiEnumDeviceInterfaces(set, &device, &kUsbPrinterInterfaceGuid, member,
                                               &data)) {
            return {};
        }
        // An interface that is not active belongs to a printer that is not attached.
        if ((data.Flags & SPINT_ACTIVE) == 0) {
            continue;
        }
        std::wstring path = InterfacePath(setup, set, data);
        if (!path.empty()) {
            return path;
        }
    }
}

} // namespace

bool ScanPrinterDevices(ScanInterfaces interfaces, std::vector<ScannedPrinter>& printers) {
    printers.clear();
    DeviceSetup& setup = *CurrentPlatform().deviceSetup;
    // With DIGCF_ALLCLASSES the class is ignored: every device of the enumerator,
    // attached or not.
    const UniqueDeviceInfoSet owner(setup.SetupDiGetClassDevsW(
        &kUsbPrinterInterfaceGuid, kPrinterEnumerator, nullptr, DIGCF_ALLCLASSES));
    if (!owner.Valid()) {
        return false;
    }
    const HDEVINFO set = owner.Get();
    try {
        for (DWORD index = 0;; ++index) {
            SP_DEVINFO_DATA device{};
            device.cbSize = sizeof(device);
            if (!setup.SetupDiEnumDeviceInfo(set, index, &device)) {
                break;
            }
            ScannedPrinter printer;
            printer.hasPortName = ReadPortName(setup, set, device, printer.portName);
            if (printer.hasPortName && interfaces == ScanInterfaces::Yes) {
                printer.interfacePath = ActiveInterfacePath(setup, set, device);
            }
            printers.push_back(std::move(printer));
        }
    } catch (const std::bad_alloc&) {
        // Runs in the spooler's process: no exception may leave the module.
        printers.clear();
        return false;
    }
    return true;
}

} // namespace vela
