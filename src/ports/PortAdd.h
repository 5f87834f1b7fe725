// Adding a port, shared by AddPortEx and the "AddPort" transceive command.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// Refuses a name the spooler or the port list already offers (result knownCode) or
// an empty name (ERROR_INVALID_NAME), then appends an entry and stores the name under "Ports".
// When the name cannot be stored, the entry made for it is removed again and the
// registry code is the result. Called without the monitor lock (the spooler is
// asked first).
DWORD AddNewPort(MonitorState& state, MonitorContext* context, LPWSTR serverName, LPCWSTR name,
                 DWORD knownCode);

} // namespace vela
