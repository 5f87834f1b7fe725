// Names of the printer's numbered parameters and of their values, for what the
// host program shows; the monitor itself names only the printer statuses
// (usb/PrinterStates.h).
#pragma once

#include "usb/PrinterPackets.h"
#include "usb/PrinterStates.h"

#include <cstddef>
#include <cstdint>

namespace vela::host {

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

// The name of a state or error-code value of a parameter, or nullptr for an id
// without descriptor, a parameter that is not a state or code, or a value
// without a name.
const char* ParameterValueName(int32_t id, int32_t value);
const char* MachineStateName(int32_t value);

} // namespace vela::host
