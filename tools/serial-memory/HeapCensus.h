// What the process's heaps hold: busy blocks and their bytes over every heap of
// the process, walked under each heap's lock.
#pragma once

#include <cstdint>

namespace vela::bench {

struct HeapCensus {
    uint64_t busyBytes = 0;
    uint64_t busyBlocks = 0;
    uint32_t heaps = 0;
};

// False when the heaps cannot be listed.
bool TakeHeapCensus(HeapCensus& census);

} // namespace vela::bench
