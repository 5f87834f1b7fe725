// What the printer reports about itself in two of its numbered parameters: the
// machine state (parameter 0) and the printer status (parameter 16). The values
// are the firmware's on the wire; a read may bring any 32-bit value.
#pragma once

#include <cstdint>

namespace vela {

enum class MachineState : int32_t {
    SystemError = 0,
    Jogging = 1,
    RunningProgram = 2,
    Idle = 3,
    SystemUnknownStatus = 4,
};

enum class PrinterStatus : int32_t {
    PrinterSystemError = 0,
    PreparedForPrinting = 1,
    Printing = 2,
    PrinterPause = 3,
    NozzleError = 4,
    MoveError = 5,
    FinishPrinting = 6,
    StoppedByUser = 7,
    NozzleTooHot = 8,
    NozzleTooCool = 9,
    PlatformTooHot = 10,
    DipError = 11,
    SweepError = 12,
    ScanError = 13,
    ScanCalibrationError = 14,
    SystemPowerOn = 15,
    SdCardError = 16,
    SdWriteError = 17,
    SdReadError = 18,
    SaveDataToSd = 19,
    JogCommandError = 20,
};

constexpr int32_t kPrinterStatusCount = 21;

// The firmware's names of the statuses, indexed by value, spelling included. A
// constant expression, so that a table of names can be built from it.
inline constexpr const char* kPrinterStatusNames[kPrinterStatusCount] = {
    "Printer System Error",
    "Prepared for Printing",
    "Printing",
    "Printer Pause",
    "Nozzle Error",
    "Move Error",
    "Finish Printing",
    "Stopped by User",
    "Nozzle too hot",
    "Nozzle too cool",
    "Platform too hot",
    "DIPERROR",
    "SWEEPERROR",
    "SCANERROR",
    "SCANCALIBERROR",
    "System Power On",
    "SD Card Error",
    "SD Write Error",
    "SD Read Error",
    "Save Data to SD",
    "JogCmd Error",
};

// The firmware's name of the status, nullptr for a value without one.
constexpr const char* PrinterStatusName(PrinterStatus status) {
    const auto value = static_cast<int32_t>(status);
    return value >= 0 && value < kPrinterStatusCount ? kPrinterStatusNames[value] : nullptr;
}

} // namespace vela
