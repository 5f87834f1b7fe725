// Enumeration on several spooler threads while ports are added and deleted and a
// device notification reloads the list.
#include "PortsTestSupport.h"

#include "ports/PortInfoPacking.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <set>
#include <thread>

namespace vela::test {
namespace {

constexpr int kEnumerators = 3;
constexpr int kChurnPorts = 24;

std::wstring ChurnName(int index) {
    return L"VelaChurn" + std::to_wstring(index) + L":";
}

class ConcurrencyTest : public PortsTest {
  protected:
    // One size-and-fill pass at level 2; checks every record it gets.
    void EnumerateOnce(std::atomic<int>& failures, std::atomic<int>& passes) {
        DWORD needed = 0;
        DWORD returned = 0;
        table->pfnEnumPorts(harness.MonitorHandle(), nullptr, 2, nullptr, 0, &needed, &returned);
        std::vector<BYTE> buffer(needed);
        if (!table->pfnEnumPorts(harness.MonitorHandle(), nullptr, 2, buffer.data(), needed,
                                 &needed, &returned)) {
            // The list grew between the two calls: the size is reported again.
            if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
                ++failures;
            }
            return;
        }
        const BYTE* begin = buffer.data();
        const BYTE* end = begin + buffer.size();
        const auto* infos = reinterpret_cast<const PORT_INFO_2W*>(begin);
        std::set<std::wstring> seen;
        DWORD packed = 0;
        for (DWORD index = 0; index < returned; ++index) {
            const auto* name = reinterpret_cast<const BYTE*>(infos[index].pPortName);
            if (name < begin + returned * sizeof(PORT_INFO_2W) || name >= end ||
                std::wcscmp(infos[index].pDescription, L"Vela3dp Print Monitor Port") != 0) {
                ++failures;
                return;
            }
            seen.insert(infos[index].pPortName);
            packed += PortInfoBytes(2, infos[index].pPortName);
        }
        // The size and the fill come from one state of the list.
        if (packed != needed) {
            ++failures;
        }
        for (const wchar_t* stable : {L"Stable1:", L"Stable2:", L"Quarlend-A:"}) {
            if (seen.count(stable) == 0) {
                ++failures;
            }
        }
        ++passes;
    }
};

TEST_F(ConcurrencyTest, EnumerationLosesNothingWhilePortsChange) {
    harness.registry.SetPortValue(L"Stable1:", L"");
    harness.registry.SetPortValue(L"Stable2:", L"");
    harness.deviceSetup.devices = {{true, L"Quarlend-A:"}};
    Initialize();
    HANDLE admin = OpenXcv(nullptr, SERVER_ACCESS_ADMINISTER);

    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::atomic<int> passes{0};
    std::vector<std::thread> enumerators;
    for (int thread = 0; thread < kEnumerators; ++thread) {
        enumerators.emplace_back([&] {
            while (!done) {
                EnumerateOnce(failures, passes);
            }
        });
    }
    std::atomic<int> reloadFailures{0};
    std::thread notifier([&] {
        while (!done) {
            if (harness.notifications.Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL) != 0) {
                ++reloadFailures;
            }
        }
    });
    int changeFailures = 0;
    for (int index = 0; index < kChurnPorts; ++index) {
        const std::wstring name = ChurnName(index);
        PORT_INFO_1W info{const_cast<LPWSTR>(name.c_str())};
        if (!table->pfnAddPortEx(harness.MonitorHandle(), nullptr, 1,
                                 reinterpret_cast<LPBYTE>(&info), nullptr)) {
            ++changeFailures;
        }
        if (index % 2 == 0 && XcvText(admin, L"DeletePort", name) != 0) {
            ++changeFailures;
        }
    }
    done = true;
    for (std::thread& thread : enumerators) {
        thread.join();
    }
    notifier.join();

    EXPECT_EQ(changeFailures, 0);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(reloadFailures, 0);
    EXPECT_GT(passes, 0);
    // Exactly the stable ports and the churn ports that were not deleted, once each.
    std::vector<std::wstring> expected = {L"Stable1:", L"Stable2:", L"Quarlend-A:"};
    for (int index = 1; index < kChurnPorts; index += 2) {
        expected.push_back(ChurnName(index));
    }
    std::vector<std::wstring> listed = ListedNames();
    std::sort(expected.begin(), expected.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
    for (int index = 0; index < kChurnPorts; ++index) {
        EXPECT_EQ(harness.registry.HasPortValue(ChurnName(index)), index % 2 == 1);
    }
}

} // namespace
} // namespace vela::test
