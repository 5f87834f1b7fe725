// A simulated printer firmware serving one end of a serial line from a thread of
// its own: it checks each line's number and checksum, executes what it accepts,
// answers as common text firmware does, and records what it executed. Knobs
// (FirmwareOptions) damage lines, lose or delay replies, add chatter, pace the link,
// model the board's receive buffer, reset the board when the host opens its port
// and halt it. Its line counter lives as long as the object: Stop and Start keep
// it, and so does the host opening its end again, unless the board resets on open.
// Does not depend on any test framework.
#pragma once

#include "sim/FirmwareCommandBuffer.h"
#include "sim/FirmwareInterpreter.h"
#include "platform/Handles.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vela::test {

class FirmwareLink;

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
    // To be called when the host opens its end of the line, which the far end of a
    // pty cannot see: with resetOnHostOpen the board resets now (see Reset).
    void HostOpened();
    // A restart of the board at any time: forgets buffered input and the command
    // that runs, loses whatever arrives for bootMs from now, then prints "start" and
    // a banner, its line counter back to 0. Returns at once.
    void Reset();
    // A line of the board's own (a host action such as "//action:resume"), sent
    // between replies within a read poll. Returns at once.
    void Say(const std::string& line);

    // Every line as it arrived, without its end.
    std::vector<std::string> Received() const;
    std::vector<ExecutedLine> Executed() const;
    // The commands of the numbered lines executed, in order.
    std::vector<std::string> ExecutedNumberedCommands() const;
    // A digest of the numbered commands executed, in order (kept without records).
    uint64_t ExecutedDigest() const;
    FirmwareStats Stats() const;
    // Lines that arrived while the host's end was set to another speed.
    uint32_t NoiseLines() const;
    bool WaitForNoiseLines(uint32_t count, DWORD timeoutMs) const;
    int64_t LastLine() const;

    // Wait until so many numbered lines have been executed, or lines received.
    bool WaitForNumberedExecuted(size_t count, DWORD timeoutMs) const;
    bool WaitForReceived(size_t count, DWORD timeoutMs) const;
    // Wait until so many resets have printed their banner.
    bool WaitForResets(uint32_t count, DWORD timeoutMs) const;

  private:
    void Serve();
    // Each line handled as it is read, its replies sent before the next is read.
    void ServeLineByLine(FirmwareLink& link);
    // Lines through the modelled receive buffer and command slots.
    void ServeThroughCommandBuffer(FirmwareLink& link);
    void RequestReset(const char* cause);
    bool ResetRequested() const;
    void Reboot(FirmwareLink& link);
    // The sending steps below return false when stopped or interrupted by a reset.
    // Splits off and handles every complete line.
    bool ProcessPending(FirmwareLink& link, std::string& pending);
    bool SendReply(FirmwareLink& link, std::string& pending, const FirmwareReply& reply);
    // One reply line, at the link's pace, not before readyAt.
    bool SendLine(FirmwareLink& link, const std::string& text, int64_t readyAt);
    // A heating wait of an M109 or M190: temperature lines and busy notices while
    // it lasts; the received bytes are read meanwhile into pending, and an
    // unnumbered "M108" among them ends the wait at once. False when stopped.
    bool WaitWhileHeating(FirmwareLink& link, std::string& pending, uint32_t milliseconds);
    // Waits, sending temperature reports when they are due.
    bool Idle(FirmwareLink& link, uint32_t milliseconds);
    bool SendDueReport(FirmwareLink& link);
    void RecordLinesInFlight(uint32_t waiting);
    size_t NumberedExecutedLocked() const;
    void NotifyWaitersLocked();

    FirmwareOptions options_;
    FirmwareInterpreter interpreter_;
    FirmwareCommandBuffer commandBuffer_;
    UniqueHandle device_;
    UniqueHandle stop_;
    // Set with a reset request, so that waits end early.
    UniqueHandle wake_;
    UniqueHandle thread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> received_;
    // What the waiters wait for; the thread wakes them only once it is reached.
    mutable size_t executedWanted_ = SIZE_MAX;
    mutable size_t receivedWanted_ = SIZE_MAX;
    bool resetPending_ = false;
    std::string resetCause_;
    int64_t resetRequestedAt_ = 0;
    uint32_t resetsDone_ = 0;
    // When the next temperature report is due.
    int64_t nextReportAt_ = 0;
    // Pacing: when each direction of the simulated wire and the command processor
    // are free again, in microseconds of the performance counter.
    int64_t receiveFreeAt_ = 0;
    int64_t transmitFreeAt_ = 0;
    int64_t commandsFreeAt_ = 0;
    int64_t lineSeenAt_ = 0;
    // An error's drop took the start of the line now arriving.
    bool lineCut_ = false;
    uint32_t randomState_ = 1;
    uint32_t noiseLines_ = 0;
    std::vector<std::string> toSay_;
};

// Opens the device and throws away whatever is waiting in either direction.
bool PurgeSerialDevice(const wchar_t* devicePath);

} // namespace vela::test
