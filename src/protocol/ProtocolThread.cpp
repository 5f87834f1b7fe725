#include "protocol/ProtocolThread.h"

#include "monitor/Memory.h"
#include "protocol/LineFraming.h"
#include "protocol/ProtocolHandler.h"
#include "protocol/ReplyParsing.h"
#include "protocol/SendState.h"
#include "protocol/SerialChannels.h"
#include "protocol/SerialSettings.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace vela {
namespace {

// Replies are read a few bytes at a time; the reply queue joins the pieces.
constexpr DWORD kReadChunkBytes = 3;

struct FreeMemDeleter {
    void operator()(WCHAR* text) const { FreeMem(text); }
};
using DevicePath = std::unique_ptr<WCHAR, FreeMemDeleter>;

// The clock the thread's own waits run on.
uint64_t Now() {
    return ::GetTickCount64();
}

class ProtocolRun {
  public:
    explicit ProtocolRun(ProtocolHandlerParams& params)
        : params_(params), outgoing_(*params.outgoing), machine_(params.timings.send) {}

    // Set-up, then the loop. True when the loop ended on a stop request; false
    // when the set-up failed.
    bool Run(LPCWSTR devicePath);

  private:
    void HandleReplies(uint64_t now);
    void Send(uint64_t now);
    // Takes the line for the action from the outgoing queue; the result of the queue call.
    HRESULT TakeLine(SendAction action, LineRecord** line);
    void ReportSkippedLine(uint32_t length);

    ProtocolHandlerParams& params_;
    LineQueue& outgoing_;
    LineQueue replies_;
    ReplyLineLimiter limiter_;
    SendStateMachine machine_;
    SerialChannels channels_;
};

bool ProtocolRun::Run(LPCWSTR devicePath) {
    if (!channels_.CreateEvents() || !channels_.Open(devicePath) ||
        !ConfigureSerialDevice(channels_.Device())) {
        return false;
    }
    HANDLE waitList[3] = {channels_.read.event.Get(), channels_.write.event.Get(),
                          params_.startShutdown.Get()};
    for (;;) {
        // A timed step needs the write channel; while a write is out, its
        // completion wakes the loop.
        const DWORD wait = channels_.write.pending ? kLoopWaitMs : machine_.WaitTime(Now());
        const DWORD woke = ::WaitForMultipleObjects(3, waitList, FALSE, wait);
        if (woke == WAIT_OBJECT_0) {
            channels_.Collect(channels_.read);
        } else if (woke == WAIT_OBJECT_0 + 1) {
            channels_.Collect(channels_.write);
        } else if (woke == WAIT_OBJECT_0 + 2) {
            return true;
        }
        const uint64_t now = Now();
        HandleReplies(now);
        // The next line goes out before the next read is asked for: the write is
        // what the firmware waits for, and the read only needs to be there by the time
        // its answer comes.
        Send(now);
        channels_.StartRead(kReadChunkBytes);
    }
}

void ProtocolRun::HandleReplies(uint64_t now) {
    IoChannel& read = channels_.read;
    if (read.transferred == 0 || read.pending) {
        return;
    }
    machine_.OnBytesReceived(now);
    uint8_t kept[kWriteBufferSize];
    const uint32_t keptCount = limiter_.Filter(read.buffer, read.transferred, kept);
    if (keptCount > 0 && SUCCEEDED(replies_.AppendBytes(kept, keptCount))) {
        for (;;) {
            LineRecord* taken = nullptr;
            if (FAILED(replies_.Dequeue(&taken)) || taken == nullptr) {
                break;
            }
            std::unique_ptr<LineRecord> reply(taken);
            if (machine_.OnReply(reply->Bytes(), reply->Length(), now)) {
                ::OutputDebugStringA(DebuggerText(reply->Bytes(), reply->Length()).c_str());
            }
        }
    }
    std::memset(read.buffer, 0, read.transferred);
    read.transferred = 0;
}

HRESULT ProtocolRun::TakeLine(SendAction action, LineRecord** line) {
    switch (action) {
    case SendAction::Advance:
        return outgoing_.Advance(line);
    case SendAction::CopyCurrent:
        return outgoing_.CopyCurrent(line);
    case SendAction::CopyPrevious:
        return outgoing_.CopyPrevious(line);
    case SendAction::Poke:
    case SendAction::None:
        break;
    }
    return S_OK;
}

void ProtocolRun::Send(uint64_t now) {
    IoChannel& write = channels_.write;
    while (!write.pending) {
        const SendAction action = machine_.NextAction(now);
        if (action == SendAction::None) {
            return;
        }
        if (action == SendAction::Poke) {
            const uint32_t length = sizeof(kPokeLine) - 1;
            std::memcpy(write.buffer, kPokeLine, length + 1);
            write.toWrite = length;
            machine_.OnLineSent(action, false, now);
            channels_.StartWrite();
            return;
        }
        LineRecord* taken = nullptr;
        const HRESULT result = TakeLine(action, &taken);
        std::unique_ptr<LineRecord> line(taken);
        if (FAILED(result)) {
            if (action == SendAction::Advance) {
                machine_.OnNoLine(action);
            }
            return;
        }
        if (line == nullptr) {
            if (!machine_.OnNoLine(action)) {
                return;
            }
            continue;
        }
        const bool restartsNumbering = BeginsWithN0(line->Bytes(), line->Length());
        uint32_t framedLength = 0;
        if (!FrameLine(machine_.NumberFor(action, restartsNumbering), line->Bytes(), line->Length(),
                       write.buffer, kWriteBufferSize, &framedLength)) {
            if (action == SendAction::Advance) {
                // Goes on with the next line under the same number.
                ReportSkippedLine(line->Length());
                machine_.OnLineSkipped();
            } else if (!machine_.OnNoLine(action)) {
                return;
            }
            continue;
        }
        machine_.OnLineSent(action, restartsNumbering, now);
        write.toWrite = framedLength;
        channels_.StartWrite();
        return;
    }
}

void ProtocolRun::ReportSkippedLine(uint32_t length) {
    char message[96];
    std::snprintf(message, sizeof(message), "Skipped a G-code line of %u bytes: too long to send\n",
                  length);
    ::OutputDebugStringA(message);
}

} // namespace

DWORD WINAPI ProtocolHandlerThread(LPVOID parameter) {
    auto& params = *static_cast<ProtocolHandlerParams*>(parameter);
    DevicePath devicePath(params.devicePath);
    params.devicePath = nullptr;
    bool stopped = false;
    {
        ProtocolRun run(params);
        stopped = run.Run(devicePath.get());
    }
    devicePath.reset();
    if (stopped) {
        ::SetEvent(params.endShutdown.Get());
    }
    return 0;
}

} // namespace vela
