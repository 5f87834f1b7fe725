// The job's bytes as the spooler hands them to WritePort. The stream is a 4-byte
// little-endian count of the records that follow, then the 20-byte records,
// contiguous; the spooler cuts it into pieces of any size. A printer on a serial
// port gets G-code text instead.
#pragma once

#include "usb/PrinterPackets.h"
#include "core/MonitorState.h"

#include <cstdint>

namespace vela {

constexpr uint32_t kJobHeaderSize = 4;

// The framing state of a port's document; StartDocPort zeroes it at the start of
// every document.
struct JobTransferState {
    // The header's count, taken while the printer is not yet prepared.
    int32_t announcedCount = 0;
    // Records that SendCommands accepted in this document.
    int32_t sentCount = 0;
    // Bytes of an incomplete record waiting in heldBytes (0 to 19).
    int32_t heldLength = 0;
    uint8_t heldBytes[kPrintCommandSize] = {};
    // Bytes of an incomplete header waiting in headerBytes (0 to 3).
    int32_t headerLength = 0;
    uint8_t headerBytes[kJobHeaderSize] = {};
};

// The spooler's WritePort, for the document the handle's StartDocPort began:
// without one it fails with ERROR_INVALID_PARAMETER, after a failed StartDocPort
// with ERROR_NOT_READY, and the bytes go nowhere. Once nothing more of the
// document can reach the printer it fails with ERROR_NOT_READY, or
// ERROR_PRINT_CANCELLED when the job was deleted. For a serial printer the call
// waits while the port's queue is full; *written is what was queued.
BOOL WritePort(MonitorState& state, HANDLE port, LPBYTE bytes, DWORD count, LPDWORD written);

} // namespace vela
