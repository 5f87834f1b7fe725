#include "monitor/DebugLog.h"

#include "platform/FormattedText.h"

#include <cstdarg>
#include <cstdio>
#include <share.h>

namespace vela {
namespace {

constexpr wchar_t kLogPath[] = L"C:\\temp\\vela3dp.log";

} // namespace

void WriteLog(const char* text) {
    if (text == nullptr) {
        return;
    }
    // Opened per message in text mode, with no sharing restriction, so the file is
    // complete after every call and may be read, renamed or deleted meanwhile.
    FILE* file = ::_wfsopen(kLogPath, L"at", _SH_DENYNO);
    if (file == nullptr) {
        return;
    }
    std::fputs(text, file);
    std::fclose(file);
}

void WriteLogFormatted(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    PassFormatted(WriteLog, format, arguments);
    va_end(arguments);
}

} // namespace vela
