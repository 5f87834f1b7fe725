// Random documents against hostile firmware: OpenPort, StartDocPort, WritePort of
// random pieces, EndDocPort and ClosePort on a serial port whose simulated
// firmware misbehaves (damages, loses and delays lines and answers, chatters,
// refuses a line for ever, halts), while the other threads churn the ports.
#pragma once

#include "StressBed.h"

#include <random>
#include <string>

namespace vela::stress {

// The serial port of the documents, stored with the host's device path.
constexpr wchar_t kSerialStressPort[] = L"StressSerial:";

// Runs one random document when the bed has a serial pair and no other document
// is running; false when it did nothing. Breaks of the line protocol (a line run
// twice, skipped or out of order, a complete document that is not) are violations.
bool RunHostileDocument(StressBed& bed, std::mt19937& random);

} // namespace vela::stress
