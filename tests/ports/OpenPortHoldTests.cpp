// The spooler's hold on a port from OpenPort to ClosePort, and the error codes of
// the port calls that fail.
#include "PortsTestSupport.h"

#include <atomic>
#include <thread>

namespace vela::test {
namespace {

class OpenPortHoldTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        Initialize();
        admin = OpenXcv(nullptr, SERVER_ACCESS_ADMINISTER);
        for (const wchar_t* name : {L"VelaHeldA:", L"VelaHeldB:"}) {
            ASSERT_EQ(XcvText(admin, L"AddPort", name), 0u);
        }
    }
    BOOL Open(const std::wstring& name, HANDLE* port) {
        std::wstring copy = name;
        return table->pfnOpenPort(harness.MonitorHandle(), &copy[0], port);
    }
    HANDLE admin = nullptr;
};

TEST_F(OpenPortHoldTest, OpenPortIsNeverDeletedBeforeItsClosePort) {
    HANDLE first = nullptr;
    HANDLE second = nullptr;
    HANDLE other = nullptr;
    ASSERT_TRUE(Open(L"VelaHeldA:", &first));
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"velahelda:"), static_cast<DWORD>(ERROR_BUSY));
    // Several ports, and one port from two queues, are open at once.
    ASSERT_TRUE(Open(L"VelaHeldA:", &second));
    ASSERT_TRUE(Open(L"VelaHeldB:", &other));
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"VelaHeldB:"), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"VelaHeldA:", L"VelaHeldB:"}));
    EXPECT_TRUE(harness.registry.HasPortValue(L"VelaHeldA:"));
    EXPECT_TRUE(table->pfnClosePort(other));
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"VelaHeldB:"), 0u);

    EXPECT_TRUE(table->pfnClosePort(first));
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"VelaHeldA:"), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_TRUE(table->pfnClosePort(second));
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"VelaHeldA:"), 0u);
    EXPECT_TRUE(ListedNames().empty());
}

TEST_F(OpenPortHoldTest, FailingPortCallsSetAnErrorCode) {
    HANDLE other = nullptr;
    ::SetLastError(0);
    EXPECT_FALSE(Open(L"VelaNone:", &other));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ::SetLastError(0);
    EXPECT_FALSE(table->pfnClosePort(nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// OpenPort and ClosePort of two ports on two threads leave every port whole.
TEST_F(OpenPortHoldTest, OpenAndCloseOnTwoThreadsKeepTheHandlerWhole) {
    constexpr int kRounds = 150;
    std::atomic<int> failedCloses{0};
    std::atomic<int> opens{0};
    auto cycle = [&](const wchar_t* name) {
        for (int round = 0; round < kRounds; ++round) {
            HANDLE port = nullptr;
            if (Open(name, &port)) {
                ++opens;
                failedCloses += table->pfnClosePort(port) ? 0 : 1;
            }
        }
    };
    std::thread other(cycle, L"VelaHeldB:");
    cycle(L"VelaHeldA:");
    other.join();
    EXPECT_EQ(failedCloses, 0);
    EXPECT_GT(opens, 0);
    HANDLE port = nullptr;
    ASSERT_TRUE(Open(L"VelaHeldA:", &port));
    EXPECT_TRUE(table->pfnClosePort(port));
}

} // namespace
} // namespace vela::test
