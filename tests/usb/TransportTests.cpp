// The WinUSB connection against the simulated printer.
#include "UsbTestBed.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vela::test {
namespace {

using Bytes = std::vector<uint8_t>;

bool Send(UsbTransport& link, const Bytes& request, uint8_t* reply = nullptr,
          uint32_t* replyLength = nullptr) {
    return link.Exchange(request.data(), static_cast<int32_t>(request.size()), reply, replyLength);
}

TEST(Transport, FirstExchangeConnectsThroughTheRetryOfItsFirstTransfer) {
    UsbTestBed bed;
    uint8_t reply[4] = {};
    uint32_t length = sizeof(reply);
    ASSERT_TRUE(Send(bed.link, {'F'}, reply, &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(reply[0], 64); // the buffer's room
    EXPECT_EQ(bed.printer.received, (std::vector<Bytes>{{'F'}}));
    EXPECT_EQ(bed.printer.opens, 1);
    EXPECT_EQ(bed.printer.openDeviceHandles, 1);
    EXPECT_EQ(bed.printer.liveInterfaces, 1);
    // The scan's information set is gone; the device was found as discovery finds it.
    EXPECT_EQ(bed.printer.openInfoSets, 0);
    EXPECT_EQ(bed.printer.openKeys, 0);
    EXPECT_EQ(bed.printer.classDevsFlags, static_cast<DWORD>(DIGCF_ALLCLASSES));
    EXPECT_EQ(bed.printer.openedPath, SimulatedUsbPrinter::DevicePath(0));
    EXPECT_EQ(bed.printer.openedAccess, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(bed.printer.openedShareMode, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(bed.printer.openedCreation, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(bed.printer.openedFlags, static_cast<DWORD>(FILE_FLAG_OVERLAPPED));
    ASSERT_EQ(bed.printer.policies.size(), 2u);
    EXPECT_EQ(bed.printer.policies[0].pipeId, 0x81);
    EXPECT_EQ(bed.printer.policies[1].pipeId, 0x01);
    for (const auto& policy : bed.printer.policies) {
        EXPECT_EQ(policy.policy, static_cast<ULONG>(PIPE_TRANSFER_TIMEOUT));
        EXPECT_EQ(policy.value, 1000u);
    }
    // Later exchanges use the connection as it is.
    ASSERT_TRUE(Send(bed.link, {'F'}, reply, &length));
    EXPECT_EQ(bed.printer.opens, 1);
}

TEST(Transport, RecordPacketIsWrittenAndNoReplyRead) {
    UsbTestBed bed;
    Bytes packet(22, 0x11);
    packet[0] = '/';
    packet[1] = 1;
    EXPECT_TRUE(Send(bed.link, packet));
    EXPECT_EQ(bed.printer.received, (std::vector<Bytes>{packet}));
    EXPECT_EQ(bed.printer.transfers, 1);
    // A read would have waited for the pipe's time-out.
    EXPECT_EQ(bed.clock.now, 0u);
}

TEST(Transport, ExchangeWithoutRequestOnlyReads) {
    UsbTestBed bed;
    ASSERT_TRUE(Send(bed.link, {'R', 0})); // the block's packets wait in the printer
    const size_t written = bed.printer.received.size();
    uint8_t reply[64] = {};
    uint32_t length = sizeof(reply);
    EXPECT_TRUE(bed.link.Exchange(nullptr, 0, reply, &length));
    EXPECT_EQ(length, 28u); // the identity packet
    EXPECT_EQ(bed.printer.received.size(), written);
}

TEST(Transport, RequestOf4096BytesIsSentAnd4097FailsAtOnce) {
    UsbTestBed bed;
    Bytes largest(4096, 0x33);
    largest[0] = 'Z';
    EXPECT_TRUE(Send(bed.link, largest));
    ASSERT_EQ(bed.printer.received.size(), 1u);
    EXPECT_EQ(bed.printer.received[0].size(), 4096u);
    const int32_t transfers = bed.printer.transfers;
    Bytes tooLarge(4097, 0x33);
    tooLarge[0] = 'Z';
    EXPECT_FALSE(Send(bed.link, tooLarge));
    EXPECT_EQ(bed.printer.transfers, transfers);
    EXPECT_EQ(bed.printer.received.size(), 1u);
}

TEST(Transport, EmptyRequestFailsBeforeAnythingIsSent) {
    UsbTestBed bed;
    const uint8_t request[1] = {'F'};
    EXPECT_FALSE(bed.link.Exchange(request, 0, nullptr, nullptr));
    EXPECT_FALSE(bed.link.Exchange(request, -1, nullptr, nullptr));
    EXPECT_EQ(bed.printer.transfers, 0);
}

TEST(Transport, ShortReplySetsTheReplyLength) {
    UsbTestBed bed;
    bed.printer.extraReplyBytes = 1; // "p" replies with 9 + 1 bytes
    uint8_t reply[64] = {};
    uint32_t length = sizeof(reply);
    EXPECT_TRUE(Send(bed.link, {'p', '0'}, reply, &length));
    EXPECT_EQ(length, 10u);
}

TEST(Transport, LongerReplyIsCutToTheCallersLength) {
    UsbTestBed bed;
    bed.printer.positions[0] = 0x01020304;
    bed.printer.extraReplyBytes = 1;
    uint8_t reply[8];
    std::memset(reply, 0x77, sizeof(reply));
    uint32_t length = 4;
    EXPECT_TRUE(Send(bed.link, {'p', '0'}, reply, &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(reply[0], 0); // the axis word
    EXPECT_EQ(reply[4], 0x77);
    // The rest of the reply is dropped: the next exchange gets its own reply.
    uint8_t value[4] = {};
    length = sizeof(value);
    EXPECT_TRUE(Send(bed.link, {'v', 16, 16}, value, &length));
    EXPECT_EQ(value[0], 1);
}

TEST(Transport, CloseDeviceReleasesBothHandlesAndTwiceIsHarmless) {
    UsbTestBed bed;
    ASSERT_TRUE(Send(bed.link, {'F'}));
    bed.link.CloseDevice();
    EXPECT_EQ(bed.printer.openDeviceHandles, 0);
    EXPECT_EQ(bed.printer.liveInterfaces, 0);
    EXPECT_EQ(bed.printer.interfaceFrees, 1);
    bed.link.CloseDevice();
    EXPECT_EQ(bed.printer.openDeviceHandles, 0);
    EXPECT_EQ(bed.printer.interfaceFrees, 1);
    // The next exchange connects again.
    EXPECT_TRUE(Send(bed.link, {'F'}));
    EXPECT_EQ(bed.printer.opens, 2);
    EXPECT_EQ(bed.printer.liveInterfaces, 1);
}

TEST(Transport, FailedTransferReconnectsOnceAndRetries) {
    UsbTestBed bed;
    ASSERT_TRUE(Send(bed.link, {'F'}));
    bed.printer.failTransferNumber = bed.printer.transfers + 1;
    uint8_t reply[4] = {};
    uint32_t length = sizeof(reply);
    EXPECT_TRUE(Send(bed.link, {'v', 16, 16}, reply, &length));
    EXPECT_EQ(reply[0], 1);
    // The old interface was released before the new connection was made.
    EXPECT_EQ(bed.printer.opens, 2);
    EXPECT_EQ(bed.printer.interfaceFrees, 1);
    EXPECT_EQ(bed.printer.liveInterfaces, 1);
    EXPECT_EQ(bed.printer.openDeviceHandles, 1);
    EXPECT_EQ(bed.printer.CountCode('v'), 1);
}

TEST(Transport, ManyShortConnectionsLeakNoHandles) {
    UsbTestBed bed;
    for (int call = 0; call < 50; ++call) {
        ASSERT_TRUE(Send(bed.link, {'F'}));
        bed.link.CloseDevice();
    }
    EXPECT_EQ(bed.printer.opens, 50);
    EXPECT_EQ(bed.printer.interfaceFrees, 50);
    EXPECT_EQ(bed.printer.liveInterfaces, 0);
    EXPECT_EQ(bed.printer.openDeviceHandles, 0);
    EXPECT_EQ(bed.printer.openInfoSets, 0);
}

TEST(Transport, IsochronousPipeFailsTheInitialisation) {
    UsbTestBed bed;
    bed.printer.isochronousPipe = true;
    EXPECT_FALSE(Send(bed.link, {'F'}));
    EXPECT_TRUE(bed.printer.received.empty());
    EXPECT_FALSE(Send(bed.link, {'F'}));
    // Every attempt released what the one before had made.
    EXPECT_LE(bed.printer.liveInterfaces, 1);
    EXPECT_LE(bed.printer.openDeviceHandles, 1);
    bed.link.CloseDevice();
    EXPECT_EQ(bed.printer.liveInterfaces, 0);
    EXPECT_EQ(bed.printer.openDeviceHandles, 0);
}

TEST(Transport, PipeIdsOfAReleasedInterfaceAreNotReused) {
    UsbTestBed bed;
    ASSERT_TRUE(Send(bed.link, {'F'}));
    bed.link.CloseDevice();
    // The next interface has no bulk-in pipe: no reply can be read from it.
    bed.printer.noBulkInPipe = true;
    EXPECT_FALSE(Send(bed.link, {'F'}));
}

TEST(Transport, InterruptPipeIsIgnored) {
    UsbTestBed bed;
    bed.printer.interruptPipe = true;
    EXPECT_TRUE(Send(bed.link, {'F'}));
    ASSERT_EQ(bed.printer.policies.size(), 2u);
    EXPECT_EQ(bed.printer.policies[0].pipeId, 0x81);
    EXPECT_EQ(bed.printer.policies[1].pipeId, 0x01);
}

TEST(Transport, UnpluggedPrinterFailsEveryExchange) {
    UsbTestBed bed;
    bed.printer.unplugged = true;
    uint8_t reply[4] = {0x55, 0x55, 0x55, 0x55};
    uint32_t length = sizeof(reply);
    EXPECT_FALSE(Send(bed.link, {'F'}, reply, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(reply[0], 0x55);
    EXPECT_EQ(bed.printer.opens, 0);
    EXPECT_EQ(bed.printer.openInfoSets, 0);
}

TEST(Transport, NoDeviceSetFailsTheConnection) {
    UsbTestBed bed;
    bed.printer.failGetClassDevs = true;
    EXPECT_FALSE(Send(bed.link, {'F'}));
    EXPECT_EQ(bed.printer.opens, 0);
}

TEST(Transport, ShortWriteFailsTheExchangeButTheReplyIsStillRead) {
    UsbTestBed bed;
    bed.printer.shortWrites = true;
    uint8_t reply[4] = {};
    uint32_t length = sizeof(reply);
    EXPECT_FALSE(Send(bed.link, {'v', 16, 16}, reply, &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(reply[0], 1);
    // The reply stream stays in step.
    bed.printer.shortWrites = false;
    bed.printer.parameters[16] = 7;
    EXPECT_TRUE(Send(bed.link, {'v', 16, 16}, reply, &length));
    EXPECT_EQ(reply[0], 7);
}

TEST(Transport, EmptyReplyFailsTheExchange) {
    UsbTestBed bed;
    bed.printer.emptyReplies = true;
    uint8_t reply[4] = {};
    uint32_t length = sizeof(reply);
    EXPECT_FALSE(Send(bed.link, {'F'}, reply, &length));
    EXPECT_EQ(length, 0u);
}

TEST(Transport, SilentPrinterTimesOutTwiceAndFails) {
    UsbTestBed bed;
    ASSERT_TRUE(Send(bed.link, {'F'}));
    uint8_t reply[4] = {};
    uint32_t length = sizeof(reply);
    EXPECT_FALSE(bed.link.Exchange(nullptr, 0, reply, &length));
    // One time-out, a reconnect and a second time-out.
    EXPECT_EQ(bed.clock.now, 2000u);
    EXPECT_EQ(bed.printer.opens, 2);
}

} // namespace
} // namespace vela::test
