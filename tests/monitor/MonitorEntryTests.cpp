// Process attach, InitializePrintMonitor2, the function table and the clean-up.
#include "ports/DeviceDiscovery.h"
#include "sim/MonitorHarness.h"
#include "monitor/Shutdown.h"
#include "monitor/MonitorTable.h"
#include "ports/PortList.h"

#include <gtest/gtest.h>

#include "sim/LogFile.h"

#include <cstring>
#include <string>
#include <thread>

namespace vela::test {
namespace {

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(MonitorEntry, AttachOnlyMakesTheLockAndInitializeRegistersForNotices) {
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    // Under the loader lock: nothing but the lock.
    EXPECT_EQ(harness.notifications.registerCalls, 0);
    EXPECT_EQ(harness.State().lockReady, 1);
    ASSERT_NE(harness.Initialize(), nullptr);
    EXPECT_EQ(harness.notifications.registerCalls, 1);
    EXPECT_EQ(harness.notifications.lastFilter.cbSize, 416u);
    EXPECT_EQ(harness.notifications.lastFilter.Flags, 0u);
    EXPECT_EQ(harness.notifications.lastFilter.FilterType, CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE);
    EXPECT_TRUE(IsEqualGUID(harness.notifications.lastFilter.u.DeviceInterface.ClassGuid,
                            kPrinterInterfaceClassGuid));
    EXPECT_EQ(harness.notifications.context, &harness.State());
    EXPECT_EQ(harness.State().notification, harness.notifications.handed);
}

TEST(MonitorEntry, NoticesMissingOrRefusedLeaveDiscoveryAtStartOnly) {
    ResetLog();
    struct Case {
        CONFIGRET result;
        bool noHandle;
    } cases[] = {{CR_CALL_NOT_IMPLEMENTED, false}, {CR_FAILURE, false}, {CR_SUCCESS, true}};
    for (const Case& item : cases) {
        MonitorHarness harness;
        harness.notifications.registerResult = item.result;
        harness.notifications.yieldNoHandle = item.noHandle;
        harness.deviceSetup.devices = {{true, L"Quarlend1:"}};
        ASSERT_TRUE(harness.Attach());
        ASSERT_NE(harness.Initialize(), nullptr) << item.result;
        EXPECT_NE(FindPortEntry(harness.Context()->firstPort, L"Quarlend1:"), nullptr);
        EXPECT_EQ(harness.State().notification, nullptr);
        harness.Unload();
        EXPECT_EQ(harness.notifications.unregisterCalls, 0);
    }
    EXPECT_EQ(CountOf(ReadLog(), "No printer arrival notices"), 1u);
}
TEST(MonitorEntry, TableHasTheSpoolerSizeAndEmptyEntries) {
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    LPMONITOR2 table = harness.Initialize();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->cbSize, 184u);
    EXPECT_EQ(table->pfnOpenPortEx, nullptr);
    EXPECT_EQ(table->pfnAddPort, nullptr);
    EXPECT_EQ(table->pfnConfigurePort, nullptr);
    EXPECT_EQ(table->pfnDeletePort, nullptr);
    EXPECT_EQ(table->pfnNotifyUsedPorts, nullptr);
    EXPECT_EQ(table->pfnNotifyUnusedPorts, nullptr);
    const auto* full = reinterpret_cast<const Monitor2WithPowerEvent*>(table);
    EXPECT_EQ(full->pfnPowerEvent, nullptr);
    EXPECT_NE(table->pfnShutdown, nullptr);
}

TEST(MonitorEntry, NewContextCarriesSignatureAndMonitorInit) {
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    ASSERT_NE(harness.Initialize(), nullptr);
    const auto* bytes = reinterpret_cast<const unsigned char*>(harness.Context());
    EXPECT_EQ(bytes[0], 0x49);
    EXPECT_EQ(bytes[1], 0x4C);
    EXPECT_EQ(bytes[2], 0x4D);
    EXPECT_EQ(bytes[3], 0x00);
    // The monitor's own copy, not the spooler's record.
    ASSERT_NE(harness.Context()->monitorInit, nullptr);
    EXPECT_NE(harness.Context()->monitorInit, harness.registry.Get());
    EXPECT_EQ(harness.Context()->monitorInit->hSpooler, harness.registry.Get()->hSpooler);
    EXPECT_EQ(harness.Context()->firstPort, nullptr);
    EXPECT_EQ(harness.Context()->firstXcvHandle, nullptr);
    EXPECT_EQ(harness.State().context, harness.Context());
}

TEST(MonitorEntry, FailedLoadPortsLeavesNoContextAndSetsLastError) {
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    RegistryMonitorInit::FailCreateKeyWith(ERROR_ACCESS_DENIED);
    HANDLE monitor = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(1));
    ::SetLastError(0);
    EXPECT_EQ(::InitializePrintMonitor2(harness.registry.Get(), &monitor), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(monitor, nullptr);
    EXPECT_EQ(harness.State().context, nullptr);
    // A refused initialisation keeps no registration and no registry route.
    EXPECT_EQ(harness.notifications.unregisterCalls, harness.notifications.registerCalls);
    EXPECT_EQ(harness.State().monitorInit, nullptr);
}

// A device's name too long for a port is passed over: it no longer fails the load
// (only running out of memory still makes discovery fail).
TEST(MonitorEntry, OverLongDevicePortNameDoesNotFailTheLoad) {
    MonitorHarness harness;
    harness.deviceSetup.devices = {{true, L"Quarlend1:"},
                                   {true, L"Quarlend" + std::wstring(250, L'x')}};
    ASSERT_TRUE(harness.Attach());
    ASSERT_NE(harness.Initialize(), nullptr);
    const PortEntry* first = harness.Context()->firstPort;
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->name, L"Quarlend1:");
}

TEST(MonitorEntry, ShutdownUnregistersOutsideTheLockAndDetachOnlyDeletesIt) {
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    ASSERT_NE(harness.Initialize(), nullptr);
    // The real call waits for a callback that is running, and the callback takes
    // the monitor lock: the lock must be free meanwhile.
    bool lockFree = false;
    harness.notifications.onUnregister = [&] {
        std::thread callback([&] {
            lockFree = ::TryEnterCriticalSection(&harness.State().lock) != FALSE;
            if (lockFree) {
                ::LeaveCriticalSection(&harness.State().lock);
            }
        });
        callback.join();
    };
    harness.Shutdown();
    EXPECT_TRUE(lockFree);
    EXPECT_EQ(harness.notifications.unregisterCalls, 1);
    EXPECT_EQ(harness.State().notification, nullptr);
    harness.Unload();
    EXPECT_EQ(harness.notifications.unregisterCalls, 1);
    EXPECT_EQ(harness.State().lockReady, 0);
    // The state's own destruction runs the clean-up again; it must do nothing.
    InstanceCleanUp(harness.State());
    EXPECT_EQ(harness.State().lockReady, 0);
}

TEST(MonitorEntry, NoticeBeforeTheContextExistsDoesNothing) {
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    harness.deviceSetup.devices = {{true, L"Quarlend1:"}};
    // As a notice that comes between the registration and the context.
    EXPECT_EQ(OnDeviceInterfaceChange(nullptr, &harness.State(),
                                      CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, nullptr, 0),
              0u);
    EXPECT_EQ(harness.deviceSetup.queriedDevices, 0);
}

} // namespace
} // namespace vela::test
