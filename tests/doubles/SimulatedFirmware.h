// A simulated printer firmware serving one end of a serial line from a thread of
// its own: it checks each line's number and checksum, executes what it accepts,
// answers as common text firmware does, and records what it executed. Fault
// knobs (FirmwareOptions) damage lines, lose or delay replies and add chatter.
// Does not depend on any test framework.
#pragma once

#include "doubles/FirmwareInterpreter.h"
#include "platform/Handles.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vela::test {

class SimulatedFirmware {
  public:
    explicit SimulatedFirmware(const FirmwareOptions& options = FirmwareOptions{});
    ~SimulatedFirmware();
    SimulatedFirmware(const SimulatedFirmware&) = delete;
    SimulatedFirmware& operator=(const SimulatedFirmware&) = delete;

    // Opens the serial device (e.g. L"\\\\.\\COM22"), drops whatever waited on it
    // and starts serving. False when the device cannot be opened.
    bool Start(const wchar_t* devicePath);
    // Ends the thread and closes the device.
    void Stop();

    // Every line as it arrived, without its end.
    std::vector<std::string> Received() const;
    std::vector<ExecutedLine> Executed() const;
    // The commands of the numbered lines executed, in order.
    std::vector<std::string> ExecutedNumberedCommands() const;
    FirmwareStats Stats() const;
    int64_t LastLine() const;

    // Wait until so many numbered lines have been executed, or lines received.
    bool WaitForNumberedExecuted(size_t count, DWORD timeoutMs) const;
    bool WaitForReceived(size_t count, DWORD timeoutMs) const;

  private:
    class Link;
    void Serve();
    // Splits off and handles every complete line; false when told to stop.
    bool ProcessPending(Link& link, std::string& pending);
    bool SendReply(Link& link, std::string& pending, const FirmwareReply& reply);
    void RecordLinesInFlight(uint32_t waiting);
    size_t NumberedExecutedLocked() const;
    void NotifyWaitersLocked();

    FirmwareOptions options_;
    FirmwareInterpreter interpreter_;
    UniqueHandle device_;
    UniqueHandle stop_;
    UniqueHandle thread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> received_;
    // What the waiters wait for; the thread wakes them only once it is reached.
    mutable size_t executedWanted_ = SIZE_MAX;
    mutable size_t receivedWanted_ = SIZE_MAX;
    // Pacing: when each direction of the simulated wire and the command processor
    // are free again, in microseconds of the performance counter.
    int64_t receiveFreeAt_ = 0;
    int64_t transmitFreeAt_ = 0;
    int64_t commandsFreeAt_ = 0;
    int64_t lineSeenAt_ = 0;
    uint32_t randomState_ = 1;
};

// Opens the device and throws away whatever is waiting in either direction.
bool PurgeSerialDevice(const wchar_t* devicePath);

} // namespace vela::test
