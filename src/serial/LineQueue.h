// Turns a byte stream that arrives in arbitrary pieces into text lines without
// comments, and keeps them in a locked FIFO until a consumer takes them. The
// consumer's current and previous lines are kept for re-sending.
#pragma once

#include "platform/Win32Headers.h"
#include "serial/LineSplitter.h"

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
    // 0, or the length of a line too long to keep: the record holds only its
    // start and the line is never sent.
    uint32_t OverLongLength() const { return overLongLength_; }
    // Anything but spaces, tabs and the line's end.
    bool HasCommand() const;
    // Queued by the consumer ahead of the producer's lines (EnqueueLinesFirst).
    bool Ahead() const { return ahead_; }
    // Where the line ends in the document's bytes: all the producer took up to
    // its end, comments, blank lines and a byte-order mark included; 0 for the
    // consumer's own lines.
    uint64_t DocumentEnd() const { return documentEnd_; }

  private:
    friend class LineQueue;
    uint8_t* bytes_ = nullptr;
    uint32_t length_ = 0;
    uint32_t overLongLength_ = 0;
    uint64_t documentEnd_ = 0;
    bool ahead_ = false;
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

    // The producer's side, one thread at a time (the only one that touches the
    // carry). Splits bytes into lines (see LineSplitter) and enqueues them; the
    // bytes of a line not yet ended are carried over to the next call. All or
    // nothing: on failure no line of the call is queued and the carry is as it
    // was. A UTF-8 byte-order mark at the start of a document is dropped. The
    // caller's bytes are never changed. Once the queue is closed, the lines are
    // dropped, and the carry with them.
    HRESULT AppendBytes(const uint8_t* bytes, uint32_t length);
    // The carried bytes of a last line without its end become a line of their own.
    HRESULT FlushCarry();
    // Forgets every queued line, the carry and the re-send slots, and opens the
    // queue: the next bytes start a document. Only while nobody else uses it.
    void StartDocument();

    // The consumer's side. Clears the queue and refuses the producer's lines
    // from now on (the document is over); a partial line the producer carries is
    // dropped at its next call.
    void Close();
    // Queues whole lines of the consumer's own, each ended by '\n' (a last one
    // without its end is a line too), split as AppendBytes splits them, whether or
    // not the queue is closed. Never touches the producer's carry.
    HRESULT EnqueueLines(const uint8_t* bytes, uint32_t length);
    // The same, ahead of every queued line but those queued ahead before them.
    HRESULT EnqueueLinesFirst(const uint8_t* bytes, uint32_t length);
    // The next line to hand out was queued ahead.
    bool NextIsAhead();
    // Bytes of the lines waiting in the queue (the re-send slots not counted).
    uint64_t QueuedBytes();

    // Shifts current to previous, takes the next line as current and hands out a
    // copy of it. Callers set *record to none first; it is written only when
    // there is a line to hand out.
    HRESULT Advance(LineRecord** record);
    // Advance without a copy, passing over (and deleting) queued lines that hold
    // no command: they are never sent, and the slots keep the lines that were.
    // With no line of a command queued, the slots do not shift: false.
    bool AdvanceToCommand();
    HRESULT CopyCurrent(LineRecord** record);
    HRESULT CopyPrevious(LineRecord** record);
    // The consumer's slots without a copy; only the consumer's thread may use them.
    const LineRecord* Current() const { return currentLine_; }
    const LineRecord* Previous() const { return previousLine_; }

  private:
    // Lines built by one append before they join the queue.
    struct Batch : LineSink {
        LineRecord* oldest = nullptr;
        LineRecord* newest = nullptr;
        uint32_t count = 0;
        uint64_t bytes = 0;
        // The producer's lines: where in the document the bytes being fed begin.
        bool fromDocument = false;
        uint64_t fedFrom = 0;
        ~Batch() override;
        void Add(LineRecord* record);
        HRESULT Line(const uint8_t* content, uint32_t length, uint32_t overLongLength,
                     uint32_t fedThrough) override;
    };

    // AppendBytes, of whose bytes the first counted are the document's.
    HRESULT Append(const uint8_t* bytes, uint32_t length, uint32_t counted);

    static HRESULT CopyOut(const LineRecord* line, LineRecord** record);
    // Splits the consumer's lines into the batch, a last line without its end
    // included.
    static HRESULT SplitOwn(const uint8_t* bytes, uint32_t length, Batch& batch);
    void SpliceAhead(Batch& batch);
    // Links a batch that is not empty in before the record (none: at the newest
    // end) and empties the batch; under the lock.
    void LinkBefore(Batch& batch, LineRecord* before);
    // False, with the batch left to its destructor, when the queue is closed and
    // the batch is the producer's.
    bool Splice(Batch& batch, bool fromProducer);

    LineRecord* newest_ = nullptr;
    LineRecord* oldest_ = nullptr;
    uint32_t count_ = 0;
    uint64_t queuedBytes_ = 0;
    CRITICAL_SECTION lock_;
    // Bytes of a byte-order mark matched so far at the start of the document, or
    // kBomDone once the start is behind.
    uint32_t bomMatched_ = 0;
    // The document's bytes the producer took so far.
    uint64_t documentBytes_ = 0;
    // The producer's carry: the line not yet ended.
    LineSplitter splitter_;
    // Guarded by the lock: the producer's lines are refused.
    bool closed_ = false;
    LineRecord* previousLine_ = nullptr;
    LineRecord* currentLine_ = nullptr;
};

} // namespace vela
