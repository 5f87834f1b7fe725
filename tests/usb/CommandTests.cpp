// Record transmission and the prepare, start, abort and reset sequences.
#include "UsbTestBed.h"

#include "usb/PrinterDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

namespace vela::test {
namespace {

using Bytes = std::vector<uint8_t>;

const char kPreparation[] = "vcVVlVLVVV";

std::vector<size_t> RecordPacketSizes(const SimulatedUsbPrinter& printer) {
    std::vector<size_t> sizes;
    for (const Bytes& packet : printer.received) {
        if (packet[0] == '/') {
            sizes.push_back(packet.size());
        }
    }
    return sizes;
}

std::vector<uint8_t> ReceivedRecordBytes(const SimulatedUsbPrinter& printer) {
    std::vector<uint8_t> bytes;
    for (const auto& record : printer.records) {
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

TEST(Commands, PreparationSendsItsSequenceOnce) {
    UsbTestBed bed;
    PrinterDevice device(bed.link);
    EXPECT_TRUE(device.PreparePrinter());
    EXPECT_EQ(bed.printer.received, (std::vector<Bytes>{{'v', 16, 16},
                                                        {'c'},
                                                        {'V', 10, 0, 0, 0, 0},
                                                        {'V', 11, 0, 0, 0, 0},
                                                        {'l', 9, 1},
                                                        {'V', 16, 19, 0, 0, 0},
                                                        {'L', '2'},
                                                        {'V', 20, 1, 0, 0, 0},
                                                        {'V', 22, 1, 0, 0, 0},
                                                        {'V', 142, 15, 0, 0, 0}}));
    EXPECT_EQ(device.Flags().printerPrepared, 1);
    EXPECT_EQ(device.Flags().sendingDisabled, 0);
    EXPECT_TRUE(device.PreparePrinter());
    EXPECT_EQ(bed.printer.received.size(), 10u);
}

TEST(Commands, TenRecordsWithRoomForSevenThenFiveGoOutAsThreeThreeOneThenThree) {
    UsbTestBed bed;
    bed.printer.freeRoomScript = {7, 5};
    const Bytes records = MakeRecords(10);
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.SendCommands(records.data(), 10), 10);
    EXPECT_EQ(bed.printer.Codes(), std::string(kPreparation) + "Fv///Fv/");
    EXPECT_EQ(RecordPacketSizes(bed.printer), (std::vector<size_t>{62, 62, 22, 62}));
    EXPECT_EQ(ReceivedRecordBytes(bed.printer), records);
    EXPECT_FALSE(bed.printer.overflowed);
}

TEST(Commands, OneRecordGoesOutAsA22BytePacket) {
    UsbTestBed bed;
    const Bytes records = MakeRecords(1, 0x40);
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.SendCommands(records.data(), 1), 1);
    Bytes expected = {0x2F, 0x01};
    expected.insert(expected.end(), records.begin(), records.end());
    EXPECT_EQ(bed.printer.received.back(), expected);
}

TEST(Commands, CountZeroStillPreparesAndReturnsZero) {
    UsbTestBed bed;
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.SendCommands(nullptr, 0), 0);
    EXPECT_EQ(bed.printer.Codes(), kPreparation);
    EXPECT_EQ(device.Flags().printerPrepared, 1);
    EXPECT_EQ(device.Flags().sendingDisabled, 0);
}

TEST(Commands, NoRoomSendsNothingAndAsksAgainAfterAPause) {
    UsbTestBed bed;
    bed.printer.freeRoomScript = {0, -3, 2};
    const Bytes records = MakeRecords(2);
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.SendCommands(records.data(), 2), 2);
    EXPECT_EQ(bed.printer.Codes(), std::string(kPreparation) + "FvFvFv/");
    EXPECT_EQ(bed.clock.sleeps, (std::vector<DWORD>{50, 50}));
}

// Cancelled at its answerAt-th question.
class ScriptedCancellation final : public JobCancellation {
  public:
    explicit ScriptedCancellation(int answerAt) : answerAt_(answerAt) {}
    bool JobCancelled() override { return ++asked >= answerAt_; }
    int asked = 0;

  private:
    int answerAt_;
};

TEST(Commands, DocumentCancelledWhileThePrinterHasNoRoomIsAborted) {
    UsbTestBed bed;
    bed.printer.freeRoomScript = std::deque<int32_t>(100, 0);
    const Bytes records = MakeRecords(2);
    PrinterDevice device(bed.link);
    ScriptedCancellation cancellation(2);
    device.WatchForCancellation(&cancellation);
    EXPECT_EQ(device.SendCommands(records.data(), 2), 0);
    // Asked about once a second: after 20 and after 40 pauses of 50 ms.
    EXPECT_EQ(cancellation.asked, 2);
    EXPECT_EQ(std::count(bed.clock.sleeps.begin(), bed.clock.sleeps.end(), 50u), 39);
    EXPECT_EQ(device.Flags().sendingDisabled, 1);
    EXPECT_EQ(device.Flags().transferFailed, 0);
    EXPECT_TRUE(bed.printer.records.empty());
    // The abort sequence's motor stops reached the printer.
    EXPECT_EQ(bed.printer.CountCode('s'), 4);
}

TEST(Commands, StatusPreparedDuringTransmissionRefusesTheRestOfTheDocument) {
    UsbTestBed bed;
    bed.printer.freeRoomScript = {3, 3};
    bed.printer.statusChangeAfterRecords = 3;
    bed.printer.statusChangeTo = 1;
    const Bytes records = MakeRecords(6);
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.SendCommands(records.data(), 6), 0);
    EXPECT_EQ(bed.printer.records.size(), 3u);
    EXPECT_EQ(device.Flags().sendingDisabled, 1);
    const size_t packets = bed.printer.received.size();
    EXPECT_EQ(device.SendCommands(records.data(), 1), 0);
    EXPECT_EQ(bed.printer.received.size(), packets);
}

TEST(Commands, EachStatusEitherRefusesOrLetsTransmissionGoOn) {
    const int32_t refusing[] = {-1, 0, 1, 4, 5, 6, 7, 8, 9, 10, 16, 17, 18};
    const int32_t accepting[] = {-2, 2, 3, 11, 12, 13, 14, 15, 19, 20, 99};
    for (const int32_t status : refusing) {
        UsbTestBed bed;
        PrinterDevice device(bed.link);
        ASSERT_TRUE(device.PreparePrinter());
        bed.printer.parameters[16] = status;
        const Bytes records = MakeRecords(1);
        EXPECT_EQ(device.SendCommands(records.data(), 1), 0) << status;
        EXPECT_TRUE(bed.printer.records.empty()) << status;
    }
    for (const int32_t status : accepting) {
        UsbTestBed bed;
        PrinterDevice device(bed.link);
        ASSERT_TRUE(device.PreparePrinter());
        bed.printer.parameters[16] = status;
        const Bytes records = MakeRecords(1);
        EXPECT_EQ(device.SendCommands(records.data(), 1), 1) << status;
        EXPECT_EQ(bed.printer.records.size(), 1u) << status;
    }
}

TEST(Commands, PrinterNotReadyAtPreparationGetsOnlyTheStatusRead) {
    UsbTestBed bed;
    bed.printer.parameters[16] = 15;
    const Bytes records = MakeRecords(3);
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.SendCommands(records.data(), 3), 0);
    EXPECT_EQ(bed.printer.Codes(), "v");
    EXPECT_EQ(device.Flags().printerPrepared, 1);
    EXPECT_EQ(device.Flags().sendingDisabled, 1);
    bed.printer.parameters[16] = 1;
    EXPECT_EQ(device.SendCommands(records.data(), 3), 0);
    EXPECT_EQ(bed.printer.Codes(), "v");
}

TEST(Commands, RefusedLoadLeavesTheHeatersOffAndRefusesTheDocument) {
    UsbTestBed bed;
    bed.printer.answerToLoad2 = 0;
    const Bytes records = MakeRecords(3);
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.SendCommands(records.data(), 3), 0);
    EXPECT_EQ(bed.printer.Codes(), "vcVVlVL");
    EXPECT_EQ(bed.printer.parameters[20], 0);
    EXPECT_EQ(bed.printer.parameters[22], 0);
    EXPECT_EQ(device.Flags().sendingDisabled, 1);
}

TEST(Commands, SecondCallOfTheDocumentDoesNotPrepareAgain) {
    UsbTestBed bed;
    const Bytes records = MakeRecords(4);
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.SendCommands(records.data(), 2), 2);
    EXPECT_EQ(device.SendCommands(records.data() + 40, 2), 2);
    EXPECT_EQ(bed.printer.CountCode('c'), 1);
    EXPECT_EQ(bed.printer.CountCode('L'), 1);
    EXPECT_EQ(bed.printer.Codes(), std::string(kPreparation) + "Fv/Fv/");
}

TEST(Commands, JobFlagsAreSharedByTheDeviceObjectsOfOneDocument) {
    UsbTestBed bed;
    bed.printer.parameters[16] = 0;
    const Bytes records = MakeRecords(1);
    JobFlags document;
    {
        PrinterDevice first(bed.link, document);
        EXPECT_EQ(first.SendCommands(records.data(), 1), 0);
    }
    PrinterDevice second(bed.link, document);
    bed.printer.parameters[16] = 1;
    EXPECT_EQ(second.SendCommands(records.data(), 1), 0);
    EXPECT_EQ(bed.printer.received.size(), 1u);
    // Another document's flags are its own.
    JobFlags next;
    PrinterDevice third(bed.link, next);
    EXPECT_NE(third.SendCommands(records.data(), 1), 0);
}

TEST(Commands, UnpluggedPrinterRefusesTheDocument) {
    UsbTestBed bed;
    bed.printer.unplugged = true;
    const Bytes records = MakeRecords(1);
    PrinterDevice device(bed.link);
    EXPECT_EQ(device.SendCommands(records.data(), 1), 0);
    EXPECT_EQ(device.Flags().sendingDisabled, 1);
}

TEST(Commands, FailedRoomQueryRefusesTheDocument) {
    UsbTestBed bed;
    PrinterDevice device(bed.link);
    ASSERT_TRUE(device.PreparePrinter());
    bed.printer.unplugAtTransfer = bed.printer.transfers + 1;
    const Bytes records = MakeRecords(1);
    EXPECT_EQ(device.SendCommands(records.data(), 1), 0);
    EXPECT_EQ(device.Flags().sendingDisabled, 1);
}

// A record packet gets no reply and the printer keeps no count of the records it
// took: after a write that timed out nothing tells whether it arrived, so it is
// never written again (it could print twice) and the transfer ends there.
TEST(Commands, RecordPacketWhoseWriteTimedOutIsNeverSentAgain) {
    struct Case {
        const char* what;
        int32_t packet; // of the document, from 1
        bool afterTaking;
    };
    const Case cases[] = {
        {"before the printer took it", 2, false},
        {"after the printer took it", 2, true},
        {"after, the document's first packet", 1, true},
        {"before, the last packet", 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UsbTestBed bed;
        bed.printer.timeOutRecordPacket = c.packet;
        bed.printer.timeOutAfterTaking = c.afterTaking;
        const Bytes records = MakeRecords(10);
        JobFlags document;
        PrinterDevice device(bed.link, document);
        EXPECT_EQ(device.SendCommands(records.data(), 10), 0);
        EXPECT_EQ(bed.printer.recordPacketWrites, c.packet);
        EXPECT_EQ(document.transferFailed, 1);
        // What arrived is a prefix of the document, each record once.
        const int32_t arrived = 3 * (c.packet - 1) + (c.afterTaking ? 3 : 0);
        const int32_t kept = arrived < 10 ? arrived : 10;
        EXPECT_EQ(ReceivedRecordBytes(bed.printer),
                  Bytes(records.begin(), records.begin() + kept * 20));
    }
}

// The start record is written once: a second could start the program twice, and
// a start in doubt is a failed start, never a print reported as done.
TEST(Commands, StartRecordWhoseWriteTimedOutIsNotRepeated) {
    for (const bool afterTaking : {false, true}) {
        SCOPED_TRACE(afterTaking ? "after the printer took it" : "before");
        UsbTestBed bed;
        bed.printer.timeOutRecordPacket = 1;
        bed.printer.timeOutAfterTaking = afterTaking;
        PrinterDevice device(bed.link);
        EXPECT_FALSE(device.StartPrint());
        EXPECT_EQ(bed.printer.recordPacketWrites, 1);
        EXPECT_EQ(bed.printer.CountCode('X'), 0);
        EXPECT_TRUE(bed.printer.records.empty());
    }
}

TEST(Commands, StartPrintSendsTheStartRecordWaitsAndRuns) {
    UsbTestBed bed;
    PrinterDevice device(bed.link);
    EXPECT_TRUE(device.StartPrint());
    Bytes startPacket(22, 0);
    startPacket[0] = '/';
    startPacket[1] = 1;
    startPacket[2] = 1;
    EXPECT_EQ(bed.printer.received,
              (std::vector<Bytes>{{'L', '5'}, startPacket, {'c'}, {'l', 9, 0}, {'X'}}));
    EXPECT_EQ(bed.clock.sleeps, (std::vector<DWORD>{2000}));
    EXPECT_TRUE(bed.printer.programStarted);
    EXPECT_TRUE(device.IsRunning());
    bed.clock.now += bed.printer.programDurationMs;
    EXPECT_FALSE(device.IsRunning());
    EXPECT_EQ(device.ReadPrinterStatus(), PrinterStatus::FinishPrinting);
}

TEST(Commands, RefusedStartSendsNothingElse) {
    UsbTestBed bed;
    bed.printer.answerToLoad5 = 0;
    PrinterDevice device(bed.link);
    EXPECT_FALSE(device.StartPrint());
    EXPECT_EQ(bed.printer.Codes(), "L");
    EXPECT_TRUE(bed.clock.sleeps.empty());
}

TEST(Commands, AbortPrintStopsCoolsAndLiftsAfterHalfASecond) {
    UsbTestBed bed;
    PrinterDevice device(bed.link);
    EXPECT_TRUE(device.AbortPrint());
    EXPECT_EQ(bed.printer.received,
              (std::vector<Bytes>{{'s', '0'},
                                  {'s', '1'},
                                  {'s', '2'},
                                  {'s', '3'},
                                  {'S'},
                                  {'V', 16, 1, 0, 0, 0},
                                  {'V', 22, 0, 0, 0, 0},
                                  {'V', 20, 0, 0, 0, 0},
                                  {'v', 142, 142},
                                  {'V', 142, 0xFF, 0xFF, 0xFF, 0xFF},
                                  {'j', 2, 0x00, 0x00, 0x20, 0x41, 0x00, 0x00, 0x20, 0x42},
                                  {'V', 28, 0, 0, 0, 0}}));
    EXPECT_EQ(bed.clock.sleeps, (std::vector<DWORD>{500}));
}

TEST(Commands, AbortPrintWithoutPrinterStillEnds) {
    UsbTestBed bed;
    bed.printer.unplugged = true;
    PrinterDevice device(bed.link);
    EXPECT_TRUE(device.AbortPrint());
    EXPECT_EQ(bed.clock.sleeps, (std::vector<DWORD>{500}));
}

TEST(Commands, ResetPrinterSequence) {
    UsbTestBed bed;
    PrinterDevice device(bed.link);
    EXPECT_TRUE(device.ResetPrinter());
    EXPECT_EQ(bed.printer.received, (std::vector<Bytes>{{'c'},
                                                        {'V', 10, 0, 0, 0, 0},
                                                        {'V', 11, 0, 0, 0, 0},
                                                        {'V', 16, 1, 0, 0, 0},
                                                        {'s', '0'},
                                                        {'s', '1'},
                                                        {'s', '2'},
                                                        {'s', '3'},
                                                        {'S'},
                                                        {'V', 142, 0xFF, 0xFF, 0xFF, 0xFF},
                                                        {'V', 22, 0, 0, 0, 0},
                                                        {'V', 20, 0, 0, 0, 0}}));
    EXPECT_TRUE(bed.clock.sleeps.empty());
}

TEST(Commands, ParameterReadReplacesOnlyTheBytesThatArrived) {
    UsbTestBed bed;
    bed.printer.parameters[50] = 0x0000ABCD;
    bed.printer.cutRepliesTo = 2;
    PrinterDevice device(bed.link);
    int32_t value = 0x11223344;
    EXPECT_TRUE(device.ReadParameter(50, &value));
    EXPECT_EQ(value, 0x1122ABCD);
    bed.printer.unplugged = true;
    EXPECT_FALSE(device.ReadParameter(50, &value));
    EXPECT_EQ(value, 0x1122ABCD);
}

TEST(Commands, FreshDeviceHasTheDefaultsAndTouchesNoPrinter) {
    UsbTestBed bed;
    {
        PrinterDevice device(bed.link);
        const PrinterInfo& info = device.Info();
        EXPECT_EQ(info.printerClass, 1);
        EXPECT_EQ(info.setCount, 1);
        EXPECT_EQ(info.blockValue1, -1);
        EXPECT_EQ(info.referenceValue, 140.0);
        const double limits[5] = {0.0, 140.0, 0.0, 140.0, 135.0};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(info.limits[i], limits[i]);
        }
        for (double scale : info.axisScales) {
            EXPECT_EQ(scale, 1.0);
        }
        EXPECT_EQ(info.valueSets[9].name[63], 1);
        EXPECT_EQ(info.valueSets[9].values[29], 1.0);
        EXPECT_STREQ(info.identificationText, "");
    }
    EXPECT_EQ(bed.printer.transfers, 0);
    EXPECT_EQ(bed.printer.opens, 0);
}

} // namespace
} // namespace vela::test
