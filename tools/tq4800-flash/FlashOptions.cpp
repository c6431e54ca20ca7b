#include "tools/tq4800-flash/FlashOptions.h"

#include <algorithm>
#include <getopt.h>

namespace {

enum LongOnly { ALL = 256, JSON, LIST, VERSION, HISTORY_ONLY };

constexpr option LONG_OPTIONS[] = {
    {"device", required_argument, nullptr, 'd'},
    {"yes", no_argument, nullptr, 'y'},
    {"help", no_argument, nullptr, 'h'},
    {"all", no_argument, nullptr, ALL},
    {"json", no_argument, nullptr, JSON},
    {"list", no_argument, nullptr, LIST},
    {"version", no_argument, nullptr, VERSION},
    {"serial", required_argument, nullptr, HISTORY_ONLY},
    {"limit", required_argument, nullptr, HISTORY_ONLY},
    {nullptr, 0, nullptr, 0},
};

bool TakeDevice(const char* value, FlashOptions& options, std::string& error) {
    const std::string prefix = value;
    if (prefix.empty()) {
        error = "option --device needs a non-empty value";
        return false;
    }
    if (options.devicePrefixes.empty())
        options.devicePrefix = prefix;
    options.devicePrefixes.push_back(prefix);
    return true;
}

// Applies one option getopt_long returned; false on a usage error.
bool TakeOption(int option, FlashOptions& options, bool& sawUpdateOption, std::string& error) {
    switch (option) {
    case 'd':
        sawUpdateOption = true;
        return TakeDevice(optarg, options, error);
    case 'y':
        options.assumeYes = sawUpdateOption = true;
        return true;
    case ALL:
    case JSON:
        (option == ALL ? options.all : options.json) = sawUpdateOption = true;
        return true;
    case LIST:
        options.action = FlashOptions::Action::List;
        return true;
    case HISTORY_ONLY:
        error = "--serial and --limit go with --history";
        return false;
    default: // '?': getopt_long has said what is wrong
        return false;
    }
}

bool CheckCombination(const FlashOptions& options, bool sawUpdateOption, std::string& error) {
    if (options.action == FlashOptions::Action::List) {
        if (!options.file.empty() || sawUpdateOption) {
            error = "--list takes no other option or file";
            return false;
        }
        return true;
    }
    if (options.file.empty()) {
        error = "no firmware revision file given";
        return false;
    }
    if (options.all && !options.devicePrefixes.empty()) {
        error = "--all and --device exclude each other";
        return false;
    }
    return true;
}

} // namespace

bool ParseFlashOptions(const std::vector<std::string_view>& args, FlashOptions& options,
                       std::string& error) {
    options = FlashOptions{};
    error.clear();
    if (std::find(args.begin(), args.end(), "") != args.end()) {
        error = "an empty argument";
        return false;
    }
    // getopt_long takes argv as main gets it, with the program's name for its messages.
    std::vector<std::string> words{"tq4800-flash"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    bool sawUpdateOption = false;
    optind = 0; // a fresh scan, as if no other parse had run in this process
    for (int option;
         (option = getopt_long(argc, argv.data(), "d:yh", LONG_OPTIONS, nullptr)) != -1;) {
        if (option == 'h' || option == VERSION) {
            options.action =
                option == 'h' ? FlashOptions::Action::Help : FlashOptions::Action::Version;
            return true;
        }
        if (!TakeOption(option, options, sawUpdateOption, error))
            return false;
    }
    if (argc - optind > 1) {
        error = "only one firmware revision file may be given";
        return false;
    }
    if (optind < argc)
        options.file = argv[static_cast<std::size_t>(optind)];
    return CheckCombination(options, sawUpdateOption, error);
}

std::string_view FlashUsage() {
    return R"(Usage: tq4800-flash [-d DEVICE] [-y] [--json] FILE
       tq4800-flash -d DEVICE -d DEVICE... [-y] [--json] FILE
       tq4800-flash --all [-y] [--json] FILE
       tq4800-flash --list
       tq4800-flash --history [--serial PREFIX] [--limit N] [--json]
       tq4800-flash --help | --version

Updates the firmware of a TQ4800 instrument on the USB bus with the firmware
revision file FILE, as the window's Update button does: the file is loaded and
checked, the instruments are searched, the chosen one shows its name on its
display, the update is confirmed, the instrument is switched to its loader, the
revisions are compared, and the five segments FPGA1, FPGA2, FPGA3, MAIN and
HTTP are flashed.

The log goes to standard output as it grows; errors, the question and, when
standard error is a terminal, a progress bar go to standard error.

Options:
  -d, --device DEVICE  update the instrument DEVICE: its serial number (any
                       case), or the beginning of its resource name (without
                       regard to case) that only it has, or its whole name.
                       Without it, the first instrument found. Only that
                       instrument is ever updated: gone from the bus at the
                       update's own search, nothing is flashed (69).
                       Given more than once, updates each one at once
      --all            update every instrument found, all at once
  -y, --yes            do not ask for confirmation on the terminal
      --json           write one JSON object a line on standard output
                       instead of text: the update's events (instruments,
                       log, progress, result, summary), or with --history
                       one object a record (see the manual page)
      --list           list the instruments found, one resource name a line
      --history        print the update history, newest first
      --serial PREFIX  with --history: only serial numbers that begin with
                       PREFIX (without regard to case)
      --limit N        with --history: at most the newest N records
  -h, --help           show this help
      --version        show the version of this utility

The question is answered on standard input: "y" or "yes" updates, anything
else (or the end of input) declines. While segments are flashed, Ctrl-C,
Ctrl-\, Ctrl-Z, a hang-up and a termination request do not stop the update: a
half-written flash may leave the instrument unable to start. For the same
reason systemd-logind is asked to hold off sleep, shutdown and the lid switch
until the update ends; without it a note says so, and the update runs on.

Every update that found an instrument is recorded in the update history when
it starts and again when it ends. A history that cannot be written is said
once, and the update runs on.

With --all or several --device, one question names every instrument; then
all of them are updated side by side, each exactly as a single update. On a
terminal each instrument has a live line; otherwise every log line begins
with the instrument's serial number. A table of the results ends the run.

Exit status: of several instruments, 0 when all completed, else the code of
the first in the table that did not; of one:
   0  the update completed (--list: at least one instrument found)
   1  the instrument did not answer as expected
   2  the confirmation was declined
   3  the instrument could not be connected
   4  a command could not be written to the instrument
   5  a reply could not be read from the instrument
   6-14  the loader failed a step of a segment transfer (12: checksum
         mismatch, 13: the flash could not be erased or programmed)
  16  the instrument holds a newer firmware revision than FILE
  17  the instrument's firmware revision cannot be read
  18  a segment revision in FILE is unusable
  19  FILE is corrupted or not for this model
  20  a header value in FILE is too long
  21  FILE needs a newer version of this utility
  64  wrong arguments, a DEVICE that names several instruments, or one
      resource name twice in the list (instruments with one serial number)
  66  FILE cannot be opened
  69  no instrument found (or none that DEVICE names)
  70  an unexpected internal error (named on standard error)
  74  the update history cannot be read (--history), or the output of
      --list, --history or --help could not all be written

Environment:
  TQ4800_VISA     the VISA backend: "sim" (the simulated instrument), "usb",
                  or the path of a VISA library; unset, an installed VISA
                  library, else "usb"
  TQ4800_SIM      the bench file of the simulated instrument (TQ4800_VISA=sim)
  TQ4800_HISTORY  the update history file, or "off" to keep none; unset,
                  $XDG_STATE_HOME/tq4800-update/history.sqlite3
                  (~/.local/state/... when XDG_STATE_HOME is unset)
  DBUS_SYSTEM_BUS_ADDRESS  the system bus of logind; unset, the standard one
)";
}
