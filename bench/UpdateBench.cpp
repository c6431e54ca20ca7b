// The time of a whole update of a largest accepted file on the simulated instrument, on the
// real clock, against the floor that the fixed waits impose: 10 ms after every command
// frame and every data chunk, 2500 ms after the switch to the loader. The simulated loader
// answers at once, so everything above the floor is the utility's own overhead (and the
// precision of the system's sleeps). The run is recorded in an update history file of its
// own, and the time spent on the history (the file's digest, opening the database, every
// commit) is measured apart.

#include "bench/LargestFile.h"
#include "fakes/RecordingWindow.h"
#include "history/HistoryDatabase.h"
#include "history/UpdateHistory.h"
#include "image/ImageFile.h"
#include "image/MemoryImageStream.h"
#include "image/ValidateImage.h"
#include "link/InstrumentSession.h"
#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "sim/Bench.h"
#include "sim/SimBackend.h"
#include "update/LastCatch.h"
#include "update/UpdateSequence.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

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

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Passes every call on to the history's journal and adds up the time it took.
class TimedJournal final : public UpdateJournal {
public:
    explicit TimedJournal(UpdateJournal& journal) : journal_(journal) {}
    void RunStarted(std::string_view name) override {
        Time([&] { journal_.RunStarted(name); });
    }
    void RunConfirmed() override {
        Time([&] { journal_.RunConfirmed(); });
    }
    void InstrumentRevision(std::string_view field) override {
        Time([&] { journal_.InstrumentRevision(field); });
    }
    void SegmentDone(int position, bool held) override {
        Time([&] { journal_.SegmentDone(position, held); });
    }
    void RunEnded(StatusCode status) override {
        Time([&] { journal_.RunEnded(status); });
    }

    double spentMs = 0;
    int calls = 0;

private:
    template <typename Call> void Time(Call call) {
        const auto start = std::chrono::steady_clock::now();
        call();
        spentMs += MillisecondsSince(start);
        ++calls;
    }
    UpdateJournal& journal_;
};

} // namespace

int main() try {
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

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench-update-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string firmwarePath = (folder / "largest.bin").string();
    std::ofstream(firmwarePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    std::string problem;
    OnceNotice notice([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    const std::string historyPath = (folder / "history.sqlite3").string();
    UpdateHistory history({false, historyPath}, "terminal", notice);
    // The first update on a PC makes the history file; that happens once and is shown apart.
    const auto creation = std::chrono::steady_clock::now();
    HistoryDatabase().Open(historyPath, HistoryDatabase::Access::Write, problem);
    const double creationMs = MillisecondsSince(creation);

    CountingClock clock;
    RecordingWindow window;
    InstrumentSession session(window.devices);
    UpdateSequence sequence(session, image, window.Seams(clock));
    session.OpenResourceManager();

    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<UpdateJournal> journal = history.JournalFor(firmwarePath, image);
    const double describeMs = MillisecondsSince(start);
    TimedJournal timed(*journal);
    sequence.SetJournal(&timed);
    const UpdateOutcome outcome = sequence.OnUpdate();
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpuMs = (CpuSeconds() - cpuBefore) * 1000.0;
    session.CloseResourceManager();
    visa::InstallBackend(nullptr);
    std::filesystem::remove_all(folder);

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
    std::printf("  update history     %9.1f ms  (file digest %.1f ms, %d journal calls, "
                "%.1f ms; goal: under 50 ms)\n",
                describeMs + timed.spentMs, describeMs, timed.calls, timed.spentMs);
    std::printf("  history file made %9.1f ms  (once, before the first update on a PC)\n",
                creationMs);
    return 0;
} catch (...) {
    return ReportUncaughtException("bench-update");
}
