#include "VelaLib2/PrinterInfo.h"

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

} // namespace vela
