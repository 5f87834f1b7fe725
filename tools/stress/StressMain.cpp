// stress-ports [--seconds N] [--seed S]: the port management under load for N
// seconds (default 60). Exit code 0 only when every outcome matched, no port was
// lost or listed twice, and the process heap stayed intact.
#include "BenchOptions.h"
#include "StressBed.h"
#include "StressWorkers.h"
#include "TransceiveFuzz.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace vela::stress;

namespace {

constexpr int kChurnThreads = 8;

// Shutdown while notifications still arrive, then the final heap check.
void ShutDown(StressBed& bed) {
    std::atomic<bool> stopNotifications{false};
    std::thread notifier([&] {
        while (!stopNotifications) {
            bed.harness.notifications.Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL);
        }
    });
    bed.harness.Shutdown();
    stopNotifications = true;
    notifier.join();
    bed.harness.Unload();
    HeapIsIntact(bed, "after Shutdown");
}

} // namespace

int main(int argc, char** argv) {
    uint32_t seconds = 0;
    uint32_t seed = 0;
    if (!vela::bench::NumberOption(argc, argv, "--seconds", 1, 86400, 60, &seconds) ||
        !vela::bench::NumberOption(argc, argv, "--seed", 0, 0xFFFFFFFF, 1, &seed)) {
        std::fprintf(stderr, "usage: stress-ports [--seconds N] [--seed S]"
                             " [--serial COMn --firmware COMm]\n");
        return 2;
    }
    StressBed bed;
    for (int index = 1; index + 1 < argc; ++index) {
        const std::string option = argv[index];
        const std::string value = argv[index + 1];
        if (option == "--serial" || option == "--firmware") {
            (option == "--serial" ? bed.serialHost : bed.serialFirmware) =
                L"\\\\.\\" + std::wstring(value.begin(), value.end());
        }
    }
    if (bed.serialHost.empty() != bed.serialFirmware.empty()) {
        std::fprintf(stderr, "--serial and --firmware go together\n");
        return 2;
    }
    if (!bed.Load()) {
        std::fprintf(stderr, "the monitor did not load (error %lu)\n", ::GetLastError());
        return 1;
    }
    std::printf("stress-ports: %u s, seed %u, %d port threads\n", seconds, seed, kChurnThreads);
    std::fflush(stdout);

    std::vector<std::thread> threads;
    for (int index = 0; index < kChurnThreads; ++index) {
        threads.emplace_back(RunPortChurn, std::ref(bed), seed + 1 + index);
    }
    threads.emplace_back(RunTransceiveFuzz, std::ref(bed), seed);
    threads.emplace_back(RunNotifications, std::ref(bed));
    threads.emplace_back(RunHeapChecks, std::ref(bed));
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    // A thread that never comes back is a finding too, not a run that never ends.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(120));
        std::printf("the run did not end within 120 s of its time: a thread hangs\nFAIL\n");
        std::fflush(stdout);
        std::_Exit(1);
    }).detach();
    bed.stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }

    bed.model.CheckListing(bed.Enumerate(1, bed.tally), bed.tally);
    bed.model.CheckListing(bed.Enumerate(2, bed.tally), bed.tally);
    HeapIsIntact(bed, "at the end of the run");
    ShutDown(bed);

    bed.tally.PrintSummary();
    const bool clean = bed.tally.Clean();
    std::printf("%s\n", clean ? "PASS" : "FAIL");
    return clean ? 0 : 1;
}
