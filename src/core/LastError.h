// The Win32 code of a failed platform call.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

// The thread's last error after a failed call; never 0, so that a failure cannot
// be reported as success when the failing call left no code behind.
inline DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

} // namespace vela
