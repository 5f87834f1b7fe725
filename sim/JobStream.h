// Job streams as the spooler hands them to the monitor for a USB printer: the
// announced record count as a 4-byte little-endian word, then 20-byte records that
// the monitor passes on without reading them. The tests, the host program and the
// benchmarks all build their streams here.
#pragma once

#include "usb/PrinterPackets.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vela::test {

// The monitor's own sizes; the header size is restated so that this file needs no
// Windows headers, and JobStream.cpp checks it against the monitor's.
constexpr size_t kJobHeaderSize = 4;
constexpr size_t kJobRecordSize = kPrintCommandSize;

// The stream's words are little-endian whatever the host's byte order.
void PutJobWord(uint8_t* at, uint32_t value);
uint32_t JobWordAt(const uint8_t* at);

// announced in the header, then the bytes as given: whole records or not.
std::vector<uint8_t> MakeJob(int32_t announced, const std::vector<uint8_t>& recordBytes);

// count records whose bytes count up from first in steps of step (wrapping at 256),
// running on from one record into the next, so that neighbouring records differ.
std::vector<uint8_t> MakeRecords(int32_t count, uint8_t first = 1, uint8_t step = 1);

// announced in the header, then records records (none for 0 or less), each
// written in place by fill(index, record).
template <typename Fill>
std::vector<uint8_t> BuildJob(int32_t announced, int32_t records, Fill fill) {
    const size_t count = records > 0 ? static_cast<size_t>(records) : 0;
    std::vector<uint8_t> stream(kJobHeaderSize + kJobRecordSize * count, 0);
    PutJobWord(stream.data(), static_cast<uint32_t>(announced));
    for (size_t i = 0; i < count; ++i) {
        fill(i, stream.data() + kJobHeaderSize + i * kJobRecordSize);
    }
    return stream;
}

} // namespace vela::test
