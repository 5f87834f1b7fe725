#include "TransceiveFuzz.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace vela::stress {
namespace {

constexpr const wchar_t* kCommands[] = {
    L"MonitorUI",
    L"ConfigureLPTPortCommandOK",
    L"AddPort",
    L"DeletePort",
    L"PortExists",
    L"PortIsValid",
    L"GetTransmissionRetryTimeout",
    L"SetDefaultCommConfig",
    L"GetDefaultCommConfig",
    // Near misses, which no command answers.
    L"monitorui",
    L"AddPort ",
    L"",
};
constexpr size_t kTrueCommands = 9;
constexpr size_t kMaxHandles = 4;
// Letters the fuzzed names are made of: ASCII, a colon, the soft hyphen, a letter
// with a case pair outside ASCII, and one from outside the basic plane's letters.
constexpr wchar_t kAlphabet[] = L"FuzAZaz09:-\u00AD\u00C4\u00E4\u2603";

using Random = std::mt19937;

size_t Below(Random& random, size_t bound) {
    return std::uniform_int_distribution<size_t>(0, bound - 1)(random);
}

std::wstring FuzzText(Random& random) {
    std::wstring text;
    for (size_t length = Below(random, 24); length > 0; --length) {
        text += kAlphabet[Below(random, sizeof(kAlphabet) / sizeof(wchar_t) - 1)];
    }
    return text;
}

// The input as the caller states it: a block of exactly inputSize bytes, which
// may hold random bytes, a text with its terminator, or a text without one.
std::vector<BYTE> FuzzInput(Random& random, DWORD* inputSize) {
    std::vector<BYTE> input;
    const std::wstring text = FuzzText(random);
    const DWORD textBytes = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
    switch (Below(random, 4)) {
    case 0: // random bytes of a random size
        input.resize(Below(random, 300));
        for (BYTE& byte : input) {
            byte = static_cast<BYTE>(random());
        }
        break;
    case 1: // a text and its terminator, size exact
        input.resize(textBytes);
        break;
    case 2: // the same text, size off by a little either way (never below 0)
        input.resize(textBytes + Below(random, 7) - (textBytes >= 3 ? 3 : 0));
        break;
    default: // the text without its terminator
        input.resize(textBytes - sizeof(WCHAR));
        break;
    }
    if (!input.empty() && Below(random, 4) != 0) {
        const size_t copied = std::min(input.size(), static_cast<size_t>(textBytes));
        std::memcpy(input.data(), text.c_str(), copied);
    }
    *inputSize = static_cast<DWORD>(input.size());
    return input;
}

} // namespace

void RunTransceiveFuzz(StressBed& bed, uint32_t seed) {
    Random random(seed);
    std::vector<HANDLE> handles;
    while (!bed.stop) {
        if (handles.size() < kMaxHandles && Below(random, 8) == 0) {
            const std::wstring object = FuzzText(random);
            const ACCESS_MASK access =
                Below(random, 2) == 0 ? SERVER_ACCESS_ADMINISTER : SERVER_ACCESS_ENUMERATE;
            HANDLE xcv = nullptr;
            const BOOL opened = bed.table->pfnXcvOpenPort(
                bed.monitor, Below(random, 4) == 0 ? nullptr : object.c_str(), access, &xcv);
            bed.tally.Count("XcvOpenPort", opened ? 0 : ::GetLastError());
            if (opened) {
                handles.push_back(xcv);
            }
        }
        if (handles.empty()) {
            continue;
        }
        const size_t which = Below(random, handles.size());
        if (Below(random, 16) == 0) {
            bed.table->pfnXcvClosePort(handles[which]);
            bed.tally.Count("XcvClosePort", 0);
            handles.erase(handles.begin() + static_cast<std::ptrdiff_t>(which));
            continue;
        }
        const size_t command = Below(random, sizeof(kCommands) / sizeof(kCommands[0]));
        DWORD inputSize = 0;
        std::vector<BYTE> input = FuzzInput(random, &inputSize);
        std::vector<BYTE> output(Below(random, 4) == 0 ? 0 : Below(random, 300));
        DWORD needed = 0xFFFFFFFF;
        const DWORD result = bed.Xcv(
            handles[which], kCommands[command], input.empty() ? nullptr : input.data(), inputSize,
            output.empty() ? nullptr : output.data(), static_cast<DWORD>(output.size()), &needed);
        const std::string kind =
            "XcvDataPort " + (command < kTrueCommands ? Narrow(kCommands[command]) : "(none)");
        bed.tally.Count(kind, result);
        if (result == 0 && needed > output.size()) {
            bed.tally.Violation(kind + " succeeded needing " + std::to_string(needed) +
                                " bytes of " + std::to_string(output.size()));
        }
        if (command >= kTrueCommands && result != ERROR_INVALID_PARAMETER) {
            bed.tally.Violation(kind + " answered " + std::to_string(result));
        }
    }
    for (HANDLE xcv : handles) {
        bed.table->pfnXcvClosePort(xcv);
    }
}

} // namespace vela::stress
