// The send state machine against firmware that answers at random: "ok", the
// temperature answer, "Resend: n" and "Resend:n" for numbers near the last one
// sent, echo, errors, noise, silence and time. The target plays the handler's send
// step over a real line queue and watches the wire:
//  - never two numbered lines in flight: after a numbered line, the next numbered
//    line waits for an "ok" or a resend request;
//  - numbers increase by one: a new line takes the next number, and a line sent
//    again carries an earlier number with the same text (no number is skipped);
//  - a transmission is acknowledged at most once, one line per reply;
//  - with nothing to send, the machine names a wait longer than zero (the thread
//    would otherwise spin without ever sleeping).
// Half the runs begin with the handshake.
// It ends with well-behaved firmware and checks that every line then gets through.
#include "FuzzInput.h"
#include "serial/LineFraming.h"
#include "serial/LineQueue.h"
#include "serial/ReplyParsing.h"
#include "serial/SendState.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// FUZZ_TRACE=1 prints the conversation, to read a finding by.
void Trace(const char* direction, const std::string& text, uint64_t now) {
    static const bool enabled = std::getenv("FUZZ_TRACE") != nullptr;
    if (enabled) {
        std::fprintf(stderr, "%8llu %s %s", static_cast<unsigned long long>(now), direction,
                     text.c_str());
    }
}

struct Wire {
    int32_t highest = 0;                   // highest number sent
    std::map<int32_t, std::string> sentAs; // text each number first went out with
    uint32_t nextNewLine = 0;              // index of the next queued line to go out new
    uint32_t newLines = 0;                 // lines that went out under a new number
    bool numberedInFlight = false;
    bool acknowledged = false; // the last numbered transmission
    bool pokeOut = false;      // an unanswered poke
    std::string lastLine;      // the last line written, framed
};

class Run {
  public:
    explicit Run(bool handshake) {
        AddLines(3, false);
        if (handshake) {
            machine_.StartHandshake(now_);
        }
    }

    // Lines "G1 X<index>"; a long one is too long to frame and is skipped.
    void AddLines(uint32_t count, bool longLine) {
        for (uint32_t i = 0; i < count; ++i) {
            std::string line = "G1 X" + std::to_string(texts_.size());
            if (longLine && i == 0) {
                line += " E" + std::string(vela::kWriteBufferSize, '0');
            }
            line += "\n";
            fuzz::Check(queue_.AppendBytes(reinterpret_cast<const uint8_t*>(line.data()),
                                           static_cast<uint32_t>(line.size())) == S_OK,
                        "append");
            texts_.push_back(line);
            shortLines_ += line.size() < vela::kWriteBufferSize ? 1 : 0;
        }
    }

    // The handler's send step: at most one line written.
    void Send() {
        for (int attempts = 0; attempts < 16; ++attempts) {
            const vela::SendAction action = machine_.NextAction(now_);
            if (action == vela::SendAction::None) {
                fuzz::Check(Failed() || machine_.WaitTime(now_) > 0,
                            "nothing to send and no wait either");
                return;
            }
            if (action == vela::SendAction::Handshake) {
                machine_.OnLineSent(action, false, now_);
                wire_.lastLine = vela::kGreeting;
                Trace(">>", wire_.lastLine, now_);
                return;
            }
            if (action == vela::SendAction::Poke) {
                machine_.OnLineSent(action, false, now_);
                wire_.pokeOut = true;
                wire_.lastLine = vela::kPokeLine;
                Trace(">>", wire_.lastLine, now_);
                return;
            }
            vela::LineRecord* taken = nullptr;
            HRESULT result = S_OK;
            if (action == vela::SendAction::Advance) {
                result = queue_.Advance(&taken);
            } else if (action == vela::SendAction::CopyCurrent) {
                result = queue_.CopyCurrent(&taken);
            } else {
                result = queue_.CopyPrevious(&taken);
            }
            std::unique_ptr<vela::LineRecord> line(taken);
            fuzz::Check(result == S_OK, "queue call failed");
            if (line == nullptr) {
                if (!machine_.OnNoLine(action)) {
                    return;
                }
                continue;
            }
            const bool restarts = vela::BeginsWithN0(line->Bytes(), line->Length());
            uint8_t framed[vela::kWriteBufferSize];
            uint32_t framedLength = 0;
            if (!vela::FrameLine(machine_.NumberFor(action, restarts), line->Bytes(),
                                 line->Length(), framed, sizeof(framed), &framedLength)) {
                fuzz::Check(line->Length() >= vela::kWriteBufferSize - 32,
                            "a short line not framed");
                if (action == vela::SendAction::Advance) {
                    machine_.OnLineSkipped();
                } else if (!machine_.OnNoLine(action)) {
                    return;
                }
                continue;
            }
            const int32_t number = machine_.OnLineSent(action, restarts, now_);
            Trace(">>", std::string(reinterpret_cast<const char*>(framed), framedLength), now_);
            OnWire(number,
                   std::string(reinterpret_cast<const char*>(line->Bytes()), line->Length()));
            wire_.lastLine.assign(reinterpret_cast<const char*>(framed), framedLength);
            return;
        }
        fuzz::Fail("the send step does not settle");
    }

    void Reply(const std::string& text) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        const auto length = static_cast<uint32_t>(text.size());
        const vela::ReplyKind kind = vela::ClassifyReply(bytes, length);
        const vela::SendState before = machine_.State();
        const int32_t numberBefore = machine_.LineNumber();
        Trace("<<", text, now_);
        machine_.OnBytesReceived(now_);
        machine_.OnReply(bytes, length, now_);
        Trace("  ",
              "state " + std::to_string(static_cast<int>(machine_.State())) + " number " +
                  std::to_string(machine_.LineNumber()) + "\n",
              now_);
        const bool acknowledges = before == vela::SendState::AwaitReply &&
                                  machine_.State() != vela::SendState::AwaitReply;
        if (kind == vela::ReplyKind::Ok) {
            if (acknowledges) {
                fuzz::Check(!wire_.acknowledged, "a transmission acknowledged twice");
                wire_.acknowledged = true;
            }
            fuzz::Check(machine_.LineNumber() - numberBefore <= 1,
                        "one reply acknowledged more than one line");
            if (vela::IsTemperatureReport(bytes, length)) {
                wire_.pokeOut = false;
            }
        } else if (kind != vela::ReplyKind::Resend) {
            fuzz::Check(machine_.State() == before && machine_.LineNumber() == numberBefore,
                        "a reply that is no ok or resend moved the machine");
        }
        if (kind == vela::ReplyKind::Ok || kind == vela::ReplyKind::Resend) {
            wire_.numberedInFlight = false;
        }
    }

    void Advance(uint64_t ms) { now_ += ms; }
    void BytesOnly() { machine_.OnBytesReceived(now_); }
    const Wire& WireState() const { return wire_; }
    vela::SendState State() const { return machine_.State(); }
    // Every line that can be framed went out under a new number.
    bool AllThrough() const { return wire_.newLines == shortLines_; }
    size_t Queued() const { return texts_.size(); }

  private:
    void OnWire(int32_t number, const std::string& text) {
        fuzz::Check(!wire_.numberedInFlight, "two numbered lines in flight");
        fuzz::Check(number >= 1 && number <= wire_.highest + 1, "a number was skipped");
        if (number == wire_.highest + 1) {
            // Skipped lines aside, new numbers go to the queued lines in order.
            while (wire_.nextNewLine < texts_.size() &&
                   texts_[wire_.nextNewLine].size() >= vela::kWriteBufferSize) {
                ++wire_.nextNewLine;
            }
            fuzz::Check(wire_.nextNewLine < texts_.size() && text == texts_[wire_.nextNewLine],
                        "a new number on a line that is not the next");
            ++wire_.nextNewLine;
            ++wire_.newLines;
            wire_.highest = number;
            wire_.sentAs[number] = text;
        } else {
            fuzz::Check(wire_.sentAs[number] == text, "a line sent again under another number");
        }
        wire_.numberedInFlight = true;
        wire_.acknowledged = false;
    }

  public:
    bool Failed() const { return machine_.Failure() != vela::SendFailure::None; }
    bool Handshaking() const { return machine_.Handshaking(); }
    vela::SendFailure Failure() const { return machine_.Failure(); }

  private:
    vela::LineQueue queue_;
    vela::SendStateMachine machine_;
    uint64_t now_ = 1000;
    std::vector<std::string> texts_; // every line queued, in order
    uint32_t shortLines_ = 0;
    Wire wire_;
};

std::string ResendText(fuzz::FuzzInput& input, const Wire& wire, bool space) {
    // Mostly numbers near the last one sent, where the machine has choices to make.
    const uint8_t choice = input.Byte();
    const int64_t number = choice < 224 ? static_cast<int64_t>(wire.highest) + (choice % 5) - 2
                                        : static_cast<int64_t>(input.Dword());
    return std::string(space ? "Resend: " : "Resend:") + std::to_string(number) + "\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    Run run(input.Byte() % 2 == 0);
    int steps = 0;
    while (!input.Empty() && ++steps < 4000) {
        switch (input.Byte() % 12) {
        case 0:
        case 1:
            run.Send();
            break;
        case 2:
            run.Reply("ok\n");
            break;
        case 3:
            run.Reply("ok T:20.0 /0.0 B:20.0 /0.0\n");
            break;
        case 4:
            run.Reply(ResendText(input, run.WireState(), true));
            break;
        case 5:
            run.Reply(ResendText(input, run.WireState(), false));
            break;
        case 6:
            run.Reply(input.Byte() % 2 == 0 ? "echo:busy: processing\n" : "wait\n");
            break;
        case 7:
            run.Reply("Error:checksum mismatch, Last Line: 3\n");
            break;
        case 8: {
            const std::vector<uint8_t> noise = input.Bytes(input.Below(16));
            run.Reply(std::string(noise.begin(), noise.end()) + "\n");
            break;
        }
        case 9:
            run.Advance(input.Below(40000));
            break;
        case 10:
            run.BytesOnly();
            break;
        default:
            run.AddLines(1 + input.Below(3), input.Byte() < 32);
            break;
        }
    }

    // A document the machine gave up on (a restart, a halt, a line refused ten
    // times, silence) sends nothing more: there is nothing left to get through.
    if (run.Failed()) {
        run.Send();
        fuzz::Check(run.State() != vela::SendState::AwaitReply || run.Failed(), "failed");
        return 0;
    }
    // Well-behaved firmware from here on: every numbered line and every poke answered.
    for (size_t round = 0; round < 4 * run.Queued() + 64; ++round) {
        run.Advance(vela::kLoopWaitMs);
        run.Send();
        if (run.Failed()) {
            // Only the silence of the random part can have ended it (checked lazily).
            fuzz::Check((run.Failure() == vela::SendFailure::StoppedAnswering ||
                         run.Failure() == vela::SendFailure::NotReady) &&
                            round == 0,
                        "well-behaved firmware made the document fail");
            return 0;
        }
        if (run.Handshaking()) {
            // The greeting's answer pair: its temperature query's, then its counter line's.
            run.Reply("ok T:20.0 /0.0\n");
            run.Reply("ok\n");
        } else if (run.State() == vela::SendState::AwaitReply) {
            run.Reply("ok\n");
        }
        if (run.WireState().pokeOut) {
            run.Reply("ok T:20.0\n");
        }
        if (run.AllThrough() && run.State() == vela::SendState::SendNext) {
            return 0;
        }
    }
    fuzz::Fail("a line never got through to well-behaved firmware");
}
