// The transceive commands that add, delete and test ports.
#include "PortsTestSupport.h"

#include "platform/Handles.h"
#include "ports/PortList.h"

#include <cstring>
#include <thread>

namespace vela::test {
namespace {

class PortCommandTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        Initialize();
        admin = OpenXcv(nullptr, SERVER_ACCESS_ADMINISTER);
        user = OpenXcv(nullptr, SERVER_ACCESS_ENUMERATE);
    }
    DWORD PortExists(const std::wstring& name, DWORD* value, DWORD outputSize = 4) {
        DWORD needed = 0;
        return Xcv(user, L"PortExists", name.c_str(), TextBytes(name), value, outputSize, &needed);
    }
    HANDLE admin = nullptr;
    HANDLE user = nullptr;
};

TEST_F(PortCommandTest, AddPortListsAndStoresTheName) {
    EXPECT_EQ(XcvText(admin, L"AddPort", L"VelaBench1:"), 0u);
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"VelaBench1:"}));
    EXPECT_EQ(harness.registry.PortValueType(L"VelaBench1:"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(harness.registry.PortValueData(L"VelaBench1:"), L"");
}

TEST_F(PortCommandTest, AddPortSizeWithoutTheTerminatorIs87) {
    const std::wstring name = L"VelaBench1:";
    DWORD needed = 0;
    EXPECT_EQ(Xcv(admin, L"AddPort", name.c_str(), TextBytes(name) - 2, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(admin, L"AddPort", name.c_str(), TextBytes(name) + 2, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(admin, L"AddPort", nullptr, TextBytes(name), nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(admin, L"AddPort", name.c_str(), 0, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_EQ(RegistryMonitorInit::SetValueCalls(), 0);
}

TEST_F(PortCommandTest, AddPortWithoutAdministerRightIs5EvenWhenMalformed) {
    const std::wstring name = L"VelaBench1:";
    DWORD needed = 0;
    EXPECT_EQ(XcvText(user, L"AddPort", name), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Xcv(user, L"AddPort", name.c_str(), 3, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Xcv(user, L"AddPort", nullptr, 0, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_EQ(spooler.enumCalls, 0);
}

TEST_F(PortCommandTest, AddPortOfANameTheSpoolerOffersIs183) {
    EXPECT_EQ(XcvText(admin, L"AddPort", L"lpt1:"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(XcvText(admin, L"AddPort", L"File:"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(ListedNames().empty());
}

TEST_F(PortCommandTest, AddPortOfAnOverlongOrEmptyNameIs123) {
    EXPECT_EQ(XcvText(admin, L"AddPort", std::wstring(248, L'q')),
              static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(XcvText(admin, L"AddPort", L""), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_EQ(RegistryMonitorInit::SetValueCalls(), 0);
}

TEST_F(PortCommandTest, AddPortWhoseRegistryWriteFailsLeavesNoEntry) {
    ASSERT_EQ(XcvText(admin, L"AddPort", L"Vela9:"), 0u);
    PortEntry* older = Context()->firstPort;
    RegistryMonitorInit::FailSetValueWith(ERROR_WRITE_PROTECT);
    EXPECT_EQ(XcvText(admin, L"AddPort", L"Vela10:"), static_cast<DWORD>(ERROR_WRITE_PROTECT));
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"Vela9:"}));
    EXPECT_EQ(Context()->firstPort, older);
}

TEST_F(PortCommandTest, DeletePortRemovesEntryAndValue) {
    ASSERT_EQ(XcvText(admin, L"AddPort", L"VelaBench1:"), 0u);
    ASSERT_EQ(XcvText(admin, L"AddPort", L"VelaBench2:"), 0u);
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"velabench1:"), 0u);
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"VelaBench2:"}));
    EXPECT_FALSE(harness.registry.HasPortValue(L"VelaBench1:"));
    EXPECT_TRUE(harness.registry.HasPortValue(L"VelaBench2:"));
}

TEST_F(PortCommandTest, DeletePortOfAnUnknownNameIs2AndTouchesNoValue) {
    harness.registry.SetPortValue(L"Stored:", L"");
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"Stored:"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RegistryMonitorInit::DeleteValueCalls(), 0);
    EXPECT_TRUE(harness.registry.HasPortValue(L"Stored:"));
}

TEST_F(PortCommandTest, DeletePortOfAPortWithADocumentInProgressIsBusy) {
    ASSERT_EQ(XcvText(admin, L"AddPort", L"VelaBusy:"), 0u);
    PortEntry* entry = nullptr;
    {
        CriticalSectionLock guard(harness.State().lock);
        entry = FindPortEntry(harness.Context()->firstPort, L"VelaBusy:");
        ASSERT_NE(entry, nullptr);
        // Held open by the spooler, as it is while a document is in progress.
        ++entry->spoolerOpens;
    }
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"VelaBusy:"), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"VelaBusy:"}));
    EXPECT_TRUE(harness.registry.HasPortValue(L"VelaBusy:"));
    {
        CriticalSectionLock guard(harness.State().lock);
        --entry->spoolerOpens;
    }
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"VelaBusy:"), 0u);
}

TEST_F(PortCommandTest, DeletePortNeedsTheRightAndATerminatedName) {
    ASSERT_EQ(XcvText(admin, L"AddPort", L"AB:"), 0u);
    EXPECT_EQ(XcvText(user, L"DeletePort", L"AB:"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    DWORD needed = 0;
    EXPECT_EQ(Xcv(admin, L"DeletePort", nullptr, 8, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // "AB:" without its terminator inside the stated size.
    EXPECT_EQ(Xcv(admin, L"DeletePort", L"AB:", 6, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"AB:"}));
    EXPECT_EQ(RegistryMonitorInit::DeleteValueCalls(), 0);
}

TEST_F(PortCommandTest, PortExistsAsksTheSpooler) {
    DWORD value = 7;
    EXPECT_EQ(PortExists(L"COM1:", &value), 0u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(PortExists(L"com3:", &value), 0u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(PortExists(L"VelaBench1:", &value), 0u);
    EXPECT_EQ(value, 0u);
}

TEST_F(PortCommandTest, PortExistsWithThreeBytesIs122) {
    BYTE output[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    DWORD needed = 0;
    const std::wstring name = L"COM1:";
    EXPECT_EQ(Xcv(user, L"PortExists", name.c_str(), TextBytes(name), output, 3, &needed),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(output[0], 0xA5);
    EXPECT_EQ(spooler.enumCalls, 0);
}

TEST_F(PortCommandTest, PortExistsRefusesMalformedBuffers) {
    DWORD value = 0;
    DWORD needed = 0;
    EXPECT_EQ(Xcv(user, L"PortExists", nullptr, 12, &value, 4, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(user, L"PortExists", L"COM1:", 10, &value, 4, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(user, L"PortExists", L"COM1:", 12, nullptr, 4, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(spooler.enumCalls, 0);
}

// The spooler answers on its own threads and may enumerate this monitor meanwhile.
TEST_F(PortCommandTest, SpoolerIsAskedWithoutTheMonitorLock) {
    int checks = 0;
    int lockFree = 0;
    spooler.onEnumerate = [&] {
        std::thread other([&] {
            ++checks;
            if (::TryEnterCriticalSection(&State().lock)) {
                ++lockFree;
                ::LeaveCriticalSection(&State().lock);
            }
        });
        other.join();
    };
    DWORD value = 0;
    EXPECT_EQ(PortExists(L"COM1:", &value), 0u);
    EXPECT_EQ(XcvText(admin, L"AddPort", L"VelaBench1:"), 0u);
    const std::wstring name = L"VelaBench2:";
    PORT_INFO_1W info{const_cast<LPWSTR>(name.c_str())};
    EXPECT_TRUE(table->pfnAddPortEx(harness.MonitorHandle(), nullptr, 1,
                                    reinterpret_cast<LPBYTE>(&info), nullptr));
    EXPECT_EQ(checks, 6);
    EXPECT_EQ(lockFree, 6);
}

} // namespace
} // namespace vela::test
