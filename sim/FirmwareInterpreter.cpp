#include "sim/FirmwareInterpreter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace vela::test {
namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The number after a letter parameter (" N12", " P500"), if there is one.
bool ParameterValue(const std::string& command, char letter, int64_t* value) {
    for (size_t position = command.find(' '); position != std::string::npos;
         position = command.find(' ', position + 1)) {
        if (position + 1 < command.size() && command[position + 1] == letter) {
            *value = std::strtoll(command.c_str() + position + 2, nullptr, 10);
            return true;
        }
    }
    return false;
}

constexpr char kHaltMessage[] = "Error:Printer halted. kill() called!";

FirmwareReply Text(std::string text) {
    FirmwareReply reply;
    reply.text = std::move(text);
    return reply;
}

bool IsCommand(const std::string& command, const char* name) {
    return StartsWith(command, name) && (command.size() == std::char_traits<char>::length(name) ||
                                         command[std::char_traits<char>::length(name)] == ' ');
}

} // namespace

uint8_t FirmwareChecksum(const std::string& bytes) {
    uint8_t checksum = 0;
    for (const char byte : bytes) {
        checksum = static_cast<uint8_t>(checksum ^ static_cast<uint8_t>(byte));
    }
    return checksum;
}

std::string NumberedLine(int64_t number, const std::string& command, size_t length) {
    for (std::string checked = "N" + std::to_string(number) + " " + command;
         length == 0 || checked.size() < length; checked += ' ') {
        const std::string line = checked + "*" + std::to_string(FirmwareChecksum(checked)) + "\n";
        if (length == 0 || line.size() == length) {
            return line;
        }
    }
    return std::string();
}

FirmwareInterpreter::FirmwareInterpreter(const FirmwareOptions& options)
    : options_(options), random_(options.seed) {
    reportMs_ = options.temperatureReportMs;
}

bool FirmwareInterpreter::HandleLine(const std::string& line, std::vector<FirmwareReply>& replies) {
    if (line.empty() || halted_) {
        return false;
    }
    if (lineHeld_) {
        // The held line and whatever came after it make one damaged line.
        lineHeld_ = false;
        ++stats_.checksumErrors;
        return Refuse("checksum mismatch", replies);
    }
    if (line[0] != 'N') {
        // Unnumbered, so unchecked: what follows a "*" is no parameter and is ignored.
        Execute(-1, Trim(line.substr(0, line.find('*'))), replies);
        return false;
    }
    char* numberEnd = nullptr;
    const int64_t number = std::strtoll(line.c_str() + 1, &numberEnd, 10);
    if (options_.loseLines.erase(number) != 0) {
        ++stats_.linesLost;
        return false;
    }
    const size_t commandStart = static_cast<size_t>(numberEnd - line.c_str());
    const size_t star = line.rfind('*');
    if (star == std::string::npos || star < commandStart) {
        return Refuse("No Checksum with line number", replies);
    }
    const long given = std::strtol(line.c_str() + star + 1, nullptr, 10);
    bool damaged = given != FirmwareChecksum(line.substr(0, star));
    if (options_.corruptLines.count(number) != 0 && corruptedOnce_.insert(number).second) {
        damaged = true;
    }
    if (options_.refuseLines.count(number) != 0) {
        damaged = true;
    }
    if (options_.corruptShare > 0.0 && share_(random_) < options_.corruptShare) {
        if (options_.silentLossShare > 0.0 && share_(random_) < options_.silentLossShare) {
            if (share_(random_) < 0.5) {
                // Its number reads as the last accepted: dropped without a word.
                ++stats_.silentlyDropped;
                return false;
            }
            // Its line end is gone: the firmware waits for the rest.
            ++stats_.heldForTheirEnd;
            lineHeld_ = true;
            return false;
        }
        damaged = true;
    }
    if (damaged) {
        ++stats_.checksumErrors;
        return Refuse("checksum mismatch", replies);
    }
    const std::string command = Trim(line.substr(commandStart, star - commandStart));
    // A line with M110 sets the counter, whatever number it carries itself.
    const bool setsCounter = command.find("M110") != std::string::npos;
    if (!setsCounter && number <= lastLine_) {
        ++stats_.acceptedLinesSentAgain;
    }
    if (!setsCounter && options_.checkLineNumbers) {
        if (number == lastLine_ || number == lastLine_ - 1) {
            // Already executed: dropped without a word.
            ++stats_.duplicatesDropped;
            return false;
        }
        if (number != lastLine_ + 1) {
            ++stats_.sequenceErrors;
            return Refuse("Line Number is not Last Line Number+1", replies);
        }
    }
    lastLine_ = number;
    Execute(number, command, replies);
    return false;
}

void FirmwareInterpreter::Reset(const std::string& cause, std::vector<FirmwareReply>& replies) {
    ++stats_.resets;
    lastLine_ = 0;
    executedNumbers_.clear();
    halted_ = false;
    heating_ = Heater::None;
    hotendTarget_ = bedTarget_ = 0.0;
    replies.push_back(Text("start"));
    replies.push_back(Text("echo: " + cause));
    replies.push_back(Text("echo:Simulated text firmware 2.1 (Vela3dp tests)"));
    replies.push_back(Text("echo:Free memory: 4096  PlannerBufferBytes: 1200"));
}

bool FirmwareInterpreter::Refuse(const char* reason, std::vector<FirmwareReply>& replies) {
    ++stats_.resendRequests;
    replies.push_back(
        Text(std::string("Error:") + reason + ", Last Line: " + std::to_string(lastLine_)));
    replies.push_back(Text("Resend: " + std::to_string(lastLine_ + 1)));
    if (options_.okAfterResend) {
        FirmwareReply ok = Text("ok");
        ok.delayMs = options_.okAfterResendDelayMs;
        replies.push_back(ok);
    }
    return true;
}

uint64_t DigestCommand(uint64_t digest, const std::string& command) {
    for (const char byte : command + "\n") {
        digest = (digest ^ static_cast<uint8_t>(byte)) * 1099511628211ull;
    }
    return digest;
}

void FirmwareInterpreter::Execute(int64_t number, const std::string& command,
                                  std::vector<FirmwareReply>& replies) {
    if (options_.recordLines) {
        executed_.push_back({number, command});
    }
    if (number < 0) {
        ++stats_.unnumberedExecuted;
    } else {
        ++numberedExecuted_;
        digest_ = DigestCommand(digest_, command);
        const uint64_t now =
            static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count());
        if (lastNumberedAt_ != 0) {
            const uint64_t gap = now - lastNumberedAt_;
            stats_.longestGapMs =
                gap > stats_.longestGapMs ? static_cast<uint32_t>(gap) : stats_.longestGapMs;
            stats_.gapsOverSecond += gap > 1000 ? 1 : 0;
        }
        lastNumberedAt_ = now;
    }
    int64_t value = 0;
    if (command.find("M110") != std::string::npos) {
        lastLine_ = ParameterValue(command, 'N', &value) ? value : (number < 0 ? 0 : number);
        executedNumbers_.clear();
    } else if (number >= 0 && options_.recordLines && !executedNumbers_.insert(number).second) {
        ++stats_.linesExecutedTwice;
    }
    FirmwareReply ok = Text("ok");
    ok.formattedOk = true;
    ok.number = number >= 0 ? number : lastLine_;
    ok.acknowledgesNumberedLine = number >= 0;
    if (IsCommand(command, "G4")) {
        if (ParameterValue(command, 'P', &value) && value > 0) {
            ok.busyForMs = static_cast<uint32_t>(value);
        } else if (ParameterValue(command, 'S', &value) && value > 0) {
            ok.busyForMs = static_cast<uint32_t>(value * 1000);
        }
    } else if (IsCommand(command, "M400")) {
        ok.busyForMs = options_.m400Ms;
    } else if (IsCommand(command, "M104") && ParameterValue(command, 'S', &value)) {
        // Heaters that are not waited for reach their target at once.
        hotend_ = hotendTarget_ = static_cast<double>(value);
    } else if (IsCommand(command, "M140") && ParameterValue(command, 'S', &value)) {
        bed_ = bedTarget_ = static_cast<double>(value);
    } else if (IsCommand(command, "M109") || IsCommand(command, "M190")) {
        ok.busyForMs =
            StartHeating(IsCommand(command, "M109") ? Heater::Hotend : Heater::Bed, command);
        ok.heats = ok.busyForMs != 0;
    } else if (IsCommand(command, "M115")) {
        replies.push_back(Text("FIRMWARE_NAME:Vela Simulated Firmware 2.1.2 SOURCE_CODE_URL:none "
                               "PROTOCOL_VERSION:1.0 MACHINE_TYPE:Simulated EXTRUDER_COUNT:1"));
        replies.push_back(Text("Cap:EEPROM:0"));
        replies.push_back(
            Text(std::string("Cap:AUTOREPORT_TEMP:") + (options_.autoReportCapable ? "1" : "0")));
    } else if (IsCommand(command, "M155") && options_.autoReportCapable &&
               ParameterValue(command, 'S', &value)) {
        reportMs_ = static_cast<uint32_t>(value) * 1000;
        autoReported_ = true;
    } else if (IsCommand(command, "M105")) {
        // Its answer stays "ok T:..." whatever the wording of other acknowledgements.
        ok.text = "ok " + TemperatureLine();
        ok.formattedOk = false;
    }
    ++executedCount_;
    if (executedCount_ == 1 && options_.longEchoBytes > 5) {
        replies.push_back(Text("echo:" + std::string(options_.longEchoBytes - 5, 'x')));
    }
    const auto said = options_.sayBeforeOkOfLines.find(number);
    if (number >= 0 && said != options_.sayBeforeOkOfLines.end()) {
        replies.push_back(Text(said->second));
        options_.sayBeforeOkOfLines.erase(said);
    }
    if (options_.echoEveryLines != 0 && executedCount_ % options_.echoEveryLines == 0) {
        replies.push_back(Text("echo:unsolicited message " + std::to_string(executedCount_)));
    }
    const bool halts = number >= 0 && number == options_.haltAfterLine;
    if (number < 0 || options_.dropOkForLines.erase(number) == 0) {
        const auto delayed = options_.delayOkForLines.find(number);
        if (number >= 0 && delayed != options_.delayOkForLines.end()) {
            ok.delayMs = delayed->second;
            options_.delayOkForLines.erase(delayed);
        }
        replies.push_back(ok);
    }
    if (halts) {
        halted_ = true;
        replies.push_back(Text(kHaltMessage));
    }
}

uint32_t FirmwareInterpreter::StartHeating(Heater heater, const std::string& command) {
    int64_t value = 0;
    if (!ParameterValue(command, 'S', &value) && !ParameterValue(command, 'R', &value)) {
        return 0;
    }
    (heater == Heater::Hotend ? hotendTarget_ : bedTarget_) = static_cast<double>(value);
    heating_ = heater;
    heatingFrom_ = Temperature(heater);
    if (options_.heatingMs == 0) {
        AdvanceHeating(1.0);
    }
    return options_.heatingMs;
}

double& FirmwareInterpreter::Temperature(Heater heater) {
    return heater == Heater::Bed ? bed_ : hotend_;
}

void FirmwareInterpreter::AdvanceHeating(double fraction) {
    if (heating_ == Heater::None) {
        return;
    }
    const double target = heating_ == Heater::Hotend ? hotendTarget_ : bedTarget_;
    Temperature(heating_) = heatingFrom_ + (target - heatingFrom_) * std::min(fraction, 1.0);
    if (fraction >= 1.0) {
        heating_ = Heater::None;
    }
}

void FirmwareInterpreter::EndHeatingWait() {
    heating_ = Heater::None;
}

std::string FirmwareInterpreter::AutoReportLine() const {
    return autoReported_ ? " " + TemperatureLine() : TemperatureLine();
}

std::string FirmwareInterpreter::TemperatureLine() const {
    char text[96];
    std::snprintf(text, sizeof(text), "T:%.1f /%.1f B:%.1f /%.1f @:0 B@:0", hotend_, hotendTarget_,
                  bed_, bedTarget_);
    return text;
}

std::string FirmwareInterpreter::AckText(const FirmwareReply& ok, uint32_t commandsWaiting) const {
    if (!ok.formattedOk || options_.okFormat == OkFormat::Plain) {
        return ok.text;
    }
    if (options_.okFormat == OkFormat::LineNumber) {
        return "ok " + std::to_string(ok.number);
    }
    const uint32_t waiting = std::min(commandsWaiting, options_.commandSlots);
    const uint32_t planner = options_.plannerSlots > waiting ? options_.plannerSlots - waiting : 0;
    return "ok N" + std::to_string(ok.number) + " P" + std::to_string(planner) + " B" +
           std::to_string(options_.commandSlots - waiting);
}

} // namespace vela::test
