// The maker's printers as device setup knows them: every device of the
// "3DPrinter" enumerator, attached or not, with its "PortName" and the device
// path of its active printer interface. Discovery makes the ports from the
// names; the USB transport finds the printer of a port by its name.
#pragma once

#include "platform/Platform.h"

#include <string>
#include <vector>

namespace vela {

// The device-setup enumerator of the maker's printers.
constexpr wchar_t kPrinterEnumerator[] = L"3DPrinter";

// Interface class of the printer's WinUSB device interface.
extern const GUID kUsbPrinterInterfaceGuid;

struct ScannedPrinter {
    // False for a device whose name could not be read: no port is its.
    bool hasPortName = false;
    std::wstring portName;
    // The first active printer interface of the device; empty when the printer
    // is not attached (or its interfaces were not asked for).
    std::wstring interfacePath;
};

enum class ScanInterfaces { No, Yes };

// The devices in device-setup order, also those without a readable "PortName"
// (one such device hides none after it). False when no device set could be
// made (or no memory was left for the list). Goes through the installed
// platform's device setup, which also closes what the scan opened.
bool ScanPrinterDevices(ScanInterfaces interfaces, std::vector<ScannedPrinter>& printers);

} // namespace vela
