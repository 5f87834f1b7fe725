#include "serial/LineFraming.h"

#include <cstring>

namespace vela {
namespace {

// Decimal digits of value, most significant first; returns their count.
uint32_t FormatDecimal(int64_t value, char* digits) {
    char reversed[24];
    uint32_t count = 0;
    const bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    uint32_t written = 0;
    if (negative) {
        digits[written++] = '-';
    }
    while (count > 0) {
        digits[written++] = reversed[--count];
    }
    return written;
}

bool IsSpace(uint8_t byte) {
    return byte == ' ' || byte == '\t';
}

bool IsDigitByte(uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

// Reads an "N<digits>" word at position; advances past it. False when there is none.
bool ReadNumberWord(const uint8_t* line, uint32_t length, uint32_t& position, int64_t* value) {
    constexpr int kMaxDigits = 15;
    if (position >= length || (line[position] != 'N' && line[position] != 'n') ||
        position + 1 >= length || !IsDigitByte(line[position + 1])) {
        return false;
    }
    ++position;
    int64_t number = 0;
    for (int digits = 0; position < length && IsDigitByte(line[position]); ++position, ++digits) {
        if (digits < kMaxDigits) {
            number = number * 10 + (line[position] - '0');
        }
    }
    *value = number;
    return true;
}

} // namespace

bool IsLongCommand(const uint8_t* line, uint32_t length) {
    struct Command {
        char letter;
        int number;
    };
    static constexpr Command kLong[] = {
        {'G', 4},   {'G', 28},  {'G', 29},  {'G', 30},  {'G', 33},  {'G', 34},
        {'G', 35},  {'G', 76},  {'G', 425}, {'M', 0},   {'M', 1},   {'M', 48},
        {'M', 109}, {'M', 116}, {'M', 190}, {'M', 191}, {'M', 226}, {'M', 303},
        {'M', 400}, {'M', 600}, {'M', 701}, {'M', 702},
    };
    if (line == nullptr) {
        return false;
    }
    uint32_t position = 0;
    while (position < length && IsSpace(line[position])) {
        ++position;
    }
    int64_t own = 0;
    if (ReadNumberWord(line, length, position, &own)) {
        while (position < length && IsSpace(line[position])) {
            ++position;
        }
    }
    if (position + 1 >= length || !IsDigitByte(line[position + 1])) {
        return false;
    }
    const char letter = static_cast<char>(line[position] & ~0x20);
    int number = 0;
    for (++position; position < length && IsDigitByte(line[position]) && number < 10000;
         ++position) {
        number = number * 10 + (line[position] - '0');
    }
    // "G28.1" or "G280" is another command.
    if (position < length && (IsDigitByte(line[position]) || line[position] == '.')) {
        return false;
    }
    for (const Command& command : kLong) {
        if (command.letter == letter && command.number == number) {
            return true;
        }
    }
    return false;
}

int64_t CounterSetBy(const uint8_t* line, uint32_t length) {
    if (line == nullptr) {
        return -1;
    }
    uint32_t position = 0;
    while (position < length && IsSpace(line[position])) {
        ++position;
    }
    int64_t own = -1;
    if (ReadNumberWord(line, length, position, &own)) {
        while (position < length && IsSpace(line[position])) {
            ++position;
        }
    }
    if (position + 4 > length || (line[position] != 'M' && line[position] != 'm') ||
        line[position + 1] != '1' || line[position + 2] != '1' || line[position + 3] != '0' ||
        (position + 4 < length && IsDigitByte(line[position + 4]))) {
        return -1;
    }
    position += 4;
    while (position < length && line[position] != '*' && line[position] != ';') {
        int64_t parameter = 0;
        if (IsSpace(line[position - 1]) && ReadNumberWord(line, length, position, &parameter)) {
            return parameter;
        }
        ++position;
    }
    return own;
}

uint8_t LineChecksum(const uint8_t* bytes, uint32_t length) {
    uint8_t checksum = 0;
    for (uint32_t index = 0; index < length; ++index) {
        checksum = static_cast<uint8_t>(checksum ^ bytes[index]);
    }
    return checksum;
}

bool BeginsWithN0(const uint8_t* line, uint32_t length) {
    return line != nullptr && length >= 2 && (line[0] == 'N' || line[0] == 'n') && line[1] == '0';
}

bool FrameLine(int32_t number, const uint8_t* line, uint32_t length, uint8_t* out,
               uint32_t capacity, uint32_t* framedLength) {
    if (line == nullptr || length == 0 || out == nullptr || framedLength == nullptr) {
        return false;
    }
    char numberDigits[24];
    const uint32_t numberLength = FormatDecimal(number, numberDigits);
    // The checksum covers "N", the number, a space, the line without its end and
    // the space that takes the end's place.
    uint8_t checksum = static_cast<uint8_t>('N' ^ ' ' ^ ' ');
    checksum ^= LineChecksum(reinterpret_cast<const uint8_t*>(numberDigits), numberLength);
    checksum ^= LineChecksum(line, length - 1);
    char checksumDigits[4];
    const uint32_t checksumLength = FormatDecimal(checksum, checksumDigits);
    // ... then "*", the checksum, "\n" and the NUL.
    const uint64_t needed = 1ull + numberLength + 1 + (length - 1) + 1 + 1 + checksumLength + 1 + 1;
    if (needed > capacity) {
        return false;
    }
    uint32_t position = 0;
    out[position++] = 'N';
    std::memcpy(out + position, numberDigits, numberLength);
    position += numberLength;
    out[position++] = ' ';
    std::memcpy(out + position, line, length - 1);
    position += length - 1;
    out[position++] = ' ';
    out[position++] = '*';
    std::memcpy(out + position, checksumDigits, checksumLength);
    position += checksumLength;
    out[position++] = '\n';
    out[position] = '\0';
    *framedLength = position;
    return true;
}

} // namespace vela
