// The spooler's transceive route played in this process: the port configuration's
// calls go straight to a loaded monitor's MONITOR2 table, with the access the
// spooler would grant the caller. Used by the tests and by the host program, whose
// port commands run the monitor in-process where no spooler knows it.
#pragma once

#include "portconfig/ConfigurationSeams.h"

namespace vela::test {

class MonitorTableRoute : public portconfig::MonitorRoute {
  public:
    // granted: SERVER_ACCESS_ADMINISTER for an administrator, 0 for anyone else;
    // the monitor itself refuses the commands that need the right.
    MonitorTableRoute(LPMONITOR2 table, HANDLE monitor, ACCESS_MASK granted);

    DWORD Open(const std::wstring& object, HANDLE* xcv) override;
    DWORD Data(HANDLE xcv, const std::wstring& command, const void* input, DWORD inputSize,
               void* output, DWORD outputSize, DWORD* needed) override;
    void Close(HANDLE xcv) override;
    DWORD PortNames(std::vector<std::wstring>* names) override;

    int openHandles = 0;

  private:
    LPMONITOR2 table_;
    HANDLE monitor_;
    ACCESS_MASK granted_;
};

} // namespace vela::test
