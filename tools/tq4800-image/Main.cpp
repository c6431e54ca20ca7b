#include "Commands.h"
#include "ExitCodes.h"
#include "ToolOutput.h"
#include "image/ValidateImage.h"
#include "update/LastCatch.h"
#include "update/StandardDescriptors.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
const char HELP[] = R"(Usage:
  tq4800-image build -o OUT --model M --image-rev R --utility-rev U
                     [--description TEXT] [--revs-not-support X]
                     FPGA1=FILE:REV FPGA2=FILE:REV FPGA3=FILE:REV
                     MAIN=FILE:REV HTTP=FILE:REV
  tq4800-image build -o OUT --model M --image-rev R --utility-rev U
                     [...] --demo
  tq4800-image check [--] FILE
  tq4800-image show [--] FILE
  tq4800-image --help | --version

Builds, checks and shows firmware revision files of the TQ4800.

Commands:
  build   Write OUT with the header values given and one segment record for
          each of FPGA1, FPGA2, FPGA3, MAIN and HTTP: the bytes of FILE as its
          payload, REV (at most 4 characters) as its revision, and the type and
          flag bytes that the update utility requires. The revision follows the
          last ":", so FILE may contain ":". A revision the update would refuse
          is not written: an FPGA segment takes two digits ("02"), MAIN and
          HTTP a digit or capital letter, "." and two digits ("1.10"). OUT is
          written to a temporary file beside it and renamed into place; a
          symlink OUT replaces the file it leads to, and anything else that is
          not a regular file is left alone. An existing OUT keeps its owner,
          group and permissions; one you may not write, or one with several
          hard links, is refused.
          Values may also be given as --option=VALUE. A file the utility would
          refuse (another model, a newer utility) is written with a warning.
          --demo makes deterministic payloads instead of reading files:
          FPGA1 8 KiB, FPGA2 12 KiB, FPGA3 12 KiB, MAIN 48 KiB and HTTP 24 KiB
          of pseudo-random bytes, with the revisions 02, 02, 02, 1.10 and 1.10.
  check   Load and check FILE exactly as the update utility does when it opens
          a file. Prints nothing when the file is accepted; otherwise the
          utility's message, the error number and where the file is wrong, on
          standard error.
  show    Print the header values, the five segment records (position, region,
          type, flag, length L, bytes read, revision, and the checksum the
          instrument must report: the sum of big-endian words from byte 8 for
          L - 8 bytes) and the result of the check.

Exit status:
   0  success; for check and show: the file is accepted
  19  check, show: the file is corrupted or not meant for this model
  20  check, show: a header value is longer than its field
  21  check, show: the file needs a newer utility
  64  wrong arguments
  65  build: a payload too large for its region, or a revision the update
      refuses
  66  an input file cannot be opened
  70  an unexpected error (memory exhausted, say)
  73  build: the output file cannot be written
  74  what the command prints could not all be written (a full disk)
)";

int Help() {
    std::fputs(HELP, stdout);
    return 0;
}

// "--help" alone or right after a command; later it may be the value of an option.
bool AsksForHelp(const std::vector<std::string>& arguments) {
    for (std::size_t index = 0; index < std::min<std::size_t>(arguments.size(), 2); ++index) {
        if (arguments[index] == "--help" || arguments[index] == "-h")
            return true;
    }
    return false;
}

} // namespace

int UsageError(const std::string& message) {
    PrintError(message);
    std::fputs("Try 'tq4800-image --help'.\n", stderr);
    return EXIT_USAGE;
}

namespace {

int RunCommand(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return UsageError("no command");
    if (std::find(arguments.begin(), arguments.end(), "") != arguments.end())
        return UsageError("an empty argument");
    if (AsksForHelp(arguments))
        return Help();
    const std::string& command = arguments[0];
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "--version") {
        std::printf("tq4800-image %s\n", UTILITY_VERSION);
        return 0;
    }
    if (command == "build")
        return RunBuild(rest);
    if (command == "check")
        return RunCheck(rest);
    if (command == "show")
        return RunShow(rest);
    return UsageError("unknown command '" + command + "'");
}

} // namespace

// What check and show print is their result, and help's output the help asked for.
int main(int argc, char** argv) try {
    OpenClosedStandardDescriptors();
    return ExitCodeOnceOutputWritten(RunCommand({argv + 1, argv + argc}), "tq4800-image");
} catch (...) {
    return ReportUncaughtException("tq4800-image");
}
