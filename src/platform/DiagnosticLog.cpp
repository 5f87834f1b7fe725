#include "platform/DiagnosticLog.h"

#include "platform/DebugLogFile.h"
#include "platform/Win32Headers.h"

#include <cstdarg>
#include <cstdio>

namespace vela {
namespace {

// One formatted or converted message with its terminator.
constexpr int kMessageBytes = 1024;

} // namespace

void Log(LogTo where, const char* text) {
    if (text == nullptr) {
        return;
    }
    switch (where) {
    case LogTo::DebugLog:
        AppendToDebugLog(text);
        break;
    case LogTo::Debugger:
        ::OutputDebugStringA(text);
        break;
    }
}

void Log(LogTo where, const wchar_t* text) {
    if (text == nullptr) {
        return;
    }
    switch (where) {
    case LogTo::DebugLog: {
        char narrow[kMessageBytes];
        if (::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, kMessageBytes, nullptr, nullptr) >
            0) {
            AppendToDebugLog(narrow);
        }
        break;
    }
    case LogTo::Debugger:
        ::OutputDebugStringW(text);
        break;
    }
}

void LogFormatted(LogTo where, const char* format, ...) {
    char text[kMessageBytes];
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    if (written >= 0) {
        Log(where, text);
    }
}

} // namespace vela
