// The host program's command line.
#include "HostArguments.h"

#include <gtest/gtest.h>

namespace vela::host {
namespace {

ParsedArguments Parse(std::vector<std::wstring> words) {
    return ParseHostArguments(words);
}

TEST(HostArgumentsTest, PrintTakesTheSpoolersPieceSizeAndAFewSecondsByDefault) {
    const ParsedArguments parsed = Parse({L"print", L"job.bin"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.arguments.command, Command::PrintUsb);
    EXPECT_EQ(parsed.arguments.path, L"job.bin");
    EXPECT_EQ(parsed.arguments.piece, 4096u);
    EXPECT_DOUBLE_EQ(parsed.arguments.printSeconds, 3.0);
}

TEST(HostArgumentsTest, PrintOptionsMayComeBeforeOrAfterTheFile) {
    const ParsedArguments parsed =
        Parse({L"print", L"--piece", L"7", L"job.bin", L"--print-seconds", L"0.25"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.arguments.piece, 7u);
    EXPECT_DOUBLE_EQ(parsed.arguments.printSeconds, 0.25);
    EXPECT_EQ(parsed.arguments.path, L"job.bin");
}

TEST(HostArgumentsTest, PieceSizeMustBeAPositiveWholeNumberWithinBounds) {
    EXPECT_FALSE(Parse({L"print", L"j", L"--piece", L"0"}).ok);
    EXPECT_FALSE(Parse({L"print", L"j", L"--piece", L"-4"}).ok);
    EXPECT_FALSE(Parse({L"print", L"j", L"--piece", L"4k"}).ok);
    EXPECT_FALSE(Parse({L"print", L"j", L"--piece", L"16777217"}).ok);
    EXPECT_FALSE(Parse({L"print", L"j", L"--piece", L"99999999999999999999"}).ok);
    EXPECT_TRUE(Parse({L"print", L"j", L"--piece", L"16777216"}).ok);
    EXPECT_TRUE(Parse({L"print", L"j", L"--piece", L"1"}).ok);
}

TEST(HostArgumentsTest, PrintSecondsRefusesWhatIsNotAPlainNumberOfSeconds) {
    EXPECT_TRUE(Parse({L"print", L"j", L"--print-seconds", L"0"}).ok);
    EXPECT_TRUE(Parse({L"print", L"j", L"--print-seconds", L"3."}).ok);
    EXPECT_FALSE(Parse({L"print", L"j", L"--print-seconds", L"."}).ok);
    EXPECT_FALSE(Parse({L"print", L"j", L"--print-seconds", L"1.2.3"}).ok);
    EXPECT_FALSE(Parse({L"print", L"j", L"--print-seconds", L"-1"}).ok);
    EXPECT_FALSE(Parse({L"print", L"j", L"--print-seconds", L"3601"}).ok);
    EXPECT_FALSE(Parse({L"print", L"j", L"--print-seconds"}).ok);
}

TEST(HostArgumentsTest, PrintNeedsExactlyOneFileAndKnownOptions) {
    EXPECT_FALSE(Parse({L"print"}).ok);
    EXPECT_FALSE(Parse({L"print", L"a", L"b"}).ok);
    const ParsedArguments unknown = Parse({L"print", L"a", L"--fast"});
    EXPECT_FALSE(unknown.ok);
    EXPECT_NE(unknown.error.find("--fast"), std::string::npos);
}

TEST(HostArgumentsTest, SerialPrintTakesComPortsInAnyLetterCase) {
    const ParsedArguments parsed =
        Parse({L"print", L"cube.gcode", L"--serial", L"com3", L"--simulate-firmware", L"Com14"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.arguments.command, Command::PrintSerial);
    EXPECT_EQ(parsed.arguments.serialPort, L"COM3");
    EXPECT_EQ(parsed.arguments.firmwarePort, L"COM14");
}

TEST(HostArgumentsTest, SerialOptionsAreChecked) {
    EXPECT_FALSE(Parse({L"print", L"c.gcode", L"--serial", L"LPT1"}).ok);
    EXPECT_FALSE(Parse({L"print", L"c.gcode", L"--serial", L"COM0"}).ok);
    EXPECT_FALSE(Parse({L"print", L"c.gcode", L"--serial", L"COM03"}).ok);
    EXPECT_FALSE(Parse({L"print", L"c.gcode", L"--serial", L"COM257"}).ok);
    EXPECT_FALSE(Parse({L"print", L"c.gcode", L"--simulate-firmware", L"COM4"}).ok);
    EXPECT_FALSE(
        Parse({L"print", L"c.gcode", L"--serial", L"COM4", L"--simulate-firmware", L"com4"}).ok);
    EXPECT_FALSE(Parse({L"print", L"c.gcode", L"--serial", L"COM4", L"--print-seconds", L"2"}).ok);
}

TEST(HostArgumentsTest, GcodeWithoutASerialPortIsRefusedWithAHint) {
    const ParsedArguments parsed = Parse({L"print", L"cube.GCODE"});
    EXPECT_FALSE(parsed.ok);
    EXPECT_NE(parsed.error.find("--serial"), std::string::npos);
}

TEST(HostArgumentsTest, MakeJobNeedsACountAndAFile) {
    const ParsedArguments parsed = Parse({L"make-job", L"--records", L"2000", L"out.job"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.arguments.command, Command::MakeJob);
    EXPECT_EQ(parsed.arguments.records, 2000);
    EXPECT_EQ(parsed.arguments.path, L"out.job");
    EXPECT_TRUE(Parse({L"make-job", L"out.job", L"--records", L"0"}).ok);
    EXPECT_FALSE(Parse({L"make-job", L"out.job"}).ok);
    EXPECT_FALSE(Parse({L"make-job", L"--records", L"5"}).ok);
    EXPECT_FALSE(Parse({L"make-job", L"--records", L"10000001", L"out.job"}).ok);
    EXPECT_FALSE(Parse({L"make-job", L"--records", L"5", L"a", L"b"}).ok);
    EXPECT_FALSE(Parse({L"make-job", L"--records"}).ok);
}

TEST(HostArgumentsTest, SpoolerCommandsTakeNoArguments) {
    EXPECT_EQ(Parse({L"install"}).arguments.command, Command::Install);
    EXPECT_EQ(Parse({L"uninstall"}).arguments.command, Command::Uninstall);
    EXPECT_EQ(Parse({L"ports"}).arguments.command, Command::Ports);
    EXPECT_FALSE(Parse({L"install", L"now"}).ok);
}

TEST(HostArgumentsTest, PortCommandsTakeANameAndADevice) {
    const struct {
        std::vector<std::wstring> words;
        Command command;
        std::wstring name;
        std::wstring device;
        bool inProcess;
    } accepted[] = {
        {{L"port", L"add", L"Lab:"}, Command::PortAdd, L"Lab:", L"", false},
        {{L"port", L"add", L"--serial", L"COM3", L"Lab:"},
         Command::PortAdd,
         L"Lab:",
         L"COM3",
         false},
        {{L"port", L"set-serial", L"Lab:", L"com4", L"--in-process"},
         Command::PortSetSerial,
         L"Lab:",
         L"com4",
         true},
        {{L"port", L"set-serial", L"--usb", L"Lab:"}, Command::PortSetSerial, L"Lab:", L"", false},
        {{L"port", L"delete", L"Lab:"}, Command::PortDelete, L"Lab:", L"", false},
        {{L"ports", L"--in-process"}, Command::Ports, L"", L"", true},
    };
    for (const auto& row : accepted) {
        const ParsedArguments parsed = Parse(row.words);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        EXPECT_EQ(parsed.arguments.command, row.command);
        EXPECT_EQ(parsed.arguments.portName, row.name);
        EXPECT_EQ(parsed.arguments.device, row.device);
        EXPECT_EQ(parsed.arguments.inProcess, row.inProcess);
    }
    const std::vector<std::wstring> refused[] = {
        {L"port"},
        {L"port", L"rename", L"Lab:"},
        {L"port", L"add"},
        {L"port", L"add", L"Lab:", L"Other:"},
        {L"port", L"add", L"Lab:", L"--serial"},
        {L"port", L"add", L"Lab:", L"--usb"},
        {L"port", L"set-serial", L"Lab:"},
        {L"port", L"set-serial", L"Lab:", L"COM3", L"--usb"},
        {L"port", L"delete", L"Lab:", L"--serial", L"COM3"},
        {L"ports", L"Lab:"},
    };
    for (const auto& words : refused) {
        EXPECT_FALSE(Parse(words).ok) << words.size();
    }
}

TEST(HostArgumentsTest, PortSetTakesEachSettingOnceAndLeavesTheRestAlone) {
    const ParsedArguments parsed =
        Parse({L"port", L"set", L"Lab:", L"--baud", L"auto", L"--window", L"127", L"--cancel-gcode",
               L"M104 S0; M140 S0;M84", L"--pause-gcode", L""});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const PortSettingsChange& settings = parsed.arguments.settings;
    EXPECT_EQ(parsed.arguments.command, Command::PortSet);
    EXPECT_EQ(parsed.arguments.portName, L"Lab:");
    EXPECT_EQ(settings.baudRate, std::optional<uint32_t>(0));
    EXPECT_EQ(settings.streamWindow, std::optional<uint32_t>(127));
    EXPECT_EQ(settings.cancelLines, (std::vector<std::string>{"M104 S0", "M140 S0", "M84"}));
    EXPECT_EQ(settings.pauseLines, std::vector<std::string>{});
    EXPECT_FALSE(settings.resumeLines.has_value());
    // The range is the port configuration's to check, with its reason.
    const ParsedArguments outOfRange =
        Parse({L"port", L"set", L"Lab:", L"--baud", L"12345", L"--window", L"off"});
    ASSERT_TRUE(outOfRange.ok) << outOfRange.error;
    EXPECT_EQ(outOfRange.arguments.settings.baudRate, std::optional<uint32_t>(12345));
    EXPECT_EQ(outOfRange.arguments.settings.streamWindow, std::optional<uint32_t>(0));
    EXPECT_TRUE(Parse({L"port", L"add", L"Lab:", L"--serial", L"COM3", L"--baud", L"250000"}).ok);

    const struct {
        std::vector<std::wstring> words;
        const char* says;
    } refused[] = {
        {{L"port", L"set", L"Lab:"}, "needs a setting"},
        {{L"port", L"set", L"--baud", L"auto"}, "needs the port's name"},
        {{L"port", L"set", L"Lab:", L"--baud"}, "--baud needs a value"},
        {{L"port", L"set", L"Lab:", L"--baud", L"fast"}, "--baud takes auto or a speed"},
        {{L"port", L"set", L"Lab:", L"--window", L"-1"}, "--window takes off or a number"},
        {{L"port", L"set", L"Lab:", L"--window", L"1", L"--window", L"2"}, "given twice"},
        {{L"port", L"add", L"Lab:", L"--baud", L"auto"}, "go with --serial"},
        {{L"port", L"set-serial", L"Lab:", L"COM3", L"--baud", L"auto"}, "unknown option --baud"},
    };
    for (const auto& row : refused) {
        const ParsedArguments result = Parse(row.words);
        EXPECT_FALSE(result.ok) << row.says;
        EXPECT_NE(result.error.find(row.says), std::string::npos) << result.error;
    }
}

TEST(HostArgumentsTest, HelpAndUnknownCommands) {
    EXPECT_TRUE(Parse({L"--help"}).ok);
    EXPECT_EQ(Parse({L"help"}).arguments.command, Command::Help);
    EXPECT_FALSE(Parse({}).ok);
    const ParsedArguments unknown = Parse({L"frobnicate"});
    EXPECT_FALSE(unknown.ok);
    EXPECT_NE(unknown.error.find("frobnicate"), std::string::npos);
}

TEST(HostArgumentsTest, NonAsciiInErrorsIsShownSafely) {
    const ParsedArguments parsed = Parse({L"print", L"a", L"--\u00e9"});
    EXPECT_FALSE(parsed.ok);
    EXPECT_NE(parsed.error.find("--?"), std::string::npos);
}

} // namespace
} // namespace vela::host
