// The machine's serial ports, as their drivers register them under
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM (USB serial adapters included).
#pragma once

#include "portconfig/ConfigurationSeams.h"

namespace vela::portconfig {

class MachineComPorts : public ComPortList {
  public:
    // "COM1", "COM3", ... in number order.
    std::vector<std::wstring> Names() override;
};

} // namespace vela::portconfig
