// A key opened through the registry functions that the spooler hands the monitor
// (MONITORINIT's MONITORREG), closed through the same table.
#pragma once

#include "platform/UniqueResource.h"
#include "platform/Win32Headers.h"

namespace vela {

class SpoolerRegKeyTraits : public NullIsInvalid<HANDLE> {
  public:
    explicit SpoolerRegKeyTraits(const MONITORINIT* init = nullptr) noexcept : init_(init) {}
    // A key handed to a holder made without the functions cannot be closed.
    void Close(HANDLE key) const noexcept {
        if (init_ != nullptr) {
            init_->pMonitorReg->fpCloseKey(key, init_->hSpooler);
        }
    }

  private:
    const MONITORINIT* init_;
};

using UniqueSpoolerRegKey = UniqueResource<HANDLE, SpoolerRegKeyTraits>;

// An empty key that will close through the functions of init.
inline UniqueSpoolerRegKey SpoolerRegKeyOf(const MONITORINIT& init) {
    return UniqueSpoolerRegKey(nullptr, SpoolerRegKeyTraits(&init));
}

} // namespace vela
