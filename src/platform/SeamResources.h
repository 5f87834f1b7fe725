// Resources that the platform seams hand out, each closed through the same seam
// that made it, so that the test doubles see every close.
#pragma once

#include "platform/Platform.h"
#include "platform/UniqueResource.h"

namespace vela {

// Traits that close through the installed platform: seam is the Platform member
// (&Platform::usb) and close the seam's function (&UsbDevice::WinUsb_Free).
template <typename InvalidValues, auto seam, auto close> struct ClosedThroughSeam : InvalidValues {
    template <typename T> static void Close(T value) noexcept {
        ((CurrentPlatform().*seam)->*close)(value);
    }
};

// SetupDiGetClassDevsW fails with INVALID_HANDLE_VALUE alone, never with null.
struct DeviceInfoSetInvalid {
    static HDEVINFO Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HDEVINFO set) noexcept { return set != INVALID_HANDLE_VALUE; }
};

using UniqueDeviceInfoSet =
    UniqueResource<HDEVINFO, ClosedThroughSeam<DeviceInfoSetInvalid, &Platform::deviceSetup,
                                               &DeviceSetup::SetupDiDestroyDeviceInfoList>>;
// A device's registry key from SetupDiOpenDevRegKey.
using UniqueDeviceRegKey =
    UniqueResource<HKEY, ClosedThroughSeam<NullOrInvalidHandleIsInvalid<HKEY>,
                                           &Platform::deviceSetup, &DeviceSetup::RegCloseKey>>;
// The printer's USB device, opened through the USB seam.
using UniqueUsbDeviceHandle =
    UniqueResource<HANDLE, ClosedThroughSeam<NullOrInvalidHandleIsInvalid<HANDLE>, &Platform::usb,
                                             &UsbDevice::CloseHandle>>;
using UniqueWinUsbInterface =
    UniqueResource<WINUSB_INTERFACE_HANDLE,
                   ClosedThroughSeam<NullIsInvalid<WINUSB_INTERFACE_HANDLE>, &Platform::usb,
                                     &UsbDevice::WinUsb_Free>>;
// A printer opened and a library loaded through the spooler seam.
using UniqueSpoolerPrinter = UniqueResource<
    HANDLE, ClosedThroughSeam<NullIsInvalid<HANDLE>, &Platform::spooler, &Spooler::ClosePrinter>>;
using UniqueSpoolerModule = UniqueResource<
    HMODULE, ClosedThroughSeam<NullIsInvalid<HMODULE>, &Platform::spooler, &Spooler::FreeLibrary>>;

} // namespace vela
