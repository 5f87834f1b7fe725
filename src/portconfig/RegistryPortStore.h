// The monitor's "Ports" key in the registry. On Windows the key is below
// HKEY_LOCAL_MACHINE and only administrators may write it.
#pragma once

#include "portconfig/ConfigurationSeams.h"

namespace vela::portconfig {

class RegistryPortStore : public PortStore {
  public:
    // The monitor's root key, base\rootPath (base itself when the path is empty);
    // its "Ports" subkey holds the ports.
    RegistryPortStore(HKEY base, std::wstring rootPath);

    DWORD ReadDevice(const std::wstring& port, std::wstring* device) override;
    DWORD WriteDevice(const std::wstring& port, const std::wstring& device) override;

  private:
    HKEY base_;
    std::wstring portsPath_;
};

} // namespace vela::portconfig
