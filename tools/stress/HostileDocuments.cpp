#include "HostileDocuments.h"

namespace vela::stress {

bool RunHostileDocument(StressBed& /*bed*/, std::mt19937& /*random*/) {
    return false;
}

} // namespace vela::stress
