#include "JobFile.h"

#include <cstdio>
#include <cstring>

namespace vela::host {
namespace {

constexpr size_t kRecordSize = 20;

void PutWord(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

void PutFloat(uint8_t* at, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    PutWord(at, bits);
}

} // namespace

std::vector<uint8_t> MakeJobStream(int32_t records) {
    const size_t count = records > 0 ? static_cast<size_t>(records) : 0;
    std::vector<uint8_t> stream(4 + kRecordSize * count, 0);
    PutWord(stream.data(), static_cast<uint32_t>(records));
    // Records are opaque to the monitor. These describe a square spiral of moves,
    // layer by layer: an opcode word, then X, Y, Z and feed as floats.
    for (size_t i = 0; i < count; ++i) {
        uint8_t* record = stream.data() + 4 + i * kRecordSize;
        const bool last = i + 1 == count;
        const float layer = static_cast<float>(i / 400) * 0.2f;
        const float edge = 10.0f + static_cast<float>(i % 100) * 0.5f;
        PutWord(record, last ? 0xFFu : 0x10u); // 0xFF: end of program
        PutFloat(record + 4, (i % 4 < 2) ? edge : -edge);
        PutFloat(record + 8, (i % 4 == 1 || i % 4 == 2) ? edge : -edge);
        PutFloat(record + 12, layer);
        PutFloat(record + 16, 1800.0f);
    }
    return stream;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bytes.clear();
    uint8_t buffer[65536];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + read);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace vela::host
