// A registry key opened directly through the registry functions.
#pragma once

#include "platform/UniqueResource.h"
#include "platform/Win32Headers.h"

namespace vela {

struct RegistryKeyTraits : NullOrInvalidHandleIsInvalid<HKEY> {
    static void Close(HKEY key) noexcept { ::RegCloseKey(key); }
};

using UniqueRegKey = UniqueResource<HKEY, RegistryKeyTraits>;

} // namespace vela
