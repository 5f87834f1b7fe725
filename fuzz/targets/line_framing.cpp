// G-code line framing: any line, any number and any output capacity. A framed line
// must read back as "N<number> <line> *<checksum>\n" with a checksum that the
// firmware would accept, and fit the capacity with its NUL.
#include "FuzzInput.h"
#include "serial/LineFraming.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    const auto number = static_cast<int32_t>(input.Dword());
    const uint32_t capacity = input.Below(vela::kWriteBufferSize + 16);
    const std::vector<uint8_t> line = input.Bytes(input.Remaining());
    const auto length = static_cast<uint32_t>(line.size());
    std::unique_ptr<uint8_t[]> lineCopy(new uint8_t[length == 0 ? 1 : length]);
    if (length > 0) {
        std::memcpy(lineCopy.get(), line.data(), length);
    }
    const uint8_t* at = length == 0 ? nullptr : lineCopy.get();
    std::unique_ptr<uint8_t[]> out(new uint8_t[capacity == 0 ? 1 : capacity]);

    fuzz::Check(vela::BeginsWithN0(at, length) ==
                    (length >= 2 && (line[0] == 'N' || line[0] == 'n') && line[1] == '0'),
                "N0 test");
    const std::string head = "N" + std::to_string(number) + " ";
    uint32_t framedLength = 0;
    if (!vela::FrameLine(number, at, length, out.get(), capacity, &framedLength)) {
        // The head, the line without its end, " *", up to three digits, "\n", NUL.
        fuzz::Check(length == 0 || capacity < head.size() + (length - 1) + 2 + 3 + 2,
                    "a line that fits was refused");
        return 0;
    }
    fuzz::Check(length > 0 && framedLength < capacity && out[framedLength] == '\0',
                "framed line and its NUL fit");
    const std::string framed(reinterpret_cast<const char*>(out.get()), framedLength);
    fuzz::Check(framed.compare(0, head.size(), head) == 0, "number");
    fuzz::Check(framed.compare(head.size(), length - 1, reinterpret_cast<const char*>(line.data()),
                               length - 1) == 0,
                "line body");
    const size_t star = head.size() + length - 1 + 1;
    fuzz::Check(framed[star - 1] == ' ' && framed[star] == '*' && framed.back() == '\n',
                "line end");
    const std::string digits = framed.substr(star + 1, framed.size() - star - 2);
    fuzz::Check(!digits.empty() && digits.size() <= 3 &&
                    digits.find_first_not_of("0123456789") == std::string::npos,
                "checksum digits");
    const unsigned long checksum = std::strtoul(digits.c_str(), nullptr, 10);
    fuzz::Check(checksum == vela::LineChecksum(out.get(), static_cast<uint32_t>(star)),
                "checksum covers everything before '*'");
    return 0;
}
