// The machine's serial ports, from its DOS device names.
#pragma once

#include "portconfig/ConfigurationSeams.h"

namespace vela::portconfig {

class MachineComPorts : public ComPortList {
  public:
    // "COM1", "COM3", ... in number order.
    std::vector<std::wstring> Names() override;
};

} // namespace vela::portconfig
