// Job stream framing: a job stream cut into pieces of any size, with a printer that
// may refuse at any call. Checks that the records the printer gets are exactly the
// stream's whole records in order, that the carry stays within one record, and
// that the print starts only when the announced count (at least one record) has
// gone out.
#include "FuzzInput.h"
#include "monitor/JobFraming.h"

#include <cstring>
#include <vector>

namespace {

class RecordingPrinter final : public vela::JobRecordSink {
  public:
    RecordingPrinter(vela::JobFlags& flags, vela::JobTransferState& job, fuzz::FuzzInput& input)
        : flags_(flags), job_(job), input_(input) {}

    // As the printer device: a refused document stays refused; the first call
    // prepares the printer, which may refuse then or at any later call.
    int32_t SendCommands(const uint8_t* records, int32_t count) override {
        fuzz::Check(count >= 0, "negative record count");
        if (flags_.sendingDisabled != 0) {
            return 0;
        }
        flags_.printerPrepared = 1;
        if ((input_.Byte() & 0x1F) == 0) {
            flags_.sendingDisabled = 1;
            return 0;
        }
        if (count == 0) {
            return 0;
        }
        received.insert(received.end(), records,
                        records + static_cast<size_t>(count) * vela::kPrintCommandSize);
        return count;
    }

    bool StartPrint() override {
        fuzz::Check(job_.sentCount == job_.announcedCount, "print started before the count");
        fuzz::Check(job_.announcedCount > 0, "print started without records announced");
        fuzz::Check(starts == 0, "print started twice in one document");
        ++starts;
        return (input_.Byte() & 0x0F) != 0;
    }

    void PieceCounted(uint32_t records, uint32_t remainder) override {
        fuzz::Check(remainder < vela::kPrintCommandSize, "remainder of a whole record");
        counted += static_cast<uint64_t>(records) * vela::kPrintCommandSize + remainder;
    }

    void NothingAnnounced(int32_t announced) override {
        fuzz::Check(announced < 1, "records announced, yet told none were");
        fuzz::Check(flags_.sendingDisabled != 0, "nothing announced, yet sending goes on");
        ++nothingAnnounced;
    }

    std::vector<uint8_t> received;
    uint64_t counted = 0;
    int nothingAnnounced = 0;
    int starts = 0;

  private:
    vela::JobFlags& flags_;
    vela::JobTransferState& job_;
    fuzz::FuzzInput& input_;
};

// True when the first length bytes of both agree (any two empty runs do).
bool SamePrefix(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t length) {
    return a.size() >= length && b.size() >= length &&
           (length == 0 || std::memcmp(a.data(), b.data(), length) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    vela::JobTransferState job;
    vela::JobFlags flags;
    RecordingPrinter printer(flags, job, input);
    // The bytes framing takes as records: everything after the header of the first
    // piece read while the printer was unprepared.
    std::vector<uint8_t> stream;
    bool refused = false;
    size_t headerHeld = 0;

    while (!input.Empty()) {
        const size_t pieceLength = input.Byte() % 64;
        // Each piece in a buffer of its own size, so a read past it is caught.
        const std::vector<uint8_t> bytes = input.Bytes(pieceLength);
        std::vector<uint8_t> piece(bytes);
        const uint8_t* at = piece.empty() ? nullptr : piece.data();
        const auto count = static_cast<uint32_t>(piece.size());
        const bool readsHeader = flags.printerPrepared == 0;
        const size_t receivedBefore = printer.received.size();
        const int32_t sentBefore = job.sentCount;

        vela::FrameJobPiece(job, flags, at, count, printer);

        fuzz::Check(piece == bytes, "framing changed the caller's bytes");
        fuzz::Check(job.heldLength >= 0 &&
                        job.heldLength < static_cast<int32_t>(vela::kPrintCommandSize),
                    "carry outside one record");
        fuzz::Check(job.sentCount >= sentBefore, "sent count went back");
        if (refused) {
            fuzz::Check(printer.received.size() == receivedBefore, "records after a refusal");
        }
        refused = refused || flags.sendingDisabled != 0;
        if (readsHeader) {
            // A header cut over pieces is gathered; the piece's bytes after it count.
            const size_t need = vela::kJobHeaderSize - headerHeld;
            if (count < need) {
                headerHeld += count;
                continue;
            }
            headerHeld = 0;
            stream.insert(stream.end(), bytes.begin() + static_cast<ptrdiff_t>(need), bytes.end());
        } else {
            stream.insert(stream.end(), bytes.begin(), bytes.end());
        }
    }
    fuzz::Check(job.sentCount * static_cast<uint64_t>(vela::kPrintCommandSize) ==
                    printer.received.size(),
                "sent count differs from the records sent");
    fuzz::Check(printer.counted == stream.size(), "pieces counted differ from the stream");
    fuzz::Check(printer.nothingAnnounced <= 1, "nothing announced told twice");
    if (!refused) {
        // Every whole record reached the printer, in order, whatever the cuts.
        const size_t whole = stream.size() / vela::kPrintCommandSize * vela::kPrintCommandSize;
        fuzz::Check(printer.received.size() == whole && SamePrefix(printer.received, stream, whole),
                    "records differ from the stream");
        fuzz::Check(static_cast<size_t>(job.heldLength) == stream.size() - whole,
                    "carry differs from the stream's tail");
    } else {
        // What did go out is still a prefix of the stream.
        fuzz::Check(SamePrefix(printer.received, stream, printer.received.size()),
                    "records differ from the stream");
    }
    return 0;
}
