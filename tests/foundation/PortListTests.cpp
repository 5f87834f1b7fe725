// The port list and its registry storage under the monitor's "Ports" key.
#include "sim/MonitorHarness.h"
#include "core/Memory.h"
#include "platform/Handles.h"
#include "ports/PortList.h"
#include "monitor/PortSession.h"
#include "PortNames.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vela::test {
namespace {

class PortListTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness.Attach()); }
    void Initialize() { ASSERT_NE(harness.Initialize(), nullptr); }
    MonitorState& State() { return harness.State(); }
    MonitorContext* Context() { return harness.Context(); }
    MonitorHarness harness;
};

TEST_F(PortListTest, NewEntryHasItsRecordLayout) {
    Initialize();
    PortEntry* entry = CreatePortEntry(State(), Context(), L"COM9:");
    ASSERT_NE(entry, nullptr);
    const auto* bytes = reinterpret_cast<const unsigned char*>(entry);
    EXPECT_EQ(bytes[0], 0x50);
    EXPECT_EQ(bytes[1], 0x54);
    EXPECT_EQ(entry->recordSize, sizeof(PortEntry) + 6 * sizeof(WCHAR));
    EXPECT_EQ(entry->name, reinterpret_cast<LPWSTR>(entry + 1));
    EXPECT_STREQ(entry->name, L"COM9:");
    EXPECT_EQ(entry->openCount, 0);
    EXPECT_EQ(entry->flags, 0u);
    EXPECT_EQ(entry->monitor, Context());
    EXPECT_EQ(entry->next, nullptr);
}

TEST_F(PortListTest, NameLengthLimits) {
    Initialize();
    EXPECT_NE(CreatePortEntry(State(), Context(), std::wstring(247, L'a').c_str()), nullptr);
    ::SetLastError(0);
    EXPECT_EQ(CreatePortEntry(State(), Context(), std::wstring(248, L'b').c_str()), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    ::SetLastError(0);
    EXPECT_EQ(CreatePortEntry(State(), Context(), nullptr), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_NE(CreatePortEntry(State(), Context(), L""), nullptr);
    EXPECT_EQ(PortNames(Context()).size(), 2u);
}

TEST_F(PortListTest, EntriesAppendInOrderAndFindIgnoresCase) {
    Initialize();
    PortEntry* first = CreatePortEntry(State(), Context(), L"Quarlend1:");
    PortEntry* second = CreatePortEntry(State(), Context(), L"QUARLEND1:");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(PortNames(Context()), (std::vector<std::wstring>{L"Quarlend1:", L"QUARLEND1:"}));
    CriticalSectionLock guard(State().lock);
    EXPECT_EQ(FindPortEntry(Context()->firstPort, L"quarlend1:"), first);
    EXPECT_EQ(FindPortEntry(Context()->firstPort, nullptr), nullptr);
    EXPECT_EQ(FindPortEntry(Context()->firstPort, L"COM1:"), nullptr);
}

TEST_F(PortListTest, DeleteUnlinksTheFirstMatch) {
    Initialize();
    CreatePortEntry(State(), Context(), L"A:");
    CreatePortEntry(State(), Context(), L"B:");
    CreatePortEntry(State(), Context(), L"C:");
    CriticalSectionLock guard(State().lock);
    EXPECT_TRUE(DeletePortEntry(Context(), L"b:"));
    EXPECT_FALSE(DeletePortEntry(Context(), L"b:"));
    EXPECT_TRUE(DeletePortEntry(Context(), L"A:"));
    EXPECT_EQ(PortNames(Context()), (std::vector<std::wstring>{L"C:"}));
    EXPECT_TRUE(DeletePortEntry(Context(), L"C:"));
    EXPECT_EQ(Context()->firstPort, nullptr);
}

TEST_F(PortListTest, LoadPortsSkipsNetworkNamesAndLongNames) {
    for (const wchar_t* name : {L"Ne00:", L"NE-12:", L"ne:", L"Ne01", L"Net:", L"Ne", L"COM5:"}) {
        harness.registry.SetPortValue(name, L"");
    }
    harness.registry.SetPortValue(std::wstring(248, L'x'), L"");
    Initialize();
    auto names = PortNames(Context());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"COM5:", L"Ne", L"Ne01", L"Net:"}));
}

TEST_F(PortListTest, NetworkNameRule) {
    EXPECT_TRUE(IsNetworkPortName(L"Ne00:"));
    EXPECT_TRUE(IsNetworkPortName(L"NE-12:"));
    EXPECT_TRUE(IsNetworkPortName(L"ne:"));
    EXPECT_TRUE(IsNetworkPortName(L"nE-:"));
    EXPECT_FALSE(IsNetworkPortName(L"Ne01"));
    EXPECT_FALSE(IsNetworkPortName(L"Net:"));
    EXPECT_FALSE(IsNetworkPortName(L"Ne"));
    EXPECT_FALSE(IsNetworkPortName(L"Ne0:x"));
    EXPECT_FALSE(IsNetworkPortName(L"Ne--1:"));
    EXPECT_FALSE(IsNetworkPortName(L"N"));
    EXPECT_FALSE(IsNetworkPortName(L""));
}

TEST_F(PortListTest, EmptyPortsKeyLoadsNothingAndSucceeds) {
    Initialize();
    EXPECT_EQ(Context()->firstPort, nullptr);
    EXPECT_EQ(LoadPorts(State()), 0u);
    EXPECT_EQ(Context()->firstPort, nullptr);
}

TEST_F(PortListTest, SecondLoadOverUnchangedRegistryChangesNothing) {
    harness.registry.SetPortValue(L"COM5:", L"");
    harness.registry.SetPortValue(L"Quarlend7:", L"\\\\.\\COM7");
    Initialize();
    const auto before = PortNames(Context());
    EXPECT_EQ(LoadPorts(State()), 0u);
    EXPECT_EQ(PortNames(Context()), before);
    EXPECT_EQ(before.size(), 2u);
}

TEST_F(PortListTest, AddedPortIsStoredWithEmptyStringData) {
    Initialize();
    EXPECT_EQ(AddRegisteredPort(State(), L"COM9:"), 0u);
    EXPECT_EQ(harness.registry.PortValueType(L"COM9:"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(harness.registry.PortValueData(L"COM9:"), L"");
    // Written as the spooler itself, then back to the client.
    EXPECT_EQ(harness.spoolerHelpers.reverts, 1);
    EXPECT_EQ(harness.spoolerHelpers.impersonations, 1);
    DeleteRegisteredPort(State(), L"COM9:");
    EXPECT_FALSE(harness.registry.HasPortValue(L"COM9:"));
    EXPECT_EQ(AddRegisteredPort(State(), nullptr), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(PortListTest, FailingRegistryWriteReportsItsCode) {
    Initialize();
    RegistryMonitorInit::FailSetValueWith(ERROR_ACCESS_DENIED);
    EXPECT_EQ(AddRegisteredPort(State(), L"COM9:"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    RegistryMonitorInit::FailSetValueWith(0);
    EXPECT_FALSE(harness.registry.HasPortValue(L"COM9:"));
    EXPECT_EQ(harness.spoolerHelpers.impersonations, 1);
}

TEST_F(PortListTest, QueryPortValueTerminatesWhatItHandsOut) {
    Initialize();
    // Seven bytes: three characters and half of one, no terminator stored.
    const char raw[] = {'C', 0, 'O', 0, 'M', 0, '7'};
    harness.registry.SetPortValueRaw(L"Odd:", REG_SZ, raw, sizeof(raw));
    DWORD size = 0;
    ASSERT_EQ(QueryPortValue(State(), L"Odd:", nullptr, &size), 0u);
    ASSERT_GE(size, 8u);
    std::vector<BYTE> buffer(size, 0xCC);
    ASSERT_EQ(QueryPortValue(State(), L"Odd:", buffer.data(), &size), 0u);
    EXPECT_STREQ(reinterpret_cast<LPCWSTR>(buffer.data()), L"COM");

    harness.registry.SetPortValue(L"Path:", L"\\\\.\\COM21");
    size = 0;
    ASSERT_EQ(QueryPortValue(State(), L"Path:", nullptr, &size), 0u);
    buffer.assign(size, 0xCC);
    ASSERT_EQ(QueryPortValue(State(), L"Path:", buffer.data(), &size), 0u);
    EXPECT_STREQ(reinterpret_cast<LPCWSTR>(buffer.data()), L"\\\\.\\COM21");
}

TEST_F(PortListTest, QueryPortValueRefusesNonStringsAndMissingArguments) {
    Initialize();
    const DWORD number = 5;
    harness.registry.SetPortValueRaw(L"Dword:", REG_DWORD, &number, sizeof(number));
    DWORD size = 0;
    EXPECT_EQ(QueryPortValue(State(), L"Dword:", nullptr, &size),
              static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(QueryPortValue(State(), L"Dword:", nullptr, nullptr),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(QueryPortValue(State(), L"Missing:", nullptr, &size),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PortListTest, ShutdownReleasesEveryEntryAndTheContext) {
    Initialize();
    PortEntry* entry = CreatePortEntry(State(), Context(), L"COM5:");
    auto* session = new PortSession(L"COM5:");
    entry->session = session;
    session->document.printerName.Reset(AllocString(L"Left over by an unfinished document"));
    harness.Unload();
    EXPECT_EQ(State().context, nullptr);
}

} // namespace
} // namespace vela::test
