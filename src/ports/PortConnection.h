// What a port keeps of its link to its printer between spooler calls. The job
// path makes it; the port entry owns it and releases it with itself.
#pragma once

namespace vela {

class PortConnection {
  public:
    virtual ~PortConnection() = default;
};

} // namespace vela
