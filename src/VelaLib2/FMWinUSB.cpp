#include "VelaLib2/FMWinUSB.h"

#include "VelaLib2/PrinterPackets.h"
#include "platform/Platform.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace vela {

const GUID kUsbPrinterInterfaceGuid = {
    0x7D7B43B9, 0x09AA, 0x4AA5, {0xBF, 0x07, 0xB0, 0x3A, 0x94, 0x84, 0x17, 0x22}};

namespace {

// The process-wide connection. No handle at start-up; the printer is opened by
// the first transfer that fails for want of one.
struct ConnectionState {
    HANDLE device = nullptr;
    WINUSB_INTERFACE_HANDLE interfaceHandle = nullptr;
    bool initialised = false;
    UCHAR bulkIn = 0;
    UCHAR bulkOut = 0;
};

ConnectionState connection;

UsbDevice& Usb() {
    return *CurrentPlatform().usb;
}

// The pipe ids belong to the interface handle: an interface made later may lack
// a pipe, and a stale id would then reach a pipe of the old interface.
void ReleaseInterface() {
    if (connection.interfaceHandle != nullptr) {
        Usb().WinUsb_Free(connection.interfaceHandle);
        connection.interfaceHandle = nullptr;
    }
    connection.bulkIn = 0;
    connection.bulkOut = 0;
}

// Forgets both handles and releases them: WinUSB's first, since it was made on
// the device handle. Releasing the interface handle here is what keeps every
// short-lived connection from leaking one.
void ReleaseConnection() {
    ReleaseInterface();
    if (connection.device != nullptr) {
        Usb().CloseHandle(connection.device);
        connection.device = nullptr;
    }
}

// The device information set of the scan, destroyed on every path.
class DeviceInfoList {
  public:
    explicit DeviceInfoList(HDEVINFO set) : set_(set) {}
    ~DeviceInfoList() { Destroy(); }
    DeviceInfoList(const DeviceInfoList&) = delete;
    DeviceInfoList& operator=(const DeviceInfoList&) = delete;

    HDEVINFO Get() const { return set_; }
    bool Destroy() {
        if (set_ == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool destroyed = Usb().SetupDiDestroyDeviceInfoList(set_) != FALSE;
        set_ = INVALID_HANDLE_VALUE;
        return destroyed;
    }

  private:
    HDEVINFO set_;
};

struct LocalFreeDeleter {
    void operator()(void* block) const { ::LocalFree(block); }
};
using DetailBuffer = std::unique_ptr<void, LocalFreeDeleter>;

// Scans the set for the printer's interface and leaves the detail (with the
// device path) of the last one found in detail. The member index follows the
// device index, so with one interface per device the first device is the one.
bool FindPrinterInterface(HDEVINFO set, DetailBuffer& detail) {
    bool found = false;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (!Usb().SetupDiEnumDeviceInfo(set, index, &device)) {
            break;
        }
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!Usb().SetupDiEnumDeviceInterfaces(set, &device, &kUsbPrinterInterfaceGuid, index,
                                               &interfaceData)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NO_MORE_ITEMS) {
                break;
            }
            std::printf("Error SetupDiEnumDeviceInterfaces: %d.\n", static_cast<int>(error));
            return false;
        }
        detail.reset();
        DWORD required = 0;
        const BOOL sized = Usb().SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0,
                                                                  &required, nullptr);
        const DWORD sizeError = ::GetLastError();
        if (sized || sizeError != ERROR_INSUFFICIENT_BUFFER || required == 0) {
            std::printf("Error SetupDiEnumDeviceInterfaces: %d.\n", static_cast<int>(sizeError));
            return false;
        }
        // Never smaller than the fixed part whose size field is set below.
        const DWORD size = required > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)
                               ? required
                               : static_cast<DWORD>(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
        detail.reset(::LocalAlloc(LMEM_ZEROINIT, size));
        if (!detail) {
            std::printf("Error allocating memory for the device detail buffer.\n");
            return false;
        }
        auto* data = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(detail.get());
        data->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!Usb().SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, data, size, nullptr,
                                                    &device)) {
            std::printf("Error SetupDiGetDeviceInterfaceDetail: %d.\n",
                        static_cast<int>(::GetLastError()));
            return false;
        }
        found = true;
    }
    return found;
}

// Takes note of the bulk pipes among the interface's endpoints. Interrupt pipes
// are of no use here; any other kind means this is not the printer's interface.
bool FindBulkPipes(WINUSB_INTERFACE_HANDLE handle, UCHAR endpointCount) {
    bool lastQuerySucceeded = true;
    for (UCHAR index = 0; index < endpointCount; ++index) {
        WINUSB_PIPE_INFORMATION pipe{};
        lastQuerySucceeded = Usb().WinUsb_QueryPipe(handle, 0, index, &pipe) != FALSE;
        if (!lastQuerySucceeded) {
            continue;
        }
        if (pipe.PipeType == UsbdPipeTypeBulk) {
            if (USB_ENDPOINT_DIRECTION_IN(pipe.PipeId)) {
                connection.bulkIn = pipe.PipeId;
            } else {
                connection.bulkOut = pipe.PipeId;
            }
            ULONG timeout = kPipeTransferTimeoutMs;
            Usb().WinUsb_SetPipePolicy(handle, pipe.PipeId, PIPE_TRANSFER_TIMEOUT, sizeof(timeout),
                                       &timeout);
        } else if (pipe.PipeType != UsbdPipeTypeInterrupt) {
            return false;
        }
    }
    return lastQuerySucceeded;
}

enum class Direction { In, Out };

// One transfer on the current connection. Without a ready connection there is
// nothing to call WinUSB with, and the transfer fails like one on a stale handle.
bool TransferOnce(Direction direction, uint8_t* buffer, uint32_t length, uint32_t* done) {
    *done = 0;
    if (connection.interfaceHandle == nullptr || !connection.initialised) {
        return false;
    }
    ULONG transferred = 0;
    const BOOL succeeded =
        direction == Direction::In
            ? Usb().WinUsb_ReadPipe(connection.interfaceHandle, connection.bulkIn, buffer, length,
                                    &transferred, nullptr)
            : Usb().WinUsb_WritePipe(connection.interfaceHandle, connection.bulkOut, buffer, length,
                                     &transferred, nullptr);
    if (!succeeded) {
        return false;
    }
    // Never more than was asked for, whatever the driver claims.
    *done = transferred < length ? static_cast<uint32_t>(transferred) : length;
    return true;
}

uint32_t Transfer(UsbTransport& transport, Direction direction, uint8_t* buffer, uint32_t length) {
    uint32_t done = 0;
    if (TransferOnce(direction, buffer, length, &done)) {
        return done;
    }
    ReleaseConnection();
    connection.initialised = false;
    if (!transport.OpenDevice() || !transport.InitializeWinUsb()) {
        return 0;
    }
    if (TransferOnce(direction, buffer, length, &done)) {
        return done;
    }
    return 0;
}

} // namespace

bool UsbTransport::OpenDevice() {
    if (connection.device != nullptr) {
        return true;
    }
    const HDEVINFO set = Usb().SetupDiGetClassDevsW(&kUsbPrinterInterfaceGuid, nullptr, nullptr,
                                                    DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        std::printf("Error SetupDiGetClassDevs: %d.\n", static_cast<int>(::GetLastError()));
        return false;
    }
    DeviceInfoList list(set);
    DetailBuffer detail;
    if (FindPrinterInterface(list.Get(), detail)) {
        const auto* data = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(detail.get());
        const HANDLE device = Usb().CreateFileW(data->DevicePath, GENERIC_READ | GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (device != INVALID_HANDLE_VALUE && device != nullptr) {
            connection.device = device;
        }
    }
    detail.reset();
    const bool destroyed = list.Destroy();
    return destroyed && connection.device != nullptr;
}

bool UsbTransport::InitializeWinUsb() {
    if (connection.initialised) {
        return true;
    }
    if (connection.device == nullptr) {
        return false;
    }
    // Left by an earlier attempt that failed after WinUsb_Initialize.
    ReleaseInterface();
    WINUSB_INTERFACE_HANDLE handle = nullptr;
    bool ready = Usb().WinUsb_Initialize(connection.device, &handle) != FALSE;
    if (ready) {
        connection.interfaceHandle = handle;
        // The speed is of no interest, but a device that cannot tell it is not usable.
        UCHAR speed = 0;
        ULONG speedLength = sizeof(speed);
        ready = Usb().WinUsb_QueryDeviceInformation(handle, DEVICE_SPEED, &speedLength, &speed) !=
                FALSE;
    }
    USB_INTERFACE_DESCRIPTOR descriptor{};
    if (ready) {
        ready = Usb().WinUsb_QueryInterfaceSettings(handle, 0, &descriptor) != FALSE;
    }
    if (ready) {
        ready = FindBulkPipes(handle, descriptor.bNumEndpoints);
    }
    connection.initialised = ready;
    return ready;
}

uint32_t UsbTransport::ReadBulk(uint8_t* buffer, uint32_t length) {
    return Transfer(*this, Direction::In, buffer, length);
}

uint32_t UsbTransport::WriteBulk(const uint8_t* bytes, uint32_t length) {
    // WinUSB takes a non-const buffer for writes but only reads from it.
    return Transfer(*this, Direction::Out, const_cast<uint8_t*>(bytes), length);
}

bool UsbTransport::Exchange(const uint8_t* request, int32_t requestLength, uint8_t* reply,
                            uint32_t* replyLength) {
    if (requestLength > static_cast<int32_t>(kMaxPacketSize)) {
        return false;
    }
    bool result = true;
    if (request != nullptr) {
        if (requestLength < 1) {
            return false;
        }
        const auto length = static_cast<uint32_t>(requestLength);
        if (WriteBulk(request, length) < length) {
            result = false;
        }
        if (request[0] == request::kRecords) {
            return result;
        }
    }
    uint8_t area[kMaxPacketSize];
    const uint32_t arrived = ReadBulk(area, sizeof(area));
    uint32_t delivered = replyLength != nullptr ? *replyLength : 0;
    if (arrived < delivered) {
        delivered = arrived;
        *replyLength = arrived;
    }
    if (arrived == 0) {
        result = false;
    } else if (reply != nullptr && delivered > 0) {
        std::memcpy(reply, area, delivered);
    }
    return result;
}

void UsbTransport::CloseDevice() {
    // The initialised flag stays: the next transfer finds no interface handle,
    // fails and reconnects through its retry.
    ReleaseConnection();
}

} // namespace vela
