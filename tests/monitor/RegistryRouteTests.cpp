// The monitor's registry calls on both routes: the spooler's registry functions,
// and, where the spooler has only stubs answering ERROR_CALL_NOT_IMPLEMENTED and
// closes the root key after InitializePrintMonitor2, the monitor's key opened by
// name. Either way the caller's MONITORINIT may go once the call returns.
#include "core/PortSettingsLayout.h"
#include "ports/PortSettingsStore.h"
#include "ports/MonitorRegistry.h"
#include "ports/PortList.h"
#include "sim/MonitorHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vela::test {
namespace {

// The monitor's key by name, fresh for the test; what the prefix held there
// before is put back afterwards.
class MonitorKeyByName {
  public:
    MonitorKeyByName()
        : backupPath_(L"Software\\Vela3dpTests\\MonitorKeyBackup" +
                      std::to_wstring(::GetCurrentProcessId())) {
        HKEY existing = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorKeyPath, 0, KEY_READ, &existing) ==
            ERROR_SUCCESS) {
            HKEY backup = nullptr;
            ::RegCreateKeyExW(HKEY_CURRENT_USER, backupPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &backup, nullptr);
            backedUp_ = ::RegCopyTreeW(existing, nullptr, backup) == ERROR_SUCCESS;
            ::RegCloseKey(backup);
            ::RegCloseKey(existing);
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMonitorKeyPath);
        }
    }
    ~MonitorKeyByName() {
        ::RegCloseKey(key_);
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMonitorKeyPath);
        if (backedUp_) {
            HKEY restored = nullptr;
            HKEY backup = nullptr;
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &restored, nullptr);
            ::RegOpenKeyExW(HKEY_CURRENT_USER, backupPath_.c_str(), 0, KEY_READ, &backup);
            ::RegCopyTreeW(backup, nullptr, restored);
            ::RegCloseKey(backup);
            ::RegCloseKey(restored);
        }
        ::RegDeleteTreeW(HKEY_CURRENT_USER, backupPath_.c_str());
    }
    MonitorKeyByName(const MonitorKeyByName&) = delete;
    MonitorKeyByName& operator=(const MonitorKeyByName&) = delete;

    HKEY Create() {
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &key_, nullptr);
        return key_;
    }

  private:
    std::wstring backupPath_;
    bool backedUp_ = false;
    HKEY key_ = nullptr;
};

void SetValue(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD type, const void* data,
              DWORD size) {
    ASSERT_EQ(::RegSetKeyValueW(root, subKey, name, type, data, size), ERROR_SUCCESS);
}

bool HasValue(HKEY root, const wchar_t* subKey, const wchar_t* name) {
    return ::RegGetValueW(root, subKey, name, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

TEST(RegistryRoute, PortsAndSettingsOnEitherRouteWithTheCallersRecordGone) {
    struct Route {
        const char* name;
        bool stubs; // Wine's spooler
    } routes[] = {{"the spooler's functions", false}, {"the key by name", true}};
    for (const Route& route : routes) {
        SCOPED_TRACE(route.name);
        MonitorKeyByName byName;
        HKEY ownKey = byName.Create();
        MonitorHarness harness;
        const HKEY root = route.stubs ? ownKey : harness.registry.Root();
        const wchar_t empty[] = L"";
        const wchar_t cancel[] = L"M104 S0\0M84\0";
        const DWORD window = 64;
        SetValue(root, kPortsKeyName, L"Kept1:", REG_SZ, empty, sizeof(empty));
        SetValue(root, nullptr, kCancelGcodeName, REG_MULTI_SZ, cancel, sizeof(cancel));
        SetValue(root, L"PortSettings\\Kept1:", kStreamWindowName, REG_DWORD, &window,
                 sizeof(window));
        ASSERT_TRUE(harness.Attach());
        // The spooler's record, wiped once the call returns.
        MONITORINIT given = *harness.registry.Get();
        if (route.stubs) {
            RegistryMonitorInit::AnswerEveryCallWith(ERROR_CALL_NOT_IMPLEMENTED);
        }
        ASSERT_NE(harness.Initialize(&given), nullptr) << ::GetLastError();
        given = MONITORINIT{};
        if (route.stubs) {
            harness.registry.CloseRoot();
        }
        MonitorState& state = harness.State();
        EXPECT_NE(FindPortEntry(harness.Context()->firstPort, L"Kept1:"), nullptr);
        const PortSettings settings = ReadPortSettings(state, L"Kept1:");
        EXPECT_EQ(settings.cancelLines, (std::vector<std::string>{"M104 S0", "M84"}));
        EXPECT_TRUE(settings.streamWindowStored);
        EXPECT_EQ(settings.streamWindow, window);
        PORT_INFO_1W info{const_cast<LPWSTR>(L"Added1:")};
        EXPECT_TRUE(harness.Table()->pfnAddPortEx(harness.MonitorHandle(), nullptr, 1,
                                                  reinterpret_cast<LPBYTE>(&info), nullptr));
        EXPECT_TRUE(HasValue(root, kPortsKeyName, L"Added1:"));
        DeleteRegisteredPort(state, L"Kept1:");
        EXPECT_FALSE(HasValue(root, kPortsKeyName, L"Kept1:"));
        if (!route.stubs) {
            // Where the spooler's functions work, the key by name is not touched.
            EXPECT_FALSE(HasValue(ownKey, kPortsKeyName, L"Added1:"));
        }
        harness.Unload();
        // The key opened by name goes with the monitor.
        EXPECT_EQ(state.monitorInit, nullptr);
        EXPECT_EQ(state.registry.ownRoot, nullptr);
        RegistryMonitorInit::AnswerEveryCallWith(0);
    }
}

TEST(RegistryRoute, StubsWithoutTheKeyByNameRefuseTheMonitor) {
    MonitorKeyByName byName;
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    RegistryMonitorInit::AnswerEveryCallWith(ERROR_CALL_NOT_IMPLEMENTED);
    ::SetLastError(0);
    EXPECT_EQ(harness.Initialize(), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(harness.State().monitorInit, nullptr);
}

} // namespace
} // namespace vela::test
