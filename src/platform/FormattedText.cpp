#include "platform/FormattedText.h"

#include <cstdio>

namespace vela {

void PassFormatted(void (*sink)(const char* text), const char* format, va_list arguments) {
    char text[1024];
    if (std::vsnprintf(text, sizeof(text), format, arguments) >= 0) {
        sink(text);
    }
}

} // namespace vela
