#include "monitor/PortDocument.h"

#include "platform/Platform.h"
#include "serial/ProtocolHandler.h"

namespace vela {

PortDocument::PortDocument() : lock_{}, turnFree_(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
    ::InitializeCriticalSection(&lock_);
}

PortDocument::~PortDocument() {
    ::DeleteCriticalSection(&lock_);
}

PortDocument::Claim PortDocument::ClaimFor(const PortHandle* handle) {
    CriticalSectionLock guard(lock_);
    if (closed_) {
        return Claim::Closing;
    }
    // A call of either handle is under way: its document goes on untouched.
    if (turnTaken_ || (state_ == DocumentState::Streaming && owner_ != handle)) {
        return Claim::Busy;
    }
    const bool restarted = state_ == DocumentState::Streaming;
    turnTaken_ = true;
    ::ResetEvent(turnFree_.Get());
    owner_ = handle;
    endRequested_ = DocumentEnd::None;
    state_ = restarted ? DocumentState::Ending : DocumentState::Starting;
    return restarted ? Claim::Restarted : Claim::Started;
}

bool PortDocument::EnterCall(const PortHandle* handle) {
    CriticalSectionLock guard(lock_);
    if (closed_ || turnTaken_ || owner_ != handle || state_ != DocumentState::Streaming ||
        endRequested_ != DocumentEnd::None) {
        return false;
    }
    turnTaken_ = true;
    ::ResetEvent(turnFree_.Get());
    return true;
}

void PortDocument::LeaveCall(DocumentState next) {
    CriticalSectionLock guard(lock_);
    state_ = next;
    if (next == DocumentState::Idle) {
        owner_ = nullptr;
    }
    if (next == DocumentState::Idle || next == DocumentState::Ended) {
        endRequested_ = DocumentEnd::None;
        handler_ = nullptr;
    }
    turnTaken_ = false;
    ::SetEvent(turnFree_.Get());
}

PortDocument::Takeover PortDocument::TakeOver(const PortHandle* owner, DocumentEnd reason,
                                              DWORD waitMs) {
    Clock& clock = *CurrentPlatform().clock;
    const ULONGLONG deadline = clock.GetTickCount64() + waitMs;
    for (;;) {
        {
            CriticalSectionLock guard(lock_);
            if (state_ == DocumentState::Idle || (owner != nullptr && owner_ != owner)) {
                return Takeover::Nothing;
            }
            if (state_ == DocumentState::Ended && !turnTaken_) {
                // Ended already: only its handle's EndDocPort was still to come.
                if (owner != nullptr) {
                    state_ = DocumentState::Idle;
                    owner_ = nullptr;
                }
                return Takeover::Nothing;
            }
            if (endRequested_ == DocumentEnd::None) {
                endRequested_ = reason;
            }
            if (!turnTaken_) {
                turnTaken_ = true;
                ::ResetEvent(turnFree_.Get());
                state_ = DocumentState::Ending;
                return Takeover::Taken;
            }
            Interrupt();
        }
        const ULONGLONG now = clock.GetTickCount64();
        if (now >= deadline) {
            return Takeover::StillRunning;
        }
        const DWORD left =
            deadline - now > 0xFFFFFFFEull ? 0xFFFFFFFEul : static_cast<DWORD>(deadline - now);
        HANDLE turnFree = turnFree_.Get();
        clock.WaitForMultipleObjects(1, &turnFree, FALSE, left);
    }
}

bool PortDocument::ForgetEnded(const PortHandle* handle) {
    CriticalSectionLock guard(lock_);
    if (state_ != DocumentState::Ended || owner_ != handle || turnTaken_) {
        return false;
    }
    state_ = DocumentState::Idle;
    owner_ = nullptr;
    return true;
}

void PortDocument::Close(DocumentEnd reason) {
    CriticalSectionLock guard(lock_);
    closed_ = true;
    if (state_ == DocumentState::Idle || state_ == DocumentState::Ended) {
        return;
    }
    if (endRequested_ == DocumentEnd::None) {
        endRequested_ = reason;
    }
    Interrupt();
}

DocumentEnd PortDocument::EndRequested() const {
    CriticalSectionLock guard(lock_);
    return endRequested_;
}

bool PortDocument::InProgress() const {
    CriticalSectionLock guard(lock_);
    return state_ != DocumentState::Idle && state_ != DocumentState::Ended;
}

bool PortDocument::OwnedBy(const PortHandle* handle) const {
    CriticalSectionLock guard(lock_);
    return state_ != DocumentState::Idle && owner_ == handle;
}

DocumentState PortDocument::State() const {
    CriticalSectionLock guard(lock_);
    return state_;
}

void PortDocument::SetHandler(ProtocolHandler* handler) {
    CriticalSectionLock guard(lock_);
    handler_ = handler;
}

void PortDocument::Interrupt() {
    // A USB call sees the request at its next look; a serial one waits on its
    // handler, which is told at once.
    if (handler_ != nullptr) {
        handler_->Cancel();
    }
}

} // namespace vela
