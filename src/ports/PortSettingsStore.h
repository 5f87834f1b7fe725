// A port's settings in the registry: the values under "PortSettings\<port name>"
// below the monitor's root key, reached through the registry functions the
// spooler hands the monitor. The monitor is their only writer.
//
//   StreamWindow  REG_DWORD     bytes of unacknowledged lines out at once, 0 to 4096
//   BaudRate      REG_DWORD     a standard speed, or 0 for automatic
//   DetectedBaudRate  REG_DWORD the speed automatic found last, tried first
//   CancelGCode   REG_MULTI_SZ  the lines a cancelled document ends with; without
//                               the port's own, the monitor-wide value under the
//                               root key, then the default lines
//   PauseGCode, ResumeGCode  REG_MULTI_SZ  empty without a value
#pragma once

#include "core/MonitorState.h"
#include "core/PortSettings.h"

namespace vela {

constexpr wchar_t kPortSettingsKeyName[] = L"PortSettings";

// The port's settings, each checked against the rules of core/PortSettings.h. A
// stored value that breaks them (or has another type) is ignored as if missing,
// with a line in the debug log.
PortSettings ReadPortSettings(MonitorState& state, LPCWSTR portName);

// Stores what the change sets, as the spooler itself. ERROR_INVALID_NAME for a name
// that cannot name a key of its own (empty, or with a backslash), ERROR_INVALID_DATA
// for a value the rules refuse (nothing is written then), else the first registry
// code that is not 0: the values written before it are put back as they were, and
// the port's key goes again when the change made it.
DWORD WritePortSettings(MonitorState& state, LPCWSTR portName, const PortSettingsChange& change);

// Remembers the speed at which a port's printer answered on automatic, beside the
// setting (which stays automatic), so that the next document tries it first; as
// WritePortSettings.
DWORD RememberDetectedBaudRate(MonitorState& state, LPCWSTR portName, uint32_t rate);

// Removes the port's settings with the port; what cannot be removed stays.
void DeletePortSettings(MonitorState& state, LPCWSTR portName);

} // namespace vela
