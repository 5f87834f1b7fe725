// Adding, configuring, deleting and listing the monitor's ports: the logic shared by
// the port configuration screens and the host program's port commands. It reaches
// the monitor only through its transceive commands (which also read and store a
// port's settings), and writes a serial port's device path into the port's value
// under the monitor's "Ports" key.
#pragma once

#include "core/PortSettings.h"
#include "portconfig/ConfigurationSeams.h"

#include <string>
#include <vector>

namespace vela::portconfig {

// A Win32 code and, when it is not 0, what to tell the user.
struct Outcome {
    DWORD code = ERROR_SUCCESS;
    std::wstring message;
    bool Ok() const { return code == ERROR_SUCCESS; }
};

struct PortListing {
    std::wstring name;
    // "\\.\COMn" for a serial printer; empty for a USB printer.
    std::wstring device;
    // False for a port the monitor found on an attached printer, which has no value
    // under "Ports".
    bool stored = true;
};

class PortConfiguration {
  public:
    PortConfiguration(MonitorRoute& route, PortStore& store, ComPortList& comPorts);

    // A new port; device is empty for a USB printer, else "COMn" or "\\.\COMn", whose
    // port then also takes the settings. Nothing is left of a port refused on the way.
    Outcome AddPort(const std::wstring& name, const std::wstring& device,
                    const PortSettingsChange& settings = PortSettingsChange());
    // Makes a stored port a serial port on the device, or a USB port (empty device).
    Outcome SetDevice(const std::wstring& name, const std::wstring& device);
    Outcome DeletePort(const std::wstring& name);
    // The monitor's ports with their devices.
    Outcome ListPorts(std::vector<PortListing>* ports);
    // One port as ListPorts shows it.
    Outcome FindPort(const std::wstring& name, PortListing* port);
    // The settings the monitor uses for the port.
    Outcome ReadSettings(const std::wstring& name, PortSettings* settings);
    // Stores what the change sets for a serial port; a value the rules refuse is
    // refused with ERROR_INVALID_DATA and the reason, before the monitor is asked.
    Outcome ChangeSettings(const std::wstring& name, const PortSettingsChange& change);

  private:
    // The checked device path for the device the user gave ("" stays "").
    Outcome CheckDevice(const std::wstring& device, std::wstring* path);
    // "SetPortSettings" for a port known to be the monitor's.
    Outcome StoreSettings(const std::wstring& name, const PortSettingsChange& change);

    MonitorRoute& route_;
    PortStore& store_;
    ComPortList& comPorts_;
};

} // namespace vela::portconfig
