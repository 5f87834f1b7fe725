#include "PortCommands.h"

#include "HostMonitor.h"
#include "LogLocation.h"
#include "sim/FakePlatform.h"
#include "sim/MonitorTableRoute.h"
#include "platform/Platform.h"
#include "portconfig/MachineComPorts.h"
#include "portconfig/MonitorNames.h"
#include "portconfig/PortConfiguration.h"
#include "portconfig/RegistryPortStore.h"
#include "portconfig/SettingsText.h"
#include "portconfig/SpoolerRoute.h"

#include <cstdio>
#include <memory>

namespace vela::host {
namespace {

using portconfig::Outcome;
using portconfig::PortListing;

// What the spooler grants: the administer right to members of Administrators whose
// token is not filtered (an elevated prompt).
bool IsAdministrator() {
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(sid);
    BOOL member = FALSE;
    return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
           ::CheckTokenMembership(nullptr, sid, &member) && member;
}

int Refused(const Outcome& outcome) {
    std::fprintf(stderr, "%ls\n", outcome.message.c_str());
    return 1;
}

// A serial port's settings, indented below its line.
void ShowSettings(portconfig::PortConfiguration& configuration, const std::wstring& name) {
    PortSettings settings;
    const Outcome read = configuration.ReadSettings(name, &settings);
    if (!read.Ok()) {
        std::printf("    settings: %ls\n", read.message.c_str());
        return;
    }
    std::printf("    speed: %ls; window: %ls\n",
                portconfig::BaudRateText(settings.baudRate).c_str(),
                portconfig::StreamWindowText(settings.streamWindow).c_str());
    std::printf("    cancel G-code: %ls\n",
                portconfig::GcodeLinesText(settings.cancelLines).c_str());
    std::printf("    pause G-code: %ls\n", portconfig::GcodeLinesText(settings.pauseLines).c_str());
    std::printf("    resume G-code: %ls\n",
                portconfig::GcodeLinesText(settings.resumeLines).c_str());
}

int ShowPorts(portconfig::PortConfiguration& configuration) {
    std::vector<PortListing> ports;
    const Outcome listed = configuration.ListPorts(&ports);
    if (!listed.Ok()) {
        return Refused(listed);
    }
    std::printf("%-28s %-16s %s\n", "Port", "Kind", "Device");
    for (const PortListing& port : ports) {
        const char* kind = !port.device.empty() ? "serial" : port.stored ? "USB" : "USB (attached)";
        std::printf("%-28ls %-16s %ls\n", port.name.c_str(), kind, port.device.c_str());
        if (!port.device.empty()) {
            ShowSettings(configuration, port.name);
        }
    }
    if (ports.empty()) {
        std::printf("(the monitor has no ports)\n");
    }
    return 0;
}

int Run(const HostArguments& arguments, portconfig::PortConfiguration& configuration) {
    Outcome outcome;
    switch (arguments.command) {
    case Command::Ports:
        return ShowPorts(configuration);
    case Command::PortAdd:
        outcome = configuration.AddPort(arguments.portName, arguments.device, arguments.settings);
        break;
    case Command::PortSetSerial:
        outcome = configuration.SetDevice(arguments.portName, arguments.device);
        break;
    case Command::PortSet:
        outcome = configuration.ChangeSettings(arguments.portName, arguments.settings);
        break;
    default:
        outcome = configuration.DeletePort(arguments.portName);
        break;
    }
    if (!outcome.Ok()) {
        return Refused(outcome);
    }
    if (arguments.command == Command::PortDelete) {
        std::printf("Deleted the port \"%ls\".\n", arguments.portName.c_str());
        return 0;
    }
    // What the monitor will use, as stored.
    PortListing port;
    if (!configuration.FindPort(arguments.portName, &port).Ok()) {
        port.name = arguments.portName;
    }
    std::printf("%s the port \"%ls\" ", arguments.command == Command::PortAdd ? "Added" : "Set",
                port.name.c_str());
    if (port.device.empty()) {
        std::printf("for a USB printer.\n");
    } else {
        std::printf("for a serial printer on %ls.\n", port.device.c_str());
        ShowSettings(configuration, port.name);
    }
    return 0;
}

} // namespace

int RunPortCommand(const HostArguments& arguments) {
    portconfig::RegistryPortStore store(HKEY_LOCAL_MACHINE, portconfig::kMonitorKeyPath);
    portconfig::MachineComPorts comPorts;
    if (!arguments.inProcess && !RunningUnderWine()) {
        portconfig::SpoolerRoute route(L"");
        portconfig::PortConfiguration configuration(route, store, comPorts);
        return Run(arguments, configuration);
    }
    // The monitor loaded here, on its own registry key, as the spooler would load it;
    // device arrivals do not matter for one command (and Wine cannot report them).
    test::FakeNotifications notifications;
    Platform platform = Win32Platform();
    platform.notifications = &notifications;
    HostMonitor monitor(platform, HKEY_LOCAL_MACHINE, portconfig::kMonitorKeyPath);
    if (!monitor.Load()) {
        std::fprintf(stderr, "The monitor cannot run in this program: %s\n",
                     monitor.Error().c_str());
        return 1;
    }
    test::MonitorTableRoute route(monitor.Table(), monitor.MonitorHandle(),
                                  IsAdministrator() ? SERVER_ACCESS_ADMINISTER : 0);
    portconfig::PortConfiguration configuration(route, store, comPorts);
    return Run(arguments, configuration);
}

} // namespace vela::host
