#include "monitor/PortStreamSetting.h"

#include "serial/StreamWindow.h"

#include <algorithm>
#include <string>

namespace vela {
namespace {

// A key opened through the spooler's registry functions, closed with them.
class MonitorRegKey {
  public:
    MonitorRegKey(const MONITORINIT& init, const std::wstring& path) : init_(init) {
        if (init_.pMonitorReg->fpOpenKey(init_.hckRegistryRoot, path.c_str(), KEY_READ, &key_,
                                         init_.hSpooler) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~MonitorRegKey() {
        if (key_ != nullptr) {
            init_.pMonitorReg->fpCloseKey(key_, init_.hSpooler);
        }
    }
    MonitorRegKey(const MonitorRegKey&) = delete;
    MonitorRegKey& operator=(const MonitorRegKey&) = delete;

    HANDLE Get() const { return key_; }

  private:
    const MONITORINIT& init_;
    HANDLE key_ = nullptr;
};

} // namespace

StreamWindowSetting ReadStreamWindowSetting(MonitorState& state, LPCWSTR portName) {
    StreamWindowSetting setting;
    const MONITORINIT* init = state.m_pMonitorInit;
    // A name with a backslash would reach into another port's key.
    if (init == nullptr || init->pMonitorReg == nullptr || portName == nullptr ||
        portName[0] == L'\0' || std::wstring(portName).find(L'\\') != std::wstring::npos) {
        return setting;
    }
    MonitorRegKey key(*init, std::wstring(kPortSettingsKeyName) + L"\\" + portName);
    if (key.Get() == nullptr) {
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
    setting.automatic = false;
    setting.bytes = std::min<DWORD>(value, StreamWindow::kMaxBytes);
    return setting;
}

} // namespace vela
