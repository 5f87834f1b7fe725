// Registering the monitor with a real Windows spooler, and listing its ports.
// Each needs the spooler service; install and uninstall need administrator rights.
#pragma once

namespace vela::host {

// Copies the DLL beside this program to the system folder and adds the monitor.
int InstallMonitor();
// Deletes the monitor from the spooler and removes the DLL from the system folder.
int UninstallMonitor();
// Lists the spooler's ports with their monitors.
int ListPorts();

} // namespace vela::host
