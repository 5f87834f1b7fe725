// Ports of attached printers: the "3DPrinter" devices and their "PortName".
#include "sim/MonitorHarness.h"
#include "ports/DeviceDiscovery.h"
#include "ports/PortList.h"
#include "PortNames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vela::test {
namespace {

class DiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness.Attach()); }
    MonitorHarness harness;
};

TEST_F(DiscoveryTest, MarkedDevicesBecomePortsWithOpenCountOne) {
    harness.deviceSetup.devices = {
        {true, L"Quarlend-A1:"}, {true, L"USB001"}, {true, L"My Quarlend"}};
    ASSERT_NE(harness.Initialize(), nullptr);
    EXPECT_EQ(harness.deviceSetup.lastEnumerator, L"3DPrinter");
    EXPECT_EQ(harness.deviceSetup.lastFlags, static_cast<DWORD>(DIGCF_ALLCLASSES));
    EXPECT_EQ(PortNames(harness.Context()),
              (std::vector<std::wstring>{L"Quarlend-A1:", L"My Quarlend"}));
    EXPECT_EQ(harness.Context()->firstPort->openCount, 1);
    EXPECT_EQ(harness.deviceSetup.openKeys, 0);
    EXPECT_EQ(harness.deviceSetup.destroyCalls, 1);
}

TEST_F(DiscoveryTest, MarkIsCaseSensitive) {
    harness.deviceSetup.devices = {{true, L"quarlend1:"}, {true, L"QUARLEND2:"}};
    ASSERT_NE(harness.Initialize(), nullptr);
    EXPECT_TRUE(PortNames(harness.Context()).empty());
}

// A device that cannot name a port is passed over: it hides no printer after it
// and never keeps the monitor from loading.
TEST(Discovery, DevicesWithoutAUsablePortNameArePassedOver) {
    using Device = FakeDeviceSetup::Device;
    const std::wstring tooLongForAPort = L"Quarlend" + std::wstring(kMaxPortNameLength, L'x');
    const std::wstring tooLongForTheBuffer = L"Quarlend" + std::wstring(1100, L'x');
    struct Case {
        const char* what;
        std::vector<Device> devices;
        std::vector<std::wstring> ports;
    };
    const Case cases[] = {
        {"none readable", {{false, L""}, {false, L""}}, {}},
        {"the first unreadable", {{false, L""}, {true, L"Quarlend2:"}}, {L"Quarlend2:"}},
        {"an over-long name",
         {{true, L"Quarlend1:"}, {true, tooLongForAPort}, {true, L"Quarlend3:"}},
         {L"Quarlend1:", L"Quarlend3:"}},
        {"longer than the buffer",
         {{true, tooLongForTheBuffer}, {true, L"Quarlend2:"}},
         {L"Quarlend2:"}},
        {"not text", {{true, L"Quarlend1:", REG_BINARY}, {true, L"Quarlend2:"}}, {L"Quarlend2:"}},
        {"without the maker's mark", {{true, L"USB001"}, {true, L"Quarlend2:"}}, {L"Quarlend2:"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MonitorHarness fresh;
        ASSERT_TRUE(fresh.Attach());
        fresh.deviceSetup.devices = c.devices;
        ASSERT_NE(fresh.Initialize(), nullptr);
        EXPECT_EQ(PortNames(fresh.Context()), c.ports);
        EXPECT_EQ(fresh.deviceSetup.queriedDevices, static_cast<int>(c.devices.size()));
        EXPECT_EQ(fresh.deviceSetup.openKeys, 0);
    }
}

TEST_F(DiscoveryTest, RegisteredNameIsNotDuplicatedButCaseVariantIs) {
    harness.registry.SetPortValue(L"Quarlend1:", L"");
    harness.deviceSetup.devices = {{true, L"Quarlend1:"}, {true, L"QUARLEND1: Quarlend"}};
    ASSERT_NE(harness.Initialize(), nullptr);
    EXPECT_EQ(PortNames(harness.Context()),
              (std::vector<std::wstring>{L"Quarlend1:", L"QUARLEND1: Quarlend"}));
    // Registered entries keep open count 0; discovery found the name already listed.
    EXPECT_EQ(harness.Context()->firstPort->openCount, 0);
}

TEST_F(DiscoveryTest, TwoArrivalsLeaveOneEntry) {
    ASSERT_NE(harness.Initialize(), nullptr);
    harness.deviceSetup.devices = {{true, L"Quarlend1:"}};
    EXPECT_EQ(harness.notifications.Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL), 0u);
    EXPECT_EQ(harness.notifications.Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL), 0u);
    EXPECT_EQ(PortNames(harness.Context()), (std::vector<std::wstring>{L"Quarlend1:"}));
}

TEST_F(DiscoveryTest, RemovalReloadsButNeverRemoves) {
    harness.deviceSetup.devices = {{true, L"Quarlend1:"}};
    ASSERT_NE(harness.Initialize(), nullptr);
    harness.deviceSetup.devices.clear();
    harness.registry.SetPortValue(L"COM6:", L"");
    EXPECT_EQ(harness.notifications.Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL), 0u);
    EXPECT_EQ(PortNames(harness.Context()), (std::vector<std::wstring>{L"Quarlend1:", L"COM6:"}));
}

TEST_F(DiscoveryTest, OtherActionsDoNothing) {
    ASSERT_NE(harness.Initialize(), nullptr);
    harness.deviceSetup.devices = {{true, L"Quarlend1:"}};
    EXPECT_EQ(harness.notifications.Notify(CM_NOTIFY_ACTION_DEVICEQUERYREMOVE), 0u);
    EXPECT_EQ(harness.Context()->firstPort, nullptr);
}

TEST_F(DiscoveryTest, FailedReloadReturnsAndSetsItsCode) {
    ASSERT_NE(harness.Initialize(), nullptr);
    RegistryMonitorInit::FailCreateKeyWith(ERROR_ACCESS_DENIED);
    ::SetLastError(0);
    EXPECT_EQ(harness.notifications.Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(DiscoveryTest, NoDeviceSetListStillLoads) {
    harness.deviceSetup.failGetClassDevs = true;
    harness.registry.SetPortValue(L"COM5:", L"");
    ASSERT_NE(harness.Initialize(), nullptr);
    EXPECT_EQ(PortNames(harness.Context()), (std::vector<std::wstring>{L"COM5:"}));
    EXPECT_EQ(harness.deviceSetup.destroyCalls, 0);
}

TEST_F(DiscoveryTest, NotificationsDuringLoadNeverCorruptTheList) {
    harness.deviceSetup.devices = {{true, L"Quarlend1:"}, {true, L"Quarlend2:"}};
    for (int i = 0; i < 20; ++i) {
        harness.registry.SetPortValue(L"COM" + std::to_wstring(i + 10) + L":", L"");
    }
    // A notification thread reloads while the spooler's initialisation loads.
    HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct Args {
        MonitorHarness* harness;
        HANDLE go;
    } args{&harness, go};
    HANDLE thread = ::CreateThread(
        nullptr, 0,
        [](LPVOID raw) -> DWORD {
            auto* a = static_cast<Args*>(raw);
            ::WaitForSingleObject(a->go, INFINITE);
            for (int i = 0; i < 50; ++i) {
                a->harness->notifications.Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL);
            }
            return 0;
        },
        &args, 0, nullptr);
    ::SetEvent(go);
    ASSERT_NE(harness.Initialize(), nullptr);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    ::CloseHandle(go);
    EXPECT_EQ(PortNames(harness.Context()).size(), 22u);
}

} // namespace
} // namespace vela::test
