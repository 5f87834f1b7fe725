#include "ports/PortSettingsStore.h"

#include "core/PortSettingsLayout.h"
#include "core/SpoolerRegKey.h"
#include "platform/DiagnosticLog.h"
#include "ports/PrinterSelf.h"

#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace vela {
namespace {

// Larger lists are not read: 32 lines of 255 characters fit well within.
constexpr DWORD kMaxListBytes = 16 * 1024;

const MONITORINIT* RegistryOf(const MonitorState& state) {
    const MONITORINIT* init = state.monitorInit;
    return init != nullptr && init->pMonitorReg != nullptr ? init : nullptr;
}

// "PortSettings\<name>", or false for a name that would reach another key.
bool SettingsPath(LPCWSTR portName, std::wstring* path) {
    if (portName == nullptr || portName[0] == L'\0' ||
        std::wstring(portName).find(L'\\') != std::wstring::npos) {
        return false;
    }
    *path = std::wstring(kPortSettingsKeyName) + L"\\" + portName;
    return true;
}

enum class Stored { Missing, Valid, Invalid };

// Where a stored value was found, for the log line that says it is ignored.
struct ValueSource {
    LPCWSTR portName; // null: the monitor's root key
    LPCWSTR valueName;
};

void LogIgnored(const ValueSource& source, const std::wstring& why) {
    if (source.portName != nullptr) {
        LogFormatted(LogTo::DebugLog, "Ignored \"%ls\" of the port \"%ls\": %ls\r\n",
                     source.valueName, source.portName, why.c_str());
    } else {
        LogFormatted(LogTo::DebugLog, "Ignored the monitor's \"%ls\": %ls\r\n", source.valueName,
                     why.c_str());
    }
}

Stored ReadNumber(const MONITORINIT& init, HANDLE key, const ValueSource& source, DWORD* value) {
    DWORD type = 0;
    DWORD size = sizeof(*value);
    const LONG result = init.pMonitorReg->fpQueryValue(
        key, source.valueName, &type, reinterpret_cast<LPBYTE>(value), &size, init.hSpooler);
    if (result == ERROR_FILE_NOT_FOUND) {
        return Stored::Missing;
    }
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(*value)) {
        LogIgnored(source, L"it is not a REG_DWORD.");
        return Stored::Invalid;
    }
    return Stored::Valid;
}

// The strings of a REG_MULTI_SZ up to its first empty one; the data need not be
// terminated.
std::vector<std::string> SplitMultiString(const WCHAR* text, size_t characters) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < characters && text[start] != L'\0') {
        size_t end = start;
        while (end < characters && text[end] != L'\0') {
            ++end;
        }
        lines.push_back(NarrowGcode(std::wstring(text + start, text + end)));
        start = end + 1;
    }
    return lines;
}

// An empty list counts as missing: a cancel without lines would leave the heaters on.
Stored ReadLines(const MONITORINIT& init, HANDLE key, const ValueSource& source, GcodeList list,
                 std::vector<std::string>* lines) {
    DWORD type = 0;
    DWORD size = 0;
    LONG result =
        init.pMonitorReg->fpQueryValue(key, source.valueName, &type, nullptr, &size, init.hSpooler);
    if (result == ERROR_FILE_NOT_FOUND) {
        return Stored::Missing;
    }
    if (result != ERROR_SUCCESS || type != REG_MULTI_SZ || size > kMaxListBytes) {
        LogIgnored(source, L"it is not a REG_MULTI_SZ of at most " +
                               std::to_wstring(kMaxListBytes) + L" bytes.");
        return Stored::Invalid;
    }
    const size_t characters = size / sizeof(WCHAR);
    std::unique_ptr<WCHAR[]> text(new (std::nothrow) WCHAR[characters + 1]());
    if (text == nullptr) {
        return Stored::Invalid;
    }
    result = init.pMonitorReg->fpQueryValue(
        key, source.valueName, &type, reinterpret_cast<LPBYTE>(text.get()), &size, init.hSpooler);
    if (result != ERROR_SUCCESS || type != REG_MULTI_SZ) {
        // Changed between the two reads.
        LogIgnored(source, L"it could not be read (error " + std::to_wstring(result) + L").");
        return Stored::Invalid;
    }
    std::vector<std::string> read = SplitMultiString(text.get(), size / sizeof(WCHAR));
    if (read.empty()) {
        return Stored::Missing;
    }
    const std::wstring problem = GcodeLinesProblem(list, read);
    if (!problem.empty()) {
        LogIgnored(source, problem);
        return Stored::Invalid;
    }
    *lines = read;
    return Stored::Valid;
}

void ReadPortValues(const MONITORINIT& init, HANDLE key, LPCWSTR portName, PortSettings& settings,
                    bool* ownCancelLines) {
    DWORD number = 0;
    const ValueSource window{portName, kStreamWindowName};
    if (ReadNumber(init, key, window, &number) == Stored::Valid) {
        const std::wstring problem = StreamWindowProblem(number);
        if (problem.empty()) {
            settings.streamWindow = number;
            settings.streamWindowStored = true;
        } else {
            LogIgnored(window, problem);
        }
    }
    const struct {
        LPCWSTR name;
        uint32_t& value;
    } rates[] = {{kBaudRateName, settings.baudRate},
                 {kDetectedBaudRateName, settings.detectedBaudRate}};
    for (const auto& item : rates) {
        const ValueSource rate{portName, item.name};
        if (ReadNumber(init, key, rate, &number) == Stored::Valid) {
            const std::wstring problem = BaudRateProblem(number);
            if (problem.empty()) {
                item.value = number;
            } else {
                LogIgnored(rate, problem);
            }
        }
    }
    *ownCancelLines = ReadLines(init, key, ValueSource{portName, kCancelGcodeName},
                                GcodeList::Cancel, &settings.cancelLines) == Stored::Valid;
    ReadLines(init, key, ValueSource{portName, kPauseGcodeName}, GcodeList::Pause,
              &settings.pauseLines);
    ReadLines(init, key, ValueSource{portName, kResumeGcodeName}, GcodeList::Resume,
              &settings.resumeLines);
}

std::vector<BYTE> MultiStringOf(const std::vector<std::string>& lines) {
    std::vector<BYTE> data;
    for (const std::string& line : lines) {
        for (char c : line) {
            data.push_back(static_cast<BYTE>(c));
            data.push_back(0);
        }
        data.push_back(0);
        data.push_back(0);
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

LONG WriteLines(const MONITORINIT& init, HANDLE key, LPCWSTR name,
                const std::vector<std::string>& lines) {
    if (lines.empty()) {
        const LONG result = init.pMonitorReg->fpDeleteValue(key, name, init.hSpooler);
        return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
    }
    const std::vector<BYTE> data = MultiStringOf(lines);
    return init.pMonitorReg->fpSetValue(key, name, REG_MULTI_SZ, data.data(),
                                        static_cast<DWORD>(data.size()), init.hSpooler);
}

LONG WriteNumber(const MONITORINIT& init, HANDLE key, LPCWSTR name, DWORD value) {
    return init.pMonitorReg->fpSetValue(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                        sizeof(value), init.hSpooler);
}

// Writes a change's values, each read first: unless the change is kept, the
// values written are put back as they were (or deleted again) when this goes, so
// that a change that fails part-way leaves the port's settings as they were.
class SettingsWrite {
  public:
    SettingsWrite(const MONITORINIT& init, HANDLE key, LPCWSTR portName)
        : init_(init), key_(key), portName_(portName) {}
    ~SettingsWrite() {
        for (auto value = saved_.rbegin(); value != saved_.rend(); ++value) {
            Restore(*value);
        }
    }
    SettingsWrite(const SettingsWrite&) = delete;
    SettingsWrite& operator=(const SettingsWrite&) = delete;

    LONG Number(LPCWSTR name, DWORD value) {
        const LONG result = Save(name);
        return result != ERROR_SUCCESS ? result : WriteNumber(init_, key_, name, value);
    }
    LONG Lines(LPCWSTR name, const std::vector<std::string>& lines) {
        const LONG result = Save(name);
        return result != ERROR_SUCCESS ? result : WriteLines(init_, key_, name, lines);
    }
    void Keep() { saved_.clear(); }

  private:
    struct Saved {
        LPCWSTR name;
        bool existed;
        DWORD type;
        std::vector<BYTE> data;
    };

    // A value that cannot be read is not written either: it could not be put back.
    LONG Save(LPCWSTR name) {
        Saved saved{name, false, REG_NONE, {}};
        DWORD size = 0;
        LONG result = Query(name, &saved.type, nullptr, &size);
        // Read again while the value grows between its size and its data.
        while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
            saved.data.resize(size);
            result = Query(name, &saved.type, saved.data.data(), &size);
            if (result == ERROR_SUCCESS) {
                saved.data.resize(size);
                saved.existed = true;
                break;
            }
        }
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            return result;
        }
        saved_.push_back(std::move(saved));
        return ERROR_SUCCESS;
    }
    LONG Query(LPCWSTR name, DWORD* type, BYTE* data, DWORD* size) const {
        return init_.pMonitorReg->fpQueryValue(key_, name, type, data, size, init_.hSpooler);
    }
    void Restore(const Saved& value) const {
        const LONG result =
            value.existed
                ? init_.pMonitorReg->fpSetValue(key_, value.name, value.type, value.data.data(),
                                                static_cast<DWORD>(value.data.size()),
                                                init_.hSpooler)
                : init_.pMonitorReg->fpDeleteValue(key_, value.name, init_.hSpooler);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            LogFormatted(LogTo::DebugLog,
                         "\"%ls\" of the port \"%ls\" could not be put back (error %ld)\r\n",
                         value.name, portName_, result);
        }
    }

    const MONITORINIT& init_;
    HANDLE key_;
    LPCWSTR portName_;
    std::vector<Saved> saved_;
};

} // namespace

PortSettings ReadPortSettings(MonitorState& state, LPCWSTR portName) {
    PortSettings settings;
    const MONITORINIT* init = RegistryOf(state);
    if (init == nullptr) {
        settings.cancelLines = DefaultCancelLines();
        return settings;
    }
    bool ownCancelLines = false;
    std::wstring path;
    if (SettingsPath(portName, &path)) {
        UniqueSpoolerRegKey key = SpoolerRegKeyOf(*init);
        if (init->pMonitorReg->fpOpenKey(init->hckRegistryRoot, path.c_str(), KEY_READ, key.Put(),
                                         init->hSpooler) != ERROR_SUCCESS) {
            // Whatever a failed open left in the slot is no key.
            key.Release();
        }
        if (key.Valid()) {
            ReadPortValues(*init, key.Get(), portName, settings, &ownCancelLines);
        }
    }
    if (!ownCancelLines &&
        ReadLines(*init, init->hckRegistryRoot, ValueSource{nullptr, kCancelGcodeName},
                  GcodeList::Cancel, &settings.cancelLines) != Stored::Valid) {
        settings.cancelLines = DefaultCancelLines();
    }
    return settings;
}

DWORD WritePortSettings(MonitorState& state, LPCWSTR portName, const PortSettingsChange& change) {
    std::wstring path;
    if (!SettingsPath(portName, &path)) {
        return ERROR_INVALID_NAME;
    }
    if (!SettingsChangeProblem(change).empty()) {
        return ERROR_INVALID_DATA;
    }
    const MONITORINIT* init = RegistryOf(state);
    if (init == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    PrinterSelf asSpooler; // writes run as the spooler itself
    UniqueSpoolerRegKey key = SpoolerRegKeyOf(*init);
    DWORD disposition = 0;
    LONG result = init->pMonitorReg->fpCreateKey(init->hckRegistryRoot, path.c_str(), 0,
                                                 KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                                                 key.Put(), &disposition, init->hSpooler);
    if (result != ERROR_SUCCESS) {
        key.Release();
        return static_cast<DWORD>(result);
    }
    {
        SettingsWrite write(*init, key.Get(), portName);
        if (change.streamWindow) {
            result = write.Number(kStreamWindowName, *change.streamWindow);
        }
        if (result == ERROR_SUCCESS && change.baudRate) {
            result = write.Number(kBaudRateName, *change.baudRate);
        }
        if (result == ERROR_SUCCESS && change.detectedBaudRate) {
            result = write.Number(kDetectedBaudRateName, *change.detectedBaudRate);
        }
        const struct {
            LPCWSTR name;
            const std::optional<std::vector<std::string>>& lines;
        } lists[] = {{kCancelGcodeName, change.cancelLines},
                     {kPauseGcodeName, change.pauseLines},
                     {kResumeGcodeName, change.resumeLines}};
        for (const auto& item : lists) {
            if (result == ERROR_SUCCESS && item.lines) {
                result = write.Lines(item.name, *item.lines);
            }
        }
        if (result == ERROR_SUCCESS) {
            write.Keep();
        }
    }
    if (result != ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
        // Nor is the port's key left behind when this change made it.
        key.Reset();
        init->pMonitorReg->fpDeleteKey(init->hckRegistryRoot, path.c_str(), init->hSpooler);
    }
    return static_cast<DWORD>(result);
}

DWORD RememberDetectedBaudRate(MonitorState& state, LPCWSTR portName, uint32_t rate) {
    PortSettingsChange change;
    change.detectedBaudRate = rate;
    return WritePortSettings(state, portName, change);
}

void DeletePortSettings(MonitorState& state, LPCWSTR portName) {
    std::wstring path;
    const MONITORINIT* init = RegistryOf(state);
    if (init == nullptr || !SettingsPath(portName, &path)) {
        return;
    }
    PrinterSelf asSpooler;
    init->pMonitorReg->fpDeleteKey(init->hckRegistryRoot, path.c_str(), init->hSpooler);
}

} // namespace vela
