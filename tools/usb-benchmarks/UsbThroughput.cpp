// How fast a large job goes through WritePort into the printer over a modelled USB
// link, and how much of that time goes to setting up the connection again, since
// every WritePort call closes the device.
//
//   bench-usb-throughput [--megabytes M] [--piece N]     (defaults: 10 MB, 4096 bytes)
#include "BenchOptions.h"
#include "JobFile.h"
#include "UsbBenchmarkBed.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace vela::bench;
    uint32_t megabytes = 0;
    uint32_t piece = 0;
    if (!NumberOption(argc, argv, "--megabytes", 1, 1024, 10, &megabytes) ||
        !NumberOption(argc, argv, "--piece", 1, 16u * 1024u * 1024u, 4096, &piece)) {
        std::fprintf(stderr, "usage: bench-usb-throughput [--megabytes M] [--piece N]\n");
        return 2;
    }
    const int32_t records = RecordsForMegabytes(megabytes);
    std::vector<uint8_t> stream = vela::host::MakeJobStream(records);

    UsbBenchmarkBed bed;
    if (!bed.Load()) {
        std::fprintf(stderr, "Cannot load the monitor: %s\n", bed.Error().c_str());
        return 2;
    }
    JobMeasure measure;
    const bool ran = bed.RunJob(stream, piece, measure);
    bed.Unload();
    if (!ran) {
        std::fprintf(stderr, "The job did not run: %s\n", bed.Error().c_str());
        return 1;
    }

    const double modelled = static_cast<double>(measure.modelledMicros) / 1e6;
    const double connecting = static_cast<double>(measure.connectionMicros) / 1e6;
    const double transferring = static_cast<double>(measure.transferMicros) / 1e6;
    std::printf("USB transfer: a %u MB job (%d records, %llu bytes) through WritePort in "
                "%u-byte pieces\n",
                megabytes, records, static_cast<unsigned long long>(stream.size()), piece);
    std::printf("Modelled link: %.3f ms a transfer, %.3f ms a connection set-up (virtual "
                "clock)\n",
                kTransferMicros / 1000.0, kConnectionMicros / 1000.0);
    std::printf("  records sent / announced   %d / %d\n", measure.sent, measure.announced);
    std::printf("  WritePort calls            %llu\n",
                static_cast<unsigned long long>(measure.writeCalls));
    std::printf("  bulk transfers             %llu (%.1f a call)\n",
                static_cast<unsigned long long>(measure.transfers),
                static_cast<double>(measure.transfers) / static_cast<double>(measure.writeCalls));
    std::printf("  connection set-ups         %llu\n",
                static_cast<unsigned long long>(measure.connections));
    // Beyond the link: the printer's settle time after the start, and any pipe time-out.
    const double waiting = modelled - transferring - connecting;
    const double link = transferring + connecting;
    std::printf("  modelled time              %.3f s (transfers %.3f s, set-ups %.3f s, "
                "waits %.3f s)\n",
                modelled, transferring, connecting, waiting);
    std::printf("  records per second         %.0f over the whole transfer, %.0f over the "
                "link's time alone\n",
                modelled > 0.0 ? measure.sent / modelled : 0.0,
                link > 0.0 ? measure.sent / link : 0.0);
    std::printf("  time spent reconnecting    %.1f %% of the whole transfer, %.1f %% of the "
                "link's time\n",
                modelled > 0.0 ? 100.0 * connecting / modelled : 0.0,
                link > 0.0 ? 100.0 * connecting / link : 0.0);
    std::printf("  wall time of the run       %.2f s (the simulation itself)\n",
                measure.wallSeconds);
    return measure.sent == measure.announced ? 0 : 1;
}
