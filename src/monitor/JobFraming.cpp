#include "monitor/JobFraming.h"

#include <cstring>

namespace vela {
namespace {

// Gathers the header's four bytes, from earlier pieces and this one; true when
// the count has been taken. position and remaining move past the bytes used.
bool TakeHeader(JobTransferState& job, const uint8_t*& position, uint32_t& remaining) {
    if (job.headerLength < 0 || job.headerLength >= static_cast<int32_t>(kJobHeaderSize)) {
        job.headerLength = 0;
    }
    const auto held = static_cast<uint32_t>(job.headerLength);
    const uint32_t need = kJobHeaderSize - held;
    const uint32_t taken = remaining < need ? remaining : need;
    if (taken > 0) {
        std::memcpy(job.headerBytes + held, position, taken);
    }
    position += taken;
    remaining -= taken;
    if (taken < need) {
        job.headerLength += static_cast<int32_t>(taken);
        return false;
    }
    job.headerLength = 0;
    job.announcedCount = IntegerWord(job.headerBytes, kJobHeaderSize, 0);
    return true;
}

} // namespace

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
        if (!TakeHeader(job, position, remaining)) {
            return;
        }
        if (job.announcedCount < 1 && flags.sendingDisabled == 0) {
            flags.sendingDisabled = 1;
            sink.NothingAnnounced(job.announcedCount);
        }
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

    if (job.announcedCount > 0 && job.sentCount == job.announcedCount &&
        flags.startRequested == 0) {
        flags.startRequested = 1;
        if (sink.StartPrint()) {
            flags.printStarted = 1;
        } else {
            // Every record is on a printer that will not run them: reset at the end.
            flags.sendingDisabled = 1;
            flags.transferFailed = 1;
        }
    }
    if (job.heldLength != 0) {
        std::memcpy(job.heldBytes, position + records * kPrintCommandSize,
                    static_cast<size_t>(job.heldLength));
    }
}

} // namespace vela
