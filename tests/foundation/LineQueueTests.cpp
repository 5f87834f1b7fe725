// Splitting a byte stream into lines, the FIFO, and the re-send slots.
#include "serial/LineQueue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vela::test {
namespace {

HRESULT Append(LineQueue& queue, const std::string& text) {
    return queue.AppendBytes(reinterpret_cast<const uint8_t*>(text.data()),
                             static_cast<uint32_t>(text.size()));
}

std::string Text(const LineRecord* record) {
    return std::string(reinterpret_cast<const char*>(record->Bytes()), record->Length());
}

std::vector<std::string> DrainAll(LineQueue& queue) {
    std::vector<std::string> lines;
    for (;;) {
        LineRecord* record = nullptr;
        EXPECT_EQ(queue.Dequeue(&record), S_OK);
        if (record == nullptr) {
            return lines;
        }
        lines.push_back(Text(record));
        delete record;
    }
}

TEST(LineQueueSplitting, CutsCommentsAndCarriageReturns) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "G1 X10 ; move\nM104 S200\r\nG1 (a) ; b\n"), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"G1 X10 \n", "M104 S200\n", "G1 \n"}));
}

TEST(LineQueueSplitting, DropsCommentLinesAndBareLineEnds) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "; comment\n(header)\n\r\nG28\n"), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"G28\n"}));
}

TEST(LineQueueSplitting, LoneLineFeedIsALine) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "\n"), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"\n"}));
}

TEST(LineQueueSplitting, CarriesPartialLinesAcrossCalls) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "G28"), S_OK);
    EXPECT_EQ(queue.Count(), 0u);
    ASSERT_EQ(Append(queue, "\nG1"), S_OK);
    ASSERT_EQ(Append(queue, " X1"), S_OK);
    ASSERT_EQ(Append(queue, "\n"), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"G28\n", "G1 X1\n"}));
}

TEST(LineQueueSplitting, NulBytesInsideALineAreDropped) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, std::string("A\0B\n\0\0\n", 7)), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"AB\n", "\n"}));
}

TEST(LineQueueSplitting, ByteOrderMarkAtTheStartOfADocumentIsDropped) {
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        std::vector<std::string> pieces;
        std::vector<std::string> lines;
    } cases[] = {
        {{bom + "G28\n"}, {"G28\n"}},
        {{"\xEF", "\xBB", "\xBFG28\n"}, {"G28\n"}},
        // Bytes that only begin like one are data.
        {{"\xEF", "G28\n"}, {"\xEFG28\n"}},
        {{"\xEF\xBBG28\n"}, {"\xEF\xBBG28\n"}},
        // Later in the document it is data too.
        {{"G28\n", bom + "G1\n"}, {"G28\n", bom + "G1\n"}},
    };
    for (const Case& item : cases) {
        LineQueue queue;
        for (const std::string& piece : item.pieces) {
            ASSERT_EQ(Append(queue, piece), S_OK);
        }
        EXPECT_EQ(DrainAll(queue), item.lines) << item.pieces[0];
    }
}

TEST(LineQueueSplitting, DocumentEndQueuesTheLastLineAndTheNextStartsClean) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "G28\nG1 X5"), S_OK);
    EXPECT_EQ(queue.QueuedBytes(), 4u);
    ASSERT_EQ(queue.FlushCarry(), S_OK);
    EXPECT_EQ(queue.QueuedBytes(), 10u);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"G28\n", "G1 X5\n"}));
    ASSERT_EQ(Append(queue, "G1 Y"), S_OK);
    queue.StartDocument();
    ASSERT_EQ(Append(queue, "\xEF\xBB\xBFM84\n"), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"M84\n"}));
    EXPECT_EQ(queue.QueuedBytes(), 0u);
}

TEST(LineQueueSplitting, EachLineKnowsWhereItEndsInTheDocument) {
    const struct {
        std::string document;
        std::vector<uint64_t> ends;
    } cases[] = {
        // Comment lines make no line of their own: their bytes go with the next.
        {"G1\n; c\n\nG2 ; d\n", {3, 8, 15, 0}},
        // A mark counts, a CR ends a line, and the last line ends with the document.
        {"\xEF\xBB\xBFG1\r\nG2", {6, 9, 0}},
        {"\xEF\xBBG1\n(x)\rG2\n", {5, 12, 0}},
    };
    for (const auto& c : cases) {
        for (const size_t piece : {size_t{1}, size_t{2}, c.document.size()}) {
            LineQueue queue;
            for (size_t at = 0; at < c.document.size(); at += piece) {
                ASSERT_EQ(Append(queue, c.document.substr(at, piece)), S_OK);
            }
            ASSERT_EQ(queue.FlushCarry(), S_OK);
            // The consumer's own lines are no part of the document.
            ASSERT_EQ(queue.EnqueueLines(reinterpret_cast<const uint8_t*>("M400\n"), 5), S_OK);
            std::vector<uint64_t> ends;
            for (LineRecord* record = nullptr; queue.Dequeue(&record) == S_OK && record != nullptr;
                 record = nullptr) {
                ends.push_back(record->DocumentEnd());
                delete record;
            }
            EXPECT_EQ(ends, c.ends) << c.document << " in pieces of " << piece;
        }
    }
}

TEST(LineQueueSplitting, InvalidArgumentsChangeNothing) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "G2"), S_OK);
    const uint8_t byte = 'x';
    EXPECT_EQ(queue.AppendBytes(nullptr, 5), E_INVALIDARG);
    EXPECT_EQ(queue.AppendBytes(&byte, 0), E_INVALIDARG);
    ASSERT_EQ(Append(queue, "8\n"), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"G28\n"}));
}

TEST(LineQueueSplitting, CallerBytesAreNeverChanged) {
    LineQueue queue;
    std::string text = "G1 X1 ; cut here\nG2 (x)\r\ntail";
    const std::string before = text;
    ASSERT_EQ(Append(queue, text), S_OK);
    EXPECT_EQ(text, before);
}

TEST(LineQueueSplitting, LinesKeepOrderOverManySmallPieces) {
    LineQueue queue;
    std::string stream;
    std::vector<std::string> expected;
    for (int i = 0; i < 200; ++i) {
        expected.push_back("G1 X" + std::to_string(i) + "\n");
        stream += expected.back();
    }
    for (size_t offset = 0; offset < stream.size(); offset += 7) {
        ASSERT_EQ(Append(queue, stream.substr(offset, 7)), S_OK);
    }
    EXPECT_EQ(DrainAll(queue), expected);
}

TEST(LineQueueSplitting, CarriageReturnEndsALineOnceWhereverThePiecesFall) {
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"CR alone", {"G1 X1\rG1 X2\r"}, {"G1 X1\n", "G1 X2\n"}},
        {"CR LF split between pieces", {"G1 X1\r", "\nG1 X2\n"}, {"G1 X1\n", "G1 X2\n"}},
        {"CR then CR LF", {"G1\r", "\r", "\nG2\r\n"}, {"G1\n", "G2\n"}},
        {"LF then CR", {"G1\n\rG2\n"}, {"G1\n", "G2\n"}},
        {"comment ended by CR", {"G1 ; a\rG2 (b\r"}, {"G1 \n", "G2 \n"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LineQueue queue;
        for (const std::string& piece : test.pieces) {
            ASSERT_EQ(Append(queue, piece), S_OK);
        }
        EXPECT_EQ(DrainAll(queue), test.lines);
    }
}

TEST(LineQueueSplitting, CarriedLineNeverGrowsPastTheWriteBuffer) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "G1 E"), S_OK);
    for (int piece = 0; piece < 256; ++piece) {
        ASSERT_EQ(Append(queue, std::string(1024, '5')), S_OK);
    }
    ASSERT_EQ(Append(queue, " ; long\nG1 X2\n"), S_OK);
    LineRecord* record = nullptr;
    ASSERT_EQ(queue.Dequeue(&record), S_OK);
    ASSERT_NE(record, nullptr);
    std::unique_ptr<LineRecord> overLong(record);
    // Only its start is kept (no framed line is longer than the 1024-byte write
    // buffer), and the line is marked as never to be sent, with its length.
    EXPECT_LE(overLong->Length(), 1025u);
    EXPECT_EQ(overLong->OverLongLength(), 4u + 256 * 1024 + 1 + 1);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"G1 X2\n"}));
}

TEST(LineQueueProducer, ClosedQueueDropsTheProducersLinesAndCarryButTakesTheConsumers) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "G1 X1\nG1 X"), S_OK);
    queue.Close();
    EXPECT_EQ(queue.Count(), 0u);
    // The consumer's own lines go whole, never joined to the carry.
    const std::string own = "M108\nM104 S0";
    ASSERT_EQ(queue.EnqueueLines(reinterpret_cast<const uint8_t*>(own.data()),
                                 static_cast<uint32_t>(own.size())),
              S_OK);
    ASSERT_EQ(Append(queue, "2\nG1 X3\n"), S_OK);
    ASSERT_EQ(queue.FlushCarry(), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"M108\n", "M104 S0\n"}));
    // The next document starts open and clean.
    queue.StartDocument();
    ASSERT_EQ(Append(queue, "G28\n"), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"G28\n"}));
}

TEST(LineQueueResend, AdvanceToCommandPassesOverLinesWithoutOne) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "G1 X1\n\n  \t\nG1 X2\n \n"), S_OK);
    ASSERT_TRUE(queue.AdvanceToCommand());
    ASSERT_TRUE(queue.AdvanceToCommand());
    ASSERT_NE(queue.Current(), nullptr);
    EXPECT_EQ(Text(queue.Current()), "G1 X2\n");
    ASSERT_NE(queue.Previous(), nullptr);
    EXPECT_EQ(Text(queue.Previous()), "G1 X1\n");
    // Only a line without a command left: nothing taken, the slots stay for a resend.
    EXPECT_FALSE(queue.AdvanceToCommand());
    EXPECT_EQ(Text(queue.Current()), "G1 X2\n");
    EXPECT_EQ(Text(queue.Previous()), "G1 X1\n");
    EXPECT_EQ(queue.Count(), 0u);
}

TEST(LineQueueFifo, EmptyQueueHandsOutNothing) {
    LineQueue queue;
    LineRecord* record = reinterpret_cast<LineRecord*>(1);
    EXPECT_EQ(queue.Dequeue(&record), S_OK);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(queue.Dequeue(nullptr), E_INVALIDARG);
    EXPECT_EQ(queue.Enqueue(nullptr), E_INVALIDARG);
}

TEST(LineQueueFifo, ClearEmptiesAndTheNextRecordIsBothEnds) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "A\nB\nC\n"), S_OK);
    queue.Clear();
    EXPECT_EQ(queue.Count(), 0u);
    ASSERT_EQ(Append(queue, "D\n"), S_OK);
    EXPECT_EQ(DrainAll(queue), (std::vector<std::string>{"D\n"}));
}

TEST(LineRecordAssign, RejectsEmptyInputAndKeepsOldBytes) {
    LineRecord record;
    const uint8_t bytes[] = {'A', '\n'};
    EXPECT_EQ(record.Assign(nullptr, 2), E_INVALIDARG);
    EXPECT_EQ(record.Assign(bytes, 0), E_INVALIDARG);
    EXPECT_EQ(record.Length(), 0u);
    ASSERT_EQ(record.Assign(bytes, 2), S_OK);
    EXPECT_EQ(record.Assign(bytes, 0), E_INVALIDARG);
    EXPECT_EQ(Text(&record), "A\n");
}

TEST(LineQueueResend, AdvanceShiftsCurrentToPrevious) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "A\nB\n"), S_OK);
    LineRecord* out = nullptr;
    ASSERT_EQ(queue.Advance(&out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Text(out), "A\n");
    delete out;
    out = nullptr;
    ASSERT_EQ(queue.CopyPrevious(&out), S_OK);
    EXPECT_EQ(out, nullptr);

    ASSERT_EQ(queue.Advance(&out), S_OK);
    EXPECT_EQ(Text(out), "B\n");
    delete out;
    out = nullptr;
    ASSERT_EQ(queue.CopyPrevious(&out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Text(out), "A\n");
    delete out;
    out = nullptr;
    ASSERT_EQ(queue.CopyCurrent(&out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Text(out), "B\n");
    delete out;
}

TEST(LineQueueResend, AdvanceOnAnEmptyQueueStillShifts) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "A\n"), S_OK);
    LineRecord* out = nullptr;
    ASSERT_EQ(queue.Advance(&out), S_OK);
    delete out;
    out = nullptr;
    ASSERT_EQ(queue.Advance(&out), S_OK);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(queue.CopyPrevious(&out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Text(out), "A\n");
    delete out;
    out = nullptr;
    ASSERT_EQ(queue.CopyCurrent(&out), S_OK);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(queue.Advance(&out), S_OK);
    ASSERT_EQ(queue.CopyPrevious(&out), S_OK);
    EXPECT_EQ(out, nullptr);
}

TEST(LineQueueResend, CopiesAreIndependentOfTheQueue) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "A\n"), S_OK);
    LineRecord* first = nullptr;
    ASSERT_EQ(queue.Advance(&first), S_OK);
    LineRecord* second = nullptr;
    ASSERT_EQ(queue.CopyCurrent(&second), S_OK);
    ASSERT_NE(first, second);
    delete first;
    EXPECT_EQ(Text(second), "A\n");
    delete second;
}

TEST(LineQueueThreads, ProducerAndConsumerLoseNothing) {
    LineQueue queue;
    constexpr int kLines = 20000;
    std::thread producer([&queue] {
        for (int i = 0; i < kLines; ++i) {
            const std::string line = "G1 X" + std::to_string(i) + "\n";
            // Cut each line in two pieces so the carry is exercised too.
            Append(queue, line.substr(0, 3));
            Append(queue, line.substr(3));
        }
    });
    std::vector<std::string> received;
    while (static_cast<int>(received.size()) < kLines) {
        LineRecord* record = nullptr;
        ASSERT_EQ(queue.Advance(&record), S_OK);
        if (record == nullptr) {
            std::this_thread::yield();
            continue;
        }
        received.push_back(Text(record));
        delete record;
    }
    producer.join();
    for (int i = 0; i < kLines; ++i) {
        ASSERT_EQ(received[i], "G1 X" + std::to_string(i) + "\n");
    }
    EXPECT_EQ(queue.Count(), 0u);
}

// The consumer's lines queued ahead go before the producer's, in the order they
// were queued ahead, and nothing else counts as ahead.
TEST(LineQueueSplitting, LinesQueuedAheadGoFirstInTheirOrder) {
    LineQueue queue;
    ASSERT_EQ(Append(queue, "G1 X1\nG1 X2\n"), S_OK);
    const std::string pause = "G91\nG1 Z5";
    const std::string resume = "G1 Z-5\nG90\n";
    ASSERT_EQ(queue.EnqueueLinesFirst(reinterpret_cast<const uint8_t*>(pause.data()),
                                      static_cast<uint32_t>(pause.size())),
              S_OK);
    ASSERT_EQ(queue.EnqueueLinesFirst(reinterpret_cast<const uint8_t*>(resume.data()),
                                      static_cast<uint32_t>(resume.size())),
              S_OK);
    std::vector<std::string> order;
    std::vector<bool> ahead;
    for (;;) {
        const bool next = queue.NextIsAhead();
        LineRecord* record = nullptr;
        ASSERT_EQ(queue.Advance(&record), S_OK);
        if (record == nullptr) {
            break;
        }
        order.push_back(Text(record));
        ahead.push_back(next);
        delete record;
    }
    EXPECT_EQ(order, (std::vector<std::string>{"G91\n", "G1 Z5\n", "G1 Z-5\n", "G90\n", "G1 X1\n",
                                               "G1 X2\n"}));
    EXPECT_EQ(ahead, (std::vector<bool>{true, true, true, true, false, false}));
}

} // namespace
} // namespace vela::test
