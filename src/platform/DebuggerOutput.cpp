#include "platform/DebuggerOutput.h"

#include "platform/Win32Headers.h"

#include <cstdarg>
#include <cstdio>

namespace vela {

void DebuggerOutputFormatted(const char* format, ...) {
    char message[512];
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(message, sizeof(message), format, arguments);
    va_end(arguments);
    if (written < 0) {
        return;
    }
    ::OutputDebugStringA(message);
}

} // namespace vela
