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

} // namespace vela
