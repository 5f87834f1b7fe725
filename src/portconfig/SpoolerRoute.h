// The monitor reached through the spooler: OpenPrinterW on ",XcvMonitor <monitor>",
// XcvDataW and ClosePrinter for the transceive commands, EnumPortsW for its ports.
#pragma once

#include "portconfig/ConfigurationSeams.h"

namespace vela::portconfig {

class SpoolerRoute : public MonitorRoute {
  public:
    // server: empty for this machine, else "\\name" as the port screens receive it.
    explicit SpoolerRoute(std::wstring server);

    DWORD Open(const std::wstring& object, HANDLE* xcv) override;
    DWORD Data(HANDLE xcv, const std::wstring& command, const void* input, DWORD inputSize,
               void* output, DWORD outputSize, DWORD* needed) override;
    void Close(HANDLE xcv) override;
    DWORD PortNames(std::vector<std::wstring>* names) override;

  private:
    std::wstring server_;
};

} // namespace vela::portconfig
