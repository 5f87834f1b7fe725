// What the firmware's reply lines mean, independent of where they came from.
#pragma once

#include <cstdint>
#include <string>

namespace vela {

enum class ReplyKind { Wait, Ok, Echo, Temperature, Error, Resend, Other };

// The first matching keyword at the start of the line, ignoring case, in the
// order "wait", "ok", "echo:", "t:", "error", "resend".
ReplyKind ClassifyReply(const uint8_t* line, uint32_t length);

// The line number a "resend" reply asks for: the digits after the keyword, an
// optional ':' and any spaces ("Resend:12", "Resend: 12"), at most 15 of them.
// False when there is no digit there.
bool ParseResendNumber(const uint8_t* line, uint32_t length, int64_t* number);

// The answer to the temperature poke: "ok T:" at the start, ignoring case.
bool IsTemperatureReport(const uint8_t* line, uint32_t length);

// The latest readings of a temperature report, in tenths of a degree Celsius.
struct TemperatureReading {
    bool hotEndKnown = false;
    bool bedKnown = false;
    int32_t hotEndTenths = 0;
    int32_t bedTenths = 0;
};

// A temperature report ("T:210.0 /210.0 B:60.0 /60.0 @:0 B@:0", or the same after
// "ok"): the numbers after "T:" and "B:" where each begins a word, ignoring case.
// False, with *reading untouched, when the line is no report or has neither.
bool ParseTemperatures(const uint8_t* line, uint32_t length, TemperatureReading* reading);

// The numbers an "ok" may carry: "ok <n>", or "ok N<n> P<p> B<b>" (the line
// acknowledged, the planner's and the command buffer's free slots). -1 where the
// line does not carry one; tokens of other shapes ("T:210", "B:60") are no numbers.
struct OkNumbers {
    int64_t line = -1;
    int64_t freeSlots = -1;
};
OkNumbers ParseOkNumbers(const uint8_t* line, uint32_t length);

// Printable ASCII and tabs up to the line's end: what firmware says at the speed
// it talks at. At another speed its bytes arrive as noise, which is never clean.
bool IsCleanLine(const uint8_t* line, uint32_t length);

// What the user did on the printer's own screen: "//action:cancel", "pause",
// "paused", "resume", "resumed". Other "//action:" lines are Other; none of them
// answers a line.
enum class PrinterAction { None, Cancel, Pause, Resume, Other };
PrinterAction ParsePrinterAction(const uint8_t* line, uint32_t length);

// What "M115" told of the firmware: its name and version, and whether it reports
// temperatures on its own ("Cap:AUTOREPORT_TEMP:1").
constexpr size_t kFirmwareNameChars = 96;
struct FirmwareIdentity {
    bool named = false;
    bool autoReportsTemperatures = false;
    char name[kFirmwareNameChars] = {};
};
// Takes a line of the "M115" answer: "FIRMWARE_NAME:" and the name with its version
// (up to the next field, printable ASCII, cut to fit), or "Cap:AUTOREPORT_TEMP:1".
void NoteFirmwareLine(const uint8_t* line, uint32_t length, FirmwareIdentity* identity);

// A firmware that has just booted says "start" on a line of its own.
bool IsRestartNotice(const uint8_t* line, uint32_t length);
// "Error:Printer halted..." or any line that mentions "kill()": the firmware has
// stopped and executes nothing more until it is reset.
bool IsHaltNotice(const uint8_t* line, uint32_t length);
// "echo:busy: ..." or "busy: ...": a long command is still running.
bool IsBusyNotice(const uint8_t* line, uint32_t length);

// The text the debugger output receives for a reply: the line without its final
// byte (its end), then "\n".
std::string DebuggerText(const uint8_t* line, uint32_t length);

// Line noise may never end a line; the reply queue would then carry it for ever.
constexpr uint32_t kMaxReplyLineLength = 4096;

// Joins reply bytes, read in pieces of any size, into lines without allocating.
// A line is handed out the moment its '\n' arrives. Carriage returns and NUL
// bytes are dropped, and so are the bytes of a line beyond kMaxReplyLineLength:
// noise that never ends a line cannot grow anything.
class ReplyLineAssembler {
  public:
    // Takes bytes up to the end of the next line. Returns the bytes taken; *line
    // receives the complete line (with its '\n', valid until the next call) or
    // nullptr when the bytes ended first.
    uint32_t Take(const uint8_t* bytes, uint32_t length, const uint8_t** line,
                  uint32_t* lineLength);
    // True while the bytes taken ended inside a line.
    bool Partial() const { return !complete_ && length_ > 0; }
    // Drops a line begun.
    void Clear() {
        length_ = 0;
        complete_ = false;
    }

  private:
    uint8_t line_[kMaxReplyLineLength + 1] = {};
    uint32_t length_ = 0;
    bool complete_ = false;
};

} // namespace vela
