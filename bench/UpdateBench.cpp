// The time of a whole update of a largest accepted file on the simulated instrument, on the
// real clock, against the floor that the fixed waits impose: 10 ms after every command
// frame and every data chunk, 2500 ms after the switch to the loader. The simulated loader
// answers at once, so everything above the floor is the utility's own overhead (and the
// precision of the system's sleeps).

#include "bench/LargestFile.h"
#include "image/ImageFile.h"
#include "image/MemoryImageStream.h"
#include "image/ValidateImage.h"
#include "link/InstrumentSession.h"
#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "sim/Bench.h"
#include "sim/SimBackend.h"
#include "update/RecordingWindow.h"
#include "update/UpdateSequence.h"

#include <chrono>
#include <cstdio>

namespace {

// The real clock, counting what the utility asks of it and how long the sleeps took.
class CountingClock final : public Clock {
public:
    void SleepMs(std::uint32_t ms) override {
        const auto start = std::chrono::steady_clock::now();
        SystemClock().SleepMs(ms);
        sleptMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        ++sleeps;
        requestedMs += ms;
    }
    std::uint64_t NowMs() const override { return SystemClock().NowMs(); }

    std::uint64_t sleeps = 0;
    std::uint64_t requestedMs = 0;
    double sleptMs = 0;
};

} // namespace

int main() {
    ImageInfo image;
    const std::vector<std::uint8_t> file = WriteImageFile(LargestFile());
    MemoryImageStream stream(file);
    if (LoadImageFile(stream, image) != STATUS_COMPLETE ||
        ValidateImage(image) != STATUS_COMPLETE) {
        std::fprintf(stderr, "bench-update: the largest file is not accepted\n");
        return 1;
    }

    sim::InstrumentConfig instrument; // normal firmware, older revisions, flash lines at once
    instrument.flashLineMs = 0;
    auto bench = std::make_shared<sim::Bench>(sim::BenchConfig{{instrument}}, SystemClock());
    bench->Trace().KeepLines(false);
    visa::InstallBackend(visa::MakeSimBackend(bench));

    CountingClock clock;
    RecordingWindow window;
    InstrumentSession session(window.devices);
    UpdateSequence sequence(session, image, window.Seams(clock));
    session.OpenResourceManager();

    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const UpdateOutcome outcome = sequence.OnUpdate();
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpuMs = (CpuSeconds() - cpuBefore) * 1000.0;
    session.CloseResourceManager();
    visa::InstallBackend(nullptr);

    if (!outcome.instrumentFound || outcome.status != STATUS_COMPLETE) {
        std::fprintf(stderr, "bench-update: the update failed with code %d\n", outcome.status);
        return 1;
    }
    std::uint64_t bytes = 0;
    for (const SegmentImage& segment : image.segments)
        bytes += segment.byteCount;
    const double floorMs = static_cast<double>(FloorMs(image));
    std::printf("whole update of a largest accepted file (%llu bytes in 5 segments)\n",
                static_cast<unsigned long long>(bytes));
    std::printf("  wall time          %9.1f ms\n", wallMs);
    std::printf("  floor of the waits %9.1f ms  (%llu waits requested, %llu ms)\n", floorMs,
                static_cast<unsigned long long>(clock.sleeps),
                static_cast<unsigned long long>(clock.requestedMs));
    std::printf("  wall / floor       %9.4f  (goal: at most 1.01)\n", wallMs / floorMs);
    std::printf("  of the excess      %9.1f ms late wake-ups (%.0f us a wait), %.1f ms work\n",
                clock.sleptMs - static_cast<double>(clock.requestedMs),
                1000.0 * (clock.sleptMs - static_cast<double>(clock.requestedMs)) /
                    static_cast<double>(clock.sleeps),
                wallMs - clock.sleptMs);
    std::printf("  CPU time           %9.1f ms  (%.2f %% of the wall time; goal: under 5 %%)\n",
                cpuMs, 100.0 * cpuMs / wallMs);
    return 0;
}
