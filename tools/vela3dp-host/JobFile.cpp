#include "JobFile.h"

#include "platform/Win32Headers.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <share.h>

namespace vela::host {
namespace {

void PutFloat(uint8_t* at, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    test::PutJobWord(at, bits);
}

float FloatAt(const uint8_t* at) {
    const uint32_t bits = test::JobWordAt(at);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

constexpr double kMaxCoordinate = 10000.0;

} // namespace

std::vector<uint8_t> MakeJobStream(int32_t records) {
    // Records are opaque to the monitor. These are moves to the corners of a square
    // whose edge grows with each record and starts again every 100 records, 400
    // records to a layer of 0.2 mm: an opcode word, then X, Y, Z and feed as floats.
    const size_t count = records > 0 ? static_cast<size_t>(records) : 0;
    return test::BuildJob(records, records, [count](size_t i, uint8_t* record) {
        const bool last = i + 1 == count;
        const float layer = static_cast<float>(i / 400) * 0.2f;
        const float edge = 10.0f + static_cast<float>(i % 100) * 0.5f;
        test::PutJobWord(record, last ? kProgramEndOpcode : kMoveOpcode);
        PutFloat(record + 4, (i % 4 < 2) ? edge : -edge);
        PutFloat(record + 8, (i % 4 == 1 || i % 4 == 2) ? edge : -edge);
        PutFloat(record + 12, layer);
        PutFloat(record + 16, 1800.0f);
    });
}

JobSummary SummarizeJob(const std::vector<uint8_t>& stream) {
    JobSummary summary;
    if (stream.size() < kJobHeaderSize) {
        summary.trailingBytes = static_cast<uint32_t>(stream.size());
        return summary;
    }
    summary.hasHeader = true;
    summary.announced = static_cast<int32_t>(test::JobWordAt(stream.data()));
    const size_t body = stream.size() - kJobHeaderSize;
    summary.wholeRecords = body / kJobRecordSize;
    summary.trailingBytes = static_cast<uint32_t>(body % kJobRecordSize);
    return summary;
}

bool RecordCoordinates(const uint8_t* record, double xyz[3]) {
    const uint32_t opcode = test::JobWordAt(record);
    if (opcode != kMoveOpcode && opcode != kProgramEndOpcode) {
        return false;
    }
    for (int axis = 0; axis < 3; ++axis) {
        const double value = FloatAt(record + 4 + 4 * axis);
        if (!std::isfinite(value) || std::fabs(value) > kMaxCoordinate) {
            return false;
        }
        xyz[axis] = value;
    }
    return true;
}

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) {
    FILE* file = ::_wfsopen(path.c_str(), L"rb", _SH_DENYWR);
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

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    FILE* file = ::_wfsopen(path.c_str(), L"wb", _SH_DENYWR);
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace vela::host
