#include "ProgressDisplay.h"

#include "ParameterCatalogue.h"

#include <cstdio>

namespace vela::host {
namespace {

std::string NameOr(const char* name, int32_t value) {
    if (name != nullptr) {
        return name;
    }
    return "value " + std::to_string(value);
}

} // namespace

std::string FormatProgressBar(int64_t sent, int64_t announced, int width) {
    if (width < 1) {
        width = 1;
    }
    if (announced <= 0) {
        return "[" + std::string(static_cast<size_t>(width), '-') + "]  " + std::to_string(sent) +
               " records sent (the job announces " + std::to_string(announced) + ")";
    }
    const int64_t shown = sent < 0 ? 0 : (sent > announced ? announced : sent);
    const auto filled = static_cast<size_t>(shown * width / announced);
    const int64_t percent = shown * 100 / announced;
    return "[" + std::string(filled, '#') + std::string(static_cast<size_t>(width) - filled, '-') +
           "]  " + std::to_string(sent) + "/" + std::to_string(announced) + " records  " +
           std::to_string(percent) + "%";
}

std::string FormatMinutes(uint64_t milliseconds) {
    const uint64_t seconds = milliseconds / 1000;
    char text[32];
    std::snprintf(text, sizeof(text), "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

std::string FormatPoll(int number, uint64_t printerMilliseconds, const PollReading& reading) {
    char head[48];
    std::snprintf(head, sizeof(head), "poll %-3d %6s ", number,
                  FormatMinutes(printerMilliseconds).c_str());
    std::string line = head;
    line +=
        " machine: " + (reading.haveMachineState
                            ? NameOr(MachineStateName(reading.machineState), reading.machineState)
                            : std::string("no answer"));
    line +=
        "  status: " +
        (reading.haveStatus
             ? NameOr(PrinterStatusName(static_cast<PrinterStatus>(reading.status)), reading.status)
             : std::string("no answer"));
    if (reading.havePosition) {
        char position[96];
        std::snprintf(position, sizeof(position), "  head X%.2f Y%.2f Z%.2f mm",
                      reading.position[0], reading.position[1], reading.position[2]);
        line += position;
    }
    return line;
}

bool TransferComplete(int32_t sent, int32_t announced) {
    return sent == announced && sent >= 1;
}

std::string DescribeTransfer(int32_t sent, int32_t announced, bool sendingDisabled) {
    const std::string counts =
        std::to_string(sent) + " of " + std::to_string(announced) + " records sent";
    if (TransferComplete(sent, announced)) {
        return counts + ": the job is complete.";
    }
    if (announced < 1) {
        return counts + ": the job announces no records; nothing was printed.";
    }
    if (sendingDisabled) {
        return counts + ": the printer refused the job; it was not started.";
    }
    return counts + ": the transfer stopped short; the monitor reset the printer.";
}

} // namespace vela::host
