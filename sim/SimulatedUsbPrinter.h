// A USB printer behind the UsbDevice and DeviceSetup seams: its device, "PortName"
// and device interface as device setup lists them, its WinUSB pipes, and firmware
// that answers the printer's requests. With several printers attached, each has
// its own port name, device path and handles (the firmware is shared), and every
// packet is noted with the printer it reached.
// Time passes on the FakeClock it is given. Every packet it receives is kept,
// and faults can be switched on.
#pragma once

#include "sim/FakePlatform.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vela::test {

// The interface class the printer's device interface belongs to.
extern const GUID kSimulatedPrinterInterfaceGuid;

class SimulatedUsbPrinter : public UsbDevice, public DeviceSetup {
  public:
    using Record = std::array<uint8_t, 20>;

    // What "R" reports, packet by packet.
    struct InfoBlock {
        float blockValue0 = 1.5f;
        int32_t blockValue1 = 7;
        int32_t printerClass = 1;
        int32_t blockValue3 = 3;
        float blockValue4 = 2.0f;
        int32_t number = 4711;
        int32_t modelCode = 100;
        std::string identification = "Vela Simulated Printer";
        float limits[5] = {-5.0f, 150.0f, -6.0f, 160.0f, 170.0f};
        float axisScales[4] = {80.0f, 81.0f, 400.0f, 93.0f};
        float extraValues[3] = {0.25f, 0.5f, 0.75f};
        float blockValue12 = 12.0f;
        // Value set k is named "Set k" and value i of it is k * 100 + i.
        int32_t setCount = 1;
    };

    struct PipePolicy {
        UCHAR pipeId;
        ULONG policy;
        ULONG value;
    };

    explicit SimulatedUsbPrinter(FakeClock& clock);

    // --- The firmware.
    // Parameters by id; a float parameter holds its bit pattern.
    int32_t parameters[256] = {};
    InfoBlock info;
    // Axis positions in motor steps, as "p" reports them.
    int32_t positions[4] = {};
    // Records the buffer takes between two "F" requests (it saves them meanwhile).
    int32_t bufferCapacity = 64;
    // Answers to "F" used before the buffer's own, one per request.
    std::deque<int32_t> freeRoomScript;
    int32_t answerToLoad2 = 1;
    int32_t answerToLoad5 = 1;
    // A started program runs this long, then the printer is idle and finished.
    ULONGLONG programDurationMs = 60000;

    // --- What arrived.
    // Whether the packets, records and pipe policies are kept in the lists below.
    // Long runs that only count switch it off.
    bool keepTraffic = true;
    // Every packet written to the printer, in order, as it arrived, and the
    // printer (index) each reached.
    std::vector<std::vector<uint8_t>> received;
    std::vector<int32_t> receivedBy;
    // Every job record, in order (the start record excluded).
    std::vector<Record> records;
    // The number of job records that arrived, kept or not.
    int64_t recordCount = 0;
    // Set when a cycle brought more records than "F" announced room for.
    bool overflowed = false;
    bool programStarted = false;

    // --- Faults.
    // Printers device setup lists (each with its own port name), attached unless
    // unplugged, absent or detached.
    int32_t attachedPrinters = 1;
    // This printer is listed by device setup but not attached.
    int32_t detachedPrinter = -1;
    // Not present, and every transfer fails.
    bool unplugged = false;
    // Not present while the clock is at or past absentFromMs and before absentUntilMs.
    ULONGLONG absentFromMs = 0;
    ULONGLONG absentUntilMs = 0;
    // The transfer with this number (counting from 1) fails, once.
    int32_t failTransferNumber = 0;
    // From the transfer with this number on the printer is unplugged.
    int32_t unplugAtTransfer = 0;
    // The write of the record packet with this number (counting from 1, the start
    // record's included) times out, once: after the printer took the packet when
    // timeOutAfterTaking, else before.
    int32_t timeOutRecordPacket = 0;
    bool timeOutAfterTaking = false;
    // Writes report one byte fewer than they took.
    bool shortWrites = false;
    // Replies arrive with no bytes, or cut to this many bytes (when not negative).
    bool emptyReplies = false;
    int32_t cutRepliesTo = -1;
    // Replies carry this many further bytes beyond their content.
    uint32_t extraReplyBytes = 0;
    // The printer status changes to statusChangeTo once this many records arrived.
    int32_t statusChangeAfterRecords = -1;
    int32_t statusChangeTo = 0;
    bool interruptPipe = false;
    bool isochronousPipe = false;
    // The interface lists no bulk-in pipe.
    bool noBulkInPipe = false;
    bool failGetClassDevs = false;

    // --- The connection as the host used it.
    int32_t transfers = 0;
    // Writes of record packets that reached the pipe, taken or not.
    int32_t recordPacketWrites = 0;
    int32_t opens = 0;
    int32_t openDeviceHandles = 0;
    int32_t liveInterfaces = 0;
    int32_t interfaceFrees = 0;
    int32_t openInfoSets = 0;
    int32_t openKeys = 0;
    std::wstring openedPath;
    DWORD openedAccess = 0;
    DWORD openedShareMode = 0;
    DWORD openedCreation = 0;
    DWORD openedFlags = 0;
    DWORD classDevsFlags = 0;
    std::vector<PipePolicy> policies;

    static std::wstring DevicePath(int32_t index);
    // The "PortName" of printer index: "Quarlend1:", "Quarlend2:", ...
    static std::wstring PortName(int32_t index);
    // The request codes of all received packets, one character each.
    std::string Codes() const;
    // Those of the packets that reached one printer.
    std::string CodesOf(int32_t printer) const;
    int32_t CountCode(uint8_t code) const;
    float FloatParameter(uint8_t id) const;
    bool ProgramRunning();

    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                  DWORD flags) override;
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex,
                               PSP_DEVINFO_DATA deviceInfo) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                     const GUID* interfaceClassGuid, DWORD memberIndex,
                                     PSP_DEVICE_INTERFACE_DATA interfaceData) override;
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                          DWORD detailSize, PDWORD requiredSize,
                                          PSP_DEVINFO_DATA deviceInfo) override;
    HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD scope,
                              DWORD hwProfile, DWORD keyType, REGSAM access) override;
    LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) override;
    LSTATUS RegCloseKey(HKEY key) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;
    HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                       LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                       HANDLE templateFile) override;
    BOOL CloseHandle(HANDLE handle) override;
    BOOL WinUsb_Initialize(HANDLE deviceHandle, PWINUSB_INTERFACE_HANDLE interfaceHandle) override;
    BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE interfaceHandle) override;
    BOOL WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                       ULONG informationType, PULONG bufferLength,
                                       PVOID buffer) override;
    BOOL WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE interfaceHandle,
                                       UCHAR alternateSetting,
                                       PUSB_INTERFACE_DESCRIPTOR descriptor) override;
    BOOL WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR alternateSetting,
                          UCHAR pipeIndex, PWINUSB_PIPE_INFORMATION pipeInformation) override;
    BOOL WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId,
                              ULONG policyType, ULONG valueLength, PVOID value) override;
    BOOL WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                         ULONG bufferLength, PULONG lengthTransferred,
                         LPOVERLAPPED overlapped) override;
    BOOL WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE interfaceHandle, UCHAR pipeId, PUCHAR buffer,
                          ULONG bufferLength, PULONG lengthTransferred,
                          LPOVERLAPPED overlapped) override;

  private:
    using Packet = std::vector<uint8_t>;

    bool Absent() const;
    bool Attached(int32_t printer) const;
    // The printer of a device or interface handle, -1 for none.
    int32_t PrinterOfDevice(HANDLE handle) const;
    int32_t PrinterOfInterface(WINUSB_INTERFACE_HANDLE handle) const;
    std::vector<WINUSB_PIPE_INFORMATION> Endpoints() const;
    // Counts a transfer and decides whether it fails.
    bool TransferFails();
    void Tick();
    void Process(const Packet& packet);
    void TakeRecords(const Packet& packet);
    void QueueStatusBlock();
    void Reply(Packet reply);

    FakeClock& clock_;
    std::deque<Packet> replies_;
    int32_t roomLeft_ = 0;
    bool armed_ = false;
    bool running_ = false;
    ULONGLONG runStart_ = 0;
};

} // namespace vela::test
