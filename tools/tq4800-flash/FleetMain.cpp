#include "tools/tq4800-flash/FleetMain.h"

#include "image/PrintableText.h"
#include "seams/Clock.h"
#include "tools/tq4800-flash/ExitCodes.h"
#include "tools/tq4800-flash/FleetInterruptGuard.h"
#include "tools/tq4800-flash/FleetScreen.h"
#include "tools/tq4800-flash/FleetServices.h"
#include "tools/tq4800-flash/FleetTargets.h"
#include "tools/tq4800-flash/JsonEvents.h"
#include "tools/tq4800-flash/MemberSeams.h"
#include "tools/tq4800-flash/NamesInOneLine.h"
#include "tools/tq4800-flash/SerialLog.h"
#include "tools/tq4800-flash/TerminalPrompt.h"
#include "tools/tq4800-flash/TerminalScreen.h"
#include "tools/tq4800-flash/TerminalSize.h"
#include "update/FleetConfirmation.h"
#include "update/FleetUpdate.h"

#include <cstring>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

std::unique_ptr<FleetReport> MakeReport(const FlashOptions& options, const std::string& runId) {
    if (options.json)
        return std::make_unique<JsonEvents>(stdout, runId);
    if (DrawsInPlace(STDOUT_FILENO))
        return std::make_unique<FleetScreen>(stdout, SystemClock());
    return std::make_unique<SerialLog>(stdout);
}

// The question of a single update when one instrument waits for it, else one naming all; of
// a large fleet, as many as fit one line of the terminal and a count of the rest (--list
// names them all).
std::string Question(const std::vector<std::size_t>& waiting,
                     const std::vector<FleetInstrument>& members, const ImageInfo& image) {
    const std::string model(image.ModelName, strnlen(image.ModelName, sizeof image.ModelName));
    if (waiting.size() == 1)
        return "Are you sure you want to update " + model +
               " SN:" + members[waiting.front()].serial + "?";
    std::vector<std::string> serials;
    for (std::size_t member : waiting)
        serials.push_back("SN:" + members[member].serial);
    return "Are you sure you want to update " + std::to_string(waiting.size()) + " " + model +
           " instruments: " + NamesInOneLine(serials, TerminalSizeOf(STDERR_FILENO).columns) + "?";
}

bool Ask(const std::string& question, bool assumeYes) {
    TerminalScreen screen(stdout, stderr, false);
    TerminalPrompt prompt(screen, stdin, assumeYes);
    return prompt.ShowMessage(question, "Confirm Firmware Update", MessageButtons::YesNo,
                              MessageIcon::Question) == MessageAnswer::Yes;
}

MemberResult ResultOf(const UpdateOutcome& outcome) {
    if (!outcome.instrumentFound)
        return {EXIT_UNAVAILABLE, "No instrument found.", 0};
    if (outcome.status == STATUS_COMPLETE)
        return {0, "Update is complete.", 0};
    return {outcome.status, std::string(StatusText(outcome.status)), 0};
}

int FirstFailure(const std::vector<MemberResult>& results) {
    for (const MemberResult& result : results)
        if (result.code != 0)
            return result.code;
    return 0;
}

} // namespace

int RunFleet(const FlashOptions& options, const ImageInfo& image, int descriptor,
             const std::string& runId) {
    std::vector<FleetInstrument> instruments;
    std::string error;
    if (int code = ChooseFleet(options, instruments, error)) {
        std::fprintf(stderr, "%s\n", PrintableLines(error).c_str());
        return code;
    }
    const std::unique_ptr<FleetReport> report = MakeReport(options, runId);
    report->Found(instruments);
    FleetConfirmation question(instruments.size());
    FleetInterruptGuard interrupts;
    Clock& clock = SystemClock();
    std::vector<std::unique_ptr<MemberSeams>> seams;
    for (std::size_t i = 0; i < instruments.size(); ++i)
        seams.push_back(std::make_unique<MemberSeams>(i, instruments[i].resourceName, image,
                                                      *report, question, interrupts, clock));
    FleetServices services(options.file, descriptor, image, instruments.size(), *report, runId);
    std::vector<FleetMember> members;
    for (std::size_t i = 0; i < seams.size(); ++i) {
        members.push_back(seams[i]->Member());
        members.back().journal = services.Journal(i);
        members.back().powerHold = services.Hold(i);
    }
    std::vector<MemberResult> results(instruments.size());
    const std::uint64_t startMs = clock.NowMs();
    auto ended = [&](std::size_t member, const UpdateOutcome& outcome) {
        question.Ended(member);
        results[member] = ResultOf(outcome);
        results[member].seconds = static_cast<double>(clock.NowMs() - startMs) / 1000.0;
        report->Result(member, results[member]);
    };
    {
        std::jthread updates([&] { UpdateFleet(image, members, ended); });
        const std::vector<std::size_t> asked = question.WaitForQuestions();
        const bool yes =
            !asked.empty() && Ask(Question(asked, instruments, image), options.assumeYes);
        report->Begin();
        question.Answer(yes ? MessageAnswer::Yes : MessageAnswer::No);
    }
    const int exitCode = FirstFailure(results);
    report->Summary(results, exitCode, static_cast<double>(clock.NowMs() - startMs) / 1000.0);
    return exitCode;
}
