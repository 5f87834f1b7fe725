// A transceive handle's record: what the spooler holds between XcvOpenPort and
// XcvClosePort.
#pragma once

#include "core/MonitorState.h"

namespace vela {

struct XcvHandle {
    DWORD signature; // "CX" low byte first
    DWORD recordSize;
    XcvHandle* next;
    LPWSTR objectName; // stored behind the fixed fields, in the same block
    ACCESS_MASK grantedAccess;
    MonitorContext* monitor;
};

constexpr DWORD kXcvHandleSignature = 0x5843;

// True for a record XcvOpenPort made and XcvClosePort has not freed: the close
// clears the signature, so a handle used after its close is refused.
inline bool IsXcvHandle(const XcvHandle* handle) {
    return handle != nullptr && handle->signature == kXcvHandleSignature;
}

} // namespace vela
