// EnumPorts record packing: ports of any name length into a buffer of any size.
// Records grow up from the start, strings down from the end; nothing may be written
// outside the buffer or over what was placed before, and a port that does not fit
// leaves the buffer as it was.
#include "FuzzInput.h"
#include "ports/PortInfoPacking.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace {

using WideString = std::basic_string<WCHAR>;

// Reads a string the packer placed, at any alignment.
WideString ReadPlaced(const BYTE* at, const BYTE* end) {
    WideString text;
    for (;;) {
        fuzz::Check(at + sizeof(WCHAR) <= end, "string runs past the buffer");
        WCHAR character = 0;
        std::memcpy(&character, at, sizeof(character));
        if (character == 0) {
            return text;
        }
        text.push_back(character);
        at += sizeof(WCHAR);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    const DWORD level = 1 + input.Byte() % 2;
    const DWORD bufferSize = input.Below(2048);
    std::unique_ptr<BYTE[]> buffer(new BYTE[bufferSize == 0 ? 1 : bufferSize]);
    std::memset(buffer.get(), 0xA5, bufferSize);
    vela::PortInfoPacker packer(level, buffer.get(), bufferSize);
    const BYTE* end = buffer.get() + bufferSize;

    std::vector<WideString> names;
    DWORD used = 0;
    while (!input.Empty()) {
        WideString name;
        const uint32_t length = input.Below(40);
        for (uint32_t i = 0; i < length; ++i) {
            name.push_back(static_cast<WCHAR>(1 + input.Byte())); // no NUL inside
        }
        const DWORD needed = vela::PortInfoBytes(level, name.c_str());
        const std::vector<BYTE> before(buffer.get(), buffer.get() + bufferSize);
        const bool added = packer.Add(name.c_str());
        fuzz::Check(added == (bufferSize - used >= needed), "fit decision");
        if (!added) {
            fuzz::Check(bufferSize == 0 ||
                            std::memcmp(before.data(), buffer.get(), bufferSize) == 0,
                        "a refused port changed the buffer");
            continue;
        }
        used += needed;
        names.push_back(name);
    }
    fuzz::Check(packer.Count() == names.size(), "count");

    // Every record reads back, its strings inside the buffer, above the records.
    const size_t recordBytes = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    const BYTE* recordsEnd = buffer.get() + names.size() * recordBytes;
    for (size_t index = 0; index < names.size(); ++index) {
        const BYTE* at = buffer.get() + index * recordBytes;
        std::vector<std::pair<LPWSTR, WideString>> strings;
        if (level == 1) {
            PORT_INFO_1W record;
            std::memcpy(&record, at, sizeof(record));
            strings.emplace_back(record.pName, names[index]);
        } else {
            PORT_INFO_2W record;
            std::memcpy(&record, at, sizeof(record));
            fuzz::Check(record.fPortType == vela::kReportedPortType && record.Reserved == 0,
                        "port type");
            strings.emplace_back(record.pPortName, names[index]);
            strings.emplace_back(record.pMonitorName, vela::kMonitorName);
            strings.emplace_back(record.pDescription, vela::kPortDescription);
        }
        for (const auto& [pointer, expected] : strings) {
            const BYTE* placed = reinterpret_cast<const BYTE*>(pointer);
            fuzz::Check(placed >= recordsEnd && placed < end, "string outside the string area");
            fuzz::Check(ReadPlaced(placed, end) == expected, "string content");
        }
    }
    return 0;
}
