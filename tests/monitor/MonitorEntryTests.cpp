// Process attach, InitializePrintMonitor2, the function table and the clean-up.
#include "ports/DeviceDiscovery.h"
#include "sim/MonitorHarness.h"
#include "monitor/Shutdown.h"
#include "monitor/MonitorTable.h"
#include "ports/PortList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vela::test {
namespace {

TEST(MonitorEntry, AttachRegistersForPrinterInterfaceNotices) {
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    EXPECT_EQ(harness.notifications.registerCalls, 1);
    EXPECT_EQ(harness.notifications.lastFilter.cbSize, 416u);
    EXPECT_EQ(harness.notifications.lastFilter.Flags, 0u);
    EXPECT_EQ(harness.notifications.lastFilter.FilterType, CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE);
    EXPECT_TRUE(IsEqualGUID(harness.notifications.lastFilter.u.DeviceInterface.ClassGuid,
                            kPrinterInterfaceClassGuid));
    EXPECT_EQ(harness.notifications.context, &harness.State());
    EXPECT_EQ(harness.State().registered, 1);
    EXPECT_EQ(harness.State().notification, harness.notifications.handed);
}

TEST(MonitorEntry, FailedRegistrationRefusesTheLoad) {
    MonitorHarness harness;
    harness.notifications.registerResult = CR_FAILURE;
    EXPECT_FALSE(harness.Attach());
    EXPECT_EQ(harness.State().registered, 0);
    // A refused load does not count as initialised: the next attach tries again.
    harness.notifications.registerResult = CR_SUCCESS;
    EXPECT_TRUE(harness.Attach());
}

TEST(MonitorEntry, RegistrationWithoutHandleRefusesTheLoad) {
    MonitorHarness harness;
    harness.notifications.yieldNoHandle = true;
    EXPECT_FALSE(harness.Attach());
    EXPECT_EQ(harness.notifications.unregisterCalls, 0);
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
    EXPECT_EQ(harness.Context()->monitorInit, harness.registry.Get());
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

TEST(MonitorEntry, DetachUnregistersAndCleansUpOnce) {
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    ASSERT_NE(harness.Initialize(), nullptr);
    harness.Unload();
    EXPECT_EQ(harness.notifications.unregisterCalls, 1);
    EXPECT_EQ(harness.State().registered, 0);
    EXPECT_EQ(harness.State().notification, nullptr);
    // The state's own destruction runs the clean-up again; it must do nothing.
    InstanceCleanUp(harness.State());
    EXPECT_EQ(harness.notifications.unregisterCalls, 1);
}

TEST(MonitorEntry, NotificationBeforeInitializeDoesNothing) {
    MonitorHarness harness;
    ASSERT_TRUE(harness.Attach());
    harness.deviceSetup.devices = {{true, L"Quarlend1:"}};
    EXPECT_EQ(harness.notifications.Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL), 0u);
    EXPECT_EQ(harness.deviceSetup.queriedDevices, 0);
}

} // namespace
} // namespace vela::test
