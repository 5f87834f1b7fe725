#include "usb/PrinterInfo.h"

#include <cstring>

namespace vela {

PrinterInfo::PrinterInfo() {
    // The block's defaults before any status read: name fields of 0x01 bytes
    // and every value 1.0.
    for (NamedValueSet& set : valueSets) {
        std::memset(set.name, 1, sizeof(set.name));
        for (double& value : set.values) {
            value = 1.0;
        }
    }
}

double AxisCoordinate(const PrinterInfo& info, int32_t axis, int32_t steps) {
    if (axis < kAxisX || axis > kAxisFourth || info.axisScales[axis] == 0.0) {
        return 0.0;
    }
    // Negated as an integer, so that 0 steps give 0 rather than -0.
    const int64_t signedSteps = axis == kAxisZ ? -static_cast<int64_t>(steps) : steps;
    return static_cast<double>(signedSteps) / info.axisScales[axis];
}

} // namespace vela
