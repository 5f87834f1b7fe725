#include "serial/LineSplitter.h"

namespace vela {

HRESULT LineSplitter::Feed(const uint8_t* bytes, uint32_t length, LineSink& sink) {
    for (uint32_t index = 0; index < length; ++index) {
        const uint8_t byte = bytes[index];
        if (afterCarriageReturn_) {
            afterCarriageReturn_ = false;
            if (byte == '\n') {
                continue;
            }
        }
        if (byte == '\n' || byte == '\r') {
            const HRESULT result = EndLine(byte == '\n', index + 1, sink);
            if (FAILED(result)) {
                return result;
            }
            afterCarriageReturn_ = byte == '\r';
            continue;
        }
        started_ = true;
        if (inComment_ || byte == '\0') {
            continue;
        }
        if (byte == ';' || byte == '(') {
            inComment_ = true;
            continue;
        }
        if (keptLength_ < kMaxLineBytes) {
            kept_[keptLength_++] = byte;
        }
        if (contentLength_ < 0xFFFFFFFEu) {
            ++contentLength_;
        }
    }
    return S_OK;
}

HRESULT LineSplitter::EndLine(bool byLineFeed, uint32_t fedThrough, LineSink& sink) {
    HRESULT result = S_OK;
    if (contentLength_ > kMaxLineBytes) {
        result = sink.Line(kept_, keptLength_, contentLength_ + 1, fedThrough);
    } else if (contentLength_ > 0 || (byLineFeed && !inComment_)) {
        // A line of nothing but its '\n' stays a line; one that began with a
        // comment, or a bare CR, is nothing.
        result = sink.Line(kept_, keptLength_, 0, fedThrough);
    }
    keptLength_ = 0;
    contentLength_ = 0;
    started_ = false;
    inComment_ = false;
    return result;
}

} // namespace vela
