#include "protocol/LineQueue.h"

#include "platform/Handles.h"

#include <cstring>
#include <new>

namespace vela {
namespace {

bool EndsLineContent(uint8_t byte) {
    return byte == '(' || byte == ';' || byte == '\r';
}

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
    ReleaseCarry();
    delete previousLine_;
    delete currentLine_;
    Clear();
    ::DeleteCriticalSection(&lock_);
}

HRESULT LineQueue::Enqueue(LineRecord* record) {
    if (record == nullptr) {
        return E_INVALIDARG;
    }
    CriticalSectionLock guard(lock_);
    record->older_ = newest_;
    record->newer_ = nullptr;
    if (newest_ != nullptr) {
        newest_->newer_ = record;
    }
    newest_ = record;
    if (oldest_ == nullptr) {
        oldest_ = record;
    }
    ++count_;
    return S_OK;
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
    return S_OK;
}

void LineQueue::Clear() {
    LineRecord* records = nullptr;
    {
        CriticalSectionLock guard(lock_);
        records = oldest_;
        oldest_ = nullptr;
        newest_ = nullptr;
        count_ = 0;
    }
    // Released outside the lock: a producer waits only for the pointer updates.
    while (records != nullptr) {
        LineRecord* next = records->newer_;
        delete records;
        records = next;
    }
}

uint32_t LineQueue::Count() {
    CriticalSectionLock guard(lock_);
    return count_;
}

HRESULT LineQueue::StoreLine(const uint8_t* line, uint32_t length) {
    if (EndsLineContent(line[0])) {
        return S_OK;
    }
    uint32_t kept = length;
    for (uint32_t i = 0; i < length; ++i) {
        if (EndsLineContent(line[i])) {
            kept = i + 1; // the cut bytes are replaced by one '\n'
            break;
        }
    }
    LineRecord* record = new (std::nothrow) LineRecord();
    if (record == nullptr) {
        return E_OUTOFMEMORY;
    }
    HRESULT result = S_OK;
    if (kept == length) {
        result = record->Assign(line, length);
    } else {
        uint8_t* cut = new (std::nothrow) uint8_t[kept];
        if (cut == nullptr) {
            delete record;
            return E_OUTOFMEMORY;
        }
        std::memcpy(cut, line, kept - 1);
        cut[kept - 1] = '\n';
        result = record->Assign(cut, kept);
        delete[] cut;
    }
    if (FAILED(result)) {
        delete record;
        return result;
    }
    return Enqueue(record);
}

HRESULT LineQueue::SetCarry(const uint8_t* bytes, uint32_t length) {
    carryBytes_ = new (std::nothrow) uint8_t[length];
    if (carryBytes_ == nullptr) {
        carryLength_ = 0;
        return E_OUTOFMEMORY;
    }
    std::memcpy(carryBytes_, bytes, length);
    carryLength_ = length;
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
    const uint8_t* data = bytes;
    uint64_t dataLength = length;
    uint8_t* working = nullptr;
    if (carryLength_ != 0) {
        const uint64_t total = static_cast<uint64_t>(carryLength_) + length;
        if (total > 0xFFFFFFFFu) {
            return E_OUTOFMEMORY;
        }
        working = new (std::nothrow) uint8_t[static_cast<size_t>(total)];
        if (working == nullptr) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(working, carryBytes_, carryLength_);
        std::memcpy(working + carryLength_, bytes, length);
        data = working;
        dataLength = total;
        ReleaseCarry();
    }

    HRESULT result = S_OK;
    uint64_t start = 0;
    while (start < dataLength) {
        const void* found =
            std::memchr(data + start, '\n', static_cast<size_t>(dataLength - start));
        if (found == nullptr) {
            result = SetCarry(data + start, static_cast<uint32_t>(dataLength - start));
            break;
        }
        const uint64_t end = static_cast<const uint8_t*>(found) - data;
        result = StoreLine(data + start, static_cast<uint32_t>(end - start + 1));
        if (FAILED(result)) {
            break;
        }
        start = end + 1;
    }
    delete[] working;
    return result;
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
