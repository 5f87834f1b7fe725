// Job streams as the host application renders them: a 4-byte record count and
// 20-byte records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vela::host {

// A job stream of the given number of records, ending with a program end record.
std::vector<uint8_t> MakeJobStream(int32_t records);
// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace vela::host
