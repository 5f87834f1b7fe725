// The serial device and its two overlapped channels, as the handler thread uses them.
#pragma once

#include "platform/Handles.h"
#include "serial/LineFraming.h"

#include <cstdint>

namespace vela {

// One direction: an overlapped operation with its own event and buffer.
struct IoChannel {
    OVERLAPPED overlapped{};
    UniqueHandle event;
    uint8_t buffer[kWriteBufferSize]{};
    DWORD toWrite = 0;
    DWORD transferred = 0;
    // An overlapped operation on the channel is outstanding.
    bool pending = false;
};

class SerialChannels {
  public:
    SerialChannels() = default;
    // Cancels what is still outstanding and waits for it, so that no operation
    // refers to the buffers once they are released; then closes the device.
    ~SerialChannels();
    SerialChannels(const SerialChannels&) = delete;
    SerialChannels& operator=(const SerialChannels&) = delete;

    // Auto-reset and created signalled, so that the first waits return at once.
    bool CreateEvents();
    // Overlapped, exclusive. 0, or the reason the device cannot be opened
    // (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED when another program holds it).
    DWORD Open(LPCWSTR devicePath);
    bool IsOpen() const { return device_.Valid(); }
    HANDLE Device() const { return device_.Get(); }
    // Cancels what is outstanding, then closes the device.
    void Close();
    // Cancels outstanding operations and waits for them.
    void CancelPending();

    // The result of a completed operation, fetched without waiting. False when
    // the device failed it.
    bool Collect(IoChannel& channel);
    // Unless a read is outstanding, reads the bytes the driver holds (at most
    // limit); when it holds none, waits for the expected bytes (none: no read),
    // a read the device's interval time-out ends a moment after a shorter reply.
    // False when the device refuses.
    bool StartRead(DWORD limit, DWORD expected);
    // Writes the channel's toWrite bytes. False when the device refuses.
    bool StartWrite();

    IoChannel read;
    IoChannel write;

  private:
    void Cancel(IoChannel& channel);

    UniqueHandle device_;
};

} // namespace vela
