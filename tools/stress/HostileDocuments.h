// Hook for random documents against hostile firmware: StartDocPort, WritePort of
// random pieces and EndDocPort on a port whose simulated firmware misbehaves
// (drops, corrupts and delays replies, asks for resends, goes silent).
//
// Left empty for now: the document state and the protocol handler are still
// process-wide, so documents on several ports at once would only measure that.
// Fill this in once the serial handler runs per port.
#pragma once

#include "StressBed.h"

#include <random>

namespace vela::stress {

// Runs one random document; false when it did nothing (the hook is empty).
bool RunHostileDocument(StressBed& bed, std::mt19937& random);

} // namespace vela::stress
