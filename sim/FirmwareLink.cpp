#include "sim/FirmwareLink.h"

namespace vela::test {
namespace {

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

} // namespace

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

FirmwareLink::FirmwareLink(HANDLE device, HANDLE stop, HANDLE wake)
    : device_(device), stop_(stop), wake_(wake) {}

void FirmwareLink::SetSpeed(uint32_t rate, std::function<uint32_t()> hostRate,
                            std::function<void(uint32_t lines)> onNoise) {
    rate_ = rate;
    hostRate_ = std::move(hostRate);
    onNoise_ = std::move(onNoise);
}

bool FirmwareLink::TakeNoise(const std::string& bytes) {
    if (rate_ == 0 || !hostRate_ || hostRate_() == rate_) {
        return false;
    }
    // "ok T:" as a board at another speed sends it: never clean text.
    std::string noise;
    uint32_t lines = 0;
    for (char c : bytes) {
        if (c == '\n') {
            noise += "\xEF\xEB\xA0\xD4\xBA\n";
            ++lines;
        }
    }
    Write(noise);
    if (lines != 0 && onNoise_) {
        onNoise_(lines);
    }
    return true;
}

bool FirmwareLink::ReadSome(std::string& into) {
    char first = 0;
    DWORD count = 0;
    if (!::ReadFile(device_, &first, 1, &count, nullptr) || Interrupted()) {
        return false;
    }
    if (count == 1) {
        std::string bytes(1, first);
        const bool read = ReadArrived(bytes);
        if (!TakeNoise(bytes)) {
            into += bytes;
        }
        return read;
    }
    return true;
}

bool FirmwareLink::ReadAvailable(std::string& into) {
    std::string bytes;
    const bool read = ReadArrived(bytes);
    if (!TakeNoise(bytes)) {
        into += bytes;
    }
    return read;
}

bool FirmwareLink::ReadArrived(std::string& into) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(device_, &errors, &status) || status.cbInQue == 0) {
        return !Interrupted();
    }
    std::string bytes(status.cbInQue, '\0');
    DWORD count = 0;
    if (!::ReadFile(device_, &bytes[0], status.cbInQue, &count, nullptr)) {
        return false;
    }
    into.append(bytes.data(), count);
    return !Interrupted();
}

void FirmwareLink::DropInput() {
    ::PurgeComm(device_, PURGE_RXCLEAR);
}

bool FirmwareLink::Write(const std::string& bytes) {
    DWORD count = 0;
    return (bytes.empty() || ::WriteFile(device_, bytes.data(), static_cast<DWORD>(bytes.size()),
                                         &count, nullptr)) &&
           !Interrupted();
}

bool FirmwareLink::Pause(DWORD milliseconds) {
    const HANDLE events[] = {stop_, wake_};
    return ::WaitForMultipleObjects(2, events, FALSE, milliseconds) == WAIT_TIMEOUT;
}

bool FirmwareLink::WaitUntil(int64_t microseconds) {
    for (;;) {
        const int64_t left = microseconds - NowMicroseconds();
        if (left <= 0) {
            return !Interrupted();
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

bool FirmwareLink::Interrupted() const {
    const HANDLE events[] = {stop_, wake_};
    return ::WaitForMultipleObjects(2, events, FALSE, 0) != WAIT_TIMEOUT;
}

bool FirmwareLink::Stopping() const {
    return ::WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0;
}

} // namespace vela::test
