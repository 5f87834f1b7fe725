#include "serial/LineQueue.h"

#include "platform/Handles.h"

#include <cstring>
#include <memory>
#include <new>

namespace vela {
namespace {

bool EndsLineContent(uint8_t byte) {
    return byte == '(' || byte == ';' || byte == '\r';
}

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
    Splice(batch);
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

void LineQueue::Splice(Batch& batch) {
    if (batch.oldest == nullptr) {
        return;
    }
    CriticalSectionLock guard(lock_);
    batch.oldest->older_ = newest_;
    if (newest_ != nullptr) {
        newest_->newer_ = batch.oldest;
    } else {
        oldest_ = batch.oldest;
    }
    newest_ = batch.newest;
    count_ += batch.count;
    queuedBytes_ += batch.bytes;
    batch.oldest = nullptr;
    batch.newest = nullptr;
    batch.count = 0;
    batch.bytes = 0;
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

void LineQueue::StartDocument() {
    Clear();
    ReleaseCarry();
    delete previousLine_;
    previousLine_ = nullptr;
    delete currentLine_;
    currentLine_ = nullptr;
    bomMatched_ = 0;
}

HRESULT LineQueue::StoreLine(const uint8_t* line, uint32_t length, Batch& batch) {
    // The line's content ends at a comment, a carriage return or its end; NUL
    // bytes inside it are dropped.
    uint32_t kept = 0;
    uint32_t contentEnd = length;
    for (uint32_t i = 0; i < length; ++i) {
        if (EndsLineContent(line[i])) {
            contentEnd = i;
            break;
        }
        kept += line[i] != '\0' ? 1 : 0;
    }
    if (contentEnd == 0) {
        return S_OK;
    }
    const bool cut = contentEnd < length;
    if (cut) {
        ++kept; // the cut bytes are replaced by one '\n'
    }
    if (kept == 0) {
        return S_OK;
    }
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[kept]);
    std::unique_ptr<LineRecord> record(new (std::nothrow) LineRecord());
    if (copy == nullptr || record == nullptr) {
        return E_OUTOFMEMORY;
    }
    uint32_t position = 0;
    for (uint32_t i = 0; i < contentEnd; ++i) {
        if (line[i] != '\0') {
            copy[position++] = line[i];
        }
    }
    if (cut) {
        copy[position++] = '\n';
    }
    record->bytes_ = copy.release();
    record->length_ = position;
    batch.Add(record.release());
    return S_OK;
}

void LineQueue::ReleaseCarry() {
    delete[] carryBytes_;
    carryBytes_ = nullptr;
    carryLength_ = 0;
}

HRESULT LineQueue::AppendBytes(const uint8_t* bytes, uint32_t length) {
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
        return S_OK;
    }

    const uint64_t total = static_cast<uint64_t>(carryLength_) + bomReplay + (length - skip);
    if (total > 0xFFFFFFFFu) {
        return E_OUTOFMEMORY;
    }
    std::unique_ptr<uint8_t[]> joined;
    const uint8_t* data = bytes + skip;
    if (carryLength_ != 0 || bomReplay != 0) {
        joined.reset(new (std::nothrow) uint8_t[static_cast<size_t>(total)]);
        if (joined == nullptr) {
            return E_OUTOFMEMORY;
        }
        if (carryLength_ != 0) {
            std::memcpy(joined.get(), carryBytes_, carryLength_);
        }
        std::memcpy(joined.get() + carryLength_, kBom, bomReplay);
        std::memcpy(joined.get() + carryLength_ + bomReplay, bytes + skip, length - skip);
        data = joined.get();
    }

    Batch batch;
    uint64_t start = 0;
    while (start < total) {
        const void* found = std::memchr(data + start, '\n', static_cast<size_t>(total - start));
        if (found == nullptr) {
            break;
        }
        const uint64_t end = static_cast<const uint8_t*>(found) - data;
        const HRESULT result =
            StoreLine(data + start, static_cast<uint32_t>(end - start + 1), batch);
        if (FAILED(result)) {
            return result;
        }
        start = end + 1;
    }
    uint8_t* carry = nullptr;
    const uint32_t carryLength = static_cast<uint32_t>(total - start);
    if (carryLength != 0) {
        carry = new (std::nothrow) uint8_t[carryLength];
        if (carry == nullptr) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(carry, data + start, carryLength);
    }
    ReleaseCarry();
    carryBytes_ = carry;
    carryLength_ = carryLength;
    Splice(batch);
    return S_OK;
}

HRESULT LineQueue::FlushCarry() {
    if (carryLength_ == 0) {
        return S_OK;
    }
    const uint8_t end = '\n';
    return AppendBytes(&end, 1);
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
