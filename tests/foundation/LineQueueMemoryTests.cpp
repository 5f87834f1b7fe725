// The line queue when memory runs out part-way through an append: all or nothing,
// so that the spooler's retry of the same bytes queues no line twice.
#include "serial/LineQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

// Allocations without exceptions left before one fails; negative: none fails.
std::atomic<int> nothrowAllocationsLeft{-1};

void* AllocateOrFail(std::size_t size) noexcept {
    if (nothrowAllocationsLeft >= 0 && nothrowAllocationsLeft-- == 0) {
        return nullptr;
    }
    return std::malloc(size != 0 ? size : 1);
}

} // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateOrFail(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateOrFail(size);
}

namespace vela::test {
namespace {

HRESULT Append(LineQueue& queue, const std::string& text) {
    return queue.AppendBytes(reinterpret_cast<const uint8_t*>(text.data()),
                             static_cast<uint32_t>(text.size()));
}

std::vector<std::string> Drain(LineQueue& queue) {
    std::vector<std::string> lines;
    for (LineRecord* record = nullptr; queue.Dequeue(&record) == S_OK && record != nullptr;
         record = nullptr) {
        lines.emplace_back(reinterpret_cast<const char*>(record->Bytes()), record->Length());
        delete record;
    }
    return lines;
}

TEST(LineQueueMemory, AppendThatRunsOutOfMemoryQueuesNothingAndKeepsTheCarry) {
    // Fail at each allocation an append makes in turn, then retry the same bytes.
    for (int failAt = 0; failAt < 10; ++failAt) {
        LineQueue queue;
        ASSERT_EQ(Append(queue, "G1 X"), S_OK);
        nothrowAllocationsLeft = failAt;
        const HRESULT first = Append(queue, "1\nG2\nG3\nG4");
        const bool failed = nothrowAllocationsLeft < 0 || first != S_OK;
        nothrowAllocationsLeft = -1;
        if (first == S_OK) {
            EXPECT_EQ(Drain(queue), (std::vector<std::string>{"G1 X1\n", "G2\n", "G3\n"}));
            continue;
        }
        ASSERT_TRUE(failed);
        EXPECT_EQ(first, E_OUTOFMEMORY);
        EXPECT_EQ(queue.Count(), 0u) << "fail at allocation " << failAt;
        EXPECT_EQ(queue.QueuedBytes(), 0u);
        ASSERT_EQ(Append(queue, "1\nG2\nG3\nG4"), S_OK);
        ASSERT_EQ(queue.FlushCarry(), S_OK);
        EXPECT_EQ(Drain(queue), (std::vector<std::string>{"G1 X1\n", "G2\n", "G3\n", "G4\n"}))
            << "fail at allocation " << failAt;
    }
}

} // namespace
} // namespace vela::test
