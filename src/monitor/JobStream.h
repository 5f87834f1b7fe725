// The job's bytes as the spooler hands them to WritePort. The stream is a 4-byte
// little-endian count of the records that follow, then the 20-byte records,
// contiguous; the spooler cuts it into pieces of any size. The same bytes also
// feed the line queue of a printer on a serial port.
#pragma once

#include "VelaLib2/PrinterPackets.h"
#include "monitor/MonitorState.h"

#include <cstdint>

namespace vela {

constexpr uint32_t kJobHeaderSize = 4;

// The process-wide framing state of the current document; StartDocPort zeroes
// it at the start of every document. One document is in transfer at a time.
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

JobTransferState& TheJobTransferState();

// The spooler's WritePort. The transfer state is process-wide; the port entry
// (may be none) gives the printer connection and the spooler job that a long
// wait for room checks. A refused transmission is not reported: the result says
// whether the bytes were taken.
BOOL WritePort(MonitorState& state, HANDLE port, LPBYTE bytes, DWORD count, LPDWORD written);

} // namespace vela
