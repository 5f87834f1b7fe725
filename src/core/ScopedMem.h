// Owning holder for AllocMem blocks that live only for one call.
#pragma once

#include "core/Memory.h"
#include "platform/UniqueResource.h"

namespace vela {

template <typename T> struct AllocMemTraits : NullIsInvalid<T*> {
    static void Close(T* block) noexcept { FreeMem(block); }
};

template <typename T> using ScopedMem = UniqueResource<T*, AllocMemTraits<T>>;

// A zero-filled block of the given size, or an empty holder when the allocation
// fails (the allocator's last error stands).
template <typename T> ScopedMem<T> AllocScoped(SIZE_T size) {
    return ScopedMem<T>(static_cast<T*>(AllocMem(size)));
}

} // namespace vela
