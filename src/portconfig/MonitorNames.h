// The names under which Windows knows the monitor, as the port configuration
// reaches it from outside its process.
#pragma once

namespace vela::portconfig {

constexpr wchar_t kMonitorName[] = L"Vela3dp Print Monitor";
// The monitor's registry root below HKEY_LOCAL_MACHINE; its "Ports" key holds the ports.
constexpr wchar_t kMonitorKeyPath[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Vela3dp Print Monitor";

} // namespace vela::portconfig
