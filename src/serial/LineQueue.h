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
    // carried over to the next call. All or nothing: on failure no line of the
    // call is queued and the carry is as it was. NUL bytes are dropped (firmware
    // stops reading a line at one), and so is a UTF-8 byte-order mark at the start
    // of a document. The caller's bytes are never changed.
    HRESULT AppendBytes(const uint8_t* bytes, uint32_t length);
    // The carried bytes of a last line without its end become a line of their own.
    HRESULT FlushCarry();
    // Forgets every queued line, the carry and the re-send slots; the next bytes
    // start a document.
    void StartDocument();
    // Bytes of the lines waiting in the queue (the re-send slots not counted).
    uint64_t QueuedBytes();

    // Shifts current to previous, takes the next line as current and hands out a
    // copy of it. Callers set *record to none first; it is written only when
    // there is a line to hand out.
    HRESULT Advance(LineRecord** record);
    HRESULT CopyCurrent(LineRecord** record);
    HRESULT CopyPrevious(LineRecord** record);
    // The consumer's slots without a copy; only the consumer's thread may use them.
    const LineRecord* Current() const { return currentLine_; }
    const LineRecord* Previous() const { return previousLine_; }

  private:
    // Lines built by one append before they join the queue.
    struct Batch {
        LineRecord* oldest = nullptr;
        LineRecord* newest = nullptr;
        uint32_t count = 0;
        uint64_t bytes = 0;
        ~Batch();
        void Add(LineRecord* record);
    };

    static HRESULT CopyOut(const LineRecord* line, LineRecord** record);
    static HRESULT StoreLine(const uint8_t* line, uint32_t length, Batch& batch);
    void Splice(Batch& batch);
    void ReleaseCarry();

    LineRecord* newest_ = nullptr;
    LineRecord* oldest_ = nullptr;
    uint32_t count_ = 0;
    uint64_t queuedBytes_ = 0;
    CRITICAL_SECTION lock_;
    // Bytes of a byte-order mark matched so far at the start of the document, or
    // kBomDone once the start is behind.
    uint32_t bomMatched_ = 0;
    uint32_t carryLength_ = 0;
    uint8_t* carryBytes_ = nullptr;
    LineRecord* previousLine_ = nullptr;
    LineRecord* currentLine_ = nullptr;
};

} // namespace vela
