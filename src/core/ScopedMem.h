// Owning holder for AllocMem blocks that live only for one call.
#pragma once

#include "core/Memory.h"

#include <memory>

namespace vela {

struct FreeMemDeleter {
    void operator()(void* block) const { FreeMem(block); }
};

template <typename T> using ScopedMem = std::unique_ptr<T, FreeMemDeleter>;

// A zero-filled block of the given size, or an empty holder when the allocation
// fails (the allocator's last error stands).
template <typename T> ScopedMem<T> AllocScoped(SIZE_T size) {
    return ScopedMem<T>(static_cast<T*>(AllocMem(size)));
}

} // namespace vela
