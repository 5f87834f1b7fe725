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

bool FirmwareLink::ReadSome(std::string& into) {
    char first = 0;
    DWORD count = 0;
    if (!::ReadFile(device_, &first, 1, &count, nullptr) || Interrupted()) {
        return false;
    }
    if (count == 1) {
        into.push_back(first);
        return ReadAvailable(into);
    }
    return true;
}

bool FirmwareLink::ReadAvailable(std::string& into) {
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
