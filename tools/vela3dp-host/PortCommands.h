// The port commands: port add, port set-serial, port set, port delete and ports,
// through the same port configuration as the monitor's port screens.
#pragma once

#include "HostArguments.h"

namespace vela::host {

// Runs one port command; 0 on success, 1 when refused (the reason on stderr).
int RunPortCommand(const HostArguments& arguments);

} // namespace vela::host
