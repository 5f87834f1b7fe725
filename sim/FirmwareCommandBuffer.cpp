#include "sim/FirmwareCommandBuffer.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace vela::test {
namespace {

constexpr int64_t kNever = INT64_MAX;

int64_t Microseconds(uint32_t milliseconds) {
    return static_cast<int64_t>(milliseconds) * 1000;
}

} // namespace

FirmwareCommandBuffer::FirmwareCommandBuffer(const FirmwareOptions& options,
                                             FirmwareInterpreter& interpreter)
    : options_(options), interpreter_(interpreter),
      byteUs_(options.bytesPerSecond == 0 ? 0 : 1000000 / options.bytesPerSecond) {}

void FirmwareCommandBuffer::Deliver(const std::string& bytes, int64_t seenUs) {
    for (const char byte : bytes) {
        wireFreeAt_ = std::max(wireFreeAt_, seenUs) + byteUs_;
        onWire_.emplace_back(wireFreeAt_, byte);
    }
}

int64_t FirmwareCommandBuffer::NextEventAt() const {
    int64_t next = onWire_.empty() ? kNever : onWire_.front().first;
    if (running_) {
        next = std::min({next, NoticeAt(), startedAt_ + slots_.front().runUs});
    }
    return next;
}

int64_t FirmwareCommandBuffer::NoticeAt() const {
    if (!running_) {
        return kNever;
    }
    const Slot& slot = slots_.front();
    return slot.noticeEveryUs != 0 && nextNoticeAt_ <= startedAt_ + slot.busyUs ? nextNoticeAt_
                                                                                : kNever;
}

void FirmwareCommandBuffer::AdvanceTo(int64_t nowUs, CommandBufferOutput& output) {
    for (int64_t next = NextEventAt(); next <= nowUs; next = NextEventAt()) {
        // At one instant: an arrival first, then a notice, then the command's end.
        if (!onWire_.empty() && onWire_.front().first == next) {
            const char byte = onWire_.front().second;
            onWire_.pop_front();
            Arrive(byte, next, output);
        } else if (next == NoticeAt()) {
            Notice(next, output);
        } else {
            Finish(next, output);
        }
    }
}

void FirmwareCommandBuffer::Clear() {
    onWire_.clear();
    ring_.clear();
    line_.clear();
    arriving_.clear();
    lineDamaged_ = lineCut_ = false;
    slots_.clear();
    running_ = false;
}

void FirmwareCommandBuffer::Arrive(char byte, int64_t atUs, CommandBufferOutput& output) {
    if (interpreter_.Halted()) {
        return;
    }
    FirmwareStats& stats = interpreter_.Stats();
    if (byte != '\n') {
        if (arriving_.size() < 8 && !(arriving_.empty() && byte == ' ')) {
            arriving_.push_back(byte);
        }
    } else {
        const bool breaks =
            arriving_.compare(0, 4, "M108") == 0 &&
            (arriving_.size() == 4 || !std::isdigit(static_cast<unsigned char>(arriving_[4])));
        arriving_.clear();
        if (breaks && running_ && slots_.front().heats && !slots_.front().broken) {
            Slot& slot = slots_.front();
            slot.broken = true;
            slot.runUs = slot.busyUs = atUs - startedAt_;
            interpreter_.EndHeatingWait();
            ++stats.heatingWaitsBroken;
        }
    }
    if (ring_.size() >= options_.receiveBufferBytes) {
        ++stats.bytesLostToOverflow;
        lineDamaged_ = true;
    } else {
        ring_.push_back(byte);
        stats.maxReceiveBufferBytes =
            std::max(stats.maxReceiveBufferBytes, static_cast<uint32_t>(ring_.size()));
    }
    if (byte == '\n' && lineDamaged_) {
        ++stats.linesLostToOverflow;
        lineDamaged_ = false;
    }
    if (!running_) {
        Intake(atUs, output);
    }
}

void FirmwareCommandBuffer::Notice(int64_t atUs, CommandBufferOutput& output) {
    const Slot& slot = slots_.front();
    if (slot.heats) {
        interpreter_.AdvanceHeating(static_cast<double>(atUs - startedAt_) /
                                    static_cast<double>(slot.busyUs));
        output.replies.push_back({atUs, interpreter_.TemperatureLine()});
    } else {
        output.replies.push_back({atUs, "echo:busy: processing"});
    }
    nextNoticeAt_ += slot.noticeEveryUs;
}

void FirmwareCommandBuffer::Finish(int64_t atUs, CommandBufferOutput& output) {
    const uint32_t awaitingOk = LinesAwaitingOk();
    const Slot slot = std::move(slots_.front());
    slots_.pop_front();
    running_ = false;
    if (slot.heats && !slot.broken) {
        interpreter_.AdvanceHeating(1.0);
    }
    for (const FirmwareReply& reply : slot.replies) {
        output.replies.push_back(
            {atUs, interpreter_.AckText(reply, static_cast<uint32_t>(slots_.size()))});
        if (reply.acknowledgesNumberedLine && options_.trackLinesInFlight) {
            FirmwareStats& stats = interpreter_.Stats();
            stats.maxLinesInFlight = std::max(stats.maxLinesInFlight, awaitingOk);
        }
    }
    Intake(atUs, output);
}

void FirmwareCommandBuffer::Intake(int64_t atUs, CommandBufferOutput& output) {
    while (!ring_.empty() && slots_.size() < options_.commandSlots && !interpreter_.Halted()) {
        const char byte = ring_.front();
        ring_.pop_front();
        if (byte == '\n') {
            TakeLine(atUs, output);
        } else {
            line_.push_back(byte);
        }
    }
    if (!running_ && !slots_.empty()) {
        running_ = true;
        startedAt_ = atUs;
        nextNoticeAt_ = atUs + slots_.front().noticeEveryUs;
    }
}

void FirmwareCommandBuffer::TakeLine(int64_t atUs, CommandBufferOutput& output) {
    std::string line;
    line.swap(line_);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    output.lines.push_back(line);
    const bool cut = lineCut_;
    lineCut_ = false;
    const size_t executedBefore = interpreter_.ExecutedCount();
    Slot slot;
    if (interpreter_.HandleLine(line, slot.replies)) {
        // A refused line: its error goes out at once, and what the ring held is gone,
        // the first bytes of a line still arriving with it.
        for (const FirmwareReply& reply : slot.replies) {
            output.replies.push_back({atUs, reply.text});
        }
        lineCut_ = !ring_.empty() && ring_.back() != '\n';
        ring_.clear();
        return;
    }
    if (interpreter_.ExecutedCount() == executedBefore) {
        return;
    }
    if (cut) {
        ++interpreter_.Stats().cutLinesRun;
    }
    for (const FirmwareReply& reply : slot.replies) {
        slot.busyUs += Microseconds(reply.busyForMs);
        slot.heats = slot.heats || reply.heats;
        slot.runUs += Microseconds(reply.delayMs);
    }
    if (slot.busyUs != 0) {
        slot.noticeEveryUs =
            Microseconds(slot.heats ? options_.heatingReportMs : options_.busyIntervalMs);
    }
    slot.runUs += slot.busyUs + Microseconds(options_.replyDelayMs) + options_.commandMicroseconds;
    slots_.push_back(std::move(slot));
}

uint32_t FirmwareCommandBuffer::LinesAwaitingOk() const {
    // The slots, whole lines in the ring and lines still on the wire.
    size_t count =
        slots_.size() + static_cast<size_t>(std::count(ring_.begin(), ring_.end(), '\n'));
    for (const auto& timed : onWire_) {
        count += timed.second == '\n' ? 1 : 0;
    }
    return static_cast<uint32_t>(count);
}

} // namespace vela::test
