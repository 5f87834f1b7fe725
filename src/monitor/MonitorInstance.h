// The module's one monitor state.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// The module's instance, constructed when the module is loaded.
MonitorState& TheMonitorState();

} // namespace vela
