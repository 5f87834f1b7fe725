#include "HostileDocuments.h"

#include "sim/SimulatedFirmware.h"
#include "core/PortSettings.h"
#include "monitor/PortSession.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace vela::stress {
namespace {

// One document at a time: there is one serial line.
std::mutex documentRunning;

struct Document {
    std::string bytes;
    // What the firmware runs for it, in order, the final "M400" included.
    std::vector<std::string> commands;
};

Document MakeDocument(std::mt19937& random) {
    std::uniform_int_distribution<int> percent(0, 99);
    Document document;
    if (percent(random) < 20) {
        document.bytes += "\xEF\xBB\xBF";
    }
    const int lines = 20 + percent(random) * 3;
    char command[64];
    for (int line = 0; line < lines; ++line) {
        const int kind = percent(random);
        if (kind < 5) {
            document.bytes += "; a comment line\n";
            continue;
        }
        std::snprintf(command, sizeof(command), "G1 X%d Y%d E0.%03d", percent(random),
                      percent(random), line);
        document.commands.push_back(command);
        document.bytes += command;
        if (kind < 15) {
            document.bytes += std::string(1, '\0');
        }
        document.bytes += kind < 30 ? " ; move\r\n" : "\n";
    }
    if (percent(random) < 30) {
        // A last line without its end.
        document.bytes += "M84";
        document.commands.push_back("M84");
    }
    document.commands.push_back("M400");
    return document;
}

struct Hostility {
    test::FirmwareOptions options;
    // Whether the firmware may end the document (a line refused for ever, a halt).
    bool mayEndIt = false;
};

Hostility MakeHostility(std::mt19937& random, size_t lines) {
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int64_t> line(1, static_cast<int64_t>(lines));
    Hostility hostility;
    test::FirmwareOptions& options = hostility.options;
    options.seed = static_cast<uint32_t>(random());
    options.corruptShare = percent(random) < 50 ? percent(random) / 1000.0 : 0.0;
    options.okAfterResend = percent(random) < 70;
    for (int count = percent(random) % 3; count > 0; --count) {
        options.loseLines.insert(line(random));
        options.dropOkForLines.insert(line(random));
        options.corruptLines.insert(line(random));
    }
    options.echoEveryLines = percent(random) < 30 ? 1 + percent(random) % 7 : 0;
    options.longEchoBytes = percent(random) < 10 ? 5000 : 0;
    options.temperatureReportMs = percent(random) < 30 ? 50 : 0;
    if (percent(random) < 10) {
        options.refuseLines.insert(line(random));
        hostility.mayEndIt = true;
    }
    if (percent(random) < 10) {
        options.haltAfterLine = line(random);
        hostility.mayEndIt = true;
    }
    return hostility;
}

// Where a run and its document part, for the violation's text.
std::string Sketch(const std::vector<std::string>& executed,
                   const std::vector<std::string>& commands) {
    std::string text = std::to_string(executed.size()) + " ran (greeting included) for " +
                       std::to_string(commands.size()) + "; the last ran:";
    for (size_t index = executed.size() > 4 ? executed.size() - 4 : 0; index < executed.size();
         ++index) {
        text += " \"" + executed[index] + "\"";
    }
    return text;
}

// A document that failed on a refused line ends with the cancel lines, set off
// by the "M110" that sets the firmware's counter: they are taken off the run. On
// a hostile link they may stop part-way (a cancel line refused in its turn), and
// an "M110" sent again runs again (firmware takes it whatever its number).
bool TakeOffCancelLines(std::vector<std::string>& executed) {
    const std::vector<std::string> cancel = DefaultCancelLines();
    for (size_t start = 1; start < executed.size(); ++start) {
        if (executed[start] != "M110") {
            continue;
        }
        size_t next = 0;
        bool cancelOnly = true;
        for (size_t at = start; at < executed.size() && cancelOnly; ++at) {
            if (executed[at] == "M110") {
                continue;
            }
            cancelOnly = next < cancel.size() && executed[at] == cancel[next];
            ++next;
        }
        if (cancelOnly) {
            executed.resize(start);
            return true;
        }
    }
    return false;
}

// The firmware's numbered commands after the greeting must be the document's,
// in order, none twice and none skipped.
void CheckExecuted(StressBed& bed, std::vector<std::string> executed, const Document& document,
                   bool complete, bool mayEndIt) {
    // Ten resend requests in a row fail a document on any hostile link, not only
    // on a line refused for ever.
    if (!complete && TakeOffCancelLines(executed)) {
        bed.tally.Count("serial cancel lines after a refused line", 0);
    }
    if (executed.empty() || executed[0] != "M110 N0") {
        bed.tally.Violation("serial document ran without the greeting");
        return;
    }
    // The handshake goes again after 2 s without an answer, and with time running
    // fast that is 2 ms of real time: a greeting that ran twice before the first
    // line is counted, not a fault (the firmware just sets its counter to 0 again).
    size_t greetings = 1;
    while (greetings < executed.size() && executed[greetings] == "M110 N0") {
        ++greetings;
    }
    if (greetings > 1) {
        bed.tally.Count("serial greeting ran again (time runs fast)", 0);
    }
    size_t ran = executed.size() - greetings;
    // The final "M400" goes again when only a poke's answer acknowledged it.
    while (ran > document.commands.size() && executed[ran + greetings - 1] == "M400") {
        --ran;
    }
    if (ran > document.commands.size()) {
        bed.tally.Violation("serial document ran more lines than it has: " +
                            Sketch(executed, document.commands));
        return;
    }
    for (size_t index = 0; index < ran; ++index) {
        if (executed[index + greetings] != document.commands[index]) {
            bed.tally.Violation("serial line " + std::to_string(index + 1) + " ran as \"" +
                                executed[index + greetings] + "\", expected \"" +
                                document.commands[index] + "\"; " +
                                Sketch(executed, document.commands));
            return;
        }
    }
    if (complete && ran + 1 == document.commands.size()) {
        // With time running fast, the "ok" that closes a resend request can come
        // after the 500 ms the handler gives it and be taken for the next line's:
        // the final "M400" may then still be inside the firmware when it stops.
        bed.tally.Count("serial final line still in the firmware", 0);
    } else if (complete && ran != document.commands.size()) {
        bed.tally.Violation("serial document reported complete with " +
                            std::to_string(document.commands.size() - ran) + " of " +
                            std::to_string(document.commands.size()) + " lines missing");
    }
    if (!complete && !mayEndIt) {
        // Only silence while time runs fast can end it: counted, not a violation.
        bed.tally.Count("serial document ended early", 0);
    }
}

} // namespace

bool RunHostileDocument(StressBed& bed, std::mt19937& random) {
    if (bed.serialHost.empty()) {
        return false;
    }
    std::unique_lock<std::mutex> only(documentRunning, std::try_to_lock);
    if (!only.owns_lock()) {
        return false;
    }
    const Document document = MakeDocument(random);
    const Hostility hostility = MakeHostility(random, document.commands.size());
    test::SimulatedFirmware firmware(hostility.options);
    if (!firmware.Start(bed.serialFirmware.c_str())) {
        bed.tally.Violation("the firmware's end of the serial pair did not open");
        return false;
    }
    std::wstring name = kSerialStressPort;
    HANDLE port = nullptr;
    if (!bed.table->pfnOpenPort(bed.monitor, &name[0], &port)) {
        bed.tally.Count("serial OpenPort", ::GetLastError());
        return true;
    }
    // No printer name: the document runs without the spooler's job calls, which
    // Wine's spooler does not offer.
    const BOOL started = bed.table->pfnStartDocPort(port, nullptr, 1, 1, nullptr);
    bed.tally.Count("serial StartDocPort", started ? 0 : ::GetLastError());
    std::uniform_int_distribution<size_t> pieceSize(1, 5000);
    for (size_t offset = 0; started && offset < document.bytes.size();) {
        std::string piece = document.bytes.substr(offset, pieceSize(random));
        DWORD written = 0;
        const BOOL accepted = bed.table->pfnWritePort(port, reinterpret_cast<LPBYTE>(&piece[0]),
                                                      static_cast<DWORD>(piece.size()), &written);
        if (!accepted) {
            bed.tally.Count("serial WritePort", ::GetLastError());
            break;
        }
        offset += written;
    }
    bool complete = false;
    if (started) {
        bed.tally.Count("serial EndDocPort", bed.table->pfnEndDocPort(port) ? 0 : ::GetLastError());
        const auto* session = static_cast<PortSession*>(EntryOf(port)->session);
        complete = session->serial != nullptr &&
                   session->serial->Progress().outcome == DocumentOutcome::Completed;
    }
    bed.tally.Count("serial ClosePort", bed.table->pfnClosePort(port) ? 0 : ::GetLastError());
    firmware.Stop();
    if (started) {
        CheckExecuted(bed, firmware.ExecutedNumberedCommands(), document, complete,
                      hostility.mayEndIt);
    }
    return true;
}

} // namespace vela::stress
