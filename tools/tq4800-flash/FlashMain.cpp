// tq4800-flash: the update of the window's Update button, from a terminal.

#include "backend/BackendFactory.h"
#include "history/RunId.h"
#include "image/ImageFile.h"
#include "image/ValidateImage.h"
#include "link/InstrumentSession.h"
#include "seams/Clock.h"
#include "seams/EventPump.h"
#include "tools/tq4800-flash/ConsoleDeviceList.h"
#include "tools/tq4800-flash/ExitCodes.h"
#include "tools/tq4800-flash/FlashOptions.h"
#include "tools/tq4800-flash/FleetMain.h"
#include "tools/tq4800-flash/FleetTargets.h"
#include "tools/tq4800-flash/HistoryCommand.h"
#include "tools/tq4800-flash/InterruptGuard.h"
#include "tools/tq4800-flash/ListInstruments.h"
#include "tools/tq4800-flash/RequestedDevice.h"
#include "tools/tq4800-flash/RunServices.h"
#include "tools/tq4800-flash/TerminalLog.h"
#include "tools/tq4800-flash/TerminalProgress.h"
#include "tools/tq4800-flash/TerminalPrompt.h"
#include "tools/tq4800-flash/TerminalScreen.h"
#include "tools/tq4800-flash/TerminalSize.h"
#include "update/LastCatch.h"
#include "update/StandardDescriptors.h"
#include "update/UpdateSequence.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace {

const std::string PROGRAM = "tq4800-flash: ";

// Nothing waits for events on a terminal.
class NoEvents final : public EventPump {
public:
    void PumpMessages() override {}
};

std::string WhereTheFileIsWrong(const ImageProblem& problem) {
    static constexpr const char* POSITIONS[] = {"FPGA1", "FPGA2", "FPGA3", "MAIN", "HTTP"};
    std::string where = problem.segment == ImageProblem::HEADER
                            ? "header"
                            : std::string("segment ") + POSITIONS[problem.segment];
    return problem.detail.empty() ? where : where + ": " + problem.detail;
}

// Loads and checks the file as the window's "..." does: 0, EXIT_NOINPUT, or the status code.
// The file stays open in stream: the history records the bytes loaded, read through it.
int LoadFirmwareFile(const std::string& path, ImageInfo& image, TerminalScreen& screen,
                     std::unique_ptr<FileImageStream>& stream) {
    errno = 0;
    stream = OpenImageFile(path);
    if (!stream) {
        std::string reason = errno != 0 ? std::strerror(errno) : "Can't open file.";
        screen.PrintError(PROGRAM + path + ": " + reason);
        return EXIT_NOINPUT;
    }
    ImageProblem problem;
    StatusCode status = LoadImageFile(*stream, image, &problem);
    if (status == STATUS_COMPLETE)
        status = ValidateImage(image, &problem);
    if (status != STATUS_COMPLETE) {
        screen.PrintError(PROGRAM + path + ": " + WhereTheFileIsWrong(problem));
        PrintStatus(screen, status);
    }
    return status;
}

// With --device, the instrument is chosen from a search before anything is touched; the update
// then takes only that name: the window would take the first one instead, which on a
// production bench is the wrong instrument. 0 with the name, else the exit code.
int ChooseRequestedDevice(const FlashOptions& options, std::string& name, TerminalScreen& screen) {
    std::vector<std::string> chosen;
    std::string error;
    if (int code = ChooseInstruments(options, SearchInstruments(), chosen, error)) {
        screen.PrintError(error);
        return code;
    }
    name = chosen.front();
    return 0;
}

int UpdateInstrument(const FlashOptions& options, const ImageInfo& image, int descriptor,
                     TerminalScreen& screen, const std::string& runId) {
    std::string requiredName;
    if (!options.devicePrefix.empty())
        if (int code = ChooseRequestedDevice(options, requiredName, screen))
            return code;
    ConsoleDeviceList devices(requiredName);
    InstrumentSession session(devices);
    TerminalLog log(screen);
    TerminalProgress progress(screen);
    TerminalPrompt prompt(screen, stdin, options.assumeYes);
    InterruptGuard guard;
    NoEvents events;
    UpdateSequence sequence(
        session, image, {log, devices, progress, progress, prompt, guard, events, SystemClock()});
    RunServices services(screen, runId);
    services.AttachTo(sequence, options.file, descriptor, image);

    session.OpenResourceManager();
    int exitCode = EXIT_UNAVAILABLE;
    const UpdateOutcome outcome = sequence.OnUpdate();
    if (outcome.instrumentFound)
        exitCode = outcome.status;
    else if (devices.Count() > 0)
        ReportNoMatchingDevice(devices, requiredName, screen);
    session.CloseResourceManager();
    screen.EndLog();
    return exitCode;
}

// A log that could not be written (a full disk, an I/O error) is said once the update is
// over, which it never stops; a reader that went away is no fault of ours.
void NoteLostOutput() {
    std::string reason;
    if (FlushStandardOutput(reason) == OutputFate::Lost)
        std::fprintf(stderr, "%sstandard output could not be written%s%s: the log is incomplete\n",
                     PROGRAM.c_str(), reason.empty() ? "" : ": ", reason.c_str());
}

int RunUpdate(const FlashOptions& options) {
    // A reader of the log that goes away (tq4800-flash ... | head) must not end the program
    // in the middle of a flash write; the log is then lost, the update goes on.
    std::signal(SIGPIPE, SIG_IGN);
    TerminalScreen screen(stdout, stderr, DrawsInPlace(STDERR_FILENO));
    ImageInfo image;
    std::unique_ptr<FileImageStream> file;
    if (int code = LoadFirmwareFile(options.file, image, screen, file); code != STATUS_COMPLETE)
        return code;
    // A backend that cannot start says why on standard error; the search then finds nothing.
    visa::InstallBackendFromEnvironment();
    const std::string runId = NewRunId();
    const int code = options.UpdatesFleet() || options.json
                         ? RunFleet(options, image, file->Descriptor(), runId)
                         : UpdateInstrument(options, image, file->Descriptor(), screen, runId);
    NoteLostOutput();
    return code;
}

// Help, version and the list of instruments: their output is their result.
int PrintInformation(const FlashOptions& options) {
    if (options.action == FlashOptions::Action::Help) {
        std::cout << FlashUsage();
        return EXIT_SUCCESS;
    }
    if (options.action == FlashOptions::Action::Version) {
        std::cout << "tq4800-flash " << UTILITY_VERSION << '\n';
        return EXIT_SUCCESS;
    }
    visa::InstallBackendFromEnvironment();
    return ListInstruments(std::cout, std::cerr);
}

} // namespace

int main(int argc, char** argv) try {
    OpenClosedStandardDescriptors();
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (IsHistoryCommand(args))
        return ExitCodeOnceOutputWritten(RunHistoryCommand(args, std::cout, std::cerr),
                                         "tq4800-flash");
    FlashOptions options;
    std::string error;
    if (!ParseFlashOptions(args, options, error)) {
        if (!error.empty())
            std::cerr << PROGRAM << error << '\n';
        std::cerr << "Try 'tq4800-flash --help'.\n";
        return EXIT_USAGE;
    }
    if (options.action == FlashOptions::Action::Update)
        return RunUpdate(options);
    return ExitCodeOnceOutputWritten(PrintInformation(options), "tq4800-flash");
} catch (...) {
    return ReportUncaughtException("tq4800-flash");
}
