// A serial port's settings and the rules every value obeys, wherever it comes
// from: the port screen, the host program, a transceive command or the registry.
// Pure logic, shared by the monitor and the port configuration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vela {

// Bytes of unacknowledged lines a port keeps out at once; 0 sends one line at a time.
constexpr uint32_t kMaxStreamWindowBytes = 4096;
// The speed the serial handler finds for itself.
constexpr uint32_t kAutomaticBaudRate = 0;
// The speeds a port may be set to, ascending: the UART rates that common printer
// firmware offers.
constexpr uint32_t kStandardBaudRates[] = {9600,   19200,  38400,  57600,  115200,
                                           230400, 250000, 500000, 1000000};
// A G-code line of a cancel, pause or resume list, and the lines of one list.
constexpr size_t kMaxGcodeLineLength = 255;
constexpr size_t kMaxGcodeLines = 32;

enum class GcodeList { Cancel, Pause, Resume };

struct PortSettings {
    uint32_t streamWindow = 0;
    // The port has a "StreamWindow" value of its own.
    bool streamWindowStored = false;
    uint32_t baudRate = kAutomaticBaudRate;
    // On automatic, the speed the printer answered at last (0: none yet).
    uint32_t detectedBaudRate = 0;
    std::vector<std::string> cancelLines;
    std::vector<std::string> pauseLines;
    std::vector<std::string> resumeLines;
};

// What a change sets; a setting without a value stays as it is. An empty list of
// lines removes the port's own list: cancel falls back to the monitor-wide lines,
// then the default ones; pause and resume send nothing.
struct PortSettingsChange {
    std::optional<uint32_t> streamWindow;
    std::optional<uint32_t> baudRate;
    // Written by the monitor only, never by a settings change from outside.
    std::optional<uint32_t> detectedBaudRate;
    std::optional<std::vector<std::string>> cancelLines;
    std::optional<std::vector<std::string>> pauseLines;
    std::optional<std::vector<std::string>> resumeLines;

    bool Empty() const {
        return !streamWindow && !baudRate && !detectedBaudRate && !cancelLines && !pauseLines &&
               !resumeLines;
    }
};

// Heaters, fan and motors off; "M108" first ends a heating wait on firmware that
// reads it at once.
std::vector<std::string> DefaultCancelLines();

// Why each value cannot be stored, for the user; empty when it can.
std::wstring StreamWindowProblem(uint32_t bytes);
std::wstring BaudRateProblem(uint32_t rate);
// Each line: 1 to 255 characters of printable ASCII, without '*', which would
// end the line's text where the monitor's checksum begins.
std::wstring GcodeLinesProblem(GcodeList list, const std::vector<std::string>& lines);
// The first problem among the values the change sets.
std::wstring SettingsChangeProblem(const PortSettingsChange& change);

// Each UTF-16 unit as one byte: printable ASCII stays, anything else becomes a
// character that the line rule refuses.
std::string NarrowGcode(const std::wstring& text);

} // namespace vela
