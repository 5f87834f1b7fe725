// Job streams as the host application renders them: a 4-byte record count and
// 20-byte records (built as sim/JobStream builds every stream).
#pragma once

#include "sim/JobStream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vela::host {

using test::kJobHeaderSize;
using test::kJobRecordSize;
// Opcode words of the records MakeJobStream writes.
constexpr uint32_t kMoveOpcode = 0x10;
constexpr uint32_t kProgramEndOpcode = 0xFF;

// A job stream of the given number of records (none for 0 or less, with the
// count in the header as given): moves around a square that grows and rises layer
// by layer, the last record ending the program.
std::vector<uint8_t> MakeJobStream(int32_t records);

// What a stream's bytes hold.
struct JobSummary {
    bool hasHeader = false;
    int32_t announced = 0;
    // Whole records after the header, and the bytes after the last of them.
    uint64_t wholeRecords = 0;
    uint32_t trailingBytes = 0;
};
JobSummary SummarizeJob(const std::vector<uint8_t>& stream);

// X, Y and Z (millimetres) of a move record as MakeJobStream writes them; false
// when the record does not hold plausible coordinates.
bool RecordCoordinates(const uint8_t* record, double xyz[3]);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes);
// Writes the bytes as the whole file; false when any of them could not be written.
bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes);

} // namespace vela::host
