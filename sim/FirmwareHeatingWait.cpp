// The simulated firmware's heating wait, line by line: what it reports while it
// heats, and the unnumbered "M108" that ends the wait.
#include "sim/FirmwareLink.h"
#include "sim/SimulatedFirmware.h"

#include <algorithm>
#include <cctype>

namespace vela::test {
namespace {

// How often the wait looks at what has arrived.
constexpr int64_t kBreakPollUs = 5000;

// A complete line "M108" without a number (real boards read it as it arrives,
// before the line takes its turn; a numbered line is only read in turn).
bool HoldsUnnumberedBreak(const std::string& pending) {
    for (size_t start = 0, end = pending.find('\n'); end != std::string::npos;
         start = end + 1, end = pending.find('\n', start)) {
        size_t at = start;
        while (at < end && (pending[at] == ' ' || pending[at] == '\t')) {
            ++at;
        }
        if (pending.compare(at, 4, "M108") == 0 &&
            (at + 4 >= end || !std::isdigit(static_cast<unsigned char>(pending[at + 4])))) {
            return true;
        }
    }
    return false;
}

} // namespace

bool SimulatedFirmware::WaitWhileHeating(FirmwareLink& link, std::string& pending,
                                         uint32_t milliseconds) {
    const int64_t start = NowMicroseconds();
    const int64_t span = static_cast<int64_t>(milliseconds) * 1000;
    const int64_t reportEvery = std::max<int64_t>(1, int64_t{options_.heatingReportMs} * 1000);
    const int64_t busyEvery = std::max<int64_t>(1, int64_t{options_.busyIntervalMs} * 1000);
    int64_t nextReport = start + reportEvery;
    int64_t nextBusy = start + busyEvery;
    for (;;) {
        if (!link.ReadAvailable(pending)) {
            return false;
        }
        if (HoldsUnnumberedBreak(pending)) {
            std::lock_guard<std::mutex> guard(mutex_);
            interpreter_.EndHeatingWait();
            ++interpreter_.Stats().heatingWaitsBroken;
            return true;
        }
        if (!SendDueReport(link)) {
            return false;
        }
        const int64_t now = NowMicroseconds();
        const bool done = now >= start + span;
        if (done || now >= nextReport) {
            std::string text;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                interpreter_.AdvanceHeating(
                    done ? 1.0 : static_cast<double>(now - start) / static_cast<double>(span));
                text = interpreter_.TemperatureLine();
            }
            nextReport += reportEvery;
            if (!SendLine(link, text, now)) {
                return false;
            }
        }
        if (done) {
            return true;
        }
        if (now >= nextBusy) {
            nextBusy += busyEvery;
            if (!SendLine(link, "echo:busy: processing", now)) {
                return false;
            }
        }
        const int64_t wake = std::min({start + span, nextReport, nextBusy, now + kBreakPollUs});
        if (!link.WaitUntil(wake)) {
            return false;
        }
    }
}

} // namespace vela::test
