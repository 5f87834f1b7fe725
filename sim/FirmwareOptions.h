// The knobs of the simulated text firmware and the counts it keeps. Every default
// gives the plain, quick firmware the serial tests were written against; each knob
// turns on one behaviour of real boards or one fault.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace vela::test {

// How the firmware words the acknowledgement of a line.
enum class OkFormat {
    Plain,       // "ok"
    LineNumber,  // "ok 17": the line acknowledged (the last accepted, when unnumbered)
    BufferState, // "ok N17 P13 B2": line, free planner slots, free command slots
};

struct FirmwareOptions {
    // --- Faults on the way in and out ---
    // A share of the numbered lines received (0 to 1) is taken as damaged.
    double corruptShare = 0.0;
    // Numbered lines taken as damaged the first time they arrive.
    std::set<int64_t> corruptLines;
    // Of the lines damaged by corruptShare, the share (0 to 1) whose damage draws
    // no word: half have their number damaged into the last accepted one (dropped
    // as a line already run), half their line end (held until more bytes come,
    // which then fail with it).
    double silentLossShare = 0.0;
    // Keep every line received and executed for the tests to read; a long
    // benchmark keeps only counts and a digest of the numbered commands.
    bool recordLines = true;
    // Numbered lines taken as damaged every time they arrive: a line the board
    // will never accept.
    std::set<int64_t> refuseLines;
    // Numbered lines ignored the first time they arrive, as if lost on the way in.
    std::set<int64_t> loseLines;
    uint32_t seed = 20260101;
    // The "ok" for these lines is never sent.
    std::set<int64_t> dropOkForLines;
    // The "ok" for these lines comes this many milliseconds late.
    std::map<int64_t, uint32_t> delayOkForLines;
    // A share of all reply bytes (0 to 1) is lost on the way.
    double dropReplyByteShare = 0.0;
    // Every reply waits this long before it goes out.
    uint32_t replyDelayMs = 0;
    // Before the "ok" of these numbered lines, this line: a host action the user
    // chose on the printer's screen ("//action:pause"), said at a known point.
    std::map<int64_t, std::string> sayBeforeOkOfLines;
    // An unsolicited "echo:" line after every n-th executed line (0: never).
    uint32_t echoEveryLines = 0;
    // One "echo:" line of this many bytes (not counting its end) after the first
    // executed line: line noise that goes on and on (0: none).
    uint32_t longEchoBytes = 0;
    // Whether an error's resend request is followed by "ok", and how late it comes.
    bool okAfterResend = true;
    uint32_t okAfterResendDelayMs = 0;
    // After the numbered line with this number has been executed and acknowledged,
    // "Error:Printer halted. kill() called!", then silence: every byte is ignored
    // until a reset (-1: never).
    int64_t haltAfterLine = -1;
    // Whether line numbers are checked. Without the check (firmware that takes
    // numbers as labels) every line with a good checksum is executed, whatever its
    // number, so a line the host sends again runs again.
    bool checkLineNumbers = true;

    // --- Replies ---
    OkFormat okFormat = OkFormat::Plain;
    // The planner's free slots that OkFormat::BufferState reports with no command
    // waiting; each command waiting in the command buffer takes one.
    uint32_t plannerSlots = 15;
    // While a long command (G4, M400) runs, "echo:busy: processing" this often.
    uint32_t busyIntervalMs = 2000;
    // M400 waits this long for moves still running before its "ok" (0: at once).
    uint32_t m400Ms = 0;
    // M109 and M190 heat this long (0: at once), sending a temperature line
    // "T:.. /.. B:.. /.. @:0 B@:0" every heatingReportMs and "echo:busy: processing"
    // every busyIntervalMs meanwhile. As on real boards, an unnumbered "M108" ends
    // the wait the moment it arrives; a numbered one waits its turn behind it.
    uint32_t heatingMs = 0;
    uint32_t heatingReportMs = 1000;
    // A temperature line without "ok" this often, on the firmware's own initiative,
    // between other reply lines (0: never; boards with auto-report use 2000).
    uint32_t temperatureReportMs = 0;
    // "M115" tells "Cap:AUTOREPORT_TEMP:1": "M155 S<n>" then sets the interval
    // above (seconds; S0 stops), its reports set off with a space as such boards
    // print them.
    bool autoReportCapable = false;

    // --- Resets ---
    // Whether the board resets when the host opens its port (SimulatedFirmware::
    // HostOpened); every reset loses all input for bootMs, then prints "start" and
    // a banner, with the line counter back to 0. Without a reset, the counter
    // persists across opens: only M110 or a reset sets it.
    bool resetOnHostOpen = false;
    uint32_t bootMs = 1500;

    // --- The link ---
    // Pacing of a real link: bytes a second each way (0: none) and time per command.
    uint32_t bytesPerSecond = 0;
    uint32_t commandMicroseconds = 0;
    // Look for further lines already sent before each "ok" (costs a device query).
    bool trackLinesInFlight = true;
    // The receive side of a real board: each direction paced on its own, received
    // bytes in a ring of receiveBufferBytes (bytes arriving while it is full are
    // lost), lines taken from it into commandSlots command slots while one is free,
    // each "ok" sent when its command has been executed. A refused line empties the
    // ring, which cuts the line on its way: the rest of it arrives without its "N"
    // and runs unchecked, as on real boards. Without bytesPerSecond, bytes arrive
    // the moment they are read. Delays lengthen the command.
    bool faithfulReceive = false;
    uint32_t receiveBufferBytes = 128;
    uint32_t commandSlots = 4;

    // --- The line's speed ---
    // The speed the board talks at (0: any). While the host's end of the line is
    // set to another (hostBaudRate), what the board receives is noise to it: it
    // runs nothing and answers each line with a line of noise (text with every
    // byte's top bit set), never clean text.
    uint32_t baudRate = 0;
    std::function<uint32_t()> hostBaudRate;
};

struct FirmwareStats {
    uint32_t checksumErrors = 0;
    uint32_t sequenceErrors = 0;
    uint32_t duplicatesDropped = 0;
    uint32_t linesLost = 0;
    // Damaged lines that drew no word: dropped as a repeat, or held for their end.
    uint32_t silentlyDropped = 0;
    uint32_t heldForTheirEnd = 0;
    // The longest real time between two numbered lines run, and how many such
    // gaps were over a second (a long command's own time included).
    uint32_t longestGapMs = 0;
    uint32_t gapsOverSecond = 0;
    uint32_t resendRequests = 0;
    uint32_t unnumberedExecuted = 0;
    uint32_t maxLinesInFlight = 0;
    // Numbered lines received again, undamaged, after the firmware had accepted
    // them (numbered at or below the last accepted, no M110 between).
    uint32_t acceptedLinesSentAgain = 0;
    // Numbered lines executed again under a number already executed, with no
    // M110 or reset between.
    uint32_t linesExecutedTwice = 0;
    // Lines cut by an error's flush of the receive buffer whose rest, arriving
    // without its number, ran unchecked (the line runs again whole if sent again).
    uint32_t cutLinesRun = 0;
    // Received lines that lost at least one byte to a full receive buffer, and the
    // bytes lost.
    uint32_t linesLostToOverflow = 0;
    uint32_t bytesLostToOverflow = 0;
    // The most bytes the receive buffer held.
    uint32_t maxReceiveBufferBytes = 0;
    uint32_t resets = 0;
    // Heating waits an unnumbered "M108" ended early.
    uint32_t heatingWaitsBroken = 0;
    // The "ok"s of numbered lines, the greeting's included, counted as they go out
    // (line by line).
    uint32_t numberedLinesAcknowledged = 0;
};

} // namespace vela::test
