// What the firmware's replies mean, and the bound on an unterminated reply.
#include "protocol/LineQueue.h"
#include "protocol/ReplyParsing.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vela {
namespace {

const uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

uint32_t Size(const std::string& text) {
    return static_cast<uint32_t>(text.size());
}

ReplyKind Classify(const std::string& reply) {
    return ClassifyReply(Bytes(reply), Size(reply));
}

bool Resend(const std::string& reply, int64_t* number) {
    return ParseResendNumber(Bytes(reply), Size(reply), number);
}

TEST(ReplyParsing, KeywordsMatchAtTheStartIgnoringCase) {
    EXPECT_EQ(Classify("wait\n"), ReplyKind::Wait);
    EXPECT_EQ(Classify("ok\n"), ReplyKind::Ok);
    EXPECT_EQ(Classify("OK T:21.0 /0.0\n"), ReplyKind::Ok);
    EXPECT_EQ(Classify("echo:busy: processing\n"), ReplyKind::Echo);
    EXPECT_EQ(Classify("T:210.0 /210.0\n"), ReplyKind::Temperature);
    EXPECT_EQ(Classify("Error:checksum mismatch, Last Line: 4\n"), ReplyKind::Error);
    EXPECT_EQ(Classify("Resend: 5\n"), ReplyKind::Resend);
    EXPECT_EQ(Classify("start\n"), ReplyKind::Other);
}

TEST(ReplyParsing, AReplyShorterThanTheKeywordDoesNotMatch) {
    EXPECT_EQ(Classify("o"), ReplyKind::Other);
    EXPECT_EQ(Classify("echo\n"), ReplyKind::Other);
    EXPECT_EQ(Classify("resen"), ReplyKind::Other);
}

TEST(ReplyParsing, ResendNumberFollowsTheColon) {
    int64_t number = 0;
    ASSERT_TRUE(Resend("Resend:12\n", &number));
    EXPECT_EQ(number, 12);
}

TEST(ReplyParsing, ResendNumberAfterASpaceIsRead) {
    // Common firmware writes "Resend: 12"; ignoring such requests loses lines.
    int64_t number = 0;
    ASSERT_TRUE(Resend("Resend: 12\n", &number));
    EXPECT_EQ(number, 12);
    ASSERT_TRUE(Resend("rEsEnD:  \t7\n", &number));
    EXPECT_EQ(number, 7);
}

TEST(ReplyParsing, ResendReadsAtMostFifteenDigits) {
    int64_t number = 0;
    ASSERT_TRUE(Resend("Resend:12345678901234567890\n", &number));
    EXPECT_EQ(number, 123456789012345LL);
}

TEST(ReplyParsing, ResendWithoutDigitsIsNoRequest) {
    int64_t number = -1;
    EXPECT_FALSE(Resend("Resend:\n", &number));
    EXPECT_FALSE(Resend("Resend: x12\n", &number));
    EXPECT_FALSE(Resend("Resend", &number));
    EXPECT_FALSE(Resend("ok 12\n", &number));
    EXPECT_EQ(number, -1);
}

TEST(ReplyParsing, TemperatureReportAnswersThePoke) {
    const std::string report = "ok T:21.0 /0.0 B:21.0 /0.0 @:0 B@:0\n";
    EXPECT_TRUE(IsTemperatureReport(Bytes(report), Size(report)));
    const std::string ok = "ok\n";
    EXPECT_FALSE(IsTemperatureReport(Bytes(ok), Size(ok)));
}

TEST(ReplyParsing, TemperaturesAreReadFromReportsOnly) {
    struct Case {
        const char* line;
        bool report;
        bool hotEndKnown, bedKnown;
        int32_t hotEnd, bed;
    };
    const Case cases[] = {
        {"T:210.0 /210.0 B:60.0 /60.0 @:0 B@:0\n", true, true, true, 2100, 600},
        {"ok T:209.96 /210.0 b:59.5 /60.0 @:127\r\n", true, true, true, 2099, 595},
        {"T:-14.5 /0.0 @:0\n", true, true, false, -145, 0},
        // "B@:" and "T0:" are other readings, not the bed's or the hot end's.
        {"ok B@:0 T0:200\n", false, false, false, 0, 0},
        {"echo:T:210.0\n", false, false, false, 0, 0},
        {"T:123456.0 /0.0\n", false, false, false, 0, 0},
        {"T: /0.0\n", false, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TemperatureReading reading;
        reading.bedTenths = 7; // untouched when the line is no report
        ASSERT_EQ(ParseTemperatures(Bytes(c.line), Size(c.line), &reading), c.report);
        EXPECT_EQ(reading.hotEndKnown, c.hotEndKnown);
        EXPECT_EQ(reading.bedKnown, c.bedKnown);
        EXPECT_EQ(reading.hotEndTenths, c.hotEnd);
        EXPECT_EQ(reading.bedTenths, c.report ? c.bed : 7);
    }
}

TEST(ReplyParsing, DebuggerTextDropsTheLineEndAndAddsOne) {
    const std::string reply = "echo:busy\n";
    EXPECT_EQ(DebuggerText(Bytes(reply), Size(reply)), "echo:busy\n");
}

TEST(ReplyLineLimiter, KeepsAtMost4096BytesWithoutALineEnd) {
    ReplyLineLimiter limiter;
    const std::string noise(5000, 'x');
    std::vector<uint8_t> out(noise.size());
    EXPECT_EQ(limiter.Filter(Bytes(noise), Size(noise), out.data()), 4096u);
    EXPECT_EQ(limiter.Filter(Bytes(noise), Size(noise), out.data()), 0u);
    const std::string end = "\nok\n";
    ASSERT_EQ(limiter.Filter(Bytes(end), Size(end), out.data()), 4u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "\nok\n");
}

TEST(ReplyLineLimiter, EveryLineEndStartsTheCountAgain) {
    ReplyLineLimiter limiter;
    const std::string lines = std::string(4000, 'a') + "\n" + std::string(4000, 'b') + "\n";
    std::vector<uint8_t> out(lines.size());
    EXPECT_EQ(limiter.Filter(Bytes(lines), Size(lines), out.data()), lines.size());
}

TEST(ReplyLineLimiter, NoiseInSmallReadsCannotGrowTheReplyQueue) {
    ReplyLineLimiter limiter;
    LineQueue replies;
    const std::string chunk = "#@!";
    uint8_t out[3];
    for (int read = 0; read < 10000; ++read) {
        const uint32_t kept = limiter.Filter(Bytes(chunk), Size(chunk), out);
        if (kept > 0) {
            ASSERT_EQ(replies.AppendBytes(out, kept), S_OK);
        }
    }
    const std::string ok = "\nok\n";
    uint8_t tail[4];
    ASSERT_EQ(limiter.Filter(Bytes(ok), Size(ok), tail), 4u);
    ASSERT_EQ(replies.AppendBytes(tail, 4), S_OK);
    LineRecord* first = nullptr;
    ASSERT_EQ(replies.Dequeue(&first), S_OK);
    std::unique_ptr<LineRecord> noise(first);
    ASSERT_NE(noise, nullptr);
    EXPECT_EQ(noise->Length(), kMaxReplyLineLength + 1);
    LineRecord* second = nullptr;
    ASSERT_EQ(replies.Dequeue(&second), S_OK);
    std::unique_ptr<LineRecord> okLine(second);
    ASSERT_NE(okLine, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(okLine->Bytes()), okLine->Length()),
              "ok\n");
}

} // namespace
} // namespace vela
