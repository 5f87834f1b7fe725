// The WinUSB connection to the printer: finds the printer's device interface,
// opens it, finds the bulk pipes and moves request and reply packets over them.
// There is one connection per process; it connects lazily and reconnects once
// whenever a transfer fails.
#pragma once

#include "platform/Win32Headers.h"

#include <cstdint>

namespace vela {

// Interface class of the printer's WinUSB device interface.
extern const GUID kUsbPrinterInterfaceGuid;

// PIPE_TRANSFER_TIMEOUT of both bulk pipes, in milliseconds.
constexpr ULONG kPipeTransferTimeoutMs = 1000;

// A handle object: it holds nothing itself, every instance works on the one
// process-wide connection. Used from one thread at a time.
class UsbTransport {
  public:
    // True when a device handle is held afterwards.
    bool OpenDevice();
    // True when WinUSB is ready on the device with its bulk pipes found.
    bool InitializeWinUsb();
    // Bytes transferred, 0 on failure; a failure reconnects and tries once more.
    uint32_t ReadBulk(uint8_t* buffer, uint32_t length);
    uint32_t WriteBulk(const uint8_t* bytes, uint32_t length);

    // Writes the request (when given) and reads one reply packet, except for a
    // record packet ("/"), which gets none. replyLength is the capacity on entry
    // and the number of bytes delivered on return; a longer reply is cut.
    bool Exchange(const uint8_t* request, int32_t requestLength, uint8_t* reply,
                  uint32_t* replyLength);

    // Releases the connection; the next transfer opens the device again.
    void CloseDevice();
};

} // namespace vela
