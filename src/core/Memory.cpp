#include "core/Memory.h"

#include <cstring>
#include <cwchar>

namespace vela {

void* AllocMem(SIZE_T size) {
    void* block = ::GlobalAlloc(GMEM_FIXED, size);
    if (block != nullptr) {
        std::memset(block, 0, size);
    }
    return block;
}

LPWSTR AllocString(LPCWSTR text) {
    if (text == nullptr) {
        return nullptr;
    }
    const SIZE_T bytes = (std::wcslen(text) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPWSTR>(AllocMem(bytes));
    if (copy != nullptr) {
        std::memcpy(copy, text, bytes);
    }
    return copy;
}

BOOL FreeMem(void* block) {
    if (block == nullptr) {
        return TRUE;
    }
    return ::GlobalFree(block) == nullptr;
}

BOOL FreeString(LPWSTR text) {
    return FreeMem(text);
}

} // namespace vela
