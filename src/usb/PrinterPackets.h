// The printer's request packets and the reading of its replies, as pure byte-level
// functions: nothing here talks to the printer.
#pragma once

#include <cstdint>

namespace vela {

// One job record, opaque to the monitor.
constexpr uint32_t kPrintCommandSize = 20;
// Records travel in groups of at most three, each group behind "/" and its size.
constexpr uint32_t kRecordsPerGroup = 3;
// The largest request and the largest reply the printer handles.
constexpr uint32_t kMaxPacketSize = 4096;
// Text fields of the information block: 63 characters and the terminator.
constexpr uint32_t kTextFieldSize = 64;

// Request codes: the first byte of every request.
namespace request {
constexpr uint8_t kFreeCapacity = 'F';
constexpr uint8_t kReadParameter = 'v';
constexpr uint8_t kWriteParameter = 'V';
constexpr uint8_t kRecords = '/';
constexpr uint8_t kClear = 'c';
constexpr uint8_t kLoad = 'L';
constexpr uint8_t kLine = 'l';
constexpr uint8_t kExecute = 'X';
constexpr uint8_t kStopMotor = 's';
constexpr uint8_t kStopAll = 'S';
constexpr uint8_t kJog = 'j';
constexpr uint8_t kPosition = 'p';
constexpr uint8_t kStatusBlock = 'R';
} // namespace request

// A request of fixed, small size (every request except the record packet).
struct SmallRequest {
    uint8_t bytes[10];
    int32_t length;
};

SmallRequest CodeRequest(uint8_t code);
// The digit goes out as the character '0' + digit.
SmallRequest DigitRequest(uint8_t code, int32_t digit);
SmallRequest ReadParameterRequest(uint8_t id);
SmallRequest WriteParameterRequest(uint8_t id, int32_t value);
SmallRequest WriteFloatParameterRequest(uint8_t id, float value);
SmallRequest LineRequest(uint8_t a, uint8_t b);
SmallRequest JogRequest(uint8_t axis, float a, float b);
SmallRequest StatusBlockRequest();

// Size of the record packet for count records: two bytes per group of three.
uint32_t RecordPacketLength(uint32_t count);
// Builds the record packet into packet; 0 when count is 0 or it does not fit.
uint32_t BuildRecordPacket(uint8_t* packet, uint32_t capacity, const uint8_t* records,
                           uint32_t count);

// Replaces the low bytes of value with the bytes that arrived (at most four,
// little-endian); bytes that did not arrive keep their old value.
int32_t OverlayLittleEndian(int32_t value, const uint8_t* bytes, uint32_t length);
// Word index of a packet, little-endian. Bytes beyond the packet's end read as 0,
// never as leftovers of an earlier, longer packet.
int32_t IntegerWord(const uint8_t* packet, uint32_t length, uint32_t index);
float FloatWord(const uint8_t* packet, uint32_t length, uint32_t index);
// The position in a "p" reply: the four bytes that start five bytes before the
// end. 0 for a reply too short to hold them.
int32_t PositionFromReply(const uint8_t* reply, uint32_t length);
// A text packet as a terminated string; a longer text is cut to 63 characters.
void CopyReplyText(char (&text)[kTextFieldSize], const uint8_t* packet, uint32_t length);

} // namespace vela
