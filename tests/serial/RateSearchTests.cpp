// The order and the rounds of the speed search, and what counts as clean text.
#include "serial/RateSearch.h"
#include "serial/ReplyParsing.h"

#include <gtest/gtest.h>

#include <string>

namespace vela::test {
namespace {

TEST(RateSearchTest, OrderOfTheSpeedsTried) {
    const struct {
        uint32_t fixed, remembered;
        const char* order;
    } cases[] = {
        {115200, 250000, "115200"},
        {0, 0, "250000, 115200, 57600, 230400, 500000, 1000000, 38400, 19200, 9600"},
        {0, 19200, "19200, 250000, 115200, 57600, 230400, 500000, 1000000, 38400, 9600"},
        // A remembered value that is no speed of the list is not tried.
        {0, 1200, "250000, 115200, 57600, 230400, 500000, 1000000, 38400, 19200, 9600"},
    };
    for (const auto& item : cases) {
        RateSearch search;
        search.Begin(item.fixed, item.remembered, 3000, 20000, 0);
        while (!search.Exhausted(1000000)) {
            search.Next(0);
        }
        EXPECT_EQ(RatesText(search.Tried()), item.order) << item.fixed << " " << item.remembered;
    }
}

TEST(RateSearchTest, RoundsAreShortUnlessTheBoardIsHeardBooting) {
    RateSearch search;
    search.Begin(0, 0, 3000, 20000, 1000);
    EXPECT_EQ(search.WaitTime(1000), 3000u);
    EXPECT_FALSE(search.SwitchDue(3999));
    EXPECT_TRUE(search.SwitchDue(4000));
    search.Next(4000);
    EXPECT_EQ(search.Rate(), 115200u);
    // "start" and the banner: the round runs on from each clean line...
    search.OnCleanLine(6000);
    EXPECT_FALSE(search.SwitchDue(8999));
    EXPECT_TRUE(search.SwitchDue(9000));
    // ...but never past the greeting's limit.
    search.OnCleanLine(30000);
    EXPECT_TRUE(search.SwitchDue(24000));
    for (int i = 0; i < 7; ++i) {
        search.Next(24000);
    }
    EXPECT_FALSE(search.SwitchDue(100000));
    EXPECT_FALSE(search.Exhausted(26999));
    EXPECT_TRUE(search.Exhausted(27000));
    EXPECT_EQ(search.LimitMs(), 8u * 3000 + 20000);

    // A fixed speed has the whole limit.
    search.Begin(57600, 0, 3000, 20000, 0);
    EXPECT_FALSE(search.Automatic());
    EXPECT_FALSE(search.Exhausted(19999));
    EXPECT_TRUE(search.Exhausted(20000));
    EXPECT_EQ(search.LimitMs(), 20000u);
}

TEST(RateSearchTest, OnlyPrintableTextIsClean) {
    const struct {
        std::string line;
        bool clean;
    } cases[] = {{"ok\n", true},      {" T:25.1 /200.0\tB:19.4\n", true},
                 {"\xEFok\n", false}, {"ok\xEB\n", false},
                 {"o\x01k\n", false}, {"\xEF\xEB\xA0\xD4\xBA\n", false},
                 {"ok\nok\n", false}};
    for (const auto& item : cases) {
        EXPECT_EQ(IsCleanLine(reinterpret_cast<const uint8_t*>(item.line.data()),
                              static_cast<uint32_t>(item.line.size())),
                  item.clean)
            << item.line;
    }
}

} // namespace
} // namespace vela::test
