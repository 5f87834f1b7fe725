// Port names: one comparison for find, add, delete and the spooler check, and
// adds that neither duplicate a name nor refuse a new one.
#include "PortsTestSupport.h"

#include "ports/PortList.h"

#include <atomic>
#include <thread>

namespace vela::test {
namespace {

class PortNameTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        Initialize();
        admin = OpenXcv(nullptr, SERVER_ACCESS_ADMINISTER);
    }
    BOOL AddPortEx(const std::wstring& name) {
        PORT_INFO_1W info{const_cast<LPWSTR>(name.c_str())};
        return table->pfnAddPortEx(harness.MonitorHandle(), nullptr, 1,
                                   reinterpret_cast<LPBYTE>(&info), nullptr);
    }
    HANDLE admin = nullptr;
};

TEST(PortNameRule, OrdinalIgnoringCaseAsTheRegistry) {
    const struct {
        const wchar_t* first;
        const wchar_t* second;
        bool same;
    } cases[] = {
        {L"COM9:", L"com9:", true},
        {L"Quarlend\u00C4:", L"QUARLEND\u00E4:", true},
        // A linguistic comparison ignores the soft hyphen; the registry does not.
        {L"CO\u00ADM9:", L"COM9:", false},
        {L"COM9:", L"COM9", false},
        {L"COM9:", nullptr, false},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(SamePortName(test.first, test.second), test.same) << test.first;
    }
}

TEST_F(PortNameTest, SoftHyphenNameNeitherDeletesNorDuplicatesTheListedPort) {
    ASSERT_EQ(XcvText(admin, L"AddPort", L"COM9:"), 0u);
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"CO\u00ADM9:"),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"COM9:"}));
    EXPECT_TRUE(harness.registry.HasPortValue(L"COM9:"));
    // The registry stores it as a name of its own, and so does the list.
    EXPECT_EQ(XcvText(admin, L"AddPort", L"CO\u00ADM9:"), 0u);
    EXPECT_EQ(XcvText(admin, L"DeletePort", L"com9:"), 0u);
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"CO\u00ADM9:"}));
    EXPECT_FALSE(harness.registry.HasPortValue(L"COM9:"));
}

// Wine's spooler does not list this monitor's ports: the list itself must refuse.
TEST_F(PortNameTest, AddOfAListedNameInAnotherCaseIsRefused) {
    ASSERT_EQ(XcvText(admin, L"AddPort", L"VelaSame:"), 0u);
    EXPECT_EQ(XcvText(admin, L"AddPort", L"VELASAME:"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ::SetLastError(0);
    EXPECT_FALSE(AddPortEx(L"velasame:"));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(EnumeratedNames(), (std::vector<std::wstring>{L"VelaSame:"}));
}

TEST_F(PortNameTest, ConcurrentAddsOfOneNameMakeOneEntry) {
    constexpr int kThreads = 8;
    std::atomic<int> added{0};
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&, thread] {
            const bool ok = thread % 2 == 0 ? XcvText(admin, L"AddPort", L"VelaTwin:") == 0
                                            : AddPortEx(L"VelaTwin:") != FALSE;
            ++(ok ? added : refused);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(added, 1);
    EXPECT_EQ(refused, kThreads - 1);
    EXPECT_EQ(EnumeratedNames(), (std::vector<std::wstring>{L"VelaTwin:"}));
}

TEST_F(PortNameTest, SpoolerListGrowingBetweenSizeAndFillIsAskedAgain) {
    spooler.scripted = true;
    spooler.portNames = {L"COM1:", L"LPT1:"};
    spooler.growingFills = 2;
    EXPECT_EQ(XcvText(admin, L"AddPort", L"VelaNew:"), 0u);
    EXPECT_EQ(spooler.enumCalls, 4);
    // The spooler's own names are still found after a retry.
    spooler.growingFills = 1;
    EXPECT_EQ(XcvText(admin, L"AddPort", L"lpt1:"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // A list that never settles cannot be read: refused, as before.
    spooler.growingFills = 1000;
    EXPECT_EQ(XcvText(admin, L"AddPort", L"VelaOther:"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"VelaNew:"}));
}

} // namespace
} // namespace vela::test
