// What the host shows while a job runs.
#include "ProgressDisplay.h"

#include <gtest/gtest.h>

namespace vela::host {
namespace {

TEST(ProgressBarTest, FillsInProportionToTheAnnouncedCount) {
    EXPECT_EQ(FormatProgressBar(0, 500, 10), "[----------]  0/500 records  0%");
    EXPECT_EQ(FormatProgressBar(250, 500, 10), "[#####-----]  250/500 records  50%");
    EXPECT_EQ(FormatProgressBar(499, 500, 10), "[#########-]  499/500 records  99%");
    EXPECT_EQ(FormatProgressBar(500, 500, 10), "[##########]  500/500 records  100%");
}

TEST(ProgressBarTest, MoreThanAnnouncedFillsTheBarAndNoMore) {
    EXPECT_EQ(FormatProgressBar(600, 500, 10), "[##########]  600/500 records  100%");
}

TEST(ProgressBarTest, NoAnnouncedRecordsShowsTheCountAlone) {
    EXPECT_EQ(FormatProgressBar(0, 0, 4), "[----]  0 records sent (the job announces 0)");
    EXPECT_EQ(FormatProgressBar(0, -5, 4), "[----]  0 records sent (the job announces -5)");
}

TEST(ProgressBarTest, LargeCountsDoNotOverflow) {
    EXPECT_EQ(FormatProgressBar(2000000000, 2147483647, 40).substr(0, 42),
              "[#####################################---]");
}

TEST(PollLineTest, NamesStateAndStatusFromTheCatalogue) {
    PollReading reading;
    reading.haveMachineState = true;
    reading.machineState = 2;
    reading.haveStatus = true;
    reading.status = 2;
    EXPECT_EQ(FormatPoll(3, 15000, reading),
              "poll 3     0:15  machine: Running Program  status: Printing");
}

TEST(PollLineTest, ShowsTheHeadWhenItWasRead) {
    PollReading reading;
    reading.haveMachineState = true;
    reading.machineState = 3;
    reading.haveStatus = true;
    reading.status = 6;
    reading.havePosition = true;
    reading.position[0] = 50.0;
    reading.position[1] = 25.0;
    reading.position[2] = -100.0;
    EXPECT_EQ(FormatPoll(12, 125000, reading),
              "poll 12    2:05  machine: Idle  status: Finish Printing  head X50.00 Y25.00 "
              "Z-100.00 mm");
}

TEST(PollLineTest, UnnamedValuesAndMissingAnswersAreSaidSo) {
    PollReading reading;
    reading.haveMachineState = true;
    reading.machineState = 99;
    EXPECT_EQ(FormatPoll(1, 5000, reading),
              "poll 1     0:05  machine: value 99  status: no answer");
}

TEST(MinutesTest, MinutesAndSeconds) {
    EXPECT_EQ(FormatMinutes(0), "0:00");
    EXPECT_EQ(FormatMinutes(59999), "0:59");
    EXPECT_EQ(FormatMinutes(3600000), "60:00");
}

TEST(TransferResultTest, JudgedAsTheMonitorJudgesIt) {
    EXPECT_TRUE(TransferComplete(500, 500));
    EXPECT_FALSE(TransferComplete(0, 0));
    EXPECT_FALSE(TransferComplete(300, 500));
    EXPECT_EQ(DescribeTransfer(500, 500, false), "500 of 500 records sent: the job is complete.");
    EXPECT_EQ(DescribeTransfer(0, 0, true),
              "0 of 0 records sent: the job announces no records; nothing was printed.");
    EXPECT_EQ(DescribeTransfer(300, 500, true),
              "300 of 500 records sent: the printer refused the job; it was not started.");
    EXPECT_EQ(DescribeTransfer(300, 500, false),
              "300 of 500 records sent: the transfer stopped short; the monitor reset the "
              "printer.");
}

} // namespace
} // namespace vela::host
