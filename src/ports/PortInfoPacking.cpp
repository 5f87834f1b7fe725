#include "ports/PortInfoPacking.h"

#include <cstring>
#include <cwchar>

namespace vela {
namespace {

DWORD StringBytes(LPCWSTR text) {
    return static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(WCHAR));
}

DWORD RecordBytes(DWORD level) {
    return static_cast<DWORD>(level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W));
}

} // namespace

DWORD PortInfoBytes(DWORD level, LPCWSTR portName) {
    DWORD bytes = RecordBytes(level) + StringBytes(portName);
    if (level == 2) {
        bytes += StringBytes(kMonitorName) + StringBytes(kPortDescription);
    }
    return bytes;
}

PortInfoPacker::PortInfoPacker(DWORD level, LPBYTE buffer, DWORD size)
    : level_(level), nextRecord_(buffer), stringsStart_(buffer + size) {}

bool PortInfoPacker::Add(LPCWSTR portName) {
    const DWORD needed = PortInfoBytes(level_, portName);
    if (static_cast<size_t>(stringsStart_ - nextRecord_) < needed) {
        return false;
    }
    // Strings go in field order, each directly below the one placed before it.
    if (level_ == 1) {
        PORT_INFO_1W record{};
        record.pName = PlaceString(portName);
        std::memcpy(nextRecord_, &record, sizeof(record));
    } else {
        PORT_INFO_2W record{};
        record.pPortName = PlaceString(portName);
        record.pMonitorName = PlaceString(kMonitorName);
        record.pDescription = PlaceString(kPortDescription);
        record.fPortType = kReportedPortType;
        record.Reserved = 0;
        std::memcpy(nextRecord_, &record, sizeof(record));
    }
    nextRecord_ += RecordBytes(level_);
    ++count_;
    return true;
}

LPWSTR PortInfoPacker::PlaceString(LPCWSTR text) {
    const DWORD bytes = StringBytes(text);
    stringsStart_ -= bytes;
    std::memcpy(stringsStart_, text, bytes);
    return reinterpret_cast<LPWSTR>(stringsStart_);
}

} // namespace vela
