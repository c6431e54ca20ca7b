#include "tools/tq4800-flash/FleetMain.h"

#include "seams/Clock.h"
#include "tools/tq4800-flash/ConfirmationGate.h"
#include "tools/tq4800-flash/FleetInterruptGuard.h"
#include "tools/tq4800-flash/FleetScreen.h"
#include "tools/tq4800-flash/FleetTargets.h"
#include "tools/tq4800-flash/JsonEvents.h"
#include "tools/tq4800-flash/MemberUpdate.h"
#include "tools/tq4800-flash/SerialLog.h"
#include "tools/tq4800-flash/TerminalPrompt.h"
#include "tools/tq4800-flash/TerminalScreen.h"

#include <cstring>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

std::unique_ptr<FleetReport> MakeReport(const FlashOptions& options) {
    if (options.json)
        return std::make_unique<JsonEvents>(stdout);
    if (isatty(STDOUT_FILENO) != 0)
        return std::make_unique<FleetScreen>(stdout, SystemClock());
    return std::make_unique<SerialLog>(stdout);
}

// The question of a single update when one instrument waits for it, else one naming all.
std::string Question(const std::vector<std::size_t>& waiting,
                     const std::vector<FleetInstrument>& members, const ImageInfo& image) {
    const std::string model(image.ModelName, strnlen(image.ModelName, sizeof image.ModelName));
    if (waiting.size() == 1)
        return "Are you sure you want to update " + model +
               " SN:" + members[waiting.front()].serial + "?";
    std::string serials;
    for (std::size_t member : waiting)
        serials += (serials.empty() ? "SN:" : ", SN:") + members[member].serial;
    return "Are you sure you want to update " + std::to_string(waiting.size()) + " " + model +
           " instruments: " + serials + "?";
}

bool Ask(const std::string& question, bool assumeYes) {
    TerminalScreen screen(stdout, stderr, false);
    TerminalPrompt prompt(screen, stdin, assumeYes);
    return prompt.ShowMessage(question, "Confirm Firmware Update", MessageButtons::YesNo,
                              MessageIcon::Question) == MessageAnswer::Yes;
}

int FirstFailure(const std::vector<MemberResult>& results) {
    for (const MemberResult& result : results)
        if (result.code != 0)
            return result.code;
    return 0;
}

} // namespace

int RunFleet(const FlashOptions& options, const ImageInfo& image) {
    std::vector<FleetInstrument> members;
    std::string error;
    if (int code = ChooseFleet(options, members, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return code;
    }
    const std::unique_ptr<FleetReport> report = MakeReport(options);
    report->Found(members);
    ConfirmationGate gate(members.size());
    FleetInterruptGuard interrupts;
    const FleetShared shared{image, *report, gate, interrupts, SystemClock()};
    std::vector<MemberResult> results(members.size());
    const std::uint64_t startMs = SystemClock().NowMs();
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < members.size(); ++i)
            threads.emplace_back(
                [&, i] { results[i] = UpdateMember(i, members[i].resourceName, shared); });
        const std::vector<std::size_t> waiting = gate.WaitForQuestion();
        const bool yes =
            !waiting.empty() && Ask(Question(waiting, members, image), options.assumeYes);
        report->Begin();
        gate.Answer(yes);
    }
    const int exitCode = FirstFailure(results);
    report->Summary(results, exitCode,
                    static_cast<double>(SystemClock().NowMs() - startMs) / 1000.0);
    return exitCode;
}
