#include "monitor/MonitorState.h"

#include "monitor/Cleanup.h"

namespace vela {

MonitorState::MonitorState() : m_Lock{} {}

MonitorState::~MonitorState() {
    // Does nothing when DllMain's detach has already cleaned up.
    InstanceCleanUp(*this);
}

namespace {

// Constructed when the module is loaded, before DllMain runs.
MonitorState monitorState;

} // namespace

MonitorState& TheMonitorState() {
    return monitorState;
}

} // namespace vela
