// The tests' clock: a wait ends once the clock has moved past its end, however
// soon after the wait is seen the clock is moved.
#include "platform/Handles.h"
#include "sim/FakePlatform.h"

#include <gtest/gtest.h>

#include <thread>

namespace vela::test {
namespace {

TEST(FakeClockTest, AWaitSeenAndThenMovedPastEndsAtOnce) {
    FakeClock clock;
    const UniqueHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The test moves the clock the moment it sees the wait, before the waiting
    // thread may have looked at the clock.
    clock.onWaitCounted = [&] { clock.Advance(1000); };
    DWORD result = 0;
    std::thread waiter([&] {
        HANDLE handle = never.Get();
        result = clock.WaitForMultipleObjects(1, &handle, FALSE, 1000);
        ::SetEvent(done.Get());
    });
    const bool ended = ::WaitForSingleObject(done.Get(), 10000) == WAIT_OBJECT_0;
    if (!ended) {
        clock.Advance(1000);
    }
    waiter.join();
    EXPECT_TRUE(ended) << "the wait missed the clock's move and hung";
    EXPECT_EQ(result, static_cast<DWORD>(WAIT_TIMEOUT));
}

} // namespace
} // namespace vela::test
