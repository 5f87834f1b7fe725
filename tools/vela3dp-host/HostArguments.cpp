#include "HostArguments.h"

#include "portconfig/SettingsText.h"

#include <cmath>
#include <cwctype>

namespace vela::host {
namespace {

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return narrow;
}

ParsedArguments Refuse(const std::string& why) {
    ParsedArguments parsed;
    parsed.error = why;
    return parsed;
}

bool EndsWithGcode(const std::wstring& path) {
    const std::wstring suffix = L".gcode";
    if (path.size() < suffix.size()) {
        return false;
    }
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (std::towlower(path[path.size() - suffix.size() + i]) != suffix[i]) {
            return false;
        }
    }
    return true;
}

ParsedArguments ParsePrint(const std::vector<std::wstring>& words) {
    HostArguments arguments;
    bool havePath = false;
    bool haveSeconds = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        const bool hasValue = i + 1 < words.size();
        if (word == L"--piece" || word == L"--print-seconds" || word == L"--serial" ||
            word == L"--simulate-firmware" || word == L"--firmware-baud" ||
            word == L"--pause-at-line" || word == L"--pause-seconds") {
            if (!hasValue) {
                return Refuse(Narrow(word) + " needs a value");
            }
            const std::wstring& value = words[++i];
            int64_t number = 0;
            if (word == L"--piece") {
                if (!ParseWholeNumber(value, 1, kMaxPieceSize, &number)) {
                    return Refuse("--piece takes a byte count from 1 to " +
                                  std::to_string(kMaxPieceSize));
                }
                arguments.piece = static_cast<uint32_t>(number);
            } else if (word == L"--print-seconds") {
                if (!ParseSeconds(value, kMaxPrintSeconds, &arguments.printSeconds)) {
                    return Refuse("--print-seconds takes seconds from 0 to 3600");
                }
                haveSeconds = true;
            } else if (word == L"--firmware-baud") {
                if (!ParseWholeNumber(value, 1, 1000000, &number) ||
                    !BaudRateProblem(static_cast<uint32_t>(number)).empty()) {
                    return Refuse("--firmware-baud takes a standard speed such as 115200");
                }
                arguments.firmwareBaud = static_cast<uint32_t>(number);
            } else if (word == L"--pause-at-line") {
                if (!ParseWholeNumber(value, 1, 100000000, &number)) {
                    return Refuse("--pause-at-line takes a line number from 1");
                }
                arguments.pauseAtLine = static_cast<uint32_t>(number);
            } else if (word == L"--pause-seconds") {
                if (!ParseSeconds(value, kMaxPrintSeconds, &arguments.pauseSeconds)) {
                    return Refuse("--pause-seconds takes seconds from 0 to 3600");
                }
            } else if (word == L"--serial") {
                if (!ParseComPort(value, &arguments.serialPort)) {
                    return Refuse("--serial takes a COM port such as COM3, not " + Narrow(value));
                }
            } else if (!ParseComPort(value, &arguments.firmwarePort)) {
                return Refuse("--simulate-firmware takes a COM port such as COM4, not " +
                              Narrow(value));
            }
        } else if (word.size() > 1 && word[0] == L'-') {
            return Refuse("unknown option " + Narrow(word));
        } else if (havePath) {
            return Refuse("print takes one file, not also " + Narrow(word));
        } else {
            arguments.path = word;
            havePath = true;
        }
    }
    if (!havePath) {
        return Refuse("print needs the file to print");
    }
    if (arguments.serialPort.empty()) {
        if (!arguments.firmwarePort.empty() || arguments.pauseAtLine != 0) {
            return Refuse("--simulate-firmware and --pause-at-line go with --serial");
        }
        if (EndsWithGcode(arguments.path)) {
            return Refuse("a G-code file is printed on a serial printer: add --serial COMn");
        }
        arguments.command = Command::PrintUsb;
    } else {
        if (haveSeconds) {
            return Refuse("--print-seconds applies to the simulated USB printer only");
        }
        if (arguments.firmwareBaud != 0 && arguments.firmwarePort.empty()) {
            return Refuse("--firmware-baud goes with --simulate-firmware");
        }
        if (arguments.firmwarePort == arguments.serialPort) {
            return Refuse("the simulated firmware needs the other end of the pair, not " +
                          Narrow(arguments.serialPort));
        }
        arguments.command = Command::PrintSerial;
    }
    ParsedArguments parsed;
    parsed.ok = true;
    parsed.arguments = arguments;
    return parsed;
}

ParsedArguments ParseMakeJob(const std::vector<std::wstring>& words) {
    HostArguments arguments;
    arguments.command = Command::MakeJob;
    bool haveRecords = false;
    bool havePath = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (word == L"--records") {
            int64_t number = 0;
            if (i + 1 >= words.size() ||
                !ParseWholeNumber(words[++i], 0, kMaxJobRecords, &number)) {
                return Refuse("--records takes a count from 0 to " +
                              std::to_string(kMaxJobRecords));
            }
            arguments.records = static_cast<int32_t>(number);
            haveRecords = true;
        } else if (word.size() > 1 && word[0] == L'-') {
            return Refuse("unknown option " + Narrow(word));
        } else if (havePath) {
            return Refuse("make-job writes one file, not also " + Narrow(word));
        } else {
            arguments.path = word;
            havePath = true;
        }
    }
    if (!haveRecords || !havePath) {
        return Refuse("make-job needs --records N and the file to write");
    }
    ParsedArguments parsed;
    parsed.ok = true;
    parsed.arguments = arguments;
    return parsed;
}

// A number given to --baud or --window: any whole number, or the word that
// stands for 0. Its range is the port configuration's to check.
bool ParseSettingNumber(const std::wstring& text, const wchar_t* zeroWord, uint32_t* value) {
    int64_t number = 0;
    if (text == zeroWord) {
        *value = 0;
        return true;
    }
    if (!ParseWholeNumber(text, 0, 0xFFFFFFFFll, &number)) {
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

// Takes the setting option at words[i] (and its value) into settings; false with
// the reason in *why for a value it cannot take, and with *why empty for a word
// that is no setting option.
bool TakeSettingOption(const std::vector<std::wstring>& words, size_t& i,
                       PortSettingsChange& settings, std::string* why) {
    why->clear();
    const std::wstring& word = words[i];
    std::optional<std::vector<std::string>>* lines =
        word == L"--cancel-gcode"   ? &settings.cancelLines
        : word == L"--pause-gcode"  ? &settings.pauseLines
        : word == L"--resume-gcode" ? &settings.resumeLines
                                    : nullptr;
    std::optional<uint32_t>* number = word == L"--baud"     ? &settings.baudRate
                                      : word == L"--window" ? &settings.streamWindow
                                                            : nullptr;
    if (lines == nullptr && number == nullptr) {
        return false;
    }
    if (i + 1 >= words.size()) {
        *why = Narrow(word) + " needs a value";
        return false;
    }
    if ((lines != nullptr && lines->has_value()) || (number != nullptr && number->has_value())) {
        *why = Narrow(word) + " is given twice";
        return false;
    }
    const std::wstring& value = words[++i];
    if (lines != nullptr) {
        *lines = portconfig::SplitGcodeText(value);
        return true;
    }
    uint32_t parsed = 0;
    const bool baud = word == L"--baud";
    if (!ParseSettingNumber(value, baud ? L"auto" : L"off", &parsed)) {
        *why = baud ? "--baud takes auto or a speed such as 115200, not " + Narrow(value)
                    : "--window takes off or a number of bytes such as 127, not " + Narrow(value);
        return false;
    }
    *number = parsed;
    return true;
}

// port add NAME [--serial DEVICE] [settings], port set-serial NAME DEVICE|--usb,
// port set NAME settings, port delete NAME, and ports; each takes --in-process.
ParsedArguments ParsePortCommand(const std::vector<std::wstring>& words) {
    HostArguments arguments;
    size_t first = 1;
    if (words[0] == L"ports") {
        arguments.command = Command::Ports;
    } else if (words.size() < 2) {
        return Refuse("port needs add, set, set-serial or delete");
    } else {
        first = 2;
        arguments.command = words[1] == L"add"          ? Command::PortAdd
                            : words[1] == L"set-serial" ? Command::PortSetSerial
                            : words[1] == L"set"        ? Command::PortSet
                            : words[1] == L"delete"     ? Command::PortDelete
                                                        : Command::Help;
        if (arguments.command == Command::Help) {
            return Refuse("unknown port command " + Narrow(words[1]));
        }
    }
    const bool takesSettings =
        arguments.command == Command::PortAdd || arguments.command == Command::PortSet;
    std::vector<std::wstring> operands;
    bool usb = false;
    for (size_t i = first; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        std::string why;
        if (word == L"--in-process") {
            arguments.inProcess = true;
        } else if (word == L"--serial" && arguments.command == Command::PortAdd) {
            if (i + 1 >= words.size()) {
                return Refuse("--serial needs a COM port");
            }
            arguments.device = words[++i];
        } else if (word == L"--usb" && arguments.command == Command::PortSetSerial) {
            usb = true;
        } else if (takesSettings && TakeSettingOption(words, i, arguments.settings, &why)) {
            continue;
        } else if (!why.empty()) {
            return Refuse(why);
        } else if (word.size() > 1 && word[0] == L'-') {
            return Refuse("unknown option " + Narrow(word));
        } else {
            operands.push_back(word);
        }
    }
    const size_t wanted = arguments.command == Command::Ports           ? 0
                          : arguments.command == Command::PortSetSerial ? (usb ? 1 : 2)
                                                                        : 1;
    if (operands.size() != wanted) {
        switch (arguments.command) {
        case Command::Ports:
            return Refuse("ports takes no names");
        case Command::PortSetSerial:
            return Refuse("port set-serial needs the port's name and COMn or --usb");
        default:
            return Refuse("port " + Narrow(words[1]) + " needs the port's name");
        }
    }
    if (arguments.command == Command::PortSet && arguments.settings.Empty()) {
        return Refuse("port set needs a setting: --baud, --window, --cancel-gcode, --pause-gcode "
                      "or --resume-gcode");
    }
    if (arguments.command == Command::PortAdd && arguments.device.empty() &&
        !arguments.settings.Empty()) {
        return Refuse("the serial settings go with --serial: a USB printer has none");
    }
    if (!operands.empty()) {
        arguments.portName = operands[0];
    }
    if (operands.size() > 1) {
        arguments.device = operands[1];
    }
    ParsedArguments parsed;
    parsed.ok = true;
    parsed.arguments = arguments;
    return parsed;
}

} // namespace

bool ParseWholeNumber(const std::wstring& text, int64_t minimum, int64_t maximum, int64_t* value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    int64_t number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        number = number * 10 + (c - L'0');
    }
    if (number < minimum || number > maximum) {
        return false;
    }
    *value = number;
    return true;
}

bool ParseSeconds(const std::wstring& text, double maximum, double* value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    double number = 0.0;
    double scale = 0.0; // 0 before the point, then the weight of the next digit
    bool digits = false;
    for (wchar_t c : text) {
        if (c == L'.' && scale == 0.0) {
            scale = 0.1;
        } else if (c >= L'0' && c <= L'9') {
            digits = true;
            if (scale == 0.0) {
                number = number * 10.0 + (c - L'0');
            } else {
                number += scale * (c - L'0');
                scale /= 10.0;
            }
        } else {
            return false;
        }
    }
    if (!digits || !std::isfinite(number) || number > maximum) {
        return false;
    }
    *value = number;
    return true;
}

bool ParseComPort(const std::wstring& text, std::wstring* port) {
    if (text.size() < 4 || text.size() > 6 || std::towupper(text[0]) != L'C' ||
        std::towupper(text[1]) != L'O' || std::towupper(text[2]) != L'M') {
        return false;
    }
    int64_t number = 0;
    if (text[3] == L'0' || !ParseWholeNumber(text.substr(3), 1, 256, &number)) {
        return false;
    }
    *port = L"COM" + std::to_wstring(number);
    return true;
}

ParsedArguments ParseHostArguments(const std::vector<std::wstring>& words) {
    if (words.empty()) {
        return Refuse("no command given");
    }
    const std::wstring& command = words[0];
    if (command == L"help" || command == L"--help" || command == L"-h" || command == L"/?") {
        ParsedArguments parsed;
        parsed.ok = true;
        return parsed;
    }
    if (command == L"print") {
        return ParsePrint(words);
    }
    if (command == L"make-job") {
        return ParseMakeJob(words);
    }
    if (command == L"port" || command == L"ports") {
        return ParsePortCommand(words);
    }
    const Command simple = command == L"install"     ? Command::Install
                           : command == L"uninstall" ? Command::Uninstall
                                                     : Command::Help;
    if (simple == Command::Help) {
        return Refuse("unknown command " + Narrow(command));
    }
    if (words.size() > 1) {
        return Refuse(Narrow(command) + " takes no arguments");
    }
    ParsedArguments parsed;
    parsed.ok = true;
    parsed.arguments.command = simple;
    return parsed;
}

const char* UsageText() {
    return "Usage:\n"
           "  vela3dp-host print JOB [--piece N] [--print-seconds S]\n"
           "      Prints a job stream on the simulated USB printer through the monitor,\n"
           "      as the spooler would: WritePort in pieces of N bytes (default 4096);\n"
           "      the simulated print takes S real seconds (default 3).\n"
           "  vela3dp-host print FILE.gcode --serial COMn [--simulate-firmware COMm\n"
           "                 [--firmware-baud B]] [--pause-at-line N [--pause-seconds S]]\n"
           "      Streams G-code through the monitor's protocol handler to the printer\n"
           "      on COMn; with --simulate-firmware, simulated firmware answers on COMm,\n"
           "      the other end of a connected pair of ports, at B baud only (noise at\n"
           "      any other speed; default: any). With --pause-at-line the job is paused\n"
           "      in the queue at line N for S seconds (default 3), then goes on.\n"
           "  vela3dp-host make-job --records N OUT\n"
           "      Writes a job stream of N records to OUT.\n"
           "  vela3dp-host install | uninstall\n"
           "      Registers or removes the monitor \"Vela3dp Print Monitor\" and its port\n"
           "      screens with the Windows spooler (administrator rights needed).\n"
           "  vela3dp-host port add NAME [--serial COMn [SETTINGS]]\n"
           "  vela3dp-host port set-serial NAME COMn|--usb\n"
           "  vela3dp-host port set NAME SETTINGS\n"
           "  vela3dp-host port delete NAME\n"
           "  vela3dp-host ports\n"
           "      Adds a port (for a USB printer, or a serial printer on COMn), makes a\n"
           "      port serial or USB, changes a serial port's settings, deletes a port,\n"
           "      or lists the monitor's ports with their kind, device and settings.\n"
           "      SETTINGS, each optional:\n"
           "        --baud N|auto            the serial speed, or found by the monitor\n"
           "        --window N|off           bytes of lines sent ahead of their \"ok\"\n"
           "                                 (at most 4096), or one line at a time\n"
           "        --cancel-gcode \"L1;L2\"   lines sent when a document is cancelled\n"
           "        --pause-gcode \"L1;L2\"    lines sent to pause, and to resume;\n"
           "        --resume-gcode \"L1;L2\"   \"\" removes the port's own lines\n"
           "      Changes need administrator rights. With --in-process (always under\n"
           "      Wine) the monitor runs in this program on its registry key instead of\n"
           "      being asked through the spooler.\n";
}

} // namespace vela::host
