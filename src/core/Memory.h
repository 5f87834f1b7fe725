// Zero-filled global-heap blocks for every record that crosses the spooler boundary.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

// A fixed, zero-filled block, or none when the allocation fails.
void* AllocMem(SIZE_T size);
// A copy of the text with its terminator; none for no text or no memory.
LPWSTR AllocString(LPCWSTR text);
// True when no block was given or the release succeeded.
BOOL FreeMem(void* block);
BOOL FreeString(LPWSTR text);

} // namespace vela
