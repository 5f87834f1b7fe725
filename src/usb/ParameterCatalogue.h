// Names of the printer's numbered parameters and of their values.
#pragma once

#include "usb/PrinterPackets.h"

#include <cstdint>

namespace vela {

enum ParameterKind : int32_t {
    kParameterReal = 0,      // a real value, shown with the format in slot 0
    kParameterInteger = 1,   // an integer value, shown with the format in slot 0
    kParameterState = 2,     // the value indexes the names in the slots
    kParameterErrorCode = 3, // the value indexes the names in the slots
};

constexpr int32_t kParameterTextSlots = 30;
constexpr int32_t kCatalogueSize = 57;

struct ParameterDescriptor {
    int32_t id;
    int32_t kind;
    char texts[kParameterTextSlots][kTextFieldSize];
};

// One descriptor per parameter id 0 to 56, in id order.
extern const ParameterDescriptor ParameterCatalogue[kCatalogueSize];

// Parameter 0.
enum class MachineState : int32_t {
    SystemError = 0,
    Jogging = 1,
    RunningProgram = 2,
    Idle = 3,
    SystemUnknownStatus = 4,
};

// Parameter 16.
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

// The name of a state or error-code value of a parameter, or nullptr for an id
// without descriptor, a parameter that is not a state or code, or a value
// without a name.
const char* ParameterValueName(int32_t id, int32_t value);
const char* MachineStateName(int32_t value);
const char* PrinterStatusName(int32_t value);

} // namespace vela
