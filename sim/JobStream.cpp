#include "sim/JobStream.h"

#include "monitor/WritePort.h"

#include <algorithm>

namespace vela::test {

static_assert(kJobHeaderSize == vela::kJobHeaderSize, "the header the monitor frames");

void PutJobWord(uint8_t* at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t JobWordAt(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

std::vector<uint8_t> MakeJob(int32_t announced, const std::vector<uint8_t>& recordBytes) {
    std::vector<uint8_t> job(kJobHeaderSize + recordBytes.size());
    PutJobWord(job.data(), static_cast<uint32_t>(announced));
    std::copy(recordBytes.begin(), recordBytes.end(), job.begin() + kJobHeaderSize);
    return job;
}

std::vector<uint8_t> MakeRecords(int32_t count, uint8_t first, uint8_t step) {
    std::vector<uint8_t> bytes(count > 0 ? static_cast<size_t>(count) * kJobRecordSize : 0);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(first + i * step);
    }
    return bytes;
}

} // namespace vela::test
