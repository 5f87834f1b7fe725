// How port settings travel in the transceive commands "GetPortSettings" and
// "SetPortSettings": UTF-16 (little-endian) strings, each closed by a NUL, the
// whole closed by an empty string, as in a REG_MULTI_SZ value.
//
//   GetPortSettings input:  <port name> NUL
//   GetPortSettings output: StreamWindow=<n> NUL BaudRate=<n> NUL CancelGCode=<lines> NUL
//                           PauseGCode=<lines> NUL ResumeGCode=<lines> NUL NUL
//   SetPortSettings input:  <port name> NUL, then the settings to change, each at most
//                           once, in any order, as above; then NUL
//
// Numbers are decimal without sign or leading zeros (BaudRate 0: automatic); the
// lines of a list are joined by LF, and an empty list is written as nothing after
// the "=". The stated size must end exactly where the layout ends. Pure logic.
#pragma once

#include "core/PortSettings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vela {

// The names of the settings, in the layout and as registry values.
constexpr wchar_t kStreamWindowName[] = L"StreamWindow";
constexpr wchar_t kBaudRateName[] = L"BaudRate";
// Beside the setting, never in its place: the speed automatic found last.
constexpr wchar_t kDetectedBaudRateName[] = L"DetectedBaudRate";
constexpr wchar_t kCancelGcodeName[] = L"CancelGCode";
constexpr wchar_t kPauseGcodeName[] = L"PauseGCode";
constexpr wchar_t kResumeGcodeName[] = L"ResumeGCode";

// A layout larger than this is refused unread.
constexpr size_t kMaxSettingsLayoutBytes = 64 * 1024;

enum class LayoutResult {
    Ok,
    Malformed, // not the layout: sizes, terminators, names, numbers
    BadValue,  // the layout, with a value the rules of PortSettings.h refuse
};

std::vector<uint8_t> EncodePortName(const std::wstring& name);
// A non-empty name and its NUL, filling the size exactly.
bool DecodePortName(const uint8_t* bytes, size_t size, std::wstring* name);

std::vector<uint8_t> EncodePortSettings(const PortSettings& settings);
// The five settings as GetPortSettings gives them; names it does not know are
// passed over (a later monitor may add some). streamWindowStored is not carried.
bool DecodePortSettings(const uint8_t* bytes, size_t size, PortSettings* settings);

std::vector<uint8_t> EncodeSettingsChange(const std::wstring& port,
                                          const PortSettingsChange& change);
// On Ok, port and change hold what the input asks; otherwise nothing is promised.
LayoutResult DecodeSettingsChange(const uint8_t* bytes, size_t size, std::wstring* port,
                                  PortSettingsChange* change);

} // namespace vela
