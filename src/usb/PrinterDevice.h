// One conversation with the USB printer: the printer's requests, the transmission
// of job records, the prepare, start, abort and reset sequences and the status
// reads, over the connection of the document's port. Lives on the stack of the
// one spooler call that needs the printer; the connection and the document's
// JobFlags outlive it with the port.
#pragma once

#include "usb/UsbTransport.h"
#include "usb/JobCancellation.h"
#include "usb/JobFlags.h"
#include "usb/PrinterInfo.h"
#include "usb/PrinterStates.h"

#include <cstdint>

namespace vela {

// Parameter numbers the monitor reads or writes.
namespace parameter {
constexpr uint8_t kMachineState = 0;
constexpr uint8_t kLayer = 10;
constexpr uint8_t kHeight = 11;
constexpr uint8_t kPrinterStatus = 16;
constexpr uint8_t kNozzle1Heating = 20;
constexpr uint8_t kPlatformHeating = 22;
constexpr uint8_t kPrintingFlag = 28;
constexpr uint8_t kChangeNozzleTime = 42;
constexpr uint8_t kJumpTime = 43;
constexpr uint8_t kFeedBackLength = 54;
constexpr uint8_t kRatio = 62;
// Two firmware parameters without a name of their own.
constexpr uint8_t kParameter142 = 142;
constexpr uint8_t kParameter148 = 148;
} // namespace parameter

// The machine state as a poll reads it.
enum class RunState { Running, NotRunning, Unanswered };

// Between free-room queries that find no room while the status allows records.
constexpr DWORD kNoRoomWaitMs = 50;
// Such waits between two checks of the spooler job for cancellation (about 1 s).
constexpr int32_t kNoRoomWaitsPerCancelCheck = 20;

class PrinterDevice {
  public:
    // A conversation outside any document (clean-up, supervision without one).
    explicit PrinterDevice(UsbTransport& link) : link_(link), jobFlags_(ownFlags_) {}
    // A conversation for the document whose flags these are.
    PrinterDevice(UsbTransport& link, JobFlags& documentFlags)
        : link_(link), jobFlags_(documentFlags) {}
    virtual ~PrinterDevice() = default;
    PrinterDevice(const PrinterDevice&) = delete;
    PrinterDevice& operator=(const PrinterDevice&) = delete;

    PrinterInfo& Info() { return info_; }
    UsbTransport& Link() { return link_; }
    JobFlags& Flags() { return jobFlags_; }

    // Command transmission.
    // Asked while SendCommands waits for room; none by default.
    void WatchForCancellation(JobCancellation* cancellation) { cancellation_ = cancellation; }
    // Hands count records (20 bytes each, contiguous) to the printer as fast as
    // it reports room for them, preparing it first on the document's first call.
    // count when all went out, 0 when refused; a refusal lasts for the document.
    // A cancelled document is aborted and refused.
    int32_t SendCommands(const uint8_t* records, int32_t count);
    bool PreparePrinter();
    bool StartPrint();
    bool AbortPrint();
    bool ResetPrinter();

    // The requests. Each returns whether its exchange succeeded, unless it says
    // otherwise.
    // The number of records the printer can take now, 0 unless a reply arrived.
    bool QueryFreeCapacity(int32_t* freeRecords);
    // Overwrites only as many bytes of *value as arrived.
    bool ReadParameter(uint8_t id, int32_t* value);
    bool WriteParameter(uint8_t id, int32_t value);
    bool WriteFloatParameter(uint8_t id, float value);
    // One record packet for 1 to 3 job records (any count that fits is grouped in
    // threes), written once: the printer keeps no count of the records it took,
    // so a write that may or may not have arrived ends the transfer (false).
    bool AppendRecords(const uint8_t* records, int32_t count);
    bool SendClear();
    // The "L" request: the printer's answer, 0 meaning refusal or no answer.
    int32_t SendLoad(int32_t digit);
    bool SendLine(uint8_t a, uint8_t b);
    bool SendExecute();
    bool StopMotor(int32_t motor);
    bool StopAll();
    bool Jog(uint8_t axis, float a, float b);

    // Status.
    // Fills Info() from the information block and four parameters.
    bool ReadStatus();
    // True while the machine runs a program; false also when the read fails.
    bool IsRunning();
    RunState ReadRunState();
    // The printer status, PrinterSystemError (0) when the read fails.
    PrinterStatus ReadPrinterStatus();
    bool SetPrinterStatus(PrinterStatus status);
    // Position of axis 0 (X), 1 (Y) or 2 (Z) in motor steps; 0 when unreadable.
    int32_t ReadAxisPosition(int32_t axis);

  private:
    // Refuses the rest of the document; returns SendCommands' refusal.
    int32_t StopTransfer(bool linkFailed);
    bool SendSmall(const SmallRequest& packet);
    bool ExchangeForValue(const SmallRequest& packet, int32_t* value);
    bool ReadPacket(uint8_t* area, uint32_t* length);

    // Waits kNoRoomWaitMs; true when the document was cancelled meanwhile.
    bool WaitForRoom(int32_t& waits);

    PrinterInfo info_;
    UsbTransport& link_;
    JobCancellation* cancellation_ = nullptr;
    JobFlags ownFlags_;
    JobFlags& jobFlags_;
    // Record packets and the "c" request are built here: no record is copied
    // anywhere else on its way to the printer, and two ports' conversations never
    // share it.
    uint8_t requestBuffer_[kMaxPacketSize];
};

} // namespace vela
