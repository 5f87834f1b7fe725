// What the firmware's replies mean, and the bound on an unterminated reply.
#include "serial/ReplyParsing.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    EXPECT_EQ(Classify(" T:25.1 /200.0 B:19.4 /60.0\n"), ReplyKind::Temperature);
    EXPECT_EQ(Classify("T0:25.1 /200.0\n"), ReplyKind::Temperature);
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
        // "B@:" is the bed's power, not its temperature; "T0:" stands in for a
        // missing "T:", and a report may be set off with a space.
        {"ok B@:0 T0:200\n", true, true, false, 2000, 0},
        {" T:25.11 /200.00 B:19.37 /60.00 @:127\n", true, true, true, 251, 193},
        {"T0:201.0 /210.0 T1:22.0 /0.0 B:60.0 /60.0\n", true, true, true, 2010, 600},
        {"ok T:210.0 /210.0 T0:209.0 /210.0 T1:30.0 /0.0\n", true, true, false, 2100, 0},
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

TEST(ReplyParsing, OkNumbersAreTheLineAndTheFreeCommandSlots) {
    const struct {
        const char* reply;
        int64_t line;
        int64_t freeSlots;
    } cases[] = {
        {"ok\n", -1, -1},
        {"ok 17\n", 17, -1},
        {"ok N17 P13 B2\r\n", 17, 2},
        {"OK n5 b0\n", 5, 0},
        {"ok T:210.0 /210.0 B:60.0 /60.0 @:0\n", -1, -1},
        {"ok N12a B1x\n", -1, -1},
        {"ok N1234567890 B3\n", -1, 3},
        {"ok N7 P15 B4 extra\n", 7, 4},
        {"Resend: 3\n", -1, -1},
    };
    for (const auto& item : cases) {
        const std::string reply = item.reply;
        const OkNumbers numbers = ParseOkNumbers(Bytes(reply), Size(reply));
        EXPECT_EQ(numbers.line, item.line) << reply;
        EXPECT_EQ(numbers.freeSlots, item.freeSlots) << reply;
    }
}

// Every piece size, from byte by byte to all at once: the same lines come out, and
// the assembler knows whether the bytes so far ended inside a line.
TEST(ReplyLineAssembler, JoinsPiecesIntoBoundedLinesWhateverTheirSize) {
    const std::string noise(5000, 'x');
    const std::string stream = std::string("ok 17\r\nRes\0end: 3006\n", 21) + noise + "\nok\n\n" +
                               std::string(4000, 'a') + "\n";
    const std::vector<std::string> expected = {"ok 17\n",
                                               "Resend: 3006\n",
                                               std::string(4096, 'x') + "\n",
                                               "ok\n",
                                               "\n",
                                               std::string(4000, 'a') + "\n"};
    for (uint32_t piece : {1u, 2u, 3u, 7u, 512u, 100000u}) {
        ReplyLineAssembler assembler;
        std::vector<std::string> lines;
        for (size_t offset = 0; offset < stream.size(); offset += piece) {
            const auto size =
                static_cast<uint32_t>(std::min<size_t>(piece, stream.size() - offset));
            const uint8_t* bytes = Bytes(stream) + offset;
            for (uint32_t taken = 0; taken < size;) {
                const uint8_t* line = nullptr;
                uint32_t length = 0;
                taken += assembler.Take(bytes + taken, size - taken, &line, &length);
                if (line != nullptr) {
                    lines.emplace_back(reinterpret_cast<const char*>(line), length);
                }
            }
            // Inside a line once a byte that stays has come since the last line end.
            const std::string since = stream.substr(0, offset + size)
                                          .substr(stream.substr(0, offset + size).rfind('\n') + 1);
            EXPECT_EQ(assembler.Partial(),
                      since.find_first_not_of(std::string("\r\0", 2)) != std::string::npos)
                << "after " << offset + size << " bytes in pieces of " << piece;
        }
        EXPECT_EQ(lines, expected) << "pieces of " << piece;
    }
}

TEST(ReplyParsing, PrinterActionsAreKnownByTheirWord) {
    const struct {
        const char* line;
        PrinterAction action;
    } cases[] = {{"//action:cancel\n", PrinterAction::Cancel},
                 {"//action:pause \n", PrinterAction::Pause},
                 {"//action:paused\n", PrinterAction::Pause},
                 {"//action:resume\n", PrinterAction::Resume},
                 {"//action:resumed\n", PrinterAction::Resume},
                 {"//action:prompt_begin Paused\n", PrinterAction::Other},
                 {"//action:cancelled\n", PrinterAction::Other},
                 {"ok //action:cancel\n", PrinterAction::None},
                 {"//act\n", PrinterAction::None}};
    for (const auto& item : cases) {
        const std::string line = item.line;
        EXPECT_EQ(ParsePrinterAction(Bytes(line), Size(line)), item.action) << item.line;
    }
}

TEST(ReplyParsing, FirmwareLinesGiveTheNameAndWhetherItReportsOnItsOwn) {
    const std::string overlong = "FIRMWARE_NAME:" + std::string(200, 'x');
    const struct {
        std::string line;
        bool named;
        std::string name;
        bool autoReports;
    } cases[] = {
        {"FIRMWARE_NAME:Vela 2.1.2 (Jan  1 2026) SOURCE_CODE_URL:x PROTOCOL_VERSION:1.0", true,
         "Vela 2.1.2 (Jan  1 2026)", false},
        {"FIRMWARE_NAME:Board 1.0 Rev A", true, "Board 1.0 Rev A", false},
        {"FIRMWARE_NAME:Caf\xC3\xA9 2", true, "Caf", false},
        {overlong, true, std::string(kFirmwareNameChars - 1, 'x'), false},
        {"Cap:AUTOREPORT_TEMP:1", false, "", true},
        {"Cap:AUTOREPORT_TEMP:0", false, "", false},
        {"echo:FIRMWARE_NAME:x", false, "", false},
        {"FIRMWARE_NAME", false, "", false},
    };
    for (const auto& item : cases) {
        FirmwareIdentity identity;
        NoteFirmwareLine(Bytes(item.line), Size(item.line), &identity);
        EXPECT_EQ(identity.named, item.named) << item.line;
        EXPECT_EQ(identity.name, item.name) << item.line;
        EXPECT_EQ(identity.autoReportsTemperatures, item.autoReports) << item.line;
    }
}

} // namespace
} // namespace vela
