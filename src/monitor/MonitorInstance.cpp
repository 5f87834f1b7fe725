#include "monitor/MonitorInstance.h"

#include "monitor/Shutdown.h"

namespace vela {
namespace {

// The module's one state, cleaned up when the module is unloaded.
struct MonitorInstance {
    MonitorState state;
    // Does nothing when DllMain's detach has already cleaned up.
    ~MonitorInstance() { InstanceCleanUp(state); }
};

// Constructed when the module is loaded, before DllMain runs.
MonitorInstance monitorInstance;

} // namespace

MonitorState& TheMonitorState() {
    return monitorInstance.state;
}

} // namespace vela
