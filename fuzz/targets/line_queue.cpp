// G-code line queue: job bytes cut anywhere, mixed with the consumer's calls.
// Checks that every line handed out is one clean line, that the lines do not depend
// on where the stream was cut, and that the current and previous slots hold the
// lines the consumer advanced over, that no line is kept beyond the write buffer
// however long it runs, and that where each line ends in the document does not
// depend on the cuts either. Leaks are caught by LeakSanitizer.
#include "FuzzInput.h"
#include "serial/LineQueue.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Line = std::string;

// The bytes the fuzzer picks from: mostly line structure, so lines form often.
uint8_t StreamByte(fuzz::FuzzInput& input) {
    static const uint8_t kCommon[] = {'\n', ';', '(', '\r', 'G', '1', ' ', 'X'};
    const uint8_t choice = input.Byte();
    return choice < 200 ? kCommon[choice % sizeof(kCommon)] : input.Byte();
}

// Now and then a run of content long enough to pass the carry's bound.
size_t PieceLength(fuzz::FuzzInput& input) {
    return input.Byte() < 8 ? 600 + input.Below(1200) : input.Below(48);
}

Line Take(vela::LineRecord* record) {
    std::unique_ptr<vela::LineRecord> owned(record);
    fuzz::Check(record != nullptr, "no record");
    const Line line(reinterpret_cast<const char*>(record->Bytes()), record->Length());
    fuzz::Check(!line.empty() && line.back() == '\n', "a line without its end");
    fuzz::Check(line.size() <= vela::kMaxLineBytes + 1, "a line kept beyond the write buffer");
    fuzz::Check(line.find_first_of(std::string("\n;(\r", 4)) == line.size() - 1,
                "a comment or line end inside a line");
    return line;
}

// Each line with where it ends in the document.
std::vector<std::pair<Line, uint64_t>> Drain(vela::LineQueue& queue) {
    std::vector<std::pair<Line, uint64_t>> lines;
    for (;;) {
        vela::LineRecord* record = nullptr;
        fuzz::Check(queue.Dequeue(&record) == S_OK, "dequeue failed");
        if (record == nullptr) {
            return lines;
        }
        const uint64_t end = record->DocumentEnd();
        lines.push_back({Take(record), end});
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    vela::LineQueue mixed;  // pieces and consumer calls interleaved
    vela::LineQueue pieces; // the same pieces, drained at the end
    std::vector<uint8_t> stream;
    Line current; // what the consumer advanced to; empty for none
    Line previous;

    while (!input.Empty()) {
        switch (input.Byte() % 8) {
        case 0:
        case 1:
        case 2: {
            std::vector<uint8_t> piece(PieceLength(input));
            const bool longRun = piece.size() >= 600;
            for (uint8_t& byte : piece) {
                byte = longRun ? 'E' : StreamByte(input);
            }
            const std::vector<uint8_t> original(piece);
            const uint8_t* at = piece.empty() ? nullptr : piece.data();
            const auto length = static_cast<uint32_t>(piece.size());
            const HRESULT expected = piece.empty() ? E_INVALIDARG : S_OK;
            fuzz::Check(mixed.AppendBytes(at, length) == expected, "append result");
            fuzz::Check(pieces.AppendBytes(at, length) == expected, "append result");
            fuzz::Check(piece == original, "append changed the caller's bytes");
            stream.insert(stream.end(), piece.begin(), piece.end());
            break;
        }
        case 3: {
            vela::LineRecord* record = nullptr;
            fuzz::Check(mixed.Advance(&record) == S_OK, "advance failed");
            previous = current;
            current = record != nullptr ? Take(record) : Line();
            break;
        }
        case 4: {
            vela::LineRecord* record = nullptr;
            fuzz::Check(mixed.CopyCurrent(&record) == S_OK, "copy failed");
            fuzz::Check((record != nullptr ? Take(record) : Line()) == current, "current slot");
            break;
        }
        case 5: {
            vela::LineRecord* record = nullptr;
            fuzz::Check(mixed.CopyPrevious(&record) == S_OK, "copy failed");
            fuzz::Check((record != nullptr ? Take(record) : Line()) == previous, "previous slot");
            break;
        }
        case 6: {
            const uint32_t count = mixed.Count();
            fuzz::Check(Drain(mixed).size() == count, "count differs from the lines queued");
            break;
        }
        default:
            mixed.Clear();
            fuzz::Check(mixed.Count() == 0, "clear left lines");
            break;
        }
    }

    // The same bytes in one piece give the same lines.
    vela::LineQueue whole;
    if (!stream.empty()) {
        fuzz::Check(whole.AppendBytes(stream.data(), static_cast<uint32_t>(stream.size())) == S_OK,
                    "append result");
    }
    const auto lines = Drain(pieces);
    fuzz::Check(lines == Drain(whole), "lines depend on where the stream was cut");
    uint64_t before = 0;
    for (const auto& line : lines) {
        fuzz::Check(line.second > before && line.second <= stream.size(),
                    "a line ends outside the document or before the line ahead");
        before = line.second;
    }
    return 0;
}
