#include "doubles/SimulatedFirmware.h"

#include <algorithm>
#include <chrono>

namespace vela::test {
namespace {

// How often a read that waits for the first byte looks for a stop request.
constexpr DWORD kReadPollMs = 100;

int64_t NowMicroseconds() {
    static const int64_t frequency = [] {
        LARGE_INTEGER value;
        ::QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return counter.QuadPart / frequency * 1000000 +
           counter.QuadPart % frequency * 1000000 / frequency;
}

// A sleep finer than a millisecond where the system offers one (Wine sleeps with
// select() to the microsecond); otherwise none.
using DelayExecution = LONG(WINAPI*)(BOOLEAN alertable, const LARGE_INTEGER* interval);

DelayExecution FineSleep() {
    static const DelayExecution function = [] {
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        FARPROC found = ntdll != nullptr ? ::GetProcAddress(ntdll, "NtDelayExecution") : nullptr;
        return reinterpret_cast<DelayExecution>(reinterpret_cast<void*>(found));
    }();
    return function;
}

int64_t WireMicroseconds(size_t bytes, uint32_t bytesPerSecond) {
    return bytesPerSecond == 0 ? 0 : static_cast<int64_t>(bytes) * 1000000 / bytesPerSecond;
}

} // namespace

// The device operations of the firmware's thread. Synchronous I/O: under Wine it
// costs a fraction of overlapped I/O, and a real printer answers no faster.
class SimulatedFirmware::Link {
  public:
    Link(HANDLE device, HANDLE stop) : device_(device), stop_(stop) {}
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Waits for at least one byte, then takes whatever else has arrived. Reads
    // give up after a short time-out, so that a stop is seen even when the
    // cancellation of a blocked read is not.
    bool ReadSome(std::string& into) {
        for (;;) {
            char first = 0;
            DWORD count = 0;
            const BOOL read = ::ReadFile(device_, &first, 1, &count, nullptr);
            if (!read || Stopping()) {
                return false;
            }
            if (count == 1) {
                into.push_back(first);
                return ReadAvailable(into);
            }
        }
    }

    // Takes what has arrived without waiting for more.
    bool ReadAvailable(std::string& into) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(device_, &errors, &status) || status.cbInQue == 0) {
            return !Stopping();
        }
        std::string bytes(status.cbInQue, '\0');
        DWORD count = 0;
        const BOOL read = ::ReadFile(device_, &bytes[0], status.cbInQue, &count, nullptr);
        if (read) {
            into.append(bytes.data(), count);
        }
        return !Stopping();
    }

    bool Write(const std::string& bytes) {
        DWORD count = 0;
        return (bytes.empty() || ::WriteFile(device_, bytes.data(),
                                             static_cast<DWORD>(bytes.size()), &count, nullptr)) &&
               !Stopping();
    }

    // Waits on the stop event alone; false when it is set.
    bool Pause(DWORD milliseconds) {
        return ::WaitForSingleObject(stop_, milliseconds) != WAIT_OBJECT_0;
    }

    // Waits until the performance counter reaches the time; false on stop.
    bool WaitUntil(int64_t microseconds) {
        for (;;) {
            const int64_t left = microseconds - NowMicroseconds();
            if (left <= 0) {
                return true;
            }
            if (left > 2000) {
                if (!Pause(static_cast<DWORD>((left - 1000) / 1000))) {
                    return false;
                }
            } else if (FineSleep() != nullptr) {
                LARGE_INTEGER interval;
                interval.QuadPart = -left * 10; // relative, in 100 ns
                FineSleep()(FALSE, &interval);
            } else {
                ::SwitchToThread();
            }
        }
    }

  private:
    bool Stopping() const { return ::WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0; }

    HANDLE device_;
    HANDLE stop_;
};

SimulatedFirmware::SimulatedFirmware(const FirmwareOptions& options)
    : options_(options), interpreter_(options), randomState_(options.seed | 1) {}

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
    stop_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
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
    device_.Reset();
}

void SimulatedFirmware::Serve() {
    Link link(device_.Get(), stop_.Get());
    std::string pending;
    for (;;) {
        if (!link.ReadSome(pending)) {
            return;
        }
        lineSeenAt_ = NowMicroseconds();
        if (!ProcessPending(link, pending)) {
            return;
        }
    }
}

bool SimulatedFirmware::ProcessPending(Link& link, std::string& pending) {
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
            received_.push_back(line);
            refused = interpreter_.HandleLine(line, replies);
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
            // An error discards everything received so far.
            pending.clear();
            if (!link.ReadAvailable(pending)) {
                return false;
            }
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

bool SimulatedFirmware::SendReply(Link& link, std::string& pending, const FirmwareReply& reply) {
    const uint32_t delay = options_.replyDelayMs + reply.delayMs;
    if (delay != 0 && !link.Pause(delay)) {
        return false;
    }
    for (uint32_t busy = 0; busy < reply.busyForMs;) {
        const uint32_t step = std::min(options_.busyIntervalMs, reply.busyForMs - busy);
        if (!link.Pause(step) || !link.Write("echo:busy: processing\n")) {
            return false;
        }
        busy += step;
    }
    if (reply.text.compare(0, 2, "ok") == 0 && options_.trackLinesInFlight) {
        // Numbered lines the host sent before this "ok" went out were in flight with
        // the line it answers.
        if (!link.ReadAvailable(pending)) {
            return false;
        }
        uint32_t waiting = reply.acknowledgesNumberedLine ? 1 : 0;
        for (size_t start = 0, end = pending.find('\n'); end != std::string::npos;
             start = end + 1, end = pending.find('\n', start)) {
            waiting += pending[start] == 'N' ? 1 : 0;
        }
        RecordLinesInFlight(waiting);
    }
    std::string bytes = reply.text + "\n";
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
        transmitFreeAt_ = std::max(commandsFreeAt_, transmitFreeAt_) +
                          WireMicroseconds(bytes.size(), options_.bytesPerSecond);
        if (!link.WaitUntil(transmitFreeAt_)) {
            return false;
        }
    }
    return link.Write(bytes);
}

std::vector<std::string> SimulatedFirmware::Received() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return received_;
}

std::vector<ExecutedLine> SimulatedFirmware::Executed() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return interpreter_.Executed();
}

std::vector<std::string> SimulatedFirmware::ExecutedNumberedCommands() const {
    std::vector<std::string> commands;
    std::lock_guard<std::mutex> guard(mutex_);
    for (const ExecutedLine& line : interpreter_.Executed()) {
        if (line.number >= 0) {
            commands.push_back(line.command);
        }
    }
    return commands;
}

FirmwareStats SimulatedFirmware::Stats() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return interpreter_.Stats();
}

int64_t SimulatedFirmware::LastLine() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return interpreter_.LastLine();
}

void SimulatedFirmware::RecordLinesInFlight(uint32_t waiting) {
    std::lock_guard<std::mutex> guard(mutex_);
    FirmwareStats& stats = interpreter_.Stats();
    stats.maxLinesInFlight = std::max(stats.maxLinesInFlight, waiting);
}

size_t SimulatedFirmware::NumberedExecutedLocked() const {
    return interpreter_.Executed().size() - interpreter_.Stats().unnumberedExecuted;
}

void SimulatedFirmware::NotifyWaitersLocked() {
    if (NumberedExecutedLocked() >= executedWanted_ || received_.size() >= receivedWanted_) {
        changed_.notify_all();
    }
}

bool SimulatedFirmware::WaitForNumberedExecuted(size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    executedWanted_ = count;
    const bool reached = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return NumberedExecutedLocked() >= count; });
    executedWanted_ = SIZE_MAX;
    return reached;
}

bool SimulatedFirmware::WaitForReceived(size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    receivedWanted_ = count;
    const bool reached = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return received_.size() >= count; });
    receivedWanted_ = SIZE_MAX;
    return reached;
}

bool PurgeSerialDevice(const wchar_t* devicePath) {
    UniqueHandle device(::CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    return device.Valid() && ::PurgeComm(device.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR) != FALSE;
}

} // namespace vela::test
