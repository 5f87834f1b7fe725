// The protocol handler's thread routine.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

// Takes the ProtocolHandlerParams; always returns 0. Sets the end-shutdown event
// once it has released everything after a stop request; a thread that fails to
// set up ends without it.
DWORD WINAPI ProtocolHandlerThread(LPVOID parameter);

} // namespace vela
