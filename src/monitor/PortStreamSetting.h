// How a serial port streams its lines: the "StreamWindow" value under the
// monitor's "PortSettings\<port name>" key.
#pragma once

#include "core/MonitorState.h"
#include "serial/DocumentControl.h"

namespace vela {

constexpr wchar_t kPortSettingsKeyName[] = L"PortSettings";
constexpr wchar_t kStreamWindowValueName[] = L"StreamWindow";

// A REG_DWORD: 0 keeps one line in flight, n streams a window of n bytes (at
// most 4096). Without the value (or with one of another type) the port streams
// one line at a time, whatever the firmware reports of its buffers.
StreamWindowSetting ReadStreamWindowSetting(MonitorState& state, LPCWSTR portName);

} // namespace vela
