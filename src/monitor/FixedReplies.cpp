#include "monitor/FixedReplies.h"

#include <cstring>

namespace vela {

BOOL MonitorReadPort(MonitorState& /*state*/, HANDLE /*port*/, LPBYTE buffer, DWORD size,
                     LPDWORD read) {
    if (read == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *read = 0;
    if (buffer == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The reply is never cut: a partial text would pass for a whole one.
    if (size < kReadPortReplyBytes) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, kReadPortReply, kReadPortReplyBytes);
    *read = kReadPortReplyBytes - 1;
    return TRUE;
}

DWORD MonitorSendRecvBidiDataFromPort(MonitorState& /*state*/, HANDLE /*port*/, DWORD /*accessBit*/,
                                      LPCWSTR /*action*/, PBIDI_REQUEST_CONTAINER /*request*/,
                                      PBIDI_RESPONSE_CONTAINER* /*response*/) {
    return ERROR_SUCCESS;
}

} // namespace vela
