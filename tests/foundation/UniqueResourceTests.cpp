// Ownership rules of the one resource holder: what is closed, when, and how often.
#include "platform/Handles.h"
#include "platform/SeamResources.h"
#include "platform/UniqueResource.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vela::test {
namespace {

// Ints stand in for handles: -1 (the empty holder's value) and 0 hold nothing.
std::vector<int> g_closed;

struct RecordedTraits {
    static int Invalid() noexcept { return -1; }
    static bool IsValid(int value) noexcept { return value != -1 && value != 0; }
    static void Close(int value) noexcept { g_closed.push_back(value); }
};
using Recorded = UniqueResource<int, RecordedTraits>;

struct OwnershipCase {
    const char* what;
    int start;
    // Acts on the holder; the closes it makes and then the holder's own at the end
    // of its life are recorded in order.
    std::function<void(Recorded&)> act;
    int heldAfter;
    std::vector<int> closes;
};

TEST(UniqueResource, ClosesEveryValidValueExactlyOnceThroughItsTraits) {
    const OwnershipCase cases[] = {
        {"goes out of scope", 7, [](Recorded&) {}, 7, {7}},
        {"holds the empty value", -1, [](Recorded&) {}, -1, {}},
        {"holds the second invalid value",
         0,
         [](Recorded& held) { EXPECT_FALSE(held.Valid()); },
         0,
         {}},
        {"reset to another", 7, [](Recorded& held) { held.Reset(8); }, 8, {7, 8}},
        {"reset to nothing", 7, [](Recorded& held) { held.Reset(); }, -1, {7}},
        {"released", 7, [](Recorded& held) { EXPECT_EQ(held.Release(), 7); }, -1, {}},
        {"moved out",
         7,
         [](Recorded& held) {
             Recorded taken(std::move(held));
             EXPECT_EQ(taken.Get(), 7);
             EXPECT_TRUE(g_closed.empty());
         },
         -1,
         {7}},
        {"moved onto a holder that holds one",
         7,
         [](Recorded& held) {
             Recorded other(5);
             other = std::move(held);
             EXPECT_EQ(g_closed, std::vector<int>{5});
         },
         -1,
         {5, 7}},
        {"moved onto itself",
         7,
         [](Recorded& held) {
             Recorded& same = held;
             held = std::move(same);
         },
         7,
         {7}},
        {"filled through Put",
         7,
         [](Recorded& held) {
             int* slot = held.Put();
             EXPECT_EQ(*slot, -1);
             *slot = 9;
         },
         9,
         {7, 9}},
    };
    for (const OwnershipCase& test : cases) {
        SCOPED_TRACE(test.what);
        g_closed.clear();
        {
            Recorded held(test.start);
            test.act(held);
            EXPECT_EQ(held.Get(), test.heldAfter);
        }
        EXPECT_EQ(g_closed, test.closes);
    }
}

// Traits that carry what closing needs: here, where the close is recorded.
struct CarriedTraits {
    std::vector<int>* closed = nullptr;
    static int Invalid() noexcept { return -1; }
    static bool IsValid(int value) noexcept { return value != -1; }
    void Close(int value) const noexcept { closed->push_back(value); }
};
using Carried = UniqueResource<int, CarriedTraits>;

TEST(UniqueResource, EachValueClosesThroughTheTraitsItCameWith) {
    std::vector<int> first;
    std::vector<int> second;
    {
        Carried one(1, CarriedTraits{&first});
        Carried two(2, CarriedTraits{&second});
        two = std::move(one);
        EXPECT_EQ(second, std::vector<int>{2});
        Carried moved(std::move(two));
        EXPECT_TRUE(first.empty());
    }
    EXPECT_EQ(first, std::vector<int>{1});
    EXPECT_EQ(second, std::vector<int>{2});
}

TEST(UniqueResource, AliasesKnowTheirInvalidValues) {
    EXPECT_FALSE(UniqueHandle().Valid());
    EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE).Valid());
    EXPECT_EQ(UniqueHandle(INVALID_HANDLE_VALUE).Release(), INVALID_HANDLE_VALUE);
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_TRUE(event.Valid());
    // Set-up functions fail with INVALID_HANDLE_VALUE only, and an empty set holds it.
    EXPECT_EQ(UniqueDeviceInfoSet().Get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(UniqueDeviceRegKey(static_cast<HKEY>(INVALID_HANDLE_VALUE)).Valid());
    EXPECT_FALSE(UniqueSpoolerModule().Valid());
}

} // namespace
} // namespace vela::test
