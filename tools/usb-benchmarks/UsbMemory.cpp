// Whether the monitor keeps memory from one job to the next: many large USB jobs,
// one after another in one process, and the process's private bytes before and
// after.
//
//   bench-usb-memory [--jobs N] [--megabytes M]      (defaults: 100 jobs of 10 MB)
//
// The outgoing line queue's length is shown too: a USB job must leave nothing there.
#include "BenchOptions.h"
#include "JobFile.h"
#include "UsbBenchmarkBed.h"
#include "core/MonitorState.h"

#include <cstdio>

namespace {

double Megabytes(uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

double Difference(uint64_t after, uint64_t before) {
    return Megabytes(after) - Megabytes(before);
}

DWORD WINAPI DoNothing(LPVOID) {
    return 0;
}

// Every OpenPort starts the protocol handler's thread. Wine keeps the stack of the
// thread that ended last (about 1 MB) until another thread ends, so the first
// thread a process ever ends leaves that much behind: one ended before measuring
// puts it in the baseline. Windows releases a thread's stack when it ends.
void EndOneThread() {
    HANDLE thread = ::CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
    if (thread != nullptr) {
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace vela::bench;
    uint32_t jobs = 0;
    uint32_t megabytes = 0;
    if (!NumberOption(argc, argv, "--jobs", 1, 100000, 100, &jobs) ||
        !NumberOption(argc, argv, "--megabytes", 1, 1024, 10, &megabytes)) {
        std::fprintf(stderr, "usage: bench-usb-memory [--jobs N] [--megabytes M]\n");
        return 2;
    }
    const int32_t records = RecordsForMegabytes(megabytes);
    std::vector<uint8_t> stream = vela::host::MakeJobStream(records);

    UsbBenchmarkBed bed;
    if (!bed.Load()) {
        std::fprintf(stderr, "Cannot load the monitor: %s\n", bed.Error().c_str());
        return 2;
    }
    std::printf("USB memory: %u jobs of %u MB (%d records) one after another in one process\n",
                jobs, megabytes, records);
    EndOneThread();
    const uint64_t before = PrivateBytes();
    uint64_t afterFirst = 0;
    const double wallStart = WallSeconds();
    bool ran = true;
    for (uint32_t job = 1; job <= jobs && ran; ++job) {
        JobMeasure measure;
        ran = bed.RunJob(stream, 4096, measure) && measure.sent == measure.announced;
        if (job == 1) {
            afterFirst = PrivateBytes();
        }
        if (job == 1 || job % 10 == 0 || job == jobs) {
            std::printf("  after job %3u: private bytes %8.2f MB\n", job,
                        Megabytes(PrivateBytes()));
            std::fflush(stdout);
        }
    }
    const double wall = WallSeconds() - wallStart;
    const uint64_t after = PrivateBytes();
    bed.Unload();
    if (!ran) {
        std::fprintf(stderr, "A job did not run completely: %s\n", bed.Error().c_str());
        return 1;
    }
    std::printf("  private bytes before the first job  %.2f MB (after one thread ended)\n",
                Megabytes(before));
    std::printf("  private bytes after the first job   %.2f MB\n", Megabytes(afterFirst));
    std::printf("  private bytes after the last job    %.2f MB\n", Megabytes(after));
    std::printf("  growth over all jobs                %+.2f MB\n", Difference(after, before));
    std::printf("  growth after the first job          %+.2f MB\n", Difference(after, afterFirst));
    std::printf("  wall time                           %.1f s\n", wall);
    return 0;
}
