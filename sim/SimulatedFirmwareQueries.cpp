// What the tests read from the simulated firmware and wait for.
#include "sim/SimulatedFirmware.h"

#include <algorithm>
#include <chrono>

namespace vela::test {

std::vector<std::string> SimulatedFirmware::Received() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return received_;
}

std::vector<ExecutedLine> SimulatedFirmware::Executed() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return interpreter_.Executed();
}

std::vector<std::string> SimulatedFirmware::ExecutedNumberedCommands() const {
    std::vector<std::string> commands;
    std::lock_guard<std::mutex> guard(mutex_);
    for (const ExecutedLine& line : interpreter_.Executed()) {
        if (line.number >= 0) {
            commands.push_back(line.command);
        }
    }
    return commands;
}

uint64_t SimulatedFirmware::ExecutedDigest() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return interpreter_.ExecutedDigest();
}

FirmwareStats SimulatedFirmware::Stats() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return interpreter_.Stats();
}

int64_t SimulatedFirmware::LastLine() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return interpreter_.LastLine();
}

void SimulatedFirmware::RecordLinesInFlight(uint32_t waiting) {
    std::lock_guard<std::mutex> guard(mutex_);
    FirmwareStats& stats = interpreter_.Stats();
    stats.maxLinesInFlight = std::max(stats.maxLinesInFlight, waiting);
}

size_t SimulatedFirmware::NumberedExecutedLocked() const {
    return interpreter_.NumberedExecuted();
}

void SimulatedFirmware::NotifyWaitersLocked() {
    if (NumberedExecutedLocked() >= executedWanted_ || received_.size() >= receivedWanted_) {
        changed_.notify_all();
    }
}

bool SimulatedFirmware::WaitForNumberedExecuted(size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    executedWanted_ = count;
    const bool reached = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return NumberedExecutedLocked() >= count; });
    executedWanted_ = SIZE_MAX;
    return reached;
}

bool SimulatedFirmware::WaitForReceived(size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    receivedWanted_ = count;
    const bool reached = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return received_.size() >= count; });
    receivedWanted_ = SIZE_MAX;
    return reached;
}

bool SimulatedFirmware::WaitForResets(uint32_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return resetsDone_ >= count; });
}

uint32_t SimulatedFirmware::NoiseLines() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return noiseLines_;
}

bool SimulatedFirmware::WaitForNoiseLines(uint32_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return noiseLines_ >= count; });
}

} // namespace vela::test
