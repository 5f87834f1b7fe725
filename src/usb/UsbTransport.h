// The WinUSB connection to one port's printer: finds the printer whose device
// "PortName" is the port's name, opens it, finds the bulk pipes and moves
// request and reply packets over them. It connects lazily and reconnects once
// whenever a transfer fails.
#pragma once

#include "platform/SeamResources.h"
#include "platform/Win32Headers.h"

#include <cstdint>
#include <string>

namespace vela {

// PIPE_TRANSFER_TIMEOUT of both bulk pipes, in milliseconds.
constexpr ULONG kPipeTransferTimeoutMs = 1000;

// How the write of a record packet ended.
enum class PacketWrite {
    Written,
    // Nothing or only part of it went out (no connection, a short write).
    Failed,
    // WinUSB failed the write (a time-out, a stale handle): the printer may have
    // taken the packet or not.
    Uncertain,
};

// One connection, used from one thread at a time. Each port has its own, so
// documents on two ports reach two printers.
class UsbTransport {
  public:
    // portName: the port whose printer this connection reaches. A name that no
    // printer carries (a port added by hand, or none) reaches the one attached
    // printer, and none when several are attached.
    explicit UsbTransport(const wchar_t* portName = nullptr);
    ~UsbTransport();
    UsbTransport(const UsbTransport&) = delete;
    UsbTransport& operator=(const UsbTransport&) = delete;

    const std::wstring& PortName() const { return portName_; }

    // True when a device handle is held afterwards.
    bool OpenDevice();
    // True when WinUSB is ready on the device with its bulk pipes found.
    bool InitializeWinUsb();
    // Bytes transferred, 0 on failure; a failure reconnects and tries once more.
    uint32_t ReadBulk(uint8_t* buffer, uint32_t length);
    uint32_t WriteBulk(const uint8_t* bytes, uint32_t length);

    // Writes the request (when given) and reads one reply packet, except for a
    // record packet ("/"), which gets none and goes out as WriteRecordPacket
    // sends it. replyLength is the capacity on entry and the number of bytes
    // delivered on return; a longer reply is cut.
    bool Exchange(const uint8_t* request, int32_t requestLength, uint8_t* reply,
                  uint32_t* replyLength);

    // One write of a record packet, never repeated here: a record packet gets no
    // reply, so only the printer's own count can tell whether a failed write
    // arrived. Connects first when no connection is ready (then nothing has gone
    // out yet); after an uncertain write the next transfer reconnects.
    PacketWrite WriteRecordPacket(const uint8_t* packet, uint32_t length);

    // Releases the connection; the next transfer opens the device again.
    void CloseDevice();

  private:
    enum class Direction { In, Out };

    bool TransferOnce(Direction direction, uint8_t* buffer, uint32_t length, uint32_t* done);
    uint32_t Transfer(Direction direction, uint8_t* buffer, uint32_t length);
    bool Reconnect();
    bool FindBulkPipes(WINUSB_INTERFACE_HANDLE handle, UCHAR endpointCount);
    void ReleaseInterface();
    void ReleaseConnection();

    std::wstring portName_;
    // No handle at first; the printer is opened by the first transfer that fails
    // for want of one.
    UniqueUsbDeviceHandle device_;
    UniqueWinUsbInterface interface_;
    bool initialised_ = false;
    UCHAR bulkIn_ = 0;
    UCHAR bulkOut_ = 0;
};

} // namespace vela
