#include "ParameterCatalogue.h"

namespace vela::host {
namespace {

// A state parameter whose value names are a list of their own.
template <size_t Count>
constexpr ParameterDescriptor StateDescriptor(int32_t id, const char* const (&names)[Count]) {
    static_assert(Count <= kParameterTextSlots, "one slot per name");
    ParameterDescriptor descriptor{id, kParameterState, {}};
    for (size_t slot = 0; slot < Count; ++slot) {
        for (size_t at = 0; names[slot][at] != '\0' && at + 1 < kTextFieldSize; ++at) {
            descriptor.texts[slot][at] = names[slot][at];
        }
    }
    return descriptor;
}

} // namespace

#define VELA_MOTOR_STATES                                                                          \
    { "MOTOR_STOP", "MOTOR_JOG", "MOTOR_PROG", "MOTOR_ERRORSTOP", "MOTOR_HOMEING", "MOTOR_ERROR" }
#define VELA_MOTOR_ERRORS                                                                          \
    { "Motor No Error", "Pos Limit Error", "Neg Limit Error" }

// The texts are the firmware's own, spelling included.
const ParameterDescriptor ParameterCatalogue[kCatalogueSize] = {
    {0,
     kParameterState,
     {"System Error", "Jogging", "Running Program", "Idle", "System Unknow Status"}},
    {1,
     kParameterState,
     {"Program Stop", "Program Running", "Program Pause", "Program Have Errors"}},
    {2, kParameterState, VELA_MOTOR_STATES},
    {3, kParameterState, VELA_MOTOR_STATES},
    {4, kParameterState, VELA_MOTOR_STATES},
    {5, kParameterState, VELA_MOTOR_STATES},
    {6, kParameterReal, {"Temp1:%.1f"}},
    {7, kParameterReal, {"Temp2:%.1f"}},
    {8, kParameterReal, {"Temp3:%.1f"}},
    {9, kParameterReal, {"Temp4:%.1f"}},
    {10, kParameterInteger, {"Layer:%d"}},
    {11, kParameterReal, {"Height:%.2f"}},
    {12, kParameterInteger, {"Pause Program:%d"}},
    {13, kParameterInteger, {"Stop  Program:%d"}},
    {14, kParameterInteger, {"System Initial:%d"}},
    {15,
     kParameterErrorCode,
     {"SE_NOERROR", "SE_LIMITEDSTOP", "SE_PROGSTOP", "SE_OVERTIME", "SE_UNKNOWCMD",
      "SE_SIGLEJOGCMD", "SE_WAITPROGCMD"}},
    // The names the monitor itself shows in the print queue.
    StateDescriptor(16, kPrinterStatusNames),
    {17, kParameterState, {"Have Support", "No Support"}},
    {18, kParameterState, {"N1 not hot", "N1 hot enough"}},
    {19, kParameterState, {"N2 not hot", "N2 hot enough"}},
    {20, kParameterState, {"N1 not heat", "N1 heating"}},
    {21, kParameterState, {"N2 not heat", "N2 heating"}},
    {22, kParameterState, {"Platform not heat", "Platform heating"}},
    {23, kParameterState, {"No Nozzle Open", "N1 Open", "N2 Open", "2Nozzle Open"}},
    {24, kParameterInteger, {"HF1:%d"}},
    {25, kParameterInteger, {"HF2:%d"}},
    {26, kParameterInteger, {"HF3:%d"}},
    {27, kParameterInteger, {"Hf4:%d"}},
    {28, kParameterState, {"Not Printing", "Printing"}},
    {29, kParameterInteger, {"Feed Error Lenght:%d"}},
    {30, kParameterErrorCode, VELA_MOTOR_ERRORS},
    {31, kParameterErrorCode, VELA_MOTOR_ERRORS},
    {32, kParameterErrorCode, VELA_MOTOR_ERRORS},
    {33, kParameterErrorCode, VELA_MOTOR_ERRORS},
    {34, kParameterInteger, {"PL1:%d"}},
    {35, kParameterInteger, {"PL2:%d"}},
    {36, kParameterInteger, {"PL3:%d"}},
    {37, kParameterInteger, {"PL4:%d"}},
    {38, kParameterInteger, {"NL1:%d"}},
    {39, kParameterInteger, {"NL2:%d"}},
    {40, kParameterInteger, {"NL3:%d"}},
    {41, kParameterInteger, {"NL4:%d"}},
    {42, kParameterInteger, {"Change Nozzle Time:%d"}},
    {43, kParameterInteger, {"Jump time:%d"}},
    {44, kParameterInteger, {"USINGNOZZLE:%d"}},
    {45, kParameterReal, {"Target Temp1:%.1f"}},
    {46, kParameterReal, {"Target Temp2:%.1f"}},
    {47, kParameterReal, {"Target Temp3:%.1f"}},
    {48, kParameterReal, {"Target Temp4:%.1f"}},
    {49, kParameterInteger, {"Check Door:%d"}},
    {50, kParameterInteger, {"Check 24V Power:%d"}},
    {51, kParameterInteger, {"Check Power Key:%d"}},
    {52, kParameterInteger, {"Check Light Key:%d"}},
    {53, kParameterInteger, {"Check Work Room Fan:%d"}},
    {54, kParameterInteger, {"Feed Back Lenght:%d"}},
    {55, kParameterInteger, {"Save To SD Card:%d"}},
    {56, kParameterInteger, {"Read Form SD Cark:%d"}},
};

#undef VELA_MOTOR_STATES
#undef VELA_MOTOR_ERRORS

const char* ParameterValueName(int32_t id, int32_t value) {
    if (id < 0 || id >= kCatalogueSize || value < 0 || value >= kParameterTextSlots) {
        return nullptr;
    }
    const ParameterDescriptor& descriptor = ParameterCatalogue[id];
    if (descriptor.kind != kParameterState && descriptor.kind != kParameterErrorCode) {
        return nullptr;
    }
    const char* name = descriptor.texts[value];
    return name[0] != '\0' ? name : nullptr;
}

const char* MachineStateName(int32_t value) {
    return ParameterValueName(0, value);
}

} // namespace vela::host
