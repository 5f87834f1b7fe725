// Reads a fuzz input as a sequence of choices and byte runs; past its end every
// read yields zeros, so a target never needs to check the remaining length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <vector>

namespace fuzz {

class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return position_ >= size_; }
    size_t Remaining() const { return size_ - position_; }

    uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
    uint32_t Dword() {
        return static_cast<uint32_t>(Word()) | (static_cast<uint32_t>(Word()) << 16);
    }
    // A value from 0 to limit - 1.
    uint32_t Below(uint32_t limit) { return limit == 0 ? 0 : Dword() % limit; }

    // Up to count bytes, fewer at the end of the input.
    std::vector<uint8_t> Bytes(size_t count) {
        const size_t taken = count < Remaining() ? count : Remaining();
        std::vector<uint8_t> bytes(data_ + position_, data_ + position_ + taken);
        position_ += taken;
        return bytes;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// A broken invariant: report it and abort, which libFuzzer records as a finding.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline void Check(bool holds, const char* what) {
    if (!holds) {
        Fail(what);
    }
}

} // namespace fuzz
