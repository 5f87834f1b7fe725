// Shutdown against device notifications, which arrive on the configuration
// manager's own thread at any time.
#include "sim/MonitorHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vela::test {
namespace {

TEST(Shutdown, WaitsForAReloadHoldingTheLockAndLeavesNothingToReload) {
    MonitorHarness harness;
    harness.registry.SetPortValue(L"COM5:", L"");
    harness.deviceSetup.devices = {{true, L"Quarlend1:"}};
    ASSERT_TRUE(harness.Attach());
    ASSERT_NE(harness.Initialize(), nullptr);
    MonitorState& state = harness.State();
    MonitorContext* context = harness.Context();

    // The lock held here as a reload holds it while it appends to the list.
    std::atomic<bool> finished{false};
    ::EnterCriticalSection(&state.lock);
    std::thread shutdown([&] {
        harness.Shutdown();
        finished = true;
    });
    // Until Shutdown waits for the lock (a second claimant shows in LockCount) or
    // has finished without it.
    while (!finished && state.lock.LockCount < 1) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(finished) << "the list was freed under a running reload";
    EXPECT_EQ(state.context, context);
    ::LeaveCriticalSection(&state.lock);
    shutdown.join();

    EXPECT_EQ(state.context, nullptr);
    const int queried = harness.deviceSetup.queriedDevices;
    EXPECT_EQ(harness.notifications.Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL), 0u);
    EXPECT_EQ(harness.deviceSetup.queriedDevices, queried);
}

} // namespace
} // namespace vela::test
