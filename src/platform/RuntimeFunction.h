// Functions that some systems lack are looked up when first called, so that the
// module's import table names only functions every supported system has.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

template <typename Function>
Function ResolveRuntimeFunction(const wchar_t* moduleName, const char* functionName) {
    // Process attach resolves the notification functions from DllMain, where loading
    // a library is best avoided; cfgmgr32.dll is normally in the process already, as
    // setupapi.dll, which the monitor imports, depends on it.
    HMODULE module = ::GetModuleHandleW(moduleName);
    if (module == nullptr) {
        // Loaded once and kept for the life of the process, like an import.
        module = ::LoadLibraryW(moduleName);
    }
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(module, functionName)));
}

} // namespace vela
