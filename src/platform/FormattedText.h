// printf-style formatting into a bounded buffer, for the monitor's text outputs.
#pragma once

#include <cstdarg>

namespace vela {

// Formats into a buffer of its own (a text over 1023 characters is cut) and hands
// the text to the sink; nothing when the format itself fails.
void PassFormatted(void (*sink)(const char* text), const char* format, va_list arguments);

} // namespace vela
