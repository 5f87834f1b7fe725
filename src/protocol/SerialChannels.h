// The serial device and its two overlapped channels, as the handler thread uses them.
#pragma once

#include "platform/Handles.h"
#include "protocol/LineFraming.h"

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
    // Overlapped, exclusive. False for no path, an empty one, or a failed open.
    bool Open(LPCWSTR devicePath);
    HANDLE Device() const { return device_.Get(); }

    // The result of a completed operation, fetched without waiting.
    void Collect(IoChannel& channel);
    // Asks for the next few reply bytes unless a read is outstanding.
    void StartRead(DWORD count);
    // Writes the channel's toWrite bytes.
    void StartWrite();

    IoChannel read;
    IoChannel write;

  private:
    void Cancel(IoChannel& channel);

    UniqueHandle device_;
};

} // namespace vela
