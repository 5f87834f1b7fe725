#include "monitor/PrintSupervision.h"

#include "monitor/SpoolerJob.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"

namespace vela {
namespace {

// Polls whose machine-state read fails, in a row, before supervision ends: one
// time-out or another program holding the device does not end it.
constexpr int kFailedPollsToEnd = 3;

// One poll's reading of the printer: status, and the head position when idle.
// An unanswered poll counts as running until kFailedPollsToEnd in a row.
PrinterStatus PollPrinter(PrinterDevice& device, int& failedPolls, bool& running) {
    Log(LogTo::DebugLog, "V26.4 Print is Runing,    ");
    CurrentPlatform().clock->Sleep(kSupervisionPollMs);
    const RunState runState = device.ReadRunState();
    failedPolls = runState == RunState::Unanswered ? failedPolls + 1 : 0;
    running = runState == RunState::Running ||
              (runState == RunState::Unanswered && failedPolls < kFailedPollsToEnd);
    const PrinterStatus status = device.ReadPrinterStatus();
    device.Link().CloseDevice();
    LogFormatted(LogTo::DebugLog, "Printer status: %d \r\n", static_cast<int>(status));
    if (failedPolls >= kFailedPollsToEnd) {
        LogFormatted(LogTo::DebugLog, "The printer did not answer %d polls in a row\r\n",
                     failedPolls);
    }
    if (status == PrinterStatus::Printing) {
        return status;
    }
    device.ReadStatus();
    device.WriteParameter(parameter::kParameter148, 999);
    const PrinterInfo& info = device.Info();
    const double x = AxisCoordinate(info, kAxisX, device.ReadAxisPosition(kAxisX));
    const double y = AxisCoordinate(info, kAxisY, device.ReadAxisPosition(kAxisY));
    const double z = AxisCoordinate(info, kAxisZ, device.ReadAxisPosition(kAxisZ));
    const double* scales = info.axisScales;
    device.WriteParameter(parameter::kParameter148, 0);
    device.Link().CloseDevice();
    LogFormatted(LogTo::DebugLog,
                 "Printer status: %d;  Pos:(X%.2f Y%.2f Z%.2f) scale: %.2f %.2f %.2f\r\n",
                 static_cast<int>(status), x, y, z, scales[0], scales[1], scales[2]);
    return status;
}

} // namespace

bool SupervisePrint(PrinterDevice& device, PortDocument& document) {
    bool running = true;
    int failedPolls = 0;
    while (running) {
        const PrinterStatus status = PollPrinter(device, failedPolls, running);
        JobStatusFacts poll;
        poll.phase = failedPolls > 0 ? JobPhase::NotResponding : JobPhase::Printing;
        poll.printerStatus = status;
        document.status.Show(poll);
        const JobCheck check = document.EndRequested() != DocumentEnd::None
                                   ? JobCheck::Cancelled
                                   : CheckSpoolerJob(document.printer.Get(), document.jobId);
        if (check == JobCheck::OutOfMemory) {
            return false;
        }
        if (check == JobCheck::Cancelled) {
            return true;
        }
    }
    return false;
}

} // namespace vela
