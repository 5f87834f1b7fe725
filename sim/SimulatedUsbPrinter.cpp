// The simulated printer as the host sees it: its device interface in device
// setup, its device handle and its WinUSB interface with the bulk pipes.
#include "sim/SimulatedUsbPrinter.h"

#include <cstddef>
#include <cstring>
#include <utility>

namespace vela::test {

const GUID kSimulatedPrinterInterfaceGuid = {
    0x7D7B43B9, 0x09AA, 0x4AA5, {0xBF, 0x07, 0xB0, 0x3A, 0x94, 0x84, 0x17, 0x22}};

namespace {

const HDEVINFO kInfoSet = reinterpret_cast<HDEVINFO>(static_cast<ULONG_PTR>(0xD5E1));
// Handles of printer i are these plus 16 * i.
constexpr ULONG_PTR kDeviceHandleBase = 0x5A1;
constexpr ULONG_PTR kInterfaceHandleBase = 0x1F1;
constexpr ULONG_PTR kKeyBase = 0x4E01;
constexpr int32_t kMaxPrinters = 16;

HANDLE DeviceHandle(int32_t printer) {
    return reinterpret_cast<HANDLE>(kDeviceHandleBase + 16 * static_cast<ULONG_PTR>(printer));
}
WINUSB_INTERFACE_HANDLE InterfaceHandle(int32_t printer) {
    return reinterpret_cast<WINUSB_INTERFACE_HANDLE>(kInterfaceHandleBase +
                                                     16 * static_cast<ULONG_PTR>(printer));
}
// The printer whose handle with this base is given, -1 for none.
int32_t PrinterOf(const void* handle, ULONG_PTR base, int32_t printers) {
    const auto value = reinterpret_cast<ULONG_PTR>(handle);
    if (value < base || (value - base) % 16 != 0) {
        return -1;
    }
    const auto printer = static_cast<int32_t>((value - base) / 16);
    return printer < printers ? printer : -1;
}
constexpr UCHAR kBulkIn = 0x81;
constexpr UCHAR kBulkOut = 0x01;
constexpr ULONGLONG kPipeTimeoutMs = 1000;

BOOL Fail(DWORD error) {
    ::SetLastError(error);
    return FALSE;
}

} // namespace

SimulatedUsbPrinter::SimulatedUsbPrinter(FakeClock& clock) : clock_(clock) {
    parameters[0] = 3;  // Idle
    parameters[16] = 1; // Prepared for Printing
}

std::wstring SimulatedUsbPrinter::DevicePath(int32_t index) {
    return L"\\\\?\\usb#vid_1d6b&pid_0f3d#sim" + std::to_wstring(index) +
           L"#{7d7b43b9-09aa-4aa5-bf07-b03a94841722}";
}

bool SimulatedUsbPrinter::Absent() const {
    return unplugged || (clock_.now >= absentFromMs && clock_.now < absentUntilMs);
}

bool SimulatedUsbPrinter::Attached(int32_t printer) const {
    return !Absent() && printer >= 0 && printer < attachedPrinters && printer != detachedPrinter;
}

int32_t SimulatedUsbPrinter::PrinterOfDevice(HANDLE handle) const {
    return PrinterOf(handle, kDeviceHandleBase,
                     attachedPrinters < kMaxPrinters ? attachedPrinters : kMaxPrinters);
}

int32_t SimulatedUsbPrinter::PrinterOfInterface(WINUSB_INTERFACE_HANDLE handle) const {
    return PrinterOf(handle, kInterfaceHandleBase,
                     attachedPrinters < kMaxPrinters ? attachedPrinters : kMaxPrinters);
}

std::wstring SimulatedUsbPrinter::PortName(int32_t index) {
    return L"Quarlend" + std::to_wstring(index + 1) + L":";
}

std::vector<WINUSB_PIPE_INFORMATION> SimulatedUsbPrinter::Endpoints() const {
    std::vector<WINUSB_PIPE_INFORMATION> pipes;
    if (interruptPipe) {
        pipes.push_back({UsbdPipeTypeInterrupt, 0x82, 8, 10});
    }
    if (!noBulkInPipe) {
        pipes.push_back({UsbdPipeTypeBulk, kBulkIn, 512, 0});
    }
    if (isochronousPipe) {
        pipes.push_back({UsbdPipeTypeIsochronous, 0x83, 256, 1});
    }
    pipes.push_back({UsbdPipeTypeBulk, kBulkOut, 512, 0});
    return pipes;
}

// --- Device setup.

HDEVINFO SimulatedUsbPrinter::SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR, HWND,
                                                   DWORD flags) {
    classDevsFlags = flags;
    if (failGetClassDevs || classGuid == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ++openInfoSets;
    return kInfoSet;
}

BOOL SimulatedUsbPrinter::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex,
                                                PSP_DEVINFO_DATA deviceInfo) {
    if (set != kInfoSet || deviceInfo == nullptr || deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (memberIndex >= static_cast<DWORD>(attachedPrinters)) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    deviceInfo->DevInst = memberIndex;
    return TRUE;
}

HKEY SimulatedUsbPrinter::SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD,
                                               DWORD, DWORD, REGSAM) {
    if (set != kInfoSet || deviceInfo == nullptr ||
        deviceInfo->DevInst >= static_cast<DWORD>(attachedPrinters)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    ++openKeys;
    return reinterpret_cast<HKEY>(kKeyBase + deviceInfo->DevInst);
}

LSTATUS SimulatedUsbPrinter::RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type,
                                              LPBYTE data, LPDWORD dataSize) {
    const auto printer = static_cast<int32_t>(reinterpret_cast<ULONG_PTR>(key) - kKeyBase);
    if (printer < 0 || printer >= attachedPrinters || valueName == nullptr ||
        std::wstring(valueName) != L"PortName" || dataSize == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    const std::wstring name = PortName(printer);
    const auto needed = static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t));
    if (type != nullptr) {
        *type = REG_SZ;
    }
    if (data == nullptr || *dataSize < needed) {
        *dataSize = needed;
        return data == nullptr ? ERROR_SUCCESS : ERROR_MORE_DATA;
    }
    std::memcpy(data, name.c_str(), needed);
    *dataSize = needed;
    return ERROR_SUCCESS;
}

LSTATUS SimulatedUsbPrinter::RegCloseKey(HKEY key) {
    const auto printer = static_cast<int32_t>(reinterpret_cast<ULONG_PTR>(key) - kKeyBase);
    if (printer < 0 || printer >= attachedPrinters || openKeys <= 0) {
        return ERROR_INVALID_HANDLE;
    }
    --openKeys;
    return ERROR_SUCCESS;
}

BOOL SimulatedUsbPrinter::SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                                      const GUID* interfaceClassGuid,
                                                      DWORD memberIndex,
                                                      PSP_DEVICE_INTERFACE_DATA interfaceData) {
    if (set != kInfoSet || interfaceData == nullptr ||
        interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (interfaceClassGuid == nullptr ||
        !IsEqualGUID(*interfaceClassGuid, kSimulatedPrinterInterfaceGuid)) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    // Each printer has one interface of the class: member 0 of its device.
    DWORD device = memberIndex;
    if (deviceInfo != nullptr) {
        if (memberIndex != 0) {
            return Fail(ERROR_NO_MORE_ITEMS);
        }
        device = deviceInfo->DevInst;
    }
    if (device >= static_cast<DWORD>(attachedPrinters)) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    interfaceData->InterfaceClassGuid = kSimulatedPrinterInterfaceGuid;
    // The interface of a printer that is not attached is listed, but not active.
    interfaceData->Flags = Attached(static_cast<int32_t>(device)) ? SPINT_ACTIVE : 0;
    interfaceData->Reserved = device;
    return TRUE;
}

BOOL SimulatedUsbPrinter::SetupDiGetDeviceInterfaceDetailW(
    HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize, PDWORD requiredSize,
    PSP_DEVINFO_DATA deviceInfo) {
    if (set != kInfoSet || interfaceData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const auto device = static_cast<int32_t>(interfaceData->Reserved);
    const std::wstring path = DevicePath(device);
    const DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                           (path.size() + 1) * sizeof(wchar_t));
    if (requiredSize != nullptr) {
        *requiredSize = needed;
    }
    if (detail == nullptr || detailSize < needed) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    if (deviceInfo != nullptr) {
        deviceInfo->DevInst = static_cast<DWORD>(device);
    }
    return TRUE;
}

BOOL SimulatedUsbPrinter::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    if (set != kInfoSet) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    --openInfoSets;
    return TRUE;
}

HANDLE SimulatedUsbPrinter::CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                                        LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                                        HANDLE) {
    openedPath = fileName != nullptr ? fileName : L"";
    openedAccess = access;
    openedShareMode = shareMode;
    openedCreation = creation;
    openedFlags = flags;
    for (int32_t device = 0; device < attachedPrinters && device < kMaxPrinters; ++device) {
        if (Attached(device) && openedPath == DevicePath(device)) {
            ++opens;
            ++openDeviceHandles;
            return DeviceHandle(device);
        }
    }
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL SimulatedUsbPrinter::CloseHandle(HANDLE handle) {
    if (PrinterOfDevice(handle) < 0 || openDeviceHandles <= 0) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    --openDeviceHandles;
    return TRUE;
}

// --- WinUSB.

BOOL SimulatedUsbPrinter::WinUsb_Initialize(HANDLE deviceHandle,
                                            PWINUSB_INTERFACE_HANDLE interfaceHandle) {
    const int32_t printer = PrinterOfDevice(deviceHandle);
    if (printer < 0 || openDeviceHandles <= 0) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (!Attached(printer)) {
        return Fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    ++liveInterfaces;
    *interfaceHandle = InterfaceHandle(printer);
    return TRUE;
}

BOOL SimulatedUsbPrinter::WinUsb_Free(WINUSB_INTERFACE_HANDLE interfaceHandle) {
    if (PrinterOfInterface(interfaceHandle) < 0 || liveInterfaces <= 0) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    --liveInterfaces;
    ++interfaceFrees;
    return TRUE;
}

BOOL SimulatedUsbPrinter::WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                                        ULONG informationType, PULONG bufferLength,
                                                        PVOID buffer) {
    if (PrinterOfInterface(interfaceHandle) < 0 || informationType != DEVICE_SPEED ||
        bufferLength == nullptr || *bufferLength < 1 || buffer == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *static_cast<UCHAR*>(buffer) = HighSpeed;
    *bufferLength = 1;
    return TRUE;
}

BOOL SimulatedUsbPrinter::WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                                        UCHAR alternateSetting,
                                                        PUSB_INTERFACE_DESCRIPTOR descriptor) {
    if (PrinterOfInterface(interfaceHandle) < 0 || alternateSetting != 0 || descriptor == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *descriptor = USB_INTERFACE_DESCRIPTOR{};
    descriptor->bLength = sizeof(USB_INTERFACE_DESCRIPTOR);
    descriptor->bDescriptorType = USB_INTERFACE_DESCRIPTOR_TYPE;
    descriptor->bNumEndpoints = static_cast<UCHAR>(Endpoints().size());
    descriptor->bInterfaceClass = 0xFF;
    return TRUE;
}

BOOL SimulatedUsbPrinter::WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                           UCHAR alternateSetting, UCHAR pipeIndex,
                                           PWINUSB_PIPE_INFORMATION pipeInformation) {
    const std::vector<WINUSB_PIPE_INFORMATION> pipes = Endpoints();
    if (PrinterOfInterface(interfaceHandle) < 0 || alternateSetting != 0 ||
        pipeInformation == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (pipeIndex >= pipes.size()) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    *pipeInformation = pipes[pipeIndex];
    return TRUE;
}

BOOL SimulatedUsbPrinter::WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                               UCHAR pipeId, ULONG policyType, ULONG valueLength,
                                               PVOID value) {
    if (PrinterOfInterface(interfaceHandle) < 0 || value == nullptr ||
        valueLength != sizeof(ULONG)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (keepTraffic) {
        policies.push_back({pipeId, policyType, *static_cast<ULONG*>(value)});
    }
    return TRUE;
}

bool SimulatedUsbPrinter::TransferFails() {
    ++transfers;
    if (unplugAtTransfer != 0 && transfers >= unplugAtTransfer) {
        unplugged = true;
    }
    if (Absent()) {
        ::SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return true;
    }
    if (transfers == failTransferNumber) {
        ::SetLastError(ERROR_GEN_FAILURE);
        return true;
    }
    return false;
}

BOOL SimulatedUsbPrinter::WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                          PUCHAR buffer, ULONG bufferLength,
                                          PULONG lengthTransferred, LPOVERLAPPED) {
    *lengthTransferred = 0;
    if (PrinterOfInterface(interfaceHandle) < 0 || liveInterfaces <= 0 || pipeId != kBulkIn) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (TransferFails()) {
        return FALSE;
    }
    Tick();
    if (replies_.empty()) {
        // Nothing to send: the pipe's time-out runs out.
        clock_.now += kPipeTimeoutMs;
        return Fail(ERROR_SEM_TIMEOUT);
    }
    Packet reply = std::move(replies_.front());
    replies_.pop_front();
    reply.insert(reply.end(), extraReplyBytes, 0xEE);
    if (emptyReplies) {
        reply.clear();
    } else if (cutRepliesTo >= 0 && reply.size() > static_cast<size_t>(cutRepliesTo)) {
        reply.resize(static_cast<size_t>(cutRepliesTo));
    }
    const ULONG delivered =
        reply.size() < bufferLength ? static_cast<ULONG>(reply.size()) : bufferLength;
    if (delivered > 0) {
        std::memcpy(buffer, reply.data(), delivered);
    }
    *lengthTransferred = delivered;
    return TRUE;
}

BOOL SimulatedUsbPrinter::WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                                           PUCHAR buffer, ULONG bufferLength,
                                           PULONG lengthTransferred, LPOVERLAPPED) {
    *lengthTransferred = 0;
    if (PrinterOfInterface(interfaceHandle) < 0 || liveInterfaces <= 0 || pipeId != kBulkOut) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (TransferFails()) {
        return FALSE;
    }
    Packet packet(buffer, buffer + bufferLength);
    const bool timesOut =
        bufferLength > 0 && buffer[0] == '/' && ++recordPacketWrites == timeOutRecordPacket;
    if (timesOut && !timeOutAfterTaking) {
        clock_.now += kPipeTimeoutMs;
        return Fail(ERROR_SEM_TIMEOUT);
    }
    if (keepTraffic) {
        received.push_back(packet);
        receivedBy.push_back(PrinterOfInterface(interfaceHandle));
    }
    Process(packet);
    if (timesOut) {
        // Taken, but the acknowledgement never came back.
        clock_.now += kPipeTimeoutMs;
        return Fail(ERROR_SEM_TIMEOUT);
    }
    *lengthTransferred = shortWrites && bufferLength > 0 ? bufferLength - 1 : bufferLength;
    return TRUE;
}

} // namespace vela::test
