#include "usb/UsbTransport.h"

#include "usb/PrinterPackets.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"
#include "platform/PrinterDeviceScan.h"

#include <cstring>
#include <new>
#include <vector>

namespace vela {
namespace {

UsbDevice& Usb() {
    return *CurrentPlatform().usb;
}

void Report(const wchar_t* reason, const std::wstring& portName) {
    Log(LogTo::Debugger, L"No USB printer for port \"");
    Log(LogTo::Debugger, portName.c_str());
    Log(LogTo::Debugger, L"\": ");
    Log(LogTo::Debugger, reason);
    Log(LogTo::Debugger, L"\r\n");
}

// The device path of the port's printer; empty when there is none. Never another
// printer than the one whose "PortName" is the port's name, if any has it.
std::wstring FindPortPrinter(const std::wstring& portName) {
    std::vector<ScannedPrinter> printers;
    if (!ScanPrinterDevices(ScanInterfaces::Yes, printers)) {
        Report(L"the device list could not be read", portName);
        return {};
    }
    const ScannedPrinter* onlyAttached = nullptr;
    int attached = 0;
    for (const ScannedPrinter& printer : printers) {
        if (!printer.hasPortName) {
            continue;
        }
        if (!portName.empty() && ::lstrcmpiW(printer.portName.c_str(), portName.c_str()) == 0) {
            if (printer.interfacePath.empty()) {
                Report(L"its printer is not attached", portName);
            }
            return printer.interfacePath;
        }
        if (!printer.interfacePath.empty()) {
            ++attached;
            onlyAttached = &printer;
        }
    }
    // A name no printer carries was given by hand: only a single printer can be meant.
    if (attached == 1) {
        return onlyAttached->interfacePath;
    }
    Report(attached == 0 ? L"no printer is attached"
                         : L"several printers are attached and none has the port's name",
           portName);
    return {};
}

} // namespace

UsbTransport::UsbTransport(const wchar_t* portName)
    : portName_(portName != nullptr ? portName : L"") {}

UsbTransport::~UsbTransport() {
    ReleaseConnection();
}

// The pipe ids belong to the interface handle: an interface made later may lack
// a pipe, and a stale id would then reach a pipe of the old interface.
void UsbTransport::ReleaseInterface() {
    interface_.Reset();
    bulkIn_ = 0;
    bulkOut_ = 0;
}

// Forgets both handles and releases them: WinUSB's first, since it was made on
// the device handle. Releasing the interface handle here is what keeps every
// short-lived connection from leaking one.
void UsbTransport::ReleaseConnection() {
    ReleaseInterface();
    device_.Reset();
}

// Takes note of the bulk pipes among the interface's endpoints. Interrupt pipes
// are of no use here; any other kind means this is not the printer's interface.
bool UsbTransport::FindBulkPipes(WINUSB_INTERFACE_HANDLE handle, UCHAR endpointCount) {
    bool lastQuerySucceeded = true;
    for (UCHAR index = 0; index < endpointCount; ++index) {
        WINUSB_PIPE_INFORMATION pipe{};
        lastQuerySucceeded = Usb().WinUsb_QueryPipe(handle, 0, index, &pipe) != FALSE;
        if (!lastQuerySucceeded) {
            continue;
        }
        if (pipe.PipeType == UsbdPipeTypeBulk) {
            if (USB_ENDPOINT_DIRECTION_IN(pipe.PipeId)) {
                bulkIn_ = pipe.PipeId;
            } else {
                bulkOut_ = pipe.PipeId;
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

// One transfer on the current connection. Without a ready connection there is
// nothing to call WinUSB with, and the transfer fails like one on a stale handle.
bool UsbTransport::TransferOnce(Direction direction, uint8_t* buffer, uint32_t length,
                                uint32_t* done) {
    *done = 0;
    if (!interface_.Valid() || !initialised_) {
        return false;
    }
    ULONG transferred = 0;
    const BOOL succeeded = direction == Direction::In
                               ? Usb().WinUsb_ReadPipe(interface_.Get(), bulkIn_, buffer, length,
                                                       &transferred, nullptr)
                               : Usb().WinUsb_WritePipe(interface_.Get(), bulkOut_, buffer, length,
                                                        &transferred, nullptr);
    if (!succeeded) {
        return false;
    }
    // Never more than was asked for, whatever the driver claims.
    *done = transferred < length ? static_cast<uint32_t>(transferred) : length;
    return true;
}

bool UsbTransport::Reconnect() {
    ReleaseConnection();
    initialised_ = false;
    return OpenDevice() && InitializeWinUsb();
}

uint32_t UsbTransport::Transfer(Direction direction, uint8_t* buffer, uint32_t length) {
    uint32_t done = 0;
    if (TransferOnce(direction, buffer, length, &done)) {
        return done;
    }
    if (!Reconnect()) {
        return 0;
    }
    if (TransferOnce(direction, buffer, length, &done)) {
        return done;
    }
    return 0;
}

bool UsbTransport::OpenDevice() {
    if (device_.Valid()) {
        return true;
    }
    std::wstring path;
    try {
        path = FindPortPrinter(portName_);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (path.empty()) {
        return false;
    }
    device_.Reset(Usb().CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr));
    return device_.Valid();
}

bool UsbTransport::InitializeWinUsb() {
    if (initialised_) {
        return true;
    }
    if (!device_.Valid()) {
        return false;
    }
    // Left by an earlier attempt that failed after WinUsb_Initialize.
    ReleaseInterface();
    WINUSB_INTERFACE_HANDLE handle = nullptr;
    bool ready = Usb().WinUsb_Initialize(device_.Get(), &handle) != FALSE;
    if (ready) {
        interface_.Reset(handle);
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
    initialised_ = ready;
    return ready;
}

uint32_t UsbTransport::ReadBulk(uint8_t* buffer, uint32_t length) {
    return Transfer(Direction::In, buffer, length);
}

PacketWrite UsbTransport::WriteRecordPacket(const uint8_t* packet, uint32_t length) {
    if ((!interface_.Valid() || !initialised_) && !Reconnect()) {
        return PacketWrite::Failed;
    }
    uint32_t done = 0;
    // WinUSB takes a non-const buffer for writes but only reads from it.
    if (!TransferOnce(Direction::Out, const_cast<uint8_t*>(packet), length, &done)) {
        ReleaseConnection();
        return PacketWrite::Uncertain;
    }
    return done == length ? PacketWrite::Written : PacketWrite::Failed;
}

uint32_t UsbTransport::WriteBulk(const uint8_t* bytes, uint32_t length) {
    // WinUSB takes a non-const buffer for writes but only reads from it.
    return Transfer(Direction::Out, const_cast<uint8_t*>(bytes), length);
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
        if (request[0] == request::kRecords) {
            return WriteRecordPacket(request, length) == PacketWrite::Written;
        }
        if (WriteBulk(request, length) < length) {
            result = false;
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
