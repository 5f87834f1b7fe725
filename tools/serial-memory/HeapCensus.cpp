#include "HeapCensus.h"

#include "platform/Win32Headers.h"

#include <vector>

namespace vela::bench {

bool TakeHeapCensus(HeapCensus& census) {
    census = HeapCensus{};
    // Room for a few more heaps than there are now: the list itself is not
    // taken from a heap while it is walked.
    std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr) + 8);
    const DWORD count = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    if (count == 0 || count > heaps.size()) {
        return false;
    }
    for (DWORD index = 0; index < count; ++index) {
        if (!::HeapLock(heaps[index])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heaps[index], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                census.busyBytes += entry.cbData;
                ++census.busyBlocks;
            }
        }
        ::HeapUnlock(heaps[index]);
        ++census.heaps;
    }
    return true;
}

} // namespace vela::bench
