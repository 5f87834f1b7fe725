// Turns a byte stream that arrives in arbitrary pieces into text lines without
// comments, and keeps them in a locked FIFO until a consumer takes them. The
// consumer's current and previous lines are kept for re-sending.
#pragma once

#include "platform/Win32Headers.h"

#include <cstdint>

namespace vela {

// One line; a heap object of its own. A stored line always ends with '\n'.
class LineRecord {
  public:
    LineRecord() = default;
    ~LineRecord();
    LineRecord(const LineRecord&) = delete;
    LineRecord& operator=(const LineRecord&) = delete;

    // Stores a copy of the bytes. E_INVALIDARG for no bytes; E_OUTOFMEMORY keeps
    // what the record had.
    HRESULT Assign(const uint8_t* bytes, uint32_t length);

    const uint8_t* Bytes() const { return bytes_; }
    uint32_t Length() const { return length_; }

  private:
    friend class LineQueue;
    uint8_t* bytes_ = nullptr;
    uint32_t length_ = 0;
    LineRecord* older_ = nullptr;
    LineRecord* newer_ = nullptr;
};

class LineQueue {
  public:
    LineQueue();
    ~LineQueue();
    LineQueue(const LineQueue&) = delete;
    LineQueue& operator=(const LineQueue&) = delete;

    // The queue takes ownership of an enqueued record.
    HRESULT Enqueue(LineRecord* record);
    // Hands out the oldest record (caller owns it), or none when empty.
    HRESULT Dequeue(LineRecord** record);
    void Clear();
    uint32_t Count();

    // Splits bytes into lines and enqueues them; bytes after the last '\n' are
    // carried over to the next call. The caller's bytes are never changed.
    HRESULT AppendBytes(const uint8_t* bytes, uint32_t length);

    // Shifts current to previous, takes the next line as current and hands out a
    // copy of it. Callers set *record to none first; it is written only when
    // there is a line to hand out.
    HRESULT Advance(LineRecord** record);
    HRESULT CopyCurrent(LineRecord** record);
    HRESULT CopyPrevious(LineRecord** record);

  private:
    static HRESULT CopyOut(const LineRecord* line, LineRecord** record);
    HRESULT StoreLine(const uint8_t* line, uint32_t length);
    HRESULT SetCarry(const uint8_t* bytes, uint32_t length);
    void ReleaseCarry();

    LineRecord* newest_ = nullptr;
    LineRecord* oldest_ = nullptr;
    uint32_t count_ = 0;
    CRITICAL_SECTION lock_;
    uint32_t carryLength_ = 0;
    uint8_t* carryBytes_ = nullptr;
    LineRecord* previousLine_ = nullptr;
    LineRecord* currentLine_ = nullptr;
};

} // namespace vela
