// The host program's command line, parsed without touching anything else, so that
// every subcommand's options are checked before the monitor is loaded.
#pragma once

#include "core/PortSettings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vela::host {

enum class Command {
    Help,
    PrintUsb,
    PrintSerial,
    MakeJob,
    Install,
    Uninstall,
    Ports,
    PortAdd,
    PortSetSerial,
    PortSet,
    PortDelete,
};

constexpr uint32_t kDefaultPieceSize = 4096;
constexpr uint32_t kMaxPieceSize = 16u * 1024u * 1024u;
constexpr double kDefaultPrintSeconds = 3.0;
constexpr double kMaxPrintSeconds = 3600.0;
constexpr int32_t kMaxJobRecords = 10000000;

struct HostArguments {
    Command command = Command::Help;
    // print: the job or G-code file; make-job: the file written.
    std::wstring path;
    // print: the size of each WritePort call.
    uint32_t piece = kDefaultPieceSize;
    // print on the USB printer: real seconds the simulated print takes.
    double printSeconds = kDefaultPrintSeconds;
    // make-job: the number of records.
    int32_t records = 0;
    // print --serial: the printer's COM port; --simulate-firmware: the other end.
    std::wstring serialPort;
    std::wstring firmwarePort;
    // --firmware-baud: the speed the simulated firmware talks at (0: any).
    uint32_t firmwareBaud = 0;
    // --pause-at-line: the job is paused in the queue at this line (0: never) for
    // --pause-seconds, then goes on.
    uint32_t pauseAtLine = 0;
    double pauseSeconds = 3.0;
    // port add, set-serial, delete: the port's name, and the serial device as the
    // user typed it ("" for a USB printer), checked by the port configuration.
    std::wstring portName;
    std::wstring device;
    // port set, and port add of a serial port: the settings given, as typed (their
    // values are checked by the port configuration).
    PortSettingsChange settings;
    // port commands and ports: run the monitor in this process instead of asking the
    // spooler (always so under Wine, whose spooler does not know the monitor).
    bool inProcess = false;
};

struct ParsedArguments {
    bool ok = false;
    HostArguments arguments;
    // Why the command line was refused, for the user.
    std::string error;
};

// The arguments after the program's name.
ParsedArguments ParseHostArguments(const std::vector<std::wstring>& words);

// A whole decimal number in [minimum, maximum]; false for anything else.
bool ParseWholeNumber(const std::wstring& text, int64_t minimum, int64_t maximum, int64_t* value);
// A decimal number with an optional fraction in [0, maximum].
bool ParseSeconds(const std::wstring& text, double maximum, double* value);
// A COM port name: "COM" and 1 to 3 digits, any letter case; the result is upper case.
bool ParseComPort(const std::wstring& text, std::wstring* port);

// The usage text.
const char* UsageText();

} // namespace vela::host
