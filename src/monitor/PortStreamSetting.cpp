#include "monitor/PortStreamSetting.h"

#include "core/SpoolerRegKey.h"
#include "serial/StreamWindow.h"

#include <algorithm>
#include <string>

namespace vela {

StreamWindowSetting ReadStreamWindowSetting(MonitorState& state, LPCWSTR portName) {
    StreamWindowSetting setting;
    const MONITORINIT* init = state.monitorInit;
    // A name with a backslash would reach into another port's key.
    if (init == nullptr || init->pMonitorReg == nullptr || portName == nullptr ||
        portName[0] == L'\0' || std::wstring(portName).find(L'\\') != std::wstring::npos) {
        return setting;
    }
    UniqueSpoolerRegKey key = SpoolerRegKeyOf(*init);
    const std::wstring path = std::wstring(kPortSettingsKeyName) + L"\\" + portName;
    if (init->pMonitorReg->fpOpenKey(init->hckRegistryRoot, path.c_str(), KEY_READ, key.Put(),
                                     init->hSpooler) != ERROR_SUCCESS) {
        // Whatever a failed open left in the slot is no key.
        key.Release();
    }
    if (!key.Valid()) {
        return setting;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (init->pMonitorReg->fpQueryValue(key.Get(), kStreamWindowValueName, &type,
                                        reinterpret_cast<LPBYTE>(&value), &size,
                                        init->hSpooler) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return setting;
    }
    setting.bytes = std::min<DWORD>(value, StreamWindow::kMaxBytes);
    return setting;
}

} // namespace vela
