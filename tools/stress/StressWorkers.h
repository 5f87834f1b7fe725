// The threads of a stress run. Each runs until the bed's stop flag is set.
#pragma once

#include "StressBed.h"

#include <cstdint>

namespace vela::stress {

// Adds (through "AddPort" and AddPortEx), deletes, opens and closes the model's
// ports and enumerates, checking every outcome against the model.
void RunPortChurn(StressBed& bed, uint32_t seed);
// Arrival and removal notifications, each a reload of the ports.
void RunNotifications(StressBed& bed);
// HeapValidate of the process heap, over and over.
void RunHeapChecks(StressBed& bed);

// One HeapValidate of the process heap; a failure is a violation.
bool HeapIsIntact(StressBed& bed, const char* when);

} // namespace vela::stress
