// The rules of a port's settings and their layout in the transceive commands.
#include "core/PortSettingsLayout.h"

#include <gtest/gtest.h>

namespace vela::test {
namespace {

// The strings, each closed by a NUL, then the closing empty string.
std::vector<uint8_t> Layout(const std::vector<std::wstring>& strings) {
    std::vector<uint8_t> bytes;
    for (const std::wstring& text : strings) {
        for (wchar_t unit : text) {
            bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
            bytes.push_back(static_cast<uint8_t>(unit >> 8));
        }
        bytes.insert(bytes.end(), {0, 0});
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

LayoutResult Decode(const std::vector<uint8_t>& bytes, PortSettingsChange* change = nullptr) {
    std::wstring port;
    PortSettingsChange ignored;
    return DecodeSettingsChange(bytes.data(), bytes.size(), &port,
                                change != nullptr ? change : &ignored);
}

TEST(PortSettingsLayoutTest, AChangeIsTakenOnlyInItsExactLayout) {
    const std::vector<uint8_t> good = Layout({L"Lab:", L"BaudRate=250000"});
    std::vector<uint8_t> trailing = good;
    trailing.insert(trailing.end(), {0, 0});
    std::vector<uint8_t> odd = good;
    odd.push_back(0);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        LayoutResult result;
    } cases[] = {
        {"one setting", good, LayoutResult::Ok},
        {"every setting, any order",
         Layout({L"Lab:", L"ResumeGCode=M24", L"CancelGCode=M104 S0\nM84", L"StreamWindow=4096",
                 L"PauseGCode=", L"BaudRate=0"}),
         LayoutResult::Ok},
        {"no closing string", std::vector<uint8_t>(good.begin(), good.end() - 2),
         LayoutResult::Malformed},
        {"bytes after the end", trailing, LayoutResult::Malformed},
        {"odd size", odd, LayoutResult::Malformed},
        {"no setting", Layout({L"Lab:"}), LayoutResult::Malformed},
        {"no name", Layout({L"", L"BaudRate=0"}), LayoutResult::Malformed},
        {"no equals sign", Layout({L"Lab:", L"BaudRate"}), LayoutResult::Malformed},
        {"unknown name", Layout({L"Lab:", L"Baud=115200"}), LayoutResult::Malformed},
        {"name in another case", Layout({L"Lab:", L"baudrate=115200"}), LayoutResult::Malformed},
        {"twice", Layout({L"Lab:", L"BaudRate=0", L"BaudRate=0"}), LayoutResult::Malformed},
        {"leading zero", Layout({L"Lab:", L"StreamWindow=0127"}), LayoutResult::Malformed},
        {"sign", Layout({L"Lab:", L"StreamWindow=+127"}), LayoutResult::Malformed},
        {"space", Layout({L"Lab:", L"StreamWindow= 127"}), LayoutResult::Malformed},
        {"empty number", Layout({L"Lab:", L"StreamWindow="}), LayoutResult::Malformed},
        {"over 32 bits", Layout({L"Lab:", L"BaudRate=4294967296"}), LayoutResult::Malformed},
        {"window too large", Layout({L"Lab:", L"StreamWindow=4097"}), LayoutResult::BadValue},
        {"not a standard speed", Layout({L"Lab:", L"BaudRate=115201"}), LayoutResult::BadValue},
        {"control character", Layout({L"Lab:", L"CancelGCode=M104\tS0"}), LayoutResult::BadValue},
        {"not ASCII", Layout({L"Lab:", L"PauseGCode=M117 \u00e9"}), LayoutResult::BadValue},
        {"beyond one byte", Layout({L"Lab:", L"PauseGCode=M117 \u0141"}), LayoutResult::BadValue},
        {"checksum mark", Layout({L"Lab:", L"CancelGCode=M84*12"}), LayoutResult::BadValue},
        {"empty line", Layout({L"Lab:", L"CancelGCode=M104 S0\n\nM84"}), LayoutResult::BadValue},
        {"long line", Layout({L"Lab:", L"ResumeGCode=M117 " + std::wstring(251, L'x')}),
         LayoutResult::BadValue},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(Decode(item.bytes), item.result) << item.what;
    }
    EXPECT_EQ(DecodeSettingsChange(nullptr, 8, nullptr, nullptr), LayoutResult::Malformed);
}

TEST(PortSettingsLayoutTest, ListsHoldUpToTheirLimits) {
    const std::wstring longest = L"M117 " + std::wstring(250, L'x');
    std::wstring lines;
    for (size_t i = 0; i < kMaxGcodeLines; ++i) {
        lines += (i == 0 ? L"" : L"\n") + longest;
    }
    PortSettingsChange change;
    ASSERT_EQ(Decode(Layout({L"Lab:", L"CancelGCode=" + lines}), &change), LayoutResult::Ok);
    EXPECT_EQ(change.cancelLines->size(), kMaxGcodeLines);
    EXPECT_EQ(change.cancelLines->back().size(), kMaxGcodeLineLength);
    EXPECT_EQ(Decode(Layout({L"Lab:", L"CancelGCode=" + lines + L"\nM84"})),
              LayoutResult::BadValue);
}

TEST(PortSettingsLayoutTest, WhatIsEncodedDecodesAsItWas) {
    PortSettingsChange change;
    change.streamWindow = 127;
    change.baudRate = 1000000;
    change.cancelLines = std::vector<std::string>{"M104 S0", "M140 S0"};
    change.resumeLines = std::vector<std::string>{};
    const std::vector<uint8_t> bytes = EncodeSettingsChange(L"Vela Cube:", change);
    std::wstring port;
    PortSettingsChange decoded;
    ASSERT_EQ(DecodeSettingsChange(bytes.data(), bytes.size(), &port, &decoded), LayoutResult::Ok);
    EXPECT_EQ(port, L"Vela Cube:");
    EXPECT_EQ(decoded.streamWindow, change.streamWindow);
    EXPECT_EQ(decoded.baudRate, change.baudRate);
    EXPECT_EQ(decoded.cancelLines, change.cancelLines);
    EXPECT_FALSE(decoded.pauseLines.has_value());
    EXPECT_EQ(decoded.resumeLines, change.resumeLines);

    PortSettings settings;
    settings.streamWindow = 300;
    settings.baudRate = 250000;
    settings.cancelLines = DefaultCancelLines();
    settings.pauseLines = {"M25"};
    std::vector<uint8_t> answer = EncodePortSettings(settings);
    // A name a later monitor may add is passed over.
    answer.resize(answer.size() - 2);
    const std::vector<uint8_t> later = Layout({L"Later=1"});
    answer.insert(answer.end(), later.begin(), later.end());
    PortSettings read;
    ASSERT_TRUE(DecodePortSettings(answer.data(), answer.size(), &read));
    EXPECT_EQ(read.streamWindow, 300u);
    EXPECT_EQ(read.baudRate, 250000u);
    EXPECT_EQ(read.cancelLines, settings.cancelLines);
    EXPECT_EQ(read.pauseLines, settings.pauseLines);
    EXPECT_TRUE(read.resumeLines.empty());
    EXPECT_FALSE(DecodePortSettings(answer.data(), answer.size() - 2, &read));
}

TEST(PortSettingsLayoutTest, APortNameFillsItsSizeExactly) {
    const std::vector<uint8_t> name = EncodePortName(L"Lab:");
    std::wstring read;
    ASSERT_TRUE(DecodePortName(name.data(), name.size(), &read));
    EXPECT_EQ(read, L"Lab:");
    EXPECT_FALSE(DecodePortName(name.data(), name.size() - 2, &read));
    EXPECT_FALSE(DecodePortName(name.data(), name.size() - 1, &read));
    const std::vector<uint8_t> twoStrings = Layout({L"Lab:"});
    EXPECT_FALSE(DecodePortName(twoStrings.data(), twoStrings.size(), &read));
    const std::vector<uint8_t> empty = EncodePortName(L"");
    EXPECT_FALSE(DecodePortName(empty.data(), empty.size(), &read));
}

TEST(PortSettingsRulesTest, EverySpeedOfTheListAndAutomaticAreTaken) {
    EXPECT_TRUE(BaudRateProblem(kAutomaticBaudRate).empty());
    for (uint32_t rate : kStandardBaudRates) {
        EXPECT_TRUE(BaudRateProblem(rate).empty()) << rate;
        EXPECT_FALSE(BaudRateProblem(rate + 1).empty()) << rate;
    }
    EXPECT_NE(BaudRateProblem(12345).find(L"not a standard speed"), std::wstring::npos);
    EXPECT_NE(StreamWindowProblem(4097).find(L"at most 4096"), std::wstring::npos);
    EXPECT_NE(GcodeLinesProblem(GcodeList::Pause, {"M25", "M117 *"}).find(L"Line 2 of the pause"),
              std::wstring::npos);
}

} // namespace
} // namespace vela::test
