// The two spooler entries that the monitor answers with constant replies.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// The text "Read Printer Params" followed by a zero byte.
constexpr char kReadPortReply[] = "Read Printer Params";
constexpr DWORD kReadPortReplyBytes = sizeof(kReadPortReply);

// Writes the 20-byte reply and reports 19 bytes read. A buffer too small for the
// reply gets nothing: false with ERROR_INSUFFICIENT_BUFFER (ERROR_INVALID_PARAMETER
// for no buffer or no out pointer), bytes read 0.
BOOL MonitorReadPort(MonitorState& state, HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read);

// Always ERROR_SUCCESS; nothing is read or written and no response is made.
DWORD MonitorSendRecvBidiDataFromPort(MonitorState& state, HANDLE port, DWORD accessBit,
                                      LPCWSTR action, PBIDI_REQUEST_CONTAINER request,
                                      PBIDI_RESPONSE_CONTAINER* response);

} // namespace vela
