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

// A thread works out what is left of a limit, and the clock moves past the limit
// before the thread waits: the wait still ends at the limit.
TEST(FakeClockTest, AWaitCountsFromTheTimeItsThreadLastSaw) {
    FakeClock clock;
    const UniqueHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    DWORD result = 0;
    ULONGLONG afterWait = 0;
    std::thread waiter([&] {
        const DWORD left = static_cast<DWORD>(3000 - clock.GetTickCount64());
        clock.Advance(5000);
        HANDLE handle = never.Get();
        result = clock.WaitForMultipleObjects(1, &handle, FALSE, left);
        // Woken at the limit: the next wait counts from there.
        result += clock.WaitForMultipleObjects(1, &handle, FALSE, 1000);
        afterWait = clock.GetTickCount64();
        ::SetEvent(done.Get());
    });
    const bool ended = ::WaitForSingleObject(done.Get(), 10000) == WAIT_OBJECT_0;
    if (!ended) {
        clock.Advance(10000);
    }
    waiter.join();
    EXPECT_TRUE(ended) << "the wait counted from the clock's move and hung";
    EXPECT_EQ(result, 2 * static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(afterWait, 5000u);
}

} // namespace
} // namespace vela::test
