// Request building and reply reading, byte for byte.
#include "usb/PrinterPackets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vela::test {
namespace {

std::vector<uint8_t> Bytes(const SmallRequest& request) {
    return std::vector<uint8_t>(request.bytes, request.bytes + request.length);
}

TEST(Packets, SmallRequestsHaveTheirFixedLayouts) {
    EXPECT_EQ(Bytes(CodeRequest('F')), (std::vector<uint8_t>{0x46}));
    EXPECT_EQ(Bytes(ReadParameterRequest(16)), (std::vector<uint8_t>{0x76, 16, 16}));
    EXPECT_EQ(Bytes(WriteParameterRequest(142, -1)),
              (std::vector<uint8_t>{0x56, 142, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(WriteParameterRequest(16, 0x01020304)),
              (std::vector<uint8_t>{0x56, 16, 4, 3, 2, 1}));
    EXPECT_EQ(Bytes(WriteFloatParameterRequest(11, 0.0f)),
              (std::vector<uint8_t>{0x56, 11, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(WriteFloatParameterRequest(11, 1.0f)),
              (std::vector<uint8_t>{0x56, 11, 0x00, 0x00, 0x80, 0x3F}));
    EXPECT_EQ(Bytes(DigitRequest('L', 5)), (std::vector<uint8_t>{0x4C, '5'}));
    EXPECT_EQ(Bytes(DigitRequest('s', 0)), (std::vector<uint8_t>{0x73, '0'}));
    EXPECT_EQ(Bytes(LineRequest(9, 1)), (std::vector<uint8_t>{0x6C, 9, 1}));
    EXPECT_EQ(Bytes(JogRequest(2, 10.0f, 40.0f)),
              (std::vector<uint8_t>{0x6A, 2, 0x00, 0x00, 0x20, 0x41, 0x00, 0x00, 0x20, 0x42}));
    EXPECT_EQ(Bytes(StatusBlockRequest()), (std::vector<uint8_t>{0x52, 0x00}));
}

TEST(Packets, OneRecordMakesA22BytePacket) {
    uint8_t record[20];
    for (uint8_t i = 0; i < 20; ++i) {
        record[i] = static_cast<uint8_t>(0xA0 + i);
    }
    uint8_t packet[64] = {};
    ASSERT_EQ(BuildRecordPacket(packet, sizeof(packet), record, 1), 22u);
    EXPECT_EQ(packet[0], 0x2F);
    EXPECT_EQ(packet[1], 0x01);
    EXPECT_EQ(std::memcmp(packet + 2, record, 20), 0);
    EXPECT_EQ(RecordPacketLength(1), 22u);
    EXPECT_EQ(RecordPacketLength(3), 62u);
}

TEST(Packets, RecordsAreGroupedInThreesWithALastPartialGroup) {
    uint8_t records[4 * 20];
    for (size_t i = 0; i < sizeof(records); ++i) {
        records[i] = static_cast<uint8_t>(i);
    }
    uint8_t packet[128] = {};
    ASSERT_EQ(BuildRecordPacket(packet, sizeof(packet), records, 4), 84u);
    EXPECT_EQ(packet[0], '/');
    EXPECT_EQ(packet[1], 3);
    EXPECT_EQ(std::memcmp(packet + 2, records, 60), 0);
    EXPECT_EQ(packet[62], '/');
    EXPECT_EQ(packet[63], 1);
    EXPECT_EQ(std::memcmp(packet + 64, records + 60, 20), 0);
}

TEST(Packets, RecordPacketThatDoesNotFitIsNotBuilt) {
    uint8_t records[3 * 20] = {};
    uint8_t packet[62] = {};
    EXPECT_EQ(BuildRecordPacket(packet, 61, records, 3), 0u);
    EXPECT_EQ(BuildRecordPacket(packet, 62, records, 3), 62u);
    EXPECT_EQ(BuildRecordPacket(packet, 62, records, 0), 0u);
    EXPECT_EQ(BuildRecordPacket(packet, 62, records, 0xFFFFFFFFu), 0u);
}

TEST(Packets, OnlyTheBytesThatArrivedReplaceAValue) {
    const uint8_t reply[6] = {0xCD, 0xAB, 0x99, 0x88, 0x77, 0x66};
    EXPECT_EQ(OverlayLittleEndian(0x11223344, reply, 2), 0x1122ABCD);
    EXPECT_EQ(OverlayLittleEndian(0x11223344, reply, 0), 0x11223344);
    EXPECT_EQ(OverlayLittleEndian(0, reply, 6), static_cast<int32_t>(0x8899ABCDu));
}

TEST(Packets, WordsBeyondTheEndOfAShortPacketReadAsZero) {
    // The bytes after the packet's length are leftovers and must not show.
    const uint8_t area[12] = {1, 0, 0, 0, 0x10, 0x20, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
    EXPECT_EQ(IntegerWord(area, 6, 0), 1);
    EXPECT_EQ(IntegerWord(area, 6, 1), 0x2010);
    EXPECT_EQ(IntegerWord(area, 6, 2), 0);
    EXPECT_EQ(IntegerWord(area, 6, 0x40000001u), 0);
    EXPECT_EQ(FloatWord(area, 0, 0), 0.0f);
    const uint8_t half[4] = {0x00, 0x00, 0xC0, 0x3F};
    EXPECT_EQ(FloatWord(half, 4, 0), 1.5f);
}

TEST(Packets, PositionIsTakenFiveBytesBeforeTheEnd) {
    const uint8_t nine[9] = {0, 0, 0, 0, 0xD2, 0x04, 0x00, 0x00, 0xEE};
    EXPECT_EQ(PositionFromReply(nine, 9), 1234);
    const uint8_t five[5] = {0x18, 0xFC, 0xFF, 0xFF, 0xEE};
    EXPECT_EQ(PositionFromReply(five, 5), -1000);
    EXPECT_EQ(PositionFromReply(five, 4), 0);
    EXPECT_EQ(PositionFromReply(nullptr, 0), 0);
}

TEST(Packets, ReplyTextIsTerminatedAndCutTo63Characters) {
    char text[kTextFieldSize];
    std::memset(text, 'x', sizeof(text));
    const uint8_t shortText[3] = {'a', 'b', 'c'};
    CopyReplyText(text, shortText, 3);
    EXPECT_STREQ(text, "abc");

    uint8_t longText[100];
    std::memset(longText, 'L', sizeof(longText));
    CopyReplyText(text, longText, sizeof(longText));
    EXPECT_EQ(std::strlen(text), 63u);
    EXPECT_EQ(text[63], '\0');

    CopyReplyText(text, longText, 0);
    EXPECT_STREQ(text, "");
}

} // namespace
} // namespace vela::test
