#include "monitor/JobFraming.h"

#include <cstring>

namespace vela {
void FrameJobPiece(JobTransferState& job, JobFlags& flags, const uint8_t* bytes, uint32_t count,
                   JobRecordSink& sink) {
    if (job.heldLength < 0 || job.heldLength >= static_cast<int32_t>(kPrintCommandSize)) {
        job.heldLength = 0;
    }
    const uint8_t* position = bytes;
    uint32_t remaining = count;
    // Until the printer is prepared, every piece begins with the header. A
    // refused document (count below 1) never gets prepared, so each of its
    // pieces is read that way.
    if (flags.printerPrepared == 0) {
        if (remaining < kJobHeaderSize) {
            return;
        }
        job.announcedCount = IntegerWord(position, kJobHeaderSize, 0);
        if (job.announcedCount < 1) {
            flags.sendingDisabled = 1;
        }
        position += kJobHeaderSize;
        remaining -= kJobHeaderSize;
    }
    sink.PieceCounted(remaining / kPrintCommandSize, remaining % kPrintCommandSize);

    if (job.heldLength != 0) {
        const auto held = static_cast<uint32_t>(job.heldLength);
        const uint32_t need = kPrintCommandSize - held;
        if (remaining < need) {
            // Still incomplete: nothing is sent and there is no start check.
            if (remaining > 0) {
                std::memcpy(job.heldBytes + held, position, remaining);
            }
            job.heldLength += static_cast<int32_t>(remaining);
            return;
        }
        std::memcpy(job.heldBytes + held, position, need);
        if (sink.SendCommands(job.heldBytes, 1) != 0) {
            job.sentCount += 1;
        }
        position += need;
        remaining -= need;
    }

    // Whole records go out in place, straight from the caller's buffer.
    const uint32_t records = remaining / kPrintCommandSize;
    job.heldLength = static_cast<int32_t>(remaining % kPrintCommandSize);
    if (sink.SendCommands(position, static_cast<int32_t>(records)) != 0) {
        job.sentCount += static_cast<int32_t>(records);
    }

    if (job.sentCount == job.announcedCount) {
        sink.StartPrint();
    }
    if (job.heldLength != 0) {
        std::memcpy(job.heldBytes, position + records * kPrintCommandSize,
                    static_cast<size_t>(job.heldLength));
    }
}

} // namespace vela
