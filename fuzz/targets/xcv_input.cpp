// Transceive input checks: an input of any size, with or without a terminator.
// The length found must be that of the first NUL character lying wholly within the
// size, read without touching a byte beyond it.
#include "FuzzInput.h"
#include "ports/XcvInput.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the input's size on the heap; the fuzzer's own buffer may be larger.
    std::unique_ptr<BYTE[]> input(new BYTE[size == 0 ? 1 : size]);
    if (size > 0) {
        std::memcpy(input.get(), data, size);
    }
    const auto stated = static_cast<DWORD>(size);
    const DWORD length = vela::TerminatedTextLength(size == 0 ? nullptr : input.get(), stated);
    const size_t characters = size / sizeof(WCHAR);
    size_t firstNul = characters;
    for (size_t index = 0; index < characters; ++index) {
        if (std::memcmp(data + index * sizeof(WCHAR), "\0\0\0\0\0\0\0\0", sizeof(WCHAR)) == 0) {
            firstNul = index;
            break;
        }
    }
    if (firstNul == characters) {
        fuzz::Check(length == vela::kNoTerminator, "a terminator found where none lies");
    } else {
        fuzz::Check(length == firstNul, "length differs from the first NUL character");
    }
    // A size larger than the stated one never changes the answer for a shorter size.
    if (size >= sizeof(WCHAR)) {
        const DWORD shorter = vela::TerminatedTextLength(input.get(), stated - 1);
        fuzz::Check(shorter == vela::kNoTerminator || shorter == length, "shorter size");
    }
    return 0;
}
