// Checks on the raw input and output buffers of transceive commands, which come
// from the configuration screens with sizes the monitor cannot trust.
#pragma once

#include "platform/Win32Headers.h"

#include <cstring>

namespace vela {

constexpr DWORD kNoTerminator = 0xFFFFFFFF;

// The length in characters of the UTF-16 text at the start of the input, or
// kNoTerminator when no NUL character lies wholly within the given size. Never
// reads past the size.
inline DWORD TerminatedTextLength(const BYTE* input, DWORD size) {
    if (input == nullptr) {
        return kNoTerminator;
    }
    const DWORD characters = size / static_cast<DWORD>(sizeof(WCHAR));
    for (DWORD index = 0; index < characters; ++index) {
        WCHAR character = 0;
        std::memcpy(&character, input + static_cast<size_t>(index) * sizeof(WCHAR),
                    sizeof(character));
        if (character == L'\0') {
            return index;
        }
    }
    return kNoTerminator;
}

} // namespace vela
