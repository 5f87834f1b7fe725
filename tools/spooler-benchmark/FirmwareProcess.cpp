#include "FirmwareProcess.h"

#include "sim/SimulatedFirmware.h"

#include <cstdio>
#include <memory>

namespace vela::bench {
namespace {

// 250000 baud at 10 bits a byte, and 0.2 ms a command, as the serial benchmark.
constexpr uint32_t kLinkBytesPerSecond = 25000;
constexpr uint32_t kCommandMicroseconds = 200;

std::vector<std::unique_ptr<test::SimulatedFirmware>>
StartFirmwares(const std::vector<std::wstring>& devices, bool pacing) {
    std::vector<std::unique_ptr<test::SimulatedFirmware>> firmwares;
    for (const std::wstring& device : devices) {
        test::FirmwareOptions options;
        // Counts and a digest only: a long run keeps no records.
        options.recordLines = false;
        options.trackLinesInFlight = false;
        if (pacing) {
            options.bytesPerSecond = kLinkBytesPerSecond;
            options.commandMicroseconds = kCommandMicroseconds;
        }
        auto firmware = std::make_unique<test::SimulatedFirmware>(options);
        if (!firmware->Start(device.c_str())) {
            std::fprintf(stderr, "cannot open the firmware's end %ls\n", device.c_str());
            return {};
        }
        firmwares.push_back(std::move(firmware));
    }
    return firmwares;
}

} // namespace

int ServeFirmware(const std::vector<std::wstring>& devices, bool pacing) {
    auto firmwares = StartFirmwares(devices, pacing);
    if (firmwares.empty()) {
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char request[64];
    while (std::fgets(request, sizeof(request), stdin) != nullptr) {
        const std::string command(request);
        if (command == "reset\n") {
            firmwares.clear();
            firmwares = StartFirmwares(devices, pacing);
            if (firmwares.empty()) {
                return 2;
            }
            std::printf("ready\n");
        } else if (command == "report\n") {
            for (const auto& firmware : firmwares) {
                std::printf("%llu %u\n",
                            static_cast<unsigned long long>(firmware->ExecutedDigest()),
                            firmware->Stats().linesExecutedTwice);
            }
        } else {
            break;
        }
        std::fflush(stdout);
    }
    return 0;
}

FirmwareProcess::~FirmwareProcess() {
    Quit();
}

bool FirmwareProcess::Start(const std::vector<std::wstring>& devices, bool pacing) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle childInput;
    UniqueHandle childOutput;
    if (!::CreatePipe(childInput.Put(), toChild_.Put(), &inherited, 0) ||
        !::CreatePipe(fromChild_.Put(), childOutput.Put(), &inherited, 0)) {
        return false;
    }
    // The parent's ends stay in the parent.
    ::SetHandleInformation(toChild_.Get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(fromChild_.Get(), HANDLE_FLAG_INHERIT, 0);
    wchar_t program[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(program) + L"\" --serve-firmware";
    if (!pacing) {
        command += L" --no-pacing";
    }
    for (const std::wstring& device : devices) {
        command += L" " + device;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.Get();
    startup.hStdOutput = childOutput.Get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &started)) {
        return false;
    }
    ::CloseHandle(started.hThread);
    process_.Reset(started.hProcess);
    count_ = devices.size();
    std::string line;
    return ReadLine(&line) && line == "ready";
}

bool FirmwareProcess::Reset() {
    std::string line;
    return Send("reset") && ReadLine(&line) && line == "ready";
}

bool FirmwareProcess::Report(std::vector<FirmwareReport>* reports) {
    reports->clear();
    if (!Send("report")) {
        return false;
    }
    for (size_t index = 0; index < count_; ++index) {
        std::string line;
        FirmwareReport report;
        unsigned long long digest = 0;
        if (!ReadLine(&line) ||
            std::sscanf(line.c_str(), "%llu %u", &digest, &report.executedTwice) != 2) {
            return false;
        }
        report.digest = digest;
        reports->push_back(report);
    }
    return true;
}

void FirmwareProcess::Quit() {
    if (!process_.Valid()) {
        return;
    }
    Send("quit");
    toChild_.Reset();
    if (::WaitForSingleObject(process_.Get(), 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_.Get(), 1);
    }
    process_.Reset();
    fromChild_.Reset();
}

bool FirmwareProcess::Send(const std::string& line) {
    const std::string bytes = line + "\n";
    DWORD written = 0;
    return toChild_.Valid() &&
           ::WriteFile(toChild_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

bool FirmwareProcess::ReadLine(std::string* line) {
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            *line = pending_.substr(0, end);
            if (!line->empty() && line->back() == '\r') {
                line->pop_back();
            }
            pending_.erase(0, end + 1);
            return true;
        }
        char bytes[256];
        DWORD read = 0;
        if (!::ReadFile(fromChild_.Get(), bytes, sizeof(bytes), &read, nullptr) || read == 0) {
            return false;
        }
        pending_.append(bytes, read);
    }
}

} // namespace vela::bench
