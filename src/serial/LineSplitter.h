// Splits a byte stream, fed in pieces of any size, into G-code lines without
// comments. A line ends at '\n', or at a '\r' (a CR LF pair is one end, also when
// the pair is split between pieces); from its first ';' or '(' to its end is a
// comment; NUL bytes are dropped. The partial line carried between pieces never
// holds more than kMaxLineBytes: the rest of a longer line is counted, not kept.
#pragma once

#include "platform/Win32Headers.h"

#include <cstdint>

namespace vela {

// No framed line holds more than this (the write buffer's size): a line this
// long or longer is never sent.
constexpr uint32_t kMaxLineBytes = 1024;

class LineSink {
  public:
    virtual ~LineSink() = default;
    // A complete line: its content, without its end (length may be 0 for a line
    // that was only a '\n'). overLongLength is 0, or the length the line would
    // have had when its content was longer than kMaxLineBytes: then the content
    // is only its start and the line is not to be sent. fedThrough counts the
    // bytes of this Feed call up to the line's end, the end included.
    virtual HRESULT Line(const uint8_t* content, uint32_t length, uint32_t overLongLength,
                         uint32_t fedThrough) = 0;
};

class LineSplitter {
  public:
    // Splits the bytes; each complete line goes to the sink. Stops at the first
    // line the sink refuses and returns its code; the splitter's state is then
    // undefined (the caller keeps a copy to go back to).
    HRESULT Feed(const uint8_t* bytes, uint32_t length, LineSink& sink);
    // Part of a line has come without its end.
    bool Carrying() const { return started_; }
    // Forgets the partial line and any pending CR.
    void Reset() { *this = LineSplitter(); }

  private:
    HRESULT EndLine(bool byLineFeed, uint32_t fedThrough, LineSink& sink);

    uint8_t kept_[kMaxLineBytes] = {};
    uint32_t keptLength_ = 0;
    // Content bytes of the line so far, kept or not (saturates).
    uint32_t contentLength_ = 0;
    bool started_ = false;
    bool inComment_ = false;
    // The last line ended at a CR: a '\n' right after it ends nothing.
    bool afterCarriageReturn_ = false;
};

} // namespace vela
