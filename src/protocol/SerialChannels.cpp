#include "protocol/SerialChannels.h"

namespace vela {
namespace {

bool CreateChannelEvent(IoChannel& channel) {
    channel.event.Reset(::CreateEventW(nullptr, FALSE, TRUE, nullptr));
    channel.overlapped.hEvent = channel.event.Get();
    return channel.event.Valid();
}

} // namespace

SerialChannels::~SerialChannels() {
    Cancel(read);
    Cancel(write);
}

bool SerialChannels::CreateEvents() {
    return CreateChannelEvent(read) && CreateChannelEvent(write);
}

bool SerialChannels::Open(LPCWSTR devicePath) {
    if (devicePath == nullptr || devicePath[0] == L'\0') {
        return false;
    }
    device_.Reset(::CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr));
    return device_.Valid();
}

void SerialChannels::Collect(IoChannel& channel) {
    if (!channel.pending) {
        return;
    }
    DWORD transferred = 0;
    if (::GetOverlappedResult(device_.Get(), &channel.overlapped, &transferred, FALSE)) {
        channel.transferred = transferred;
    } else if (::GetLastError() == ERROR_IO_INCOMPLETE) {
        // Not finished after all; its completion signals the event again.
        return;
    } else {
        channel.transferred = 0;
    }
    channel.pending = false;
}

void SerialChannels::StartRead(DWORD count) {
    if (read.pending) {
        return;
    }
    read.transferred = 0;
    DWORD transferred = 0;
    if (::ReadFile(device_.Get(), read.buffer, count, &transferred, &read.overlapped)) {
        // Completed at once: the bytes wait for the next pass, which the event wakes.
        read.transferred = transferred;
    } else if (::GetLastError() == ERROR_IO_PENDING) {
        read.pending = true;
    }
}

void SerialChannels::StartWrite() {
    write.transferred = 0;
    if (!::WriteFile(device_.Get(), write.buffer, write.toWrite, nullptr, &write.overlapped) &&
        ::GetLastError() == ERROR_IO_PENDING) {
        write.pending = true;
    }
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
