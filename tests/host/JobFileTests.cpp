// Job streams as make-job writes them, and reading them back.
#include "JobFile.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vela::host {
namespace {

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

float FloatAt(const std::vector<uint8_t>& bytes, size_t at) {
    const uint32_t bits = WordAt(bytes, at);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

TEST(JobStreamTest, CountHeaderThenTwentyByteRecords) {
    const std::vector<uint8_t> stream = MakeJobStream(3);
    ASSERT_EQ(stream.size(), 4u + 3u * 20u);
    EXPECT_EQ(WordAt(stream, 0), 3u);
}

TEST(JobStreamTest, MovesAreFollowedByOneProgramEnd) {
    const std::vector<uint8_t> stream = MakeJobStream(401);
    for (size_t i = 0; i < 400; ++i) {
        EXPECT_EQ(WordAt(stream, 4 + i * 20), kMoveOpcode) << i;
    }
    EXPECT_EQ(WordAt(stream, 4 + 400 * 20), kProgramEndOpcode);
    // Record 400 starts the second layer, at 0.2 mm, and the square again at 10 mm.
    EXPECT_FLOAT_EQ(FloatAt(stream, 4 + 400 * 20 + 12), 0.2f);
    EXPECT_FLOAT_EQ(FloatAt(stream, 4 + 400 * 20 + 4), 10.0f);
    EXPECT_FLOAT_EQ(FloatAt(stream, 4 + 400 * 20 + 8), -10.0f);
    EXPECT_FLOAT_EQ(FloatAt(stream, 4 + 16), 1800.0f);
}

TEST(JobStreamTest, NoRecordsKeepsTheCountAsGiven) {
    EXPECT_EQ(MakeJobStream(0), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(MakeJobStream(-5), (std::vector<uint8_t>{0xFB, 0xFF, 0xFF, 0xFF}));
}

TEST(JobSummaryTest, CountsWholeRecordsAndTrailingBytes) {
    std::vector<uint8_t> stream = MakeJobStream(5);
    stream.push_back(1);
    stream.push_back(2);
    const JobSummary summary = SummarizeJob(stream);
    EXPECT_TRUE(summary.hasHeader);
    EXPECT_EQ(summary.announced, 5);
    EXPECT_EQ(summary.wholeRecords, 5u);
    EXPECT_EQ(summary.trailingBytes, 2u);
}

TEST(JobSummaryTest, FewerThanFourBytesHaveNoHeader) {
    const JobSummary summary = SummarizeJob({1, 2, 3});
    EXPECT_FALSE(summary.hasHeader);
    EXPECT_EQ(summary.wholeRecords, 0u);
    EXPECT_EQ(summary.trailingBytes, 3u);
}

TEST(RecordCoordinatesTest, ReadsTheMoveRecordsAndRefusesOthers) {
    const std::vector<uint8_t> stream = MakeJobStream(2);
    double xyz[3] = {};
    ASSERT_TRUE(RecordCoordinates(stream.data() + 4 + 20, xyz));
    EXPECT_DOUBLE_EQ(xyz[0], 10.5);
    EXPECT_DOUBLE_EQ(xyz[1], 10.5);
    EXPECT_DOUBLE_EQ(xyz[2], 0.0);

    uint8_t other[20] = {0x22};
    EXPECT_FALSE(RecordCoordinates(other, xyz));
    std::vector<uint8_t> huge = MakeJobStream(1);
    const float far = 1.0e9f;
    std::memcpy(huge.data() + 4 + 4, &far, sizeof(far));
    EXPECT_FALSE(RecordCoordinates(huge.data() + 4, xyz));
}

TEST(JobFileTest, WrittenStreamReadsBackTheSame) {
    const std::wstring path = L"host_tests_job.bin";
    const std::vector<uint8_t> stream = MakeJobStream(4000);
    ASSERT_TRUE(WriteWholeFile(path, stream));
    std::vector<uint8_t> read{9, 9};
    ASSERT_TRUE(ReadWholeFile(path, read));
    EXPECT_EQ(read, stream);
    ::_wremove(path.c_str());
}

TEST(JobFileTest, MissingFileCannotBeRead) {
    std::vector<uint8_t> read;
    EXPECT_FALSE(ReadWholeFile(L"no such folder\\no such job.bin", read));
    EXPECT_FALSE(WriteWholeFile(L"no such folder\\job.bin", MakeJobStream(1)));
}

} // namespace
} // namespace vela::host
