#include "portconfig/PortConfiguration.h"

#include "core/PortSettingsLayout.h"
#include "platform/UniqueResource.h"
#include "portconfig/PortNaming.h"

namespace vela::portconfig {
namespace {

// A transceive handle, closed through the route that opened it.
class RouteHandleTraits : public NullIsInvalid<HANDLE> {
  public:
    explicit RouteHandleTraits(MonitorRoute* route = nullptr) noexcept : route_(route) {}
    void Close(HANDLE xcv) const noexcept { route_->Close(xcv); }

  private:
    MonitorRoute* route_;
};

// A transceive handle closed when the step ends.
class XcvSession {
  public:
    explicit XcvSession(MonitorRoute& route)
        : route_(route), handle_(nullptr, RouteHandleTraits(&route)) {}

    DWORD Open() { return route_.Open(std::wstring(), handle_.Put()); }
    // The name with its terminator as input, and an optional 32-bit output.
    DWORD SendName(const wchar_t* command, const std::wstring& name, DWORD* output = nullptr) {
        DWORD needed = 0;
        const DWORD bytes = static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t));
        return route_.Data(handle_.Get(), command, name.c_str(), bytes, output,
                           output != nullptr ? sizeof(DWORD) : 0, &needed);
    }
    // A command with input bytes and, when output is given, an answer of any size.
    DWORD SendBytes(const wchar_t* command, const std::vector<uint8_t>& input,
                    std::vector<uint8_t>* output = nullptr) {
        DWORD needed = 0;
        if (output == nullptr) {
            return route_.Data(handle_.Get(), command, input.data(),
                               static_cast<DWORD>(input.size()), nullptr, 0, &needed);
        }
        output->assign(1024, 0);
        for (;;) {
            const DWORD code =
                route_.Data(handle_.Get(), command, input.data(), static_cast<DWORD>(input.size()),
                            output->data(), static_cast<DWORD>(output->size()), &needed);
            // An answer that keeps growing beyond any layout is no answer.
            if (code == ERROR_INSUFFICIENT_BUFFER && needed > output->size() &&
                needed <= kMaxSettingsLayoutBytes) {
                output->assign(needed, 0);
                continue;
            }
            if (code == ERROR_SUCCESS && needed < output->size()) {
                output->resize(needed);
            }
            return code;
        }
    }

  private:
    MonitorRoute& route_;
    UniqueResource<HANDLE, RouteHandleTraits> handle_;
};

Outcome Fail(DWORD code, const std::wstring& message) {
    return Outcome{code, message};
}

// The text for a code that the route, the monitor or the registry gave.
Outcome FailWithCode(DWORD code, const std::wstring& what) {
    if (code == ERROR_ACCESS_DENIED) {
        return Fail(code, what + L" needs administrator rights: run it as an administrator.");
    }
    // Which of these a spooler gives for a monitor it does not know varies (Wine: the
    // port one).
    if (code == ERROR_INVALID_PRINTER_NAME || code == ERROR_UNKNOWN_PRINT_MONITOR ||
        code == ERROR_UNKNOWN_PORT) {
        return Fail(code,
                    L"The spooler does not know the Vela3dp Print Monitor: install it first.");
    }
    if (code == RPC_S_SERVER_UNAVAILABLE) {
        return Fail(code, L"The print spooler service is not running.");
    }
    return Fail(code, what + L" failed with error " + std::to_wstring(code) + L".");
}

Outcome Quoted(DWORD code, const std::wstring& before, const std::wstring& name,
               const std::wstring& after) {
    return Fail(code, before + L"\"" + name + L"\"" + after);
}

const wchar_t kNotOurs[] = L" is not a port of the Vela3dp Print Monitor.";
const wchar_t kSerialOnly[] =
    L"The speed, the window and the G-code lines are a serial printer's settings; a USB "
    L"printer has none.";

Outcome UsbRefusal(const std::wstring& name) {
    return Quoted(ERROR_NOT_SUPPORTED, L"", name,
                  std::wstring(L" is a port for a USB printer. ") + kSerialOnly);
}

} // namespace

PortConfiguration::PortConfiguration(MonitorRoute& route, PortStore& store, ComPortList& comPorts)
    : route_(route), store_(store), comPorts_(comPorts) {}

Outcome PortConfiguration::CheckDevice(const std::wstring& device, std::wstring* path) {
    path->clear();
    if (device.empty()) {
        return Outcome{};
    }
    std::wstring comName;
    if (!ParseSerialDevice(device, &comName)) {
        return Quoted(ERROR_INVALID_PARAMETER, L"", device,
                      L" is not a serial port: give one such as COM3.");
    }
    for (const std::wstring& present : comPorts_.Names()) {
        if (SameName(present, comName)) {
            *path = DevicePathOf(comName);
            return Outcome{};
        }
    }
    return Fail(ERROR_DEV_NOT_EXIST, L"This machine has no serial port " + comName + L".");
}

Outcome PortConfiguration::AddPort(const std::wstring& name, const std::wstring& device,
                                   const PortSettingsChange& settings) {
    const std::wstring problem = PortNameProblem(name);
    if (!problem.empty()) {
        return Fail(ERROR_INVALID_NAME, problem);
    }
    std::wstring path;
    Outcome checked = CheckDevice(device, &path);
    if (!checked.Ok()) {
        return checked;
    }
    if (!settings.Empty() && path.empty()) {
        return Fail(ERROR_NOT_SUPPORTED, kSerialOnly);
    }
    const std::wstring settingsProblem = SettingsChangeProblem(settings);
    if (!settingsProblem.empty()) {
        return Fail(ERROR_INVALID_DATA, settingsProblem);
    }
    XcvSession session(route_);
    DWORD code = session.Open();
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Adding a port");
    }
    if (session.SendName(L"PortIsValid", name) != ERROR_SUCCESS) {
        return Quoted(ERROR_INVALID_NAME, L"The monitor does not accept ", name, L" as a name.");
    }
    DWORD exists = 0;
    code = session.SendName(L"PortExists", name, &exists);
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Asking the spooler for the port name");
    }
    // The monitor's own list as well: a spooler that does not know the monitor (its
    // in-process use by the host program) would not report its ports.
    PortListing own;
    if (exists != 0 || FindPort(name, &own).Ok()) {
        return Quoted(ERROR_ALREADY_EXISTS, L"The name ", name, L" is taken by another port.");
    }
    code = session.SendName(L"AddPort", name);
    if (code == ERROR_ALREADY_EXISTS) {
        return Quoted(code, L"The name ", name, L" is taken by another port.");
    }
    if (code == ERROR_INVALID_NAME) {
        return Quoted(code, L"The monitor does not accept ", name, L" as a name.");
    }
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Adding a port");
    }
    if (!path.empty()) {
        code = store_.WriteDevice(name, path);
        if (code != ERROR_SUCCESS) {
            // A port without its device would print nowhere: take it back.
            session.SendName(L"DeletePort", name);
            return FailWithCode(code, L"Storing the port's serial device");
        }
    }
    if (!settings.Empty()) {
        const Outcome stored = StoreSettings(name, settings);
        if (!stored.Ok()) {
            session.SendName(L"DeletePort", name);
            return stored;
        }
    }
    return Outcome{};
}

Outcome PortConfiguration::SetDevice(const std::wstring& name, const std::wstring& device) {
    std::wstring path;
    Outcome checked = CheckDevice(device, &path);
    if (!checked.Ok()) {
        return checked;
    }
    PortListing port;
    Outcome found = FindPort(name, &port);
    if (!found.Ok()) {
        return found;
    }
    if (!port.stored) {
        return Quoted(ERROR_NOT_SUPPORTED, L"", port.name,
                      L" belongs to an attached USB printer; its kind cannot change.");
    }
    const DWORD code = store_.WriteDevice(port.name, path);
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Storing the port's serial device");
    }
    return Outcome{};
}

Outcome PortConfiguration::DeletePort(const std::wstring& name) {
    XcvSession session(route_);
    DWORD code = session.Open();
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Deleting a port");
    }
    code = session.SendName(L"DeletePort", name);
    if (code == ERROR_FILE_NOT_FOUND) {
        return Quoted(code, L"", name, kNotOurs);
    }
    if (code == ERROR_BUSY) {
        return Quoted(code, L"", name, L" is printing a document: delete it when that is done.");
    }
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Deleting a port");
    }
    return Outcome{};
}

Outcome PortConfiguration::ListPorts(std::vector<PortListing>* ports) {
    ports->clear();
    std::vector<std::wstring> names;
    const DWORD code = route_.PortNames(&names);
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Listing the monitor's ports");
    }
    for (const std::wstring& name : names) {
        PortListing port;
        port.name = name;
        const DWORD read = store_.ReadDevice(name, &port.device);
        if (read == ERROR_FILE_NOT_FOUND) {
            port.stored = false;
            port.device.clear();
        } else if (read != ERROR_SUCCESS) {
            return FailWithCode(read, L"Reading the port's serial device");
        }
        ports->push_back(port);
    }
    return Outcome{};
}

Outcome PortConfiguration::FindPort(const std::wstring& name, PortListing* port) {
    std::vector<PortListing> ports;
    Outcome listed = ListPorts(&ports);
    if (!listed.Ok()) {
        return listed;
    }
    for (const PortListing& candidate : ports) {
        if (SameName(candidate.name, name)) {
            *port = candidate;
            return Outcome{};
        }
    }
    return Quoted(ERROR_FILE_NOT_FOUND, L"", name, kNotOurs);
}

Outcome PortConfiguration::ReadSettings(const std::wstring& name, PortSettings* settings) {
    XcvSession session(route_);
    DWORD code = session.Open();
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Reading the port's settings");
    }
    std::vector<uint8_t> answer;
    code = session.SendBytes(L"GetPortSettings", EncodePortName(name), &answer);
    if (code == ERROR_FILE_NOT_FOUND) {
        return Quoted(code, L"", name, kNotOurs);
    }
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Reading the port's settings");
    }
    if (!DecodePortSettings(answer.data(), answer.size(), settings)) {
        return Fail(ERROR_INVALID_DATA, L"The monitor's answer with the port's settings is not "
                                        L"in the expected form.");
    }
    return Outcome{};
}

Outcome PortConfiguration::ChangeSettings(const std::wstring& name,
                                          const PortSettingsChange& change) {
    const std::wstring problem = SettingsChangeProblem(change);
    if (!problem.empty()) {
        return Fail(ERROR_INVALID_DATA, problem);
    }
    if (change.Empty()) {
        return Fail(ERROR_INVALID_PARAMETER, L"Give a setting to change.");
    }
    PortListing port;
    const Outcome found = FindPort(name, &port);
    if (!found.Ok()) {
        return found;
    }
    if (port.device.empty()) {
        return UsbRefusal(port.name);
    }
    return StoreSettings(port.name, change);
}

Outcome PortConfiguration::StoreSettings(const std::wstring& name,
                                         const PortSettingsChange& change) {
    XcvSession session(route_);
    DWORD code = session.Open();
    if (code == ERROR_SUCCESS) {
        code = session.SendBytes(L"SetPortSettings", EncodeSettingsChange(name, change));
    }
    if (code == ERROR_FILE_NOT_FOUND) {
        return Quoted(code, L"", name, kNotOurs);
    }
    if (code == ERROR_INVALID_DATA) {
        return Fail(code, L"The monitor refuses one of the settings as out of range.");
    }
    // The port became a USB printer's since it was looked up.
    if (code == ERROR_NOT_SUPPORTED) {
        return UsbRefusal(name);
    }
    if (code != ERROR_SUCCESS) {
        return FailWithCode(code, L"Storing the port's settings");
    }
    return Outcome{};
}

} // namespace vela::portconfig
