// WritePort end to end: the spooler's pieces, framed and sent to the simulated printer.
#include "monitor/MonitorInstance.h"
#include "UsbTestBed.h"

#include "core/MonitorState.h"
#include "monitor/MonitorTable.h"
#include "monitor/PortSession.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vela::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr wchar_t kLogPath[] = L"C:\\temp\\vela3dp.log";

class WritePortTest : public ::testing::Test {
  protected:
    // A port with a document its handle started, as StartDocPort leaves it; the
    // monitor lock as process attach makes it.
    WritePortTest() {
        if (State().lockReady == 0) {
            ::InitializeCriticalSection(&State().lock);
            ownLock_ = true;
        }
        entry_.session = &session_;
        handle_.entry = &entry_;
        session_.document.ClaimFor(&handle_);
        session_.document.LeaveCall(DocumentState::Streaming);
    }
    ~WritePortTest() override {
        if (ownLock_) {
            ::DeleteCriticalSection(&State().lock);
        }
    }

    static MonitorState& State() { return TheMonitorState(); }

    BOOL Write(const Bytes& stream, size_t from, size_t count, DWORD* written) {
        return WritePort(State(), &handle_, const_cast<uint8_t*>(stream.data()) + from,
                         static_cast<DWORD>(count), written);
    }
    BOOL Write(const Bytes& piece) {
        DWORD written = 0xFFFF;
        const BOOL result = Write(piece, 0, piece.size(), &written);
        EXPECT_EQ(written, result ? piece.size() : 0u);
        return result;
    }

    Bytes ReceivedRecordBytes() const {
        Bytes bytes;
        for (const auto& record : bed.printer.records) {
            bytes.insert(bytes.end(), record.begin(), record.end());
        }
        return bytes;
    }

    UsbTestBed bed;
    PortSession session_{nullptr};
    PortEntry entry_{};
    PortHandle handle_;
    bool ownLock_ = false;
};

std::string ReadLogFrom(long offset) {
    FILE* file = ::_wfopen(kLogPath, L"rb");
    if (file == nullptr) {
        return "";
    }
    std::fseek(file, offset, SEEK_SET);
    std::string text;
    char chunk[512];
    size_t read = 0;
    while ((read = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        text.append(chunk, read);
    }
    std::fclose(file);
    return text;
}

long LogSize() {
    ::CreateDirectoryW(L"C:\\temp", nullptr);
    return static_cast<long>(ReadLogFrom(0).size());
}

TEST_F(WritePortTest, WholeDocumentInOneCallIsSentAndStarted) {
    const long logStart = LogSize();
    const Bytes records = MakeRecords(3);
    EXPECT_TRUE(Write(MakeJob(3, records)));
    EXPECT_EQ(ReceivedRecordBytes(), records);
    EXPECT_TRUE(bed.printer.programStarted);
    EXPECT_EQ(session_.document.transfer.sentCount, 3);
    EXPECT_EQ(bed.clock.sleeps, (std::vector<DWORD>{2000}));
    // The call's connection is closed at its end.
    EXPECT_EQ(bed.printer.openDeviceHandles, 0);
    EXPECT_EQ(bed.printer.liveInterfaces, 0);
    const std::string log = ReadLogFrom(logStart);
    EXPECT_NE(log.find("WritePort Get 3 CMD and 0 Bytes(0 is OK)\r"), std::string::npos) << log;
    EXPECT_NE(log.find("Start print in write port\r"), std::string::npos) << log;
    EXPECT_LT(log.find("WritePort Get"), log.find("Start print"));
}

TEST_F(WritePortTest, PiecesOfFourSevenSevenSevenAndThirtyNineBytes) {
    const Bytes records = MakeRecords(3);
    const Bytes stream = MakeJob(3, records);
    const size_t pieces[] = {4, 7, 7, 7, 39};
    size_t from = 0;
    for (size_t piece : pieces) {
        EXPECT_FALSE(bed.printer.programStarted) << from;
        DWORD written = 0;
        EXPECT_TRUE(Write(stream, from, piece, &written));
        EXPECT_EQ(written, piece);
        from += piece;
    }
    EXPECT_EQ(ReceivedRecordBytes(), records);
    EXPECT_TRUE(bed.printer.programStarted);
    EXPECT_EQ(bed.printer.CountCode('c'), 2); // once preparing, once starting
    EXPECT_EQ(bed.printer.openDeviceHandles, 0);
}

// A start with nothing new sent would run whatever the printer printed last.
TEST_F(WritePortTest, DocumentAnnouncingNoRecordsSendsAndStartsNothing) {
    for (const int32_t announced : {0, -5}) {
        SCOPED_TRACE(announced);
        session_.document.transfer = JobTransferState{};
        session_.document.jobFlags = JobFlags{};
        const long logStart = LogSize();
        EXPECT_TRUE(Write(MakeJob(announced, MakeRecords(2))));
        EXPECT_EQ(bed.printer.Codes(), "");
        EXPECT_FALSE(bed.printer.programStarted);
        EXPECT_EQ(session_.document.jobFlags.sendingDisabled, 1);
        EXPECT_EQ(session_.document.jobFlags.printerPrepared, 0);
        const std::string log = ReadLogFrom(logStart);
        EXPECT_NE(log.find("The job announces " + std::to_string(announced) +
                           " records: nothing is sent and no print is started\r\r\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(log.find("Start print"), std::string::npos) << log;
    }
}

TEST_F(WritePortTest, TestPageIsFramedAndSent) {
    session_.document.testPage = true;
    const Bytes records = MakeRecords(3); // its bytes include line feeds
    EXPECT_TRUE(Write(MakeJob(3, records)));
    EXPECT_EQ(ReceivedRecordBytes(), records);
    EXPECT_TRUE(bed.printer.programStarted);
}

TEST_F(WritePortTest, MissingOutPointerChangesNothing) {
    const Bytes stream = MakeJob(1, MakeRecords(1));
    ::SetLastError(0);
    EXPECT_FALSE(Write(stream, 0, stream.size(), nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(session_.document.transfer.announcedCount, 0);
    EXPECT_EQ(bed.printer.transfers, 0);
}

TEST_F(WritePortTest, MissingBufferIsRefusedWithoutFraming) {
    session_.document.jobFlags.printerPrepared = 1;
    session_.document.transfer.heldLength = 3;
    DWORD written = 99;
    ::SetLastError(0);
    EXPECT_FALSE(WritePort(State(), &handle_, nullptr, 40, &written));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(session_.document.transfer.heldLength, 3);
    EXPECT_EQ(bed.printer.transfers, 0);
}

TEST_F(WritePortTest, FirstPieceShorterThanTheHeaderIsTakenButNotFramed) {
    EXPECT_TRUE(Write(Bytes{2, 0, 0}));
    EXPECT_EQ(bed.printer.transfers, 0);
    EXPECT_EQ(session_.document.transfer.announcedCount, 0);
    EXPECT_EQ(session_.document.transfer.heldLength, 0);
    EXPECT_EQ(session_.document.jobFlags.sendingDisabled, 0);
}

TEST_F(WritePortTest, EmptyPieceForAUsbPrinterIsTakenAndStillFramed) {
    // Only a serial printer's line queue refuses an empty piece (see the serial suite).
    const Bytes records = MakeRecords(1);
    EXPECT_TRUE(Write(MakeJob(1, records)));
    const int32_t startsBefore = bed.printer.CountCode('L');
    DWORD written = 5;
    uint8_t nothing = 0;
    EXPECT_TRUE(WritePort(State(), &handle_, &nothing, 0, &written));
    EXPECT_EQ(written, 0u);
    // The counts are still equal, but the print was started already.
    EXPECT_EQ(bed.printer.CountCode('L'), startsBefore);
}

TEST_F(WritePortTest, PrinterUnpluggedInTheMiddleOfADocument) {
    const Bytes records = MakeRecords(6);
    const Bytes stream = MakeJob(6, records);
    DWORD written = 0;
    EXPECT_TRUE(Write(stream, 0, 4 + 60, &written));
    EXPECT_EQ(bed.printer.records.size(), 3u);
    bed.printer.unplugged = true;
    // Nothing more can reach the printer: the spooler is told so.
    EXPECT_FALSE(Write(stream, 64, 60, &written));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(session_.document.jobFlags.sendingDisabled, 1);
    EXPECT_EQ(session_.document.transfer.sentCount, 3);
    EXPECT_FALSE(bed.printer.programStarted);
    // Plugged in again, the document stays refused.
    bed.printer.unplugged = false;
    const size_t packets = bed.printer.received.size();
    EXPECT_FALSE(Write(MakeRecords(1)));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_EQ(bed.printer.received.size(), packets);
    EXPECT_EQ(bed.printer.openDeviceHandles, 0);
    EXPECT_EQ(bed.printer.liveInterfaces, 0);
}

TEST_F(WritePortTest, PrinterUnpluggedDuringACall) {
    const Bytes stream = MakeJob(9, MakeRecords(9));
    bed.printer.freeRoomScript = {3, 3, 3};
    // Ten exchanges of preparation, one cycle of "F", "v" and a record packet,
    // then the reply to the next "F" never comes.
    bed.printer.unplugAtTransfer = 20 + 5 + 2;
    EXPECT_FALSE(Write(stream));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_EQ(session_.document.jobFlags.sendingDisabled, 1);
    EXPECT_EQ(bed.printer.records.size(), 3u);
    EXPECT_EQ(session_.document.transfer.sentCount, 0);
    EXPECT_FALSE(bed.printer.programStarted);
}

TEST_F(WritePortTest, TableEntryForwardsToWritePort) {
    LPMONITOR2 table = MonitorFunctionTable();
    ASSERT_NE(table->pfnWritePort, nullptr);
    const Bytes records = MakeRecords(1);
    Bytes stream = MakeJob(1, records);
    DWORD written = 0;
    EXPECT_TRUE(
        table->pfnWritePort(&handle_, stream.data(), static_cast<DWORD>(stream.size()), &written));
    EXPECT_EQ(written, stream.size());
    EXPECT_EQ(ReceivedRecordBytes(), records);
}

} // namespace
} // namespace vela::test
