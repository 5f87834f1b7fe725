#include "platform/DebuggerOutput.h"

#include "platform/FormattedText.h"
#include "platform/Win32Headers.h"

#include <cstdarg>

namespace vela {

void DebuggerOutputFormatted(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    PassFormatted([](const char* text) { ::OutputDebugStringA(text); }, format, arguments);
    va_end(arguments);
}

} // namespace vela
