#include "serial/LineQueue.h"

#include "platform/Handles.h"

#include <cstring>
#include <memory>
#include <new>

namespace vela {
namespace {

constexpr uint32_t kBomDone = 4;

} // namespace

LineRecord::~LineRecord() {
    delete[] bytes_;
}

HRESULT LineRecord::Assign(const uint8_t* bytes, uint32_t length) {
    if (bytes == nullptr || length == 0) {
        return E_INVALIDARG;
    }
    uint8_t* copy = new (std::nothrow) uint8_t[length];
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(copy, bytes, length);
    delete[] bytes_;
    bytes_ = copy;
    length_ = length;
    return S_OK;
}

bool LineRecord::HasCommand() const {
    if (overLongLength_ != 0) {
        return true;
    }
    for (uint32_t index = 0; index < length_; ++index) {
        if (bytes_[index] != ' ' && bytes_[index] != '\t' && bytes_[index] != '\n') {
            return true;
        }
    }
    return false;
}

LineQueue::LineQueue() {
    ::InitializeCriticalSection(&lock_);
}

LineQueue::~LineQueue() {
    StartDocument();
    ::DeleteCriticalSection(&lock_);
}

HRESULT LineQueue::Enqueue(LineRecord* record) {
    if (record == nullptr) {
        return E_INVALIDARG;
    }
    Batch batch;
    batch.Add(record);
    Splice(batch, false);
    return S_OK;
}

LineQueue::Batch::~Batch() {
    while (oldest != nullptr) {
        LineRecord* next = oldest->newer_;
        delete oldest;
        oldest = next;
    }
}

void LineQueue::Batch::Add(LineRecord* record) {
    record->older_ = newest;
    record->newer_ = nullptr;
    if (newest != nullptr) {
        newest->newer_ = record;
    } else {
        oldest = record;
    }
    newest = record;
    ++count;
    bytes += record->length_;
}

HRESULT LineQueue::Batch::Line(const uint8_t* content, uint32_t length, uint32_t overLongLength,
                               uint32_t fedThrough) {
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[length + 1]);
    std::unique_ptr<LineRecord> record(new (std::nothrow) LineRecord());
    if (copy == nullptr || record == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (length != 0) {
        std::memcpy(copy.get(), content, length);
    }
    copy[length] = '\n';
    record->bytes_ = copy.release();
    record->length_ = length + 1;
    record->overLongLength_ = overLongLength;
    record->documentEnd_ = fromDocument ? fedFrom + fedThrough : 0;
    Add(record.release());
    return S_OK;
}

bool LineQueue::Splice(Batch& batch, bool fromProducer) {
    CriticalSectionLock guard(lock_);
    if (fromProducer && closed_) {
        return false;
    }
    if (batch.oldest == nullptr) {
        return true;
    }
    LinkBefore(batch, nullptr);
    return true;
}

HRESULT LineQueue::Dequeue(LineRecord** record) {
    if (record == nullptr) {
        return E_INVALIDARG;
    }
    CriticalSectionLock guard(lock_);
    LineRecord* taken = oldest_;
    *record = taken;
    if (taken == nullptr) {
        return S_OK;
    }
    oldest_ = taken->newer_;
    if (oldest_ != nullptr) {
        oldest_->older_ = nullptr;
    } else {
        newest_ = nullptr;
    }
    taken->older_ = nullptr;
    taken->newer_ = nullptr;
    --count_;
    queuedBytes_ -= taken->length_;
    return S_OK;
}

void LineQueue::Clear() {
    Batch records;
    {
        CriticalSectionLock guard(lock_);
        records.oldest = oldest_;
        oldest_ = nullptr;
        newest_ = nullptr;
        count_ = 0;
        queuedBytes_ = 0;
    }
    // Released outside the lock: a producer waits only for the pointer updates.
}

uint32_t LineQueue::Count() {
    CriticalSectionLock guard(lock_);
    return count_;
}

uint64_t LineQueue::QueuedBytes() {
    CriticalSectionLock guard(lock_);
    return queuedBytes_;
}

void LineQueue::Close() {
    Batch records;
    {
        CriticalSectionLock guard(lock_);
        closed_ = true;
        records.oldest = oldest_;
        oldest_ = nullptr;
        newest_ = nullptr;
        count_ = 0;
        queuedBytes_ = 0;
    }
}

void LineQueue::StartDocument() {
    Clear();
    {
        CriticalSectionLock guard(lock_);
        closed_ = false;
    }
    splitter_.Reset();
    delete previousLine_;
    previousLine_ = nullptr;
    delete currentLine_;
    currentLine_ = nullptr;
    bomMatched_ = 0;
    documentBytes_ = 0;
}

HRESULT LineQueue::AppendBytes(const uint8_t* bytes, uint32_t length) {
    return Append(bytes, length, length);
}

HRESULT LineQueue::Append(const uint8_t* bytes, uint32_t length, uint32_t counted) {
    if (bytes == nullptr || length == 0) {
        return E_INVALIDARG;
    }
    // A byte-order mark may arrive split over pieces: its bytes are matched as
    // they come and dropped; bytes that turn out not to be one go through.
    static constexpr uint8_t kBom[] = {0xEF, 0xBB, 0xBF};
    uint32_t skip = 0;
    uint32_t bomReplay = 0;
    while (bomMatched_ < 3 && skip < length && bytes[skip] == kBom[bomMatched_]) {
        ++bomMatched_;
        ++skip;
    }
    if (bomMatched_ < 3 && skip < length) {
        // Not a mark: what was taken for its start is data after all.
        bomReplay = bomMatched_;
        bomMatched_ = kBomDone;
    }
    if (bomMatched_ == 3) {
        bomMatched_ = kBomDone;
    }
    if (skip == length && bomMatched_ != kBomDone) {
        documentBytes_ += counted;
        return S_OK;
    }

    // The carry changes only once every line of the call is built.
    std::unique_ptr<LineSplitter> work(new (std::nothrow) LineSplitter(splitter_));
    if (work == nullptr) {
        return E_OUTOFMEMORY;
    }
    Batch batch;
    batch.fromDocument = true;
    // Bytes replayed from a mark that was none came just before this call's rest;
    // bytes not counted end the call, so a line they end ends where the document does.
    batch.fedFrom = documentBytes_ + skip - bomReplay;
    HRESULT result = work->Feed(kBom, bomReplay, batch);
    if (SUCCEEDED(result)) {
        batch.fedFrom = documentBytes_ + skip - (length - counted);
        result = work->Feed(bytes + skip, length - skip, batch);
    }
    if (FAILED(result)) {
        return result;
    }
    documentBytes_ += counted;
    if (!Splice(batch, true)) {
        // Closed: the document is over, and the line it was carrying with it.
        splitter_.Reset();
        return S_OK;
    }
    splitter_ = *work;
    return S_OK;
}

HRESULT LineQueue::FlushCarry() {
    if (!splitter_.Carrying()) {
        return S_OK;
    }
    // The line end is the queue's, not the document's.
    const uint8_t end = '\n';
    return Append(&end, 1, 0);
}

HRESULT LineQueue::SplitOwn(const uint8_t* bytes, uint32_t length, Batch& batch) {
    if (bytes == nullptr || length == 0) {
        return E_INVALIDARG;
    }
    std::unique_ptr<LineSplitter> own(new (std::nothrow) LineSplitter());
    if (own == nullptr) {
        return E_OUTOFMEMORY;
    }
    const uint8_t end = '\n';
    HRESULT result = own->Feed(bytes, length, batch);
    if (SUCCEEDED(result) && own->Carrying()) {
        result = own->Feed(&end, 1, batch);
    }
    return result;
}

HRESULT LineQueue::EnqueueLines(const uint8_t* bytes, uint32_t length) {
    Batch batch;
    const HRESULT result = SplitOwn(bytes, length, batch);
    if (FAILED(result)) {
        return result;
    }
    Splice(batch, false);
    return S_OK;
}

HRESULT LineQueue::EnqueueLinesFirst(const uint8_t* bytes, uint32_t length) {
    Batch batch;
    const HRESULT result = SplitOwn(bytes, length, batch);
    if (FAILED(result)) {
        return result;
    }
    for (LineRecord* line = batch.oldest; line != nullptr; line = line->newer_) {
        line->ahead_ = true;
    }
    SpliceAhead(batch);
    return S_OK;
}

void LineQueue::SpliceAhead(Batch& batch) {
    CriticalSectionLock guard(lock_);
    if (batch.oldest == nullptr) {
        return;
    }
    // After the lines queued ahead before these, before everything else.
    LineRecord* before = oldest_;
    while (before != nullptr && before->ahead_) {
        before = before->newer_;
    }
    LinkBefore(batch, before);
}

void LineQueue::LinkBefore(Batch& batch, LineRecord* before) {
    LineRecord* after = before != nullptr ? before->older_ : newest_;
    batch.oldest->older_ = after;
    batch.newest->newer_ = before;
    if (after != nullptr) {
        after->newer_ = batch.oldest;
    } else {
        oldest_ = batch.oldest;
    }
    if (before != nullptr) {
        before->older_ = batch.newest;
    } else {
        newest_ = batch.newest;
    }
    count_ += batch.count;
    queuedBytes_ += batch.bytes;
    batch.oldest = nullptr;
    batch.newest = nullptr;
    batch.count = 0;
    batch.bytes = 0;
}

bool LineQueue::NextIsAhead() {
    CriticalSectionLock guard(lock_);
    return oldest_ != nullptr && oldest_->ahead_;
}

HRESULT LineQueue::CopyOut(const LineRecord* line, LineRecord** record) {
    if (line == nullptr || line->bytes_ == nullptr) {
        return S_OK;
    }
    LineRecord* copy = new (std::nothrow) LineRecord();
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = copy->Assign(line->bytes_, line->length_);
    if (FAILED(result)) {
        delete copy;
        return result;
    }
    copy->documentEnd_ = line->documentEnd_;
    *record = copy;
    return S_OK;
}

HRESULT LineQueue::Advance(LineRecord** record) {
    delete previousLine_;
    previousLine_ = currentLine_;
    currentLine_ = nullptr;
    const HRESULT result = Dequeue(&currentLine_);
    if (FAILED(result)) {
        return result;
    }
    if (record == nullptr) {
        return S_OK;
    }
    return CopyOut(currentLine_, record);
}

bool LineQueue::AdvanceToCommand() {
    for (;;) {
        LineRecord* next = nullptr;
        Dequeue(&next);
        if (next == nullptr) {
            // Only lines without a command were left: the slots stay as they were.
            return false;
        }
        if (next->HasCommand()) {
            delete previousLine_;
            previousLine_ = currentLine_;
            currentLine_ = next;
            return true;
        }
        delete next;
    }
}

HRESULT LineQueue::CopyCurrent(LineRecord** record) {
    if (record == nullptr) {
        return E_INVALIDARG;
    }
    return CopyOut(currentLine_, record);
}

HRESULT LineQueue::CopyPrevious(LineRecord** record) {
    if (record == nullptr) {
        return E_INVALIDARG;
    }
    return CopyOut(previousLine_, record);
}

} // namespace vela
