#include "QueueStatus.h"

#include <windows.h>

namespace vela::host {
namespace {

// The console takes UTF-8 bytes: a degree sign survives.
std::string Utf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return std::string();
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], size, nullptr, nullptr);
    bytes.resize(static_cast<size_t>(size - 1));
    return bytes;
}

} // namespace

void QueueStatusLines::Add(const wchar_t* text) {
    std::string line = "  queue shows: ";
    line += text != nullptr ? Utf8(text) : std::string("(the status is cleared)");
    std::lock_guard<std::mutex> guard(lock_);
    lines_.push_back(line);
}

bool QueueStatusLines::Pending() {
    std::lock_guard<std::mutex> guard(lock_);
    return !lines_.empty();
}

std::vector<std::string> QueueStatusLines::Take() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> taken;
    taken.swap(lines_);
    return taken;
}

} // namespace vela::host
