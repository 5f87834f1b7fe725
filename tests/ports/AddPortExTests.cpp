// AddPortEx, and the spooler check that refuses names some monitor already offers.
#include "PortsTestSupport.h"

#include "ports/PortList.h"

namespace vela::test {
namespace {

class AddPortExTest : public PortsTest {
  protected:
    BOOL Add(LPCWSTR name, DWORD level = 1) {
        PORT_INFO_1W info{const_cast<LPWSTR>(name)};
        return table->pfnAddPortEx(harness.MonitorHandle(), nullptr, level,
                                   reinterpret_cast<LPBYTE>(&info), nullptr);
    }
};

TEST_F(AddPortExTest, AddedPortIsListedAndStoredWithEmptyData) {
    Initialize();
    EXPECT_TRUE(Add(L"VelaBench1:"));
    EXPECT_TRUE(Add(L"VelaBench2:", 0xFFFFFFFF));
    EXPECT_EQ(EnumeratedNames(), (std::vector<std::wstring>{L"VelaBench1:", L"VelaBench2:"}));
    EXPECT_EQ(harness.registry.PortValueType(L"VelaBench1:"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(harness.registry.PortValueData(L"VelaBench1:"), L"");
    EXPECT_TRUE(harness.registry.HasPortValue(L"VelaBench2:"));
    // The registry is written as the spooler itself.
    EXPECT_EQ(harness.spoolerHelpers.reverts, 2);
    EXPECT_EQ(harness.spoolerHelpers.impersonations, 2);
}

TEST_F(AddPortExTest, NameWinesSpoolerOffersInAnotherCaseIsRefused) {
    Initialize();
    ::SetLastError(0);
    EXPECT_FALSE(Add(L"lpt1:"));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(Add(L"COM2:"));
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_EQ(RegistryMonitorInit::SetValueCalls(), 0);
}

TEST_F(AddPortExTest, WrongLevelOrMissingNameIsRefused) {
    Initialize();
    EXPECT_FALSE(Add(L"VelaBench1:", 2));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_FALSE(Add(nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(table->pfnAddPortEx(harness.MonitorHandle(), nullptr, 1, nullptr, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(ListedNames().empty());
}

TEST_F(AddPortExTest, OverlongOrEmptyNameIsRefusedAndNothingStored) {
    Initialize();
    EXPECT_FALSE(Add(std::wstring(248, L'v').c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    // An empty value name would be the key's default value, which the stored name
    // list cannot carry.
    EXPECT_FALSE(Add(L""));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_EQ(RegistryMonitorInit::SetValueCalls(), 0);
    EXPECT_TRUE(Add(std::wstring(247, L'v').c_str()));
}

TEST_F(AddPortExTest, FailedRegistryWriteLeavesNoEntryAndKeepsAnOlderOne) {
    harness.registry.SetPortValue(L"Vela9:", L"");
    Initialize();
    PortEntry* older = Context()->firstPort;
    RegistryMonitorInit::FailSetValueWith(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Add(L"VelaNew:"));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"Vela9:"}));
    EXPECT_EQ(Context()->firstPort, older);
    EXPECT_FALSE(harness.registry.HasPortValue(L"VelaNew:"));
}

TEST_F(AddPortExTest, UnreadableSpoolerPortListRefuses) {
    spooler.scripted = true;
    spooler.firstCallError = ERROR_ACCESS_DENIED;
    Initialize();
    EXPECT_FALSE(Add(L"VelaBench1:"));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    spooler.firstCallError = ERROR_INSUFFICIENT_BUFFER;
    spooler.portNames = {L"X:"};
    spooler.secondCallError = ERROR_INVALID_DATA;
    EXPECT_FALSE(Add(L"VelaBench1:"));
    EXPECT_TRUE(ListedNames().empty());
}

TEST_F(AddPortExTest, SpoolerWithNoPortsAcceptsAnyName) {
    spooler.scripted = true;
    spooler.firstCallError = 0;
    Initialize();
    EXPECT_TRUE(Add(L"LPT1:"));
    EXPECT_EQ(spooler.enumCalls, 1);
}

TEST_F(AddPortExTest, SpoolerCheckComparesWholeNamesIgnoringCase) {
    spooler.scripted = true;
    spooler.portNames = {L"Bench:", L"Other1:"};
    Initialize();
    EXPECT_FALSE(Add(L"OTHER1:"));
    EXPECT_TRUE(Add(L"Other1"));
    EXPECT_TRUE(Add(L"Bench:2"));
    EXPECT_EQ(spooler.enumCalls, 6);
}

} // namespace
} // namespace vela::test
