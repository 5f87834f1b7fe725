// Machine state, printer status, the information block and the axis positions.
#include "UsbTestBed.h"

#include "usb/PrinterDevice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace vela::test {
namespace {

TEST(Status, RunningExactlyInMachineStateTwo) {
    UsbTestBed bed;
    PrinterDevice device(bed.link);
    for (int32_t state = 0; state <= 4; ++state) {
        bed.printer.parameters[0] = state;
        EXPECT_EQ(device.IsRunning(), state == 2) << state;
    }
}

TEST(Status, PrinterThatDoesNotAnswerIsNotRunning) {
    UsbTestBed bed;
    bed.printer.parameters[0] = 2;
    bed.printer.unplugged = true;
    PrinterDevice device(bed.link);
    EXPECT_FALSE(device.IsRunning());
    EXPECT_EQ(device.ReadPrinterStatus(), PrinterStatus::PrinterSystemError);
}

TEST(Status, PrinterStatusReadAndWritten) {
    UsbTestBed bed;
    bed.printer.parameters[16] = 19;
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.ReadPrinterStatus(), PrinterStatus::SaveDataToSd);
    EXPECT_TRUE(device.SetPrinterStatus(PrinterStatus::PrinterPause));
    EXPECT_EQ(bed.printer.parameters[16], 3);
    EXPECT_EQ(bed.printer.received.back(), (std::vector<uint8_t>{'V', 16, 3, 0, 0, 0}));
}

TEST(Status, PrinterStatusNamesAreTheFirmwares) {
    EXPECT_STREQ(PrinterStatusName(PrinterStatus::PrinterSystemError), "Printer System Error");
    EXPECT_STREQ(PrinterStatusName(PrinterStatus::SaveDataToSd), "Save Data to SD");
    EXPECT_STREQ(PrinterStatusName(PrinterStatus::JogCommandError), "JogCmd Error");
    EXPECT_EQ(PrinterStatusName(static_cast<PrinterStatus>(21)), nullptr);
    EXPECT_EQ(PrinterStatusName(static_cast<PrinterStatus>(-1)), nullptr);
}

TEST(Status, InformationBlockFillsThePrinterInfo) {
    UsbTestBed bed;
    bed.printer.parameters[42] = 1999;
    bed.printer.parameters[43] = 1999;
    bed.printer.parameters[54] = 1500;
    bed.printer.parameters[62] = 250;
    PrinterDevice device(bed.link);
    std::strcpy(device.Info().modelText, "stale");
    ASSERT_TRUE(device.ReadStatus());
    const PrinterInfo& info = device.Info();
    EXPECT_EQ(info.blockValue0, 1.5);
    EXPECT_EQ(info.blockValue1, 7);
    EXPECT_EQ(info.printerClass, 1);
    EXPECT_EQ(info.blockValue3, 3);
    EXPECT_EQ(info.blockValue4, 2.0f);
    EXPECT_STREQ(info.numberText, "4711");
    EXPECT_STREQ(info.modelText, "");
    EXPECT_STREQ(info.identificationText, "Vela Simulated Printer");
    EXPECT_EQ(info.limits[0], -5.0);
    EXPECT_EQ(info.limits[4], 170.0);
    EXPECT_EQ(info.axisScales[0], 80.0);
    EXPECT_EQ(info.axisScales[2], 400.0);
    EXPECT_EQ(info.axisScales[3], 93.0);
    EXPECT_EQ(info.extraValues[2], 0.75);
    EXPECT_EQ(info.blockValue12, 12.0);
    EXPECT_EQ(info.setCount, 1);
    EXPECT_STREQ(info.valueSets[0].name, "Set 0");
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(info.valueSets[0].values[i], i);
    }
    EXPECT_EQ(info.parameter42Value, 1.0);
    EXPECT_EQ(info.parameter43Value, 1.999);
    EXPECT_EQ(info.parameter54Value, 1.5);
    EXPECT_EQ(info.parameter62Ratio, 2.5f);
    // One request and 5 + 3 packets, then four parameter exchanges: 12 exchanges.
    EXPECT_EQ(bed.printer.Codes(), "Rvvvv");
    EXPECT_EQ(bed.printer.transfers, 5 + 12);
}

TEST(Status, ParameterSixtyTwoOfZeroGivesARatioOfOne) {
    UsbTestBed bed;
    PrinterDevice device(bed.link);
    ASSERT_TRUE(device.ReadStatus());
    EXPECT_EQ(device.Info().parameter62Ratio, 1.0f);
    EXPECT_EQ(device.Info().parameter42Value, 0.0);
}

TEST(Status, ModelCodeDecidesTheClassForTheCodesItKnows) {
    struct Case {
        int32_t code;
        int32_t blockClass;
        int32_t expected;
    };
    const Case cases[] = {{1602, 1, 2}, {102, 7, 2},   {202, 1, 2},   {100, 2, 1},
                          {200, 9, 1},  {20000, 5, 5}, {21000, 2, 2}, {3, 4, 4}};
    for (const Case& item : cases) {
        UsbTestBed bed;
        bed.printer.info.modelCode = item.code;
        bed.printer.info.printerClass = item.blockClass;
        PrinterDevice device(bed.link);
        ASSERT_TRUE(device.ReadStatus());
        EXPECT_EQ(device.Info().printerClass, item.expected) << item.code;
        EXPECT_STREQ(device.Info().modelText, "");
    }
}

TEST(Status, SetCountZeroReadsNoValueSets) {
    UsbTestBed bed;
    bed.printer.info.setCount = 0;
    bed.printer.parameters[43] = 1999;
    PrinterDevice device(bed.link);
    ASSERT_TRUE(device.ReadStatus());
    EXPECT_EQ(device.Info().setCount, 0);
    EXPECT_EQ(device.Info().valueSets[0].name[0], 1);
    EXPECT_EQ(device.Info().parameter43Value, 1.999);
    EXPECT_EQ(bed.printer.transfers, 5 + 9);
}

TEST(Status, SurplusValueSetsAreReadAndDroppedAndTheStreamStaysInStep) {
    UsbTestBed bed;
    bed.printer.info.setCount = 12;
    bed.printer.parameters[62] = 250;
    PrinterDevice device(bed.link);
    ASSERT_TRUE(device.ReadStatus());
    const PrinterInfo& info = device.Info();
    EXPECT_EQ(info.setCount, 10);
    EXPECT_STREQ(info.valueSets[9].name, "Set 9");
    EXPECT_EQ(info.valueSets[9].values[0], 900.0);
    EXPECT_EQ(info.valueSets[9].values[29], 929.0);
    // The parameter replies were not mistaken for the dropped sets' packets.
    EXPECT_EQ(info.parameter62Ratio, 2.5f);
    uint8_t reply[16];
    uint32_t length = sizeof(reply);
    EXPECT_FALSE(device.Link().Exchange(nullptr, 0, reply, &length));
}

TEST(Status, LongIdentificationIsCutTo63Characters) {
    UsbTestBed bed;
    bed.printer.info.identification = std::string(100, 'N');
    PrinterDevice device(bed.link);
    ASSERT_TRUE(device.ReadStatus());
    EXPECT_EQ(std::string(device.Info().identificationText), std::string(63, 'N'));
    EXPECT_EQ(device.Info().axisScales[0], 80.0);
}

TEST(Status, WordsMissingFromShortPacketsReadAsZero) {
    UsbTestBed bed;
    bed.printer.cutRepliesTo = 8;
    bed.printer.info.identification = "ABCDEFGHIJKL";
    PrinterDevice device(bed.link);
    ASSERT_TRUE(device.ReadStatus());
    const PrinterInfo& info = device.Info();
    EXPECT_EQ(info.blockValue1, 7);
    EXPECT_EQ(info.printerClass, 0);
    EXPECT_STREQ(info.numberText, "0");
    EXPECT_STREQ(info.identificationText, "ABCDEFGH");
    EXPECT_EQ(info.limits[1], 150.0);
    EXPECT_EQ(info.limits[2], 0.0);
    EXPECT_EQ(info.axisScales[0], 0.0);
    EXPECT_EQ(info.setCount, 0);
}

TEST(Status, MissingPacketFailsTheRead) {
    UsbTestBed bed;
    PrinterDevice device(bed.link);
    bed.printer.unplugAtTransfer = 4; // "R", its reply, the identity, then gone
    EXPECT_FALSE(device.ReadStatus());
    EXPECT_EQ(device.Info().blockValue1, 7);
    EXPECT_STREQ(device.Info().identificationText, "");
}

TEST(Status, PositionComesFromTheFourBytesBeforeTheLast) {
    UsbTestBed bed;
    bed.printer.positions[0] = 1234;
    bed.printer.positions[2] = -1500;
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.ReadAxisPosition(0), 1234);
    EXPECT_EQ(device.ReadAxisPosition(2), -1500);
    EXPECT_EQ(bed.printer.received.back(), (std::vector<uint8_t>{'p', '2'}));
}

TEST(Status, ShortOrFailedPositionReadGivesZero) {
    UsbTestBed bed;
    bed.printer.positions[1] = 77;
    bed.printer.cutRepliesTo = 4;
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.ReadAxisPosition(1), 0);
    bed.printer.cutRepliesTo = -1;
    bed.printer.unplugged = true;
    EXPECT_EQ(device.ReadAxisPosition(1), 0);
}

TEST(Status, ZCoordinateHasTheOppositeSignOfItsSteps) {
    PrinterInfo info;
    EXPECT_EQ(AxisCoordinate(info, kAxisZ, 1500), -1500.0);
    EXPECT_EQ(AxisCoordinate(info, kAxisX, 1500), 1500.0);
    info.axisScales[kAxisY] = 80.0;
    EXPECT_EQ(AxisCoordinate(info, kAxisY, 160), 2.0);
    info.axisScales[kAxisZ] = 400.0;
    EXPECT_EQ(AxisCoordinate(info, kAxisZ, -800), 2.0);
    EXPECT_FALSE(std::signbit(AxisCoordinate(info, kAxisZ, 0)));
    info.axisScales[kAxisX] = 0.0;
    EXPECT_EQ(AxisCoordinate(info, kAxisX, 10), 0.0);
}

} // namespace
} // namespace vela::test
