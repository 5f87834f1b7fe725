// The spooler's sized enumerations: call, grow the buffer to what was needed, call
// again.
#pragma once

#include "platform/Win32Headers.h"

#include <vector>

namespace vela::portconfig {

// Calls enumerate(buffer, size, &needed, &returned), a BOOL call with its error as
// last error, until the buffer holds the answer. Never passes a null buffer: an
// enumeration without entries may refuse one. The result is a Win32 code.
template <typename Enumerate>
DWORD EnumerateIntoBuffer(std::vector<BYTE>& buffer, DWORD& returned, Enumerate enumerate) {
    buffer.assign(4096, 0);
    DWORD needed = 0;
    returned = 0;
    while (!enumerate(buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            return error;
        }
        buffer.assign(needed, 0);
    }
    return ERROR_SUCCESS;
}

} // namespace vela::portconfig
