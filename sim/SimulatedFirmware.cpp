#include "sim/SimulatedFirmware.h"

#include "sim/FirmwareLink.h"

#include <algorithm>
#include <chrono>

namespace vela::test {
namespace {

// How often a read that waits for the first byte looks for a stop request.
constexpr DWORD kReadPollMs = 100;
// How often the command buffer's loop looks for new bytes while a command runs.
constexpr int64_t kCommandPollUs = 1000;
// How often a booting board drops what has arrived.
constexpr int64_t kBootPollUs = 5000;

int64_t WireMicroseconds(size_t bytes, uint32_t bytesPerSecond) {
    return bytesPerSecond == 0 ? 0 : static_cast<int64_t>(bytes) * 1000000 / bytesPerSecond;
}

int64_t Microseconds(uint32_t milliseconds) {
    return static_cast<int64_t>(milliseconds) * 1000;
}

uint32_t CountLines(const std::string& bytes, size_t* numbered) {
    uint32_t lines = 0;
    for (size_t start = 0, end = bytes.find('\n'); end != std::string::npos;
         start = end + 1, end = bytes.find('\n', start)) {
        ++lines;
        *numbered += bytes[start] == 'N' ? 1 : 0;
    }
    return lines;
}

} // namespace

SimulatedFirmware::SimulatedFirmware(const FirmwareOptions& options)
    : options_(options), interpreter_(options), commandBuffer_(options, interpreter_),
      randomState_(options.seed | 1) {}

SimulatedFirmware::~SimulatedFirmware() {
    Stop();
}

bool SimulatedFirmware::Start(const wchar_t* devicePath) {
    Stop();
    device_.Reset(::CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                0, nullptr));
    if (!device_.Valid()) {
        return false;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutConstant = kReadPollMs;
    ::SetCommTimeouts(device_.Get(), &timeouts);
    ::PurgeComm(device_.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    commandBuffer_.Clear();
    stop_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    wake_.Reset(::CreateEventW(nullptr, TRUE, resetPending_ ? TRUE : FALSE, nullptr));
    thread_.Reset(::CreateThread(
        nullptr, 0,
        [](LPVOID self) -> DWORD {
            static_cast<SimulatedFirmware*>(self)->Serve();
            return 0;
        },
        this, 0, nullptr));
    return thread_.Valid();
}

void SimulatedFirmware::Stop() {
    if (thread_.Valid()) {
        ::SetEvent(stop_.Get());
        ::CancelSynchronousIo(thread_.Get());
        ::WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
    }
    stop_.Reset();
    wake_.Reset();
    device_.Reset();
}

void SimulatedFirmware::HostOpened() {
    if (options_.resetOnHostOpen) {
        RequestReset("External Reset");
    }
}

void SimulatedFirmware::Reset() {
    RequestReset("Watchdog Reset");
}

void SimulatedFirmware::RequestReset(const char* cause) {
    std::lock_guard<std::mutex> guard(mutex_);
    resetPending_ = true;
    resetCause_ = cause;
    resetRequestedAt_ = NowMicroseconds();
    if (wake_.Valid()) {
        ::SetEvent(wake_.Get());
    }
}

void SimulatedFirmware::Serve() {
    FirmwareLink link(device_.Get(), stop_.Get(), wake_.Get());
    link.SetSpeed(options_.baudRate, options_.hostBaudRate, [this](uint32_t lines) {
        std::lock_guard<std::mutex> guard(mutex_);
        noiseLines_ += lines;
        changed_.notify_all();
    });
    nextReportAt_ = NowMicroseconds() + Microseconds(options_.temperatureReportMs);
    if (options_.faithfulReceive) {
        ServeThroughCommandBuffer(link);
    } else {
        ServeLineByLine(link);
    }
}

void SimulatedFirmware::ServeLineByLine(FirmwareLink& link) {
    std::string pending;
    while (!link.Stopping()) {
        if (ResetRequested()) {
            pending.clear();
            lineCut_ = false;
            Reboot(link);
            continue;
        }
        const size_t before = pending.size();
        if (!link.ReadSome(pending)) {
            if (!link.Interrupted()) {
                return; // the device failed
            }
            continue;
        }
        if (pending.size() != before) {
            {
                std::lock_guard<std::mutex> guard(mutex_);
                FirmwareStats& stats = interpreter_.Stats();
                stats.maxReceiveBufferBytes =
                    std::max(stats.maxReceiveBufferBytes, static_cast<uint32_t>(pending.size()));
            }
            lineSeenAt_ = NowMicroseconds();
            if (!ProcessPending(link, pending)) {
                continue;
            }
        }
        SendDueReport(link);
    }
}

void SimulatedFirmware::ServeThroughCommandBuffer(FirmwareLink& link) {
    while (!link.Stopping()) {
        if (ResetRequested()) {
            Reboot(link);
            continue;
        }
        std::string bytes;
        int64_t next = 0;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            next = commandBuffer_.NextEventAt();
        }
        const bool idle = next == INT64_MAX;
        if (!(idle ? link.ReadSome(bytes) : link.ReadAvailable(bytes))) {
            if (!link.Interrupted()) {
                return; // the device failed
            }
            continue;
        }
        const int64_t now = NowMicroseconds();
        CommandBufferOutput output;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (!bytes.empty()) {
                commandBuffer_.Deliver(bytes, now);
            }
            commandBuffer_.AdvanceTo(now, output);
            if (options_.recordLines) {
                received_.insert(received_.end(), output.lines.begin(), output.lines.end());
            }
            NotifyWaitersLocked();
            next = commandBuffer_.NextEventAt();
        }
        bool sent = true;
        for (size_t reply = 0; sent && reply < output.replies.size(); ++reply) {
            sent = SendLine(link, output.replies[reply].text, output.replies[reply].atUs);
        }
        if (sent && SendDueReport(link) && bytes.empty() && next != INT64_MAX) {
            link.WaitUntil(std::min(next, NowMicroseconds() + kCommandPollUs));
        }
    }
}

bool SimulatedFirmware::ResetRequested() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return resetPending_;
}

void SimulatedFirmware::Reboot(FirmwareLink& link) {
    std::string cause;
    int64_t requestedAt = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        cause = resetCause_;
        requestedAt = resetRequestedAt_;
        resetPending_ = false;
        ::ResetEvent(wake_.Get());
        commandBuffer_.Clear();
    }
    // The board boots: whatever arrives meanwhile is lost. Read and dropped as it
    // comes, since a pty may hand over the rest of a line well after its start.
    const int64_t booted = requestedAt + Microseconds(options_.bootMs);
    for (std::string lost; NowMicroseconds() < booted; lost.clear()) {
        if (!link.ReadAvailable(lost) ||
            !link.WaitUntil(std::min(booted, NowMicroseconds() + kBootPollUs))) {
            return;
        }
    }
    link.DropInput();
    std::vector<FirmwareReply> banner;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        interpreter_.Reset(cause, banner);
    }
    for (const FirmwareReply& line : banner) {
        if (!SendLine(link, line.text, NowMicroseconds())) {
            return;
        }
    }
    nextReportAt_ = NowMicroseconds() + Microseconds(options_.temperatureReportMs);
    std::lock_guard<std::mutex> guard(mutex_);
    ++resetsDone_;
    changed_.notify_all();
}

bool SimulatedFirmware::ProcessPending(FirmwareLink& link, std::string& pending) {
    for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<FirmwareReply> replies;
        bool refused = false;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (options_.recordLines) {
                received_.push_back(line);
            }
            const size_t executedBefore = interpreter_.ExecutedCount();
            refused = interpreter_.HandleLine(line, replies);
            if (lineCut_ && interpreter_.ExecutedCount() != executedBefore) {
                ++interpreter_.Stats().cutLinesRun;
            }
            lineCut_ = false;
            NotifyWaitersLocked();
        }
        if (options_.bytesPerSecond != 0) {
            // The line has crossed the wire, then the command takes its time.
            receiveFreeAt_ = std::max(lineSeenAt_, receiveFreeAt_) +
                             WireMicroseconds(line.size() + 1, options_.bytesPerSecond);
            commandsFreeAt_ =
                std::max(receiveFreeAt_, commandsFreeAt_) + options_.commandMicroseconds;
        }
        if (refused) {
            // An error discards everything received so far, the start of a line
            // still arriving with it.
            if (!link.ReadAvailable(pending)) {
                return false;
            }
            lineCut_ = !pending.empty() && pending.back() != '\n';
            pending.clear();
        }
        for (const FirmwareReply& reply : replies) {
            if (!SendReply(link, pending, reply)) {
                return false;
            }
        }
    }
    return true;
}

bool SimulatedFirmware::SendReply(FirmwareLink& link, std::string& pending,
                                  const FirmwareReply& reply) {
    const uint32_t delay = options_.replyDelayMs + reply.delayMs;
    if (delay != 0 && !Idle(link, delay)) {
        return false;
    }
    if (reply.heats) {
        if (!WaitWhileHeating(link, pending, reply.busyForMs)) {
            return false;
        }
    } else {
        for (uint32_t busy = 0; busy < reply.busyForMs;) {
            const uint32_t step = std::min(options_.busyIntervalMs, reply.busyForMs - busy);
            if (!Idle(link, step)) {
                return false;
            }
            busy += step;
            if (!SendLine(link, "echo:busy: processing", NowMicroseconds())) {
                return false;
            }
        }
    }
    size_t numberedWaiting = reply.acknowledgesNumberedLine ? 1 : 0;
    const bool tracked = reply.text.compare(0, 2, "ok") == 0 && options_.trackLinesInFlight;
    if (tracked) {
        // Numbered lines the host sent before this "ok" went out were in flight with
        // the line it answers.
        if (!link.ReadAvailable(pending)) {
            return false;
        }
    }
    const uint32_t waiting = CountLines(pending, &numberedWaiting);
    if (tracked) {
        RecordLinesInFlight(static_cast<uint32_t>(numberedWaiting));
    }
    std::string text;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        text = interpreter_.AckText(reply, waiting);
    }
    if (reply.acknowledgesNumberedLine) {
        // Counted as it goes: the host may act on it before the write returns here.
        std::lock_guard<std::mutex> guard(mutex_);
        ++interpreter_.Stats().numberedLinesAcknowledged;
    }
    return SendLine(link, text, commandsFreeAt_);
}

bool SimulatedFirmware::SendLine(FirmwareLink& link, const std::string& text, int64_t readyAt) {
    std::string bytes = text + "\n";
    if (options_.dropReplyByteShare > 0.0) {
        std::string kept;
        for (const char byte : bytes) {
            randomState_ = randomState_ * 1103515245u + 12345u;
            if ((randomState_ >> 8) % 1000000 >= options_.dropReplyByteShare * 1000000) {
                kept.push_back(byte);
            }
        }
        bytes.swap(kept);
    }
    if (options_.bytesPerSecond != 0) {
        transmitFreeAt_ = std::max(readyAt, transmitFreeAt_) +
                          WireMicroseconds(bytes.size(), options_.bytesPerSecond);
        if (!link.WaitUntil(transmitFreeAt_)) {
            return false;
        }
    }
    return link.Write(bytes);
}

bool SimulatedFirmware::Idle(FirmwareLink& link, uint32_t milliseconds) {
    const int64_t until = NowMicroseconds() + Microseconds(milliseconds);
    for (;;) {
        const int64_t wakeAt =
            interpreter_.ReportMs() != 0 ? std::min(until, nextReportAt_) : until;
        if (!link.WaitUntil(wakeAt) || !SendDueReport(link)) {
            return false;
        }
        if (NowMicroseconds() >= until) {
            return true;
        }
    }
}

void SimulatedFirmware::Say(const std::string& line) {
    std::lock_guard<std::mutex> guard(mutex_);
    toSay_.push_back(line);
}

bool SimulatedFirmware::SendDueReport(FirmwareLink& link) {
    const int64_t now = NowMicroseconds();
    std::vector<std::string> said;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        said.swap(toSay_);
    }
    for (const std::string& line : said) {
        if (!SendLine(link, line, now)) {
            return false;
        }
    }
    if (interpreter_.ReportMs() == 0 || now < nextReportAt_) {
        return true;
    }
    nextReportAt_ = now + Microseconds(interpreter_.ReportMs());
    std::string text;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (interpreter_.Halted()) {
            return true;
        }
        text = interpreter_.AutoReportLine();
    }
    return SendLine(link, text, now);
}

bool PurgeSerialDevice(const wchar_t* devicePath) {
    UniqueHandle device(::CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    return device.Valid() && ::PurgeComm(device.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR) != FALSE;
}

} // namespace vela::test
