#include "serial/ProtocolHandler.h"

#include "platform/Platform.h"
#include "serial/SerialSettings.h"

#include <new>

namespace vela {
namespace {

// WritePort hands the queue at most this much at a time, so that a huge piece
// cannot pass the high-water mark by more than this.
constexpr DWORD kAppendChunkBytes = 16 * 1024;
// The document thread's frames are small; a port need not reserve a megabyte.
constexpr SIZE_T kDocumentThreadStackBytes = 256 * 1024;

UniqueHandle CreateEventHandle(bool manualReset) {
    return UniqueHandle(::CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr));
}

DocumentProgress ReadProgress(DocumentControl& control) {
    CriticalSectionLock guard(control.lock);
    return control.progress;
}

void SetWriterWaiting(DocumentControl& control, bool waiting) {
    CriticalSectionLock guard(control.lock);
    control.writerWaiting = waiting;
}

bool CancelRequested(DocumentControl& control) {
    CriticalSectionLock guard(control.lock);
    return control.cancelRequested;
}

bool Finished(DocumentOutcome outcome) {
    return outcome != DocumentOutcome::Running;
}

} // namespace

ProtocolTimings& TheProtocolTimings() {
    static ProtocolTimings timings;
    return timings;
}

DocumentControl::DocumentControl(std::wstring path, const ProtocolTimings& handlerTimings)
    : devicePath(std::move(path)), timings(handlerTimings), wake(CreateEventHandle(false)),
      progressed(CreateEventHandle(false)), handshaken(CreateEventHandle(true)), lock{} {
    ::InitializeCriticalSection(&lock);
}

DocumentControl::~DocumentControl() {
    ::DeleteCriticalSection(&lock);
}

ProtocolHandler::ProtocolHandler(std::wstring devicePath, const ProtocolTimings& timings)
    : control_(std::make_shared<DocumentControl>(std::move(devicePath), timings)) {}

ProtocolHandler::~ProtocolHandler() {
    Stop();
}

const std::wstring& ProtocolHandler::DevicePath() const {
    return control_->devicePath;
}

bool ProtocolHandler::WaitForThread(DWORD milliseconds) {
    if (!control_->thread.Valid()) {
        return true;
    }
    return ::WaitForSingleObject(control_->thread.Get(), milliseconds) == WAIT_OBJECT_0;
}

void ProtocolHandler::ForgetThread() {
    control_->thread.Reset();
}

DWORD ProtocolHandler::BeginDocument(std::vector<std::string> cancelLines,
                                     StreamWindowSetting window, LineSpeed speed,
                                     DocumentPauses pauses, DocumentWatch& watch) {
    DocumentControl& control = *control_;
    // A document that never saw its EndDocPort ends here.
    if (!EndThread()) {
        return ERROR_BUSY;
    }
    if (ReadProgress(control).deviceLost) {
        // Unplugged since: the device is opened afresh.
        control.channels.Close();
    }
    if (control.wake.Get() == nullptr || control.progressed.Get() == nullptr ||
        control.handshaken.Get() == nullptr || !control.channels.CreateEvents()) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    control.outgoing.StartDocument();
    {
        CriticalSectionLock guard(control.lock);
        control.endRequested = false;
        control.cancelRequested = false;
        control.stopRequested = false;
        control.cancelLines = std::move(cancelLines);
        control.streamWindow = window;
        control.speed = speed;
        control.pauses = std::move(pauses);
        control.progress = DocumentProgress{};
        control.progress.outcome = DocumentOutcome::Running;
    }
    if (!control.channels.IsOpen()) {
        const DWORD opened = control.channels.Open(control.devicePath.c_str());
        if (opened != 0) {
            CriticalSectionLock guard(control.lock);
            control.progress.outcome = DocumentOutcome::Failed;
            control.progress.deviceLost = true;
            return opened;
        }
        control.configuredBaudRate = 0;
        control.identityAsked = false;
        control.identity = FirmwareIdentity{};
    }
    // The thread tries the speeds in the same order.
    RateSearch rates;
    rates.Begin(speed.fixed, speed.remembered, control.timings.rateRoundMs,
                control.timings.send.handshakeLimitMs, 0);
    const DWORD baudRate = rates.Rate();
    // Set up when opened, and again when the first speed to try changed since.
    if (control.configuredBaudRate != baudRate) {
        control.configuredBaudRate = 0;
        if (!ConfigureSerialDevice(control.channels.Device(), baudRate)) {
            const DWORD error = ::GetLastError();
            control.channels.Close();
            CriticalSectionLock guard(control.lock);
            control.progress.outcome = DocumentOutcome::Failed;
            control.progress.deviceLost = true;
            return error != 0 ? error : ERROR_GEN_FAILURE;
        }
        control.configuredBaudRate = baudRate;
    }
    ::ResetEvent(control.handshaken.Get());
    auto* shared = new (std::nothrow) std::shared_ptr<DocumentControl>(control_);
    if (shared == nullptr) {
        control.channels.Close();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // The thread holds the module while it runs, and drops it as it ends: one that
    // outlives ClosePort's wait keeps the code it runs when the module is let go.
    ModuleReferences& modules = *CurrentPlatform().modules;
    HMODULE module = nullptr;
    if (!modules.GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                    reinterpret_cast<LPCWSTR>(&ProtocolDocumentThread), &module)) {
        const DWORD error = ::GetLastError();
        delete shared;
        control.channels.Close();
        return error != 0 ? error : ERROR_MOD_NOT_FOUND;
    }
    control.thread.Reset(::CreateThread(nullptr, kDocumentThreadStackBytes, ProtocolDocumentThread,
                                        shared, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!control.thread.Valid()) {
        const DWORD error = ::GetLastError();
        modules.FreeLibrary(module);
        delete shared;
        control.channels.Close();
        return error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY;
    }
    // The thread bounds the greeting itself, a write that never completes
    // included; the wait here is bounded all the same, so that no device can
    // hold StartDocPort, and the port's ClosePort and Shutdown behind it, for ever.
    // (in real time too, as the thread's own limits run on the platform clock).
    HANDLE answered[2] = {control.handshaken.Get(), control.thread.Get()};
    const ULONGLONG giveUpAt = ::GetTickCount64() + rates.LimitMs() + control.timings.stopWaitMs;
    bool cancelled = false;
    for (;;) {
        const DWORD result = CurrentPlatform().clock->WaitForMultipleObjects(
            2, answered, FALSE, control.timings.watchIntervalMs);
        if (result == WAIT_OBJECT_0) {
            return 0;
        }
        if (result == WAIT_OBJECT_0 + 1 || ::GetTickCount64() >= giveUpAt) {
            break;
        }
        // The job deleted, or the port closing, while the printer does not answer.
        if (!cancelled && watch.JobCancelled()) {
            cancelled = true;
            Cancel();
        }
    }
    if (!WaitForThread(0) && !Stop()) {
        // Still running past every bound: the thread keeps the device, and the
        // next document waits for it again before using either.
        return ERROR_NOT_READY;
    }
    ForgetThread();
    // Nothing stays half-open: the next document opens the device again.
    control.channels.Close();
    return ERROR_NOT_READY;
}

DWORD ProtocolHandler::Write(const BYTE* bytes, DWORD count, DWORD* queued, DocumentWatch& watch) {
    DocumentControl& control = *control_;
    Clock& clock = *CurrentPlatform().clock;
    *queued = 0;
    ULONGLONG lastLook = clock.GetTickCount64();
    while (*queued < count) {
        const DocumentProgress progress = ReadProgress(control);
        // Cancelled on the printer as soon as its cancel lines begin.
        if (progress.outcome == DocumentOutcome::Cancelled || progress.cancelledOnPrinter ||
            CancelRequested(control)) {
            return ERROR_PRINT_CANCELLED;
        }
        if (Finished(progress.outcome) || !control.thread.Valid()) {
            return ERROR_NOT_READY;
        }
        if (control.outgoing.QueuedBytes() >= control.timings.highWaterBytes) {
            SetWriterWaiting(control, true);
            HANDLE moved[2] = {control.progressed.Get(), control.thread.Get()};
            // Room may have come between the look and the flag.
            if (control.outgoing.QueuedBytes() >= control.timings.highWaterBytes) {
                clock.WaitForMultipleObjects(2, moved, FALSE, control.timings.watchIntervalMs);
            }
            SetWriterWaiting(control, false);
            const ULONGLONG now = clock.GetTickCount64();
            if (now - lastLook >= control.timings.watchIntervalMs) {
                lastLook = now;
                if (watch.JobCancelled()) {
                    Cancel();
                    return ERROR_PRINT_CANCELLED;
                }
                watch.Progress(ReadProgress(control));
            }
            continue;
        }
        const DWORD chunk =
            count - *queued < kAppendChunkBytes ? count - *queued : kAppendChunkBytes;
        const HRESULT appended = control.outgoing.AppendBytes(bytes + *queued, chunk);
        if (FAILED(appended)) {
            return appended == E_OUTOFMEMORY ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER;
        }
        *queued += chunk;
        ::SetEvent(control.wake.Get());
    }
    return 0;
}

DocumentProgress ProtocolHandler::EndDocument(DocumentWatch& watch) {
    DocumentControl& control = *control_;
    if (!control.thread.Valid()) {
        return ReadProgress(control);
    }
    // A last line without its end is still a line of this document.
    control.outgoing.FlushCarry();
    {
        CriticalSectionLock guard(control.lock);
        control.endRequested = true;
    }
    ::SetEvent(control.wake.Get());
    return AwaitOutcome(watch, false);
}

DocumentProgress ProtocolHandler::AbandonDocument(DocumentWatch& watch) {
    if (!control_->thread.Valid()) {
        return ReadProgress(*control_);
    }
    // The thread drops the carried partial line with the queue: a cut line such
    // as "G1 Z" of "G1 Z10" would run as a move to Z0.
    Cancel();
    return AwaitOutcome(watch, true);
}

DocumentProgress ProtocolHandler::AwaitOutcome(DocumentWatch& watch, bool cancelled) {
    DocumentControl& control = *control_;
    Clock& clock = *CurrentPlatform().clock;
    ULONGLONG lastLook = clock.GetTickCount64();
    for (;;) {
        HANDLE moved[2] = {control.progressed.Get(), control.thread.Get()};
        clock.WaitForMultipleObjects(2, moved, FALSE, control.timings.watchIntervalMs);
        if (WaitForThread(0)) {
            break;
        }
        const ULONGLONG now = clock.GetTickCount64();
        if (now - lastLook < control.timings.watchIntervalMs) {
            continue;
        }
        lastLook = now;
        if (!cancelled && watch.JobCancelled()) {
            cancelled = true;
            Cancel();
        }
        watch.Progress(ReadProgress(control));
    }
    ForgetThread();
    const DocumentProgress progress = ReadProgress(control);
    if (progress.deviceLost) {
        control.channels.Close();
    }
    control.outgoing.StartDocument();
    return progress;
}

void ProtocolHandler::Cancel() {
    DocumentControl& control = *control_;
    {
        CriticalSectionLock guard(control.lock);
        control.cancelRequested = true;
    }
    ::SetEvent(control.wake.Get());
}

DocumentProgress ProtocolHandler::Progress() const {
    return ReadProgress(*control_);
}

bool ProtocolHandler::EndThread() {
    DocumentControl& control = *control_;
    if (!control.thread.Valid()) {
        return true;
    }
    {
        CriticalSectionLock guard(control.lock);
        control.stopRequested = true;
    }
    ::SetEvent(control.wake.Get());
    if (!WaitForThread(control.timings.stopWaitMs)) {
        return false;
    }
    ForgetThread();
    return true;
}

bool ProtocolHandler::Stop() {
    if (!EndThread()) {
        return false;
    }
    control_->outgoing.StartDocument();
    control_->channels.Close();
    return true;
}

} // namespace vela
