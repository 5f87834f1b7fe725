// Transceive input checks: an input of any size, with or without a terminator.
// The length found must be that of the first NUL character lying wholly within the
// size, read without touching a byte beyond it. The same input as a port's
// settings in the layout of "GetPortSettings" and "SetPortSettings": whatever is
// accepted obeys the settings' rules and encodes back to an equal layout.
#include "FuzzInput.h"
#include "core/PortSettingsLayout.h"
#include "ports/XcvInput.h"

#include <cstring>
#include <memory>

namespace {

bool SameChange(const vela::PortSettingsChange& a, const vela::PortSettingsChange& b) {
    return a.streamWindow == b.streamWindow && a.baudRate == b.baudRate &&
           a.cancelLines == b.cancelLines && a.pauseLines == b.pauseLines &&
           a.resumeLines == b.resumeLines;
}

void CheckSettingsLayouts(const uint8_t* input, size_t size) {
    std::wstring port;
    vela::PortSettingsChange change;
    if (vela::DecodeSettingsChange(input, size, &port, &change) == vela::LayoutResult::Ok) {
        fuzz::Check(!port.empty() && !change.Empty(), "a change without a port or a setting");
        fuzz::Check(vela::SettingsChangeProblem(change).empty(), "a change the rules refuse");
        // Canonical values: only the order of the settings may differ.
        const std::vector<uint8_t> again = vela::EncodeSettingsChange(port, change);
        fuzz::Check(again.size() == size, "a change encodes to another size");
        std::wstring portAgain;
        vela::PortSettingsChange changeAgain;
        fuzz::Check(vela::DecodeSettingsChange(again.data(), again.size(), &portAgain,
                                               &changeAgain) == vela::LayoutResult::Ok &&
                        portAgain == port && SameChange(changeAgain, change),
                    "a change does not decode as it was encoded");
    }
    vela::PortSettings settings;
    if (vela::DecodePortSettings(input, size, &settings)) {
        const std::vector<uint8_t> again = vela::EncodePortSettings(settings);
        vela::PortSettings settingsAgain;
        fuzz::Check(vela::DecodePortSettings(again.data(), again.size(), &settingsAgain) &&
                        settingsAgain.streamWindow == settings.streamWindow &&
                        settingsAgain.baudRate == settings.baudRate &&
                        settingsAgain.cancelLines == settings.cancelLines &&
                        settingsAgain.pauseLines == settings.pauseLines &&
                        settingsAgain.resumeLines == settings.resumeLines,
                    "settings do not decode as they were encoded");
    }
    if (vela::DecodePortName(input, size, &port)) {
        const std::vector<uint8_t> again = vela::EncodePortName(port);
        fuzz::Check(!port.empty() && again.size() == size &&
                        std::memcmp(again.data(), input, size) == 0,
                    "a port name is not its input");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the input's size on the heap; the fuzzer's own buffer may be larger.
    std::unique_ptr<BYTE[]> input(new BYTE[size == 0 ? 1 : size]);
    if (size > 0) {
        std::memcpy(input.get(), data, size);
    }
    const auto stated = static_cast<DWORD>(size);
    const DWORD length = vela::TerminatedTextLength(size == 0 ? nullptr : input.get(), stated);
    const size_t characters = size / sizeof(WCHAR);
    size_t firstNul = characters;
    for (size_t index = 0; index < characters; ++index) {
        if (std::memcmp(data + index * sizeof(WCHAR), "\0\0\0\0\0\0\0\0", sizeof(WCHAR)) == 0) {
            firstNul = index;
            break;
        }
    }
    if (firstNul == characters) {
        fuzz::Check(length == vela::kNoTerminator, "a terminator found where none lies");
    } else {
        fuzz::Check(length == firstNul, "length differs from the first NUL character");
    }
    // A size larger than the stated one never changes the answer for a shorter size.
    if (size >= sizeof(WCHAR)) {
        const DWORD shorter = vela::TerminatedTextLength(input.get(), stated - 1);
        fuzz::Check(shorter == vela::kNoTerminator || shorter == length, "shorter size");
    }
    CheckSettingsLayouts(size == 0 ? nullptr : input.get(), size);
    return 0;
}
