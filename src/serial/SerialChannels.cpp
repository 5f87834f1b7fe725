#include "serial/SerialChannels.h"

#include "platform/Platform.h"

namespace vela {
namespace {

bool CreateChannelEvent(IoChannel& channel) {
    channel.event.Reset(::CreateEventW(nullptr, FALSE, TRUE, nullptr));
    channel.overlapped.hEvent = channel.event.Get();
    return channel.event.Valid();
}

} // namespace

SerialChannels::~SerialChannels() {
    CancelPending();
}

bool SerialChannels::CreateEvents() {
    if (read.event.Valid() && write.event.Valid()) {
        return true;
    }
    return CreateChannelEvent(read) && CreateChannelEvent(write);
}

DWORD SerialChannels::Open(LPCWSTR devicePath) {
    if (devicePath == nullptr || devicePath[0] == L'\0') {
        return ERROR_FILE_NOT_FOUND;
    }
    device_.Reset(CurrentPlatform().serialDevices->CreateFileW(
        devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
        nullptr));
    if (device_.Valid()) {
        return 0;
    }
    const DWORD error = ::GetLastError();
    // A serial device held by another program: Windows says "access denied",
    // some systems "sharing violation".
    if (error == ERROR_SHARING_VIOLATION || error == 0) {
        return error == 0 ? ERROR_GEN_FAILURE : ERROR_ACCESS_DENIED;
    }
    return error;
}

void SerialChannels::Close() {
    CancelPending();
    device_.Reset();
}

void SerialChannels::CancelPending() {
    Cancel(read);
    Cancel(write);
    read.transferred = 0;
}

bool SerialChannels::Collect(IoChannel& channel) {
    if (!channel.pending) {
        return true;
    }
    DWORD transferred = 0;
    if (::GetOverlappedResult(device_.Get(), &channel.overlapped, &transferred, FALSE)) {
        channel.transferred = transferred;
        channel.pending = false;
        return true;
    }
    if (::GetLastError() == ERROR_IO_INCOMPLETE) {
        // Not finished after all; its completion signals the event again.
        return true;
    }
    channel.transferred = 0;
    channel.pending = false;
    return false;
}

bool SerialChannels::StartRead(DWORD limit, DWORD expected) {
    if (read.pending) {
        return true;
    }
    read.transferred = 0;
    DWORD errors = 0;
    COMSTAT status{};
    DWORD count = expected < limit ? expected : limit;
    if (::ClearCommError(device_.Get(), &errors, &status) && status.cbInQue > 0) {
        count = status.cbInQue < limit ? status.cbInQue : limit;
    } else if (expected == 0) {
        return true;
    }
    DWORD transferred = 0;
    if (::ReadFile(device_.Get(), read.buffer, count, &transferred, &read.overlapped)) {
        // Completed at once: the bytes wait for the next pass, which the event wakes.
        read.transferred = transferred;
        return true;
    }
    if (::GetLastError() == ERROR_IO_PENDING) {
        read.pending = true;
        return true;
    }
    return false;
}

bool SerialChannels::StartWrite() {
    write.transferred = 0;
    if (::WriteFile(device_.Get(), write.buffer, write.toWrite, nullptr, &write.overlapped)) {
        return true;
    }
    if (::GetLastError() == ERROR_IO_PENDING) {
        write.pending = true;
        return true;
    }
    return false;
}

void SerialChannels::Cancel(IoChannel& channel) {
    if (!channel.pending || !device_.Valid()) {
        return;
    }
    ::CancelIoEx(device_.Get(), &channel.overlapped);
    DWORD transferred = 0;
    ::GetOverlappedResult(device_.Get(), &channel.overlapped, &transferred, TRUE);
    channel.pending = false;
}

} // namespace vela
