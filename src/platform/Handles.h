// Kernel handles and the critical-section guard.
#pragma once

#include "platform/UniqueResource.h"
#include "platform/Win32Headers.h"

namespace vela {

// Holds a critical section for the life of the guard.
class CriticalSectionLock {
  public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) : section_(section) {
        ::EnterCriticalSection(&section_);
    }
    ~CriticalSectionLock() { ::LeaveCriticalSection(&section_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

  private:
    CRITICAL_SECTION& section_;
};

struct KernelHandleTraits : NullOrInvalidHandleIsInvalid<HANDLE> {
    static void Close(HANDLE handle) noexcept { ::CloseHandle(handle); }
};

// A kernel handle closed with CloseHandle; none is null or INVALID_HANDLE_VALUE.
using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;

} // namespace vela
