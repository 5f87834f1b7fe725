#include "doubles/FirmwareInterpreter.h"

#include <cstdlib>

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

} // namespace

uint8_t FirmwareChecksum(const std::string& bytes) {
    uint8_t checksum = 0;
    for (const char byte : bytes) {
        checksum = static_cast<uint8_t>(checksum ^ static_cast<uint8_t>(byte));
    }
    return checksum;
}

FirmwareInterpreter::FirmwareInterpreter(const FirmwareOptions& options)
    : options_(options), random_(options.seed) {}

bool FirmwareInterpreter::HandleLine(const std::string& line, std::vector<FirmwareReply>& replies) {
    if (line.empty()) {
        return false;
    }
    if (line[0] != 'N') {
        Execute(-1, Trim(line), replies);
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
    if (options_.corruptShare > 0.0 && share_(random_) < options_.corruptShare) {
        damaged = true;
    }
    if (damaged) {
        ++stats_.checksumErrors;
        return Refuse("checksum mismatch", replies);
    }
    const std::string command = Trim(line.substr(commandStart, star - commandStart));
    // A line with M110 sets the counter, whatever number it carries itself.
    const bool setsCounter = command.find("M110") != std::string::npos;
    if (!setsCounter) {
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

bool FirmwareInterpreter::Refuse(const char* reason, std::vector<FirmwareReply>& replies) {
    ++stats_.resendRequests;
    replies.push_back({std::string("Error:") + reason + ", Last Line: " + std::to_string(lastLine_),
                       0, 0, false});
    replies.push_back({"Resend: " + std::to_string(lastLine_ + 1), 0, 0, false});
    if (options_.okAfterResend) {
        replies.push_back({"ok", 0, 0, false});
    }
    return true;
}

void FirmwareInterpreter::Execute(int64_t number, const std::string& command,
                                  std::vector<FirmwareReply>& replies) {
    executed_.push_back({number, command});
    if (number < 0) {
        ++stats_.unnumberedExecuted;
    }
    int64_t value = 0;
    if (command.find("M110") != std::string::npos) {
        lastLine_ = ParameterValue(command, 'N', &value) ? value : (number < 0 ? 0 : number);
    }
    uint32_t busyFor = 0;
    if (StartsWith(command, "G4 ") || command == "G4") {
        if (ParameterValue(command, 'P', &value) && value > 0) {
            busyFor = static_cast<uint32_t>(value);
        } else if (ParameterValue(command, 'S', &value) && value > 0) {
            busyFor = static_cast<uint32_t>(value * 1000);
        }
    }
    ++executedCount_;
    if (executedCount_ == 1 && options_.longEchoBytes > 5) {
        replies.push_back({"echo:" + std::string(options_.longEchoBytes - 5, 'x'), 0, 0, false});
    }
    if (options_.echoEveryLines != 0 && executedCount_ % options_.echoEveryLines == 0) {
        replies.push_back(
            {"echo:unsolicited message " + std::to_string(executedCount_), 0, 0, false});
    }
    if (number >= 0 && options_.dropOkForLines.erase(number) != 0) {
        return;
    }
    FirmwareReply ok{StartsWith(command, "M105") ? "ok T:21.0 /0.0 B:21.0 /0.0 @:0 B@:0" : "ok", 0,
                     busyFor, number >= 0};
    const auto delayed = options_.delayOkForLines.find(number);
    if (number >= 0 && delayed != options_.delayOkForLines.end()) {
        ok.delayMs = delayed->second;
        options_.delayOkForLines.erase(delayed);
    }
    replies.push_back(ok);
}

} // namespace vela::test
