// The window of lines against a model of common firmware driven at random: bytes
// the host wrote cross the wire into its receive buffer when the input says so; it
// reads lines from the buffer when the input says so, takes a line as damaged when
// the input says so (answering "Error", "Resend: last+1", "ok" and emptying the
// buffer, which cuts a line already partly received: its rest arrives without its
// "N" and runs unchecked, as on real boards), accepts only the line after the last
// it accepted, drops a repeat of its last two lines silently, rejects any other
// number, and loses answers when the input says so. The target plays the
// handler's send step and checks:
//  - a line goes out under its own number with the text it was queued with, and a
//    new line takes the next number;
//  - the firmware runs every numbered line at most once, in order;
//  - with no line damaged, the firmware refuses nothing and runs no line
//    unchecked: every line runs exactly once. With damaged lines a window cannot
//    keep the rest of a cut line from running (the documented risk of a window),
//    so that holds only for clean input;
//  - the bytes of lines sent and not acknowledged stay within the window, unless
//    one line alone is out (clean input: a cut line's "ok" may count for another);
//  - with nothing to send, the window names a wait longer than zero;
//  - with clean input, once the faults stop, every queued line gets through (a
//    last line that only the poke's answer acknowledged is followed by another,
//    as the handler does).
#include "FuzzInput.h"
#include "serial/LineFraming.h"
#include "serial/StreamWindow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kWindowBytes = 127;

// FUZZ_TRACE=1 prints the conversation, to read a finding by.
void Trace(const char* direction, const std::string& text, uint64_t now) {
    static const bool enabled = std::getenv("FUZZ_TRACE") != nullptr;
    if (enabled) {
        std::fprintf(stderr, "%8llu %s %s", static_cast<unsigned long long>(now), direction,
                     text.c_str());
    }
}

struct Firmware {
    std::string wire;             // written by the host, not yet received
    std::string buffer;           // received, not yet read
    int64_t last = 0;             // last line accepted
    std::vector<std::string> ran; // numbered commands run, in order
    uint32_t ranUnchecked = 0;    // lines without a number run, but the pokes
    uint32_t refused = 0;
    std::deque<std::string> out; // answers not yet read by the host
    bool okWithNumber = false;

    void Receive(size_t bytes) {
        bytes = std::min(bytes, wire.size());
        buffer.append(wire, 0, bytes);
        wire.erase(0, bytes);
    }

    // Reads one line from the buffer; false when none is complete.
    bool ReadLine(bool damaged, bool loseAnswer) {
        const size_t end = buffer.find('\n');
        if (end == std::string::npos) {
            return false;
        }
        std::string line = buffer.substr(0, end);
        buffer.erase(0, end + 1);
        if (line == "M105") {
            Answer("ok T:20.0 /0.0 B:20.0 /0.0", loseAnswer);
            return true;
        }
        if (line.empty() || line[0] != 'N') {
            // No number, so no check: the rest of a cut line runs as it came.
            Trace("run unchecked", line + "\n", 0);
            ++ranUnchecked;
            Answer(okWithNumber ? "ok N" + std::to_string(last) + " P15 B4" : "ok", loseAnswer);
            return true;
        }
        const size_t star = line.rfind('*');
        const int64_t number = std::strtoll(line.c_str() + 1, nullptr, 10);
        if (!damaged && star != std::string::npos && number == last + 1) {
            last = number;
            Trace("run", line + "\n", 0);
            const size_t space = line.find(' ');
            std::string command = line.substr(space + 1, star - space - 1);
            while (!command.empty() && command.back() == ' ') {
                command.pop_back();
            }
            ran.push_back(command);
            Answer(okWithNumber ? "ok N" + std::to_string(number) + " P15 B4" : "ok", loseAnswer);
            return true;
        }
        if (!damaged && (number == last || number == last - 1)) {
            return true; // a repeat: dropped without a word
        }
        ++refused;
        Answer("Error:Line Number is not Last Line Number+1, Last Line: " + std::to_string(last),
               loseAnswer);
        Answer("Resend: " + std::to_string(last + 1), loseAnswer);
        Answer(okWithNumber ? "ok N" + std::to_string(last) + " P15 B4" : "ok", loseAnswer);
        Trace("drop", line + (damaged ? " (damaged) " : " ") + "and " + buffer + "\n", 0);
        buffer.clear();
        return true;
    }

    void Answer(const std::string& text, bool lose) {
        if (!lose) {
            out.push_back(text + "\n");
        }
    }
};

std::string Command(int index) {
    return "G1 X" + std::to_string(index) + (index % 3 == 0 ? " Y12.345 E0.04567" : "");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    const int lines = 1 + static_cast<int>(input.Below(60));
    Firmware firmware;
    firmware.okWithNumber = input.Byte() % 2 == 0;
    vela::StreamWindow window;
    uint64_t now = 1000;
    fuzz::Check(window.Start(kWindowBytes, 1, now), "window start");
    int queued = 0; // lines taken from the job
    // Lines added at the end, as the handler adds its final line again when only
    // the poke's answer acknowledged the last one.
    int extra = 0;
    std::vector<std::string> texts(1, std::string());
    // A line taken as damaged: from then on a window may run the rest of a cut line.
    bool damagedAny = false;
    const auto write = [&](const uint8_t* bytes, uint32_t length) {
        const std::string line(reinterpret_cast<const char*>(bytes), length);
        if (line != "M105\n") {
            const long number = std::strtol(line.c_str() + 1, nullptr, 10);
            fuzz::Check(
                number > 0 && static_cast<size_t>(number) < texts.size() &&
                    line.rfind("N" + std::to_string(number) + " " + texts[number] + " *", 0) == 0,
                "a line went out under a number not its own");
        }
        firmware.wire += line;
        Trace(">>", line, now);
    };

    const auto send = [&]() {
        for (int step = 0; step < 400; ++step) {
            const vela::StreamWindow::Step next = window.NextStep(now);
            if (next == vela::StreamWindow::Step::Poke) {
                window.OnPokeSent(now);
                write(reinterpret_cast<const uint8_t*>(vela::kPokeLine),
                      sizeof(vela::kPokeLine) - 1);
            } else if (next == vela::StreamWindow::Step::SendKept) {
                const uint8_t* bytes = nullptr;
                uint32_t length = 0;
                window.SendKept(&bytes, &length, now);
                write(bytes, length);
            } else if (next == vela::StreamWindow::Step::TakeNew && queued < lines + extra) {
                const int32_t number = window.NextNewNumber();
                fuzz::Check(number == queued + 1, "a new line skipped or repeated a number");
                const std::string command = Command(number) + "\n";
                uint8_t framed[vela::kWriteBufferSize];
                uint32_t length = 0;
                vela::FrameLine(number, reinterpret_cast<const uint8_t*>(command.data()),
                                static_cast<uint32_t>(command.size()), framed, sizeof(framed),
                                &length);
                if (!window.RoomFor(length, false)) {
                    return;
                }
                window.SendNew(framed, length, number, false, -1, now);
                texts.push_back(Command(number));
                ++queued;
                write(framed, length);
            } else {
                // Nothing to send: the thread sleeps, so the window must name a wait.
                fuzz::Check(next != vela::StreamWindow::Step::None ||
                                window.Failure() != vela::SendFailure::None ||
                                window.WaitTime(now) > 0,
                            "nothing to send and no wait either");
                return;
            }
        }
    };
    const auto deliver = [&]() {
        while (!firmware.out.empty()) {
            const std::string reply = firmware.out.front();
            firmware.out.pop_front();
            Trace("<<", reply, now);
            window.OnBytesReceived(now);
            window.OnReply(reinterpret_cast<const uint8_t*>(reply.data()),
                           static_cast<uint32_t>(reply.size()), now);
        }
    };
    const auto check = [&]() {
        for (size_t index = 0; index < firmware.ran.size(); ++index) {
            fuzz::Check(index + 1 < texts.size() && firmware.ran[index] == texts[index + 1],
                        "the firmware ran a line out of order or with another line's text");
        }
        // Silence (time jumps) and lines refused for ever may end the document;
        // the firmware never halts or restarts here.
        fuzz::Check(damagedAny || (firmware.refused == 0 && firmware.ranUnchecked == 0),
                    "a line refused or run unchecked with no line damaged");
        fuzz::Check(window.Failure() != vela::SendFailure::Halted &&
                        window.Failure() != vela::SendFailure::Restarted &&
                        window.Failure() != vela::SendFailure::NotReady,
                    "an unexpected failure");
    };

    // Faults while the input lasts.
    while (!input.Empty() && window.Failure() == vela::SendFailure::None) {
        switch (input.Below(7)) {
        case 0:
        case 1:
            send();
            break;
        case 2: {
            const bool damaged = input.Below(8) == 0;
            damagedAny = damagedAny || damaged;
            firmware.ReadLine(damaged, input.Below(8) == 0);
            break;
        }
        case 6:
            firmware.Receive(1 + input.Below(80));
            break;
        case 3:
            deliver();
            break;
        case 4:
            now += input.Below(40);
            break;
        case 5:
            now += input.Below(7000);
            break;
        }
        check();
        // The firmware's buffer and the wire hold what was sent and not yet read:
        // with a window, never more than the buffer can take (one line alone
        // excepted; with damaged lines, a cut line's "ok" may count for another).
        const size_t held = firmware.buffer.size() + firmware.wire.size();
        if (!damagedAny && held > kWindowBytes) {
            fuzz::Check(window.Unacknowledged() <= 1,
                        "more than the window in the firmware's buffer");
        }
    }
    if (window.Failure() != vela::SendFailure::None) {
        return 0;
    }
    // Then a well-behaved firmware: everything gets through.
    for (int round = 0; round < 4000 && (queued < lines + extra || !window.Idle() ||
                                         window.LastAcknowledgedByPoke());
         ++round) {
        if (queued == lines + extra && window.Idle() && window.LastAcknowledgedByPoke()) {
            if (++extra > 3) {
                break;
            }
        }
        send();
        firmware.Receive(firmware.wire.size());
        while (firmware.ReadLine(false, false)) {
        }
        deliver();
        now += 25;
        check();
        if (window.Failure() != vela::SendFailure::None) {
            return 0;
        }
    }
    // With a line damaged, the "ok" of a cut line's rest may have counted for a line
    // the firmware never ran: only a line after it (the handler's final line) brings
    // it back, which the window alone cannot show.
    fuzz::Check(damagedAny || static_cast<int>(firmware.ran.size()) >= lines,
                "a line never got through");
    return 0;
}
