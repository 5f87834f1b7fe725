// Registering the monitor and its port screens with a real Windows spooler. Both
// need the spooler service and administrator rights.
#pragma once

namespace vela::host {

// Copies the monitor DLL and the port screens' DLL beside this program to the
// system folder and adds the monitor.
int InstallMonitor();
// Deletes the monitor from the spooler and removes both DLLs from the system folder.
int UninstallMonitor();

} // namespace vela::host
