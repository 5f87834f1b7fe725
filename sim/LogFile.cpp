#include "sim/LogFile.h"

#include "platform/Win32Headers.h"

#include <cstdio>

namespace vela::test {
namespace {

constexpr wchar_t kFolder[] = L"C:\\temp";
constexpr wchar_t kLog[] = L"C:\\temp\\vela3dp.log";

} // namespace

void ResetLog() {
    ::CreateDirectoryW(kFolder, nullptr);
    ::DeleteFileW(kLog);
}

std::string ReadLog() {
    std::string content;
    FILE* file = ::_wfopen(kLog, L"rb");
    if (file == nullptr) {
        return content;
    }
    char buffer[4096];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        content.append(buffer, read);
    }
    std::fclose(file);
    return content;
}

bool LogExists() {
    return ::GetFileAttributesW(kLog) != INVALID_FILE_ATTRIBUTES;
}

void RemoveLogFolder() {
    ::DeleteFileW(kLog);
    ::RemoveDirectoryW(kFolder);
}

} // namespace vela::test
