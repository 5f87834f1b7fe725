// Random transceive calls: commands of the nine (and near misses), random bytes
// and texts with sizes that lie and terminators that are missing, random output
// sizes, on handles opened and closed at random with and without the right.
#pragma once

#include "StressBed.h"

#include <cstdint>

namespace vela::stress {

void RunTransceiveFuzz(StressBed& bed, uint32_t seed);

} // namespace vela::stress
