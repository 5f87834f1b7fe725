// Reassembly of job records across the pieces the spooler cuts the stream into.
#include "UsbTestBed.h"

#include "monitor/JobFraming.h"

#include <gtest/gtest.h>

#include <vector>

namespace vela::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Behaves like SendCommands towards a willing printer: the first call of a
// document prepares (unless refused at once), and refusals last.
class RecordingSink final : public JobRecordSink {
  public:
    explicit RecordingSink(JobFlags& flags) : flags_(flags) {}

    int32_t SendCommands(const uint8_t* records, int32_t count) override {
        sendCounts.push_back(count);
        if (flags_.sendingDisabled != 0) {
            return 0;
        }
        flags_.printerPrepared = 1;
        if (refuse) {
            flags_.sendingDisabled = 1;
            return 0;
        }
        sent.insert(sent.end(), records, records + count * 20);
        return count;
    }
    bool StartPrint() override {
        ++starts;
        return !refuseStart;
    }
    void PieceCounted(uint32_t records, uint32_t remainder) override {
        counted.push_back({records, remainder});
    }
    void NothingAnnounced(int32_t announced) override { nothingAnnounced.push_back(announced); }

    std::vector<int32_t> sendCounts;
    Bytes sent;
    int starts = 0;
    bool refuse = false;
    bool refuseStart = false;
    std::vector<std::pair<uint32_t, uint32_t>> counted;
    std::vector<int32_t> nothingAnnounced;

  private:
    JobFlags& flags_;
};

class Framing : public ::testing::Test {
  protected:
    void Frame(const Bytes& piece) {
        FrameJobPiece(job, flags, piece.data(), static_cast<uint32_t>(piece.size()), sink);
    }
    void Frame(const Bytes& stream, size_t from, size_t count) {
        FrameJobPiece(job, flags, stream.data() + from, static_cast<uint32_t>(count), sink);
    }

    JobTransferState job;
    JobFlags flags;
    RecordingSink sink{flags};
};

TEST_F(Framing, WholeDocumentInOneCall) {
    const Bytes records = MakeRecords(3);
    Frame(MakeJob(3, records));
    EXPECT_EQ(sink.sendCounts, (std::vector<int32_t>{3}));
    EXPECT_EQ(sink.sent, records);
    EXPECT_EQ(job.announcedCount, 3);
    EXPECT_EQ(job.sentCount, 3);
    EXPECT_EQ(job.heldLength, 0);
    EXPECT_EQ(sink.counted, (std::vector<std::pair<uint32_t, uint32_t>>{{3, 0}}));
    EXPECT_EQ(sink.starts, 1);
}

TEST_F(Framing, PiecesOfFourSevenSevenSevenAndThirtyNineBytes) {
    const Bytes records = MakeRecords(3);
    const Bytes stream = MakeJob(3, records);
    ASSERT_EQ(stream.size(), 64u);

    Frame(stream, 0, 4);
    EXPECT_EQ(sink.sendCounts, (std::vector<int32_t>{0}));
    EXPECT_EQ(job.heldLength, 0);

    Frame(stream, 4, 7);
    EXPECT_EQ(sink.sendCounts, (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(job.heldLength, 7);

    Frame(stream, 11, 7);
    EXPECT_EQ(sink.sendCounts.size(), 2u); // nothing sent, no start check
    EXPECT_EQ(job.heldLength, 14);

    Frame(stream, 18, 7);
    EXPECT_EQ(sink.sendCounts, (std::vector<int32_t>{0, 0, 1, 0}));
    EXPECT_EQ(job.heldLength, 1);
    EXPECT_EQ(job.sentCount, 1);
    EXPECT_EQ(sink.starts, 0);

    Frame(stream, 25, 39);
    EXPECT_EQ(sink.sendCounts, (std::vector<int32_t>{0, 0, 1, 0, 1, 1}));
    EXPECT_EQ(job.heldLength, 0);
    EXPECT_EQ(job.sentCount, 3);
    EXPECT_EQ(sink.sent, records);
    EXPECT_EQ(sink.starts, 1);
    // Each piece's own bytes, the header not counted.
    EXPECT_EQ(sink.counted, (std::vector<std::pair<uint32_t, uint32_t>>{
                                {0, 0}, {0, 7}, {0, 7}, {0, 7}, {1, 19}}));
}

TEST_F(Framing, PieceThatExactlyCompletesTheHeldRecordSendsItAlone) {
    const Bytes records = MakeRecords(2);
    const Bytes stream = MakeJob(2, records);
    Frame(stream, 0, 4 + 25);
    Frame(stream, 29, 15);
    EXPECT_EQ(sink.sendCounts, (std::vector<int32_t>{1, 1, 0}));
    EXPECT_EQ(job.heldLength, 0);
    EXPECT_EQ(sink.sent, records);
    EXPECT_EQ(sink.starts, 1);
}

// A printer told to start with nothing new would run the program it holds from
// before: a document announcing no records sends nothing and starts nothing.
TEST_F(Framing, AnnouncedZeroOrLessSendsNothingAndNeverStarts) {
    for (const int32_t announced : {0, -5}) {
        SCOPED_TRACE(announced);
        job = JobTransferState{};
        flags = JobFlags{};
        sink.starts = 0;
        sink.nothingAnnounced.clear();
        Frame(MakeJob(announced, MakeRecords(1)));
        // Never prepared: the next piece's first four bytes are taken as the count.
        Frame(MakeJob(0, {}));
        EXPECT_EQ(job.announcedCount, 0);
        EXPECT_EQ(flags.sendingDisabled, 1);
        EXPECT_EQ(flags.printerPrepared, 0);
        EXPECT_TRUE(sink.sent.empty());
        EXPECT_EQ(job.sentCount, 0);
        EXPECT_EQ(sink.starts, 0);
        EXPECT_EQ(flags.startRequested, 0);
        EXPECT_EQ(sink.nothingAnnounced, (std::vector<int32_t>{announced}));
    }
}

TEST_F(Framing, RecordsBeyondTheAnnouncedCountAreSentWithoutStart) {
    const Bytes records = MakeRecords(3);
    Frame(MakeJob(2, records));
    EXPECT_EQ(sink.sent, records);
    EXPECT_EQ(job.sentCount, 3);
    EXPECT_EQ(sink.starts, 0);
}

TEST_F(Framing, TrailingBytesAreHeldAndGrowWithSmallerPieces) {
    Bytes stream = MakeJob(1, MakeRecords(1));
    stream.insert(stream.end(), {0xA1, 0xA2, 0xA3, 0xA4, 0xA5});
    Frame(stream);
    EXPECT_EQ(sink.starts, 1);
    EXPECT_EQ(job.heldLength, 5);
    EXPECT_EQ(job.heldBytes[4], 0xA5);
    Frame(Bytes{0xB1, 0xB2, 0xB3});
    EXPECT_EQ(job.heldLength, 8);
    EXPECT_EQ(job.heldBytes[7], 0xB3);
    EXPECT_EQ(sink.sendCounts, (std::vector<int32_t>{1}));
}

TEST_F(Framing, PrintIsStartedOncePerDocumentAndARefusalFailsTheTransfer) {
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "started");
        job = JobTransferState{};
        flags = JobFlags{};
        sink.starts = 0;
        sink.refuseStart = refused;
        Frame(MakeJob(1, MakeRecords(1)));
        // Trailing bytes and an empty piece leave the counts equal.
        Frame(Bytes{1, 2, 3});
        Frame(Bytes{});
        EXPECT_EQ(sink.starts, 1);
        EXPECT_EQ(flags.printStarted, refused ? 0 : 1);
        EXPECT_EQ(flags.sendingDisabled, refused ? 1 : 0);
        EXPECT_EQ(flags.transferFailed, refused ? 1 : 0);
    }
}

TEST_F(Framing, RefusedRecordsAreNotCounted) {
    sink.refuse = true;
    Frame(MakeJob(2, MakeRecords(2)));
    EXPECT_EQ(job.sentCount, 0);
    EXPECT_EQ(sink.starts, 0);
    Frame(MakeRecords(1));
    EXPECT_EQ(job.sentCount, 0);
}

TEST_F(Framing, HeaderSplitAcrossPiecesIsGathered) {
    const Bytes records = MakeRecords(2);
    const Bytes stream = MakeJob(2, records);
    // Piece sizes: the header cut after 1, 2 or 3 bytes, or in three pieces.
    for (const std::vector<size_t>& pieces :
         std::vector<std::vector<size_t>>{{1, 43}, {2, 42}, {3, 41}, {1, 1, 42}, {3, 1, 40}}) {
        job = JobTransferState{};
        flags = JobFlags{};
        sink.sent.clear();
        sink.starts = 0;
        size_t offset = 0;
        for (size_t size : pieces) {
            Frame(stream, offset, size);
            offset += size;
        }
        EXPECT_EQ(job.announcedCount, 2) << pieces.size() << " " << pieces[0];
        EXPECT_EQ(sink.sent, records) << pieces.size() << " " << pieces[0];
        EXPECT_EQ(sink.starts, 1);
    }
}

TEST_F(Framing, PieceShorterThanTheHeaderSendsNothing) {
    Frame(Bytes{3, 0, 0});
    EXPECT_TRUE(sink.sendCounts.empty());
    EXPECT_TRUE(sink.counted.empty());
    EXPECT_EQ(job.sentCount, 0);
    EXPECT_EQ(flags.sendingDisabled, 0);
    EXPECT_EQ(sink.starts, 0);
}

TEST_F(Framing, HeldLengthOutOfRangeIsNotTrusted) {
    job.heldLength = 25;
    Frame(MakeJob(1, MakeRecords(1)));
    EXPECT_EQ(job.sentCount, 1);
    EXPECT_EQ(job.heldLength, 0);
}

} // namespace
} // namespace vela::test
