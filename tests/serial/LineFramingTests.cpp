// Numbering and checksumming of outgoing G-code lines.
#include "serial/LineFraming.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

std::string Frame(int32_t number, const std::string& line, uint32_t capacity = kWriteBufferSize) {
    uint8_t out[2048];
    uint32_t length = 0;
    if (!FrameLine(number, reinterpret_cast<const uint8_t*>(line.data()),
                   static_cast<uint32_t>(line.size()), out, capacity, &length)) {
        return "<not framed>";
    }
    EXPECT_EQ(out[length], '\0');
    return std::string(reinterpret_cast<const char*>(out), length);
}

TEST(LineFraming, NumbersAndChecksumsAMove) {
    EXPECT_EQ(Frame(5, "G28\n"), "N5 G28 *54\n");
}

TEST(LineFraming, NumbersAndChecksumsATemperatureRequest) {
    EXPECT_EQ(Frame(1, "M105\n"), "N1 M105 *6\n");
}

TEST(LineFraming, ChecksumCoversEverythingUpToTheSpaceBeforeTheStar) {
    const std::string framed = Frame(123456, "G1 X10.5 Y-3 E0.25\n");
    const size_t star = framed.find('*');
    ASSERT_NE(star, std::string::npos);
    EXPECT_EQ(framed.substr(0, star), "N123456 G1 X10.5 Y-3 E0.25 ");
    uint8_t checksum = 0;
    for (size_t index = 0; index < star; ++index) {
        checksum = static_cast<uint8_t>(checksum ^ static_cast<uint8_t>(framed[index]));
    }
    EXPECT_EQ(framed.substr(star + 1), std::to_string(checksum) + "\n");
}

TEST(LineFraming, ALoneLineEndBecomesASpace) {
    // "N3 " then the space that replaces the line end.
    const uint8_t checksum = static_cast<uint8_t>('N' ^ '3' ^ ' ' ^ ' ');
    EXPECT_EQ(Frame(3, "\n"), "N3  *" + std::to_string(checksum) + "\n");
}

TEST(LineFraming, TheFramedLineAndItsNulMustFitTheBuffer) {
    const std::string line = std::string(40, 'G') + "\n";
    const std::string framed = Frame(7, line);
    ASSERT_NE(framed, "<not framed>");
    const uint32_t needed = static_cast<uint32_t>(framed.size()) + 1;
    EXPECT_EQ(Frame(7, line, needed), framed);
    EXPECT_EQ(Frame(7, line, needed - 1), "<not framed>");
}

TEST(LineFraming, ALineTooLongForTheWriteBufferIsNotFramed) {
    EXPECT_EQ(Frame(1, std::string(1100, 'X') + "\n"), "<not framed>");
    EXPECT_NE(Frame(1, std::string(1000, 'X') + "\n"), "<not framed>");
}

TEST(LineFraming, AnEmptyLineIsNotFramed) {
    uint8_t out[16];
    uint32_t length = 0;
    const uint8_t line[1] = {'\n'};
    EXPECT_FALSE(FrameLine(1, line, 0, out, sizeof(out), &length));
}

TEST(LineFraming, ChecksumIsTheXorOfTheBytes) {
    const uint8_t bytes[] = {0x4E, 0x35, 0x20};
    EXPECT_EQ(LineChecksum(bytes, 3), 0x4E ^ 0x35 ^ 0x20);
    EXPECT_EQ(LineChecksum(bytes, 0), 0);
}

TEST(LineFraming, N0InEitherCaseRestartsNumbering) {
    const auto begins = [](const std::string& line) {
        return BeginsWithN0(reinterpret_cast<const uint8_t*>(line.data()),
                            static_cast<uint32_t>(line.size()));
    };
    EXPECT_TRUE(begins("N0 M110\n"));
    EXPECT_TRUE(begins("n0\n"));
    EXPECT_FALSE(begins("N10 G1\n"));
    EXPECT_FALSE(begins("N\n"));
    EXPECT_FALSE(begins("G0 N0\n"));
}

} // namespace
} // namespace vela
