#include "tools/tq4800-flash/FlashOptions.h"

namespace {

bool TakeDevice(const std::vector<std::string_view>& args, std::size_t& index,
                FlashOptions& options, std::string& error) {
    std::string_view arg = args[index];
    std::string prefix;
    if (arg.starts_with("--device=")) {
        prefix = arg.substr(9);
    } else if (index + 1 < args.size()) {
        prefix = args[++index];
    } else {
        error = "option " + std::string(arg) + " needs a value";
        return false;
    }
    if (prefix.empty()) {
        error = "option --device needs a non-empty value";
        return false;
    }
    if (options.devicePrefixes.empty())
        options.devicePrefix = prefix;
    options.devicePrefixes.push_back(prefix);
    return true;
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
    bool sawUpdateOption = false;
    bool optionsEnded = false;
    for (std::size_t index = 0; index < args.size(); ++index) {
        std::string_view arg = args[index];
        if (arg.empty()) {
            error = "an empty argument";
            return false;
        }
        if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            options.action = FlashOptions::Action::Help;
            return true;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--list") {
            options.action = FlashOptions::Action::List;
        } else if (!optionsEnded && (arg == "--yes" || arg == "-y")) {
            options.assumeYes = true;
            sawUpdateOption = true;
        } else if (!optionsEnded &&
                   (arg == "--device" || arg == "-d" || arg.starts_with("--device="))) {
            if (!TakeDevice(args, index, options, error))
                return false;
            sawUpdateOption = true;
        } else if (!optionsEnded && (arg == "--all" || arg == "--json")) {
            (arg == "--all" ? options.all : options.json) = true;
            sawUpdateOption = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + std::string(arg);
            return false;
        } else if (options.file.empty()) {
            options.file = arg;
        } else {
            error = "only one firmware revision file may be given";
            return false;
        }
    }
    return CheckCombination(options, sawUpdateOption, error);
}

std::string_view FlashUsage() {
    return R"(Usage: tq4800-flash [--device PREFIX] [--yes] FILE
       tq4800-flash [--device PREFIX] [--yes] --json FILE
       tq4800-flash --all [--yes] [--json] FILE
       tq4800-flash --device PREFIX --device PREFIX... [--yes] [--json] FILE
       tq4800-flash --list
       tq4800-flash --history [--serial PREFIX] [--limit N] [--json]
       tq4800-flash --help

Updates the firmware of a TQ4800 instrument on the USB bus with the firmware revision
file FILE, as the window's Update button does: the file is loaded and checked, the
instruments are searched, the chosen one shows its name on its display, the update is
confirmed, the instrument is switched to its loader, the revisions are compared, and the
five segments FPGA1, FPGA2, FPGA3, MAIN and HTTP are flashed.

The log of the update goes to standard output as it grows; errors, the confirmation
question and, when standard error is a terminal, a progress bar go to standard error.

Options:
  -d, --device PREFIX  update the first instrument whose resource name begins with
                       PREFIX (case-insensitive); without it, the first one found.
                       Only such an instrument is ever updated: when none is on the bus
                       any more at the update's own search, nothing is flashed (69).
                       Given more than once, updates each instrument so named at once;
                       each PREFIX must then name exactly one instrument
      --all            update every instrument found, all at once
  -y, --yes            do not ask for confirmation on the terminal
      --json           write one JSON object a line on standard output instead of
                       text: the update's events (instruments, log, progress, result,
                       summary), or with --history one object a record, every field
      --list           list the instruments found, one resource name a line
      --history        print the update history, newest first: start time (UTC),
                       serial number, file revision, duration and result
      --serial PREFIX  with --history: only serial numbers that begin with PREFIX
                       (case-insensitive)
      --limit N        with --history: at most N records
  -h, --help           show this help

The confirmation question is answered on standard input: "y" or "yes" updates, anything
else (or the end of input) declines. While segments are being flashed, Ctrl-C, Ctrl-\, Ctrl-Z,
a hang-up and a termination request do not stop the update: a half-written flash may leave
the instrument unable to start. For the same reason systemd-logind is asked to hold off
sleep, shutdown and the lid switch from the loader's identity check to the end of the
update; without it a note says that the PC is not held awake, and the update runs on.

Every update that found an instrument is recorded in the update history, when it starts
and again when it ends; a record left running by a process that no longer exists reads
"interrupted". A history that cannot be written is said once, and the update runs on.

With --all or several --device, one question names every instrument; then all of them
are updated side by side, each exactly as a single update. On a terminal each instrument
has a live line (serial number, segment, bar, percentage, time left); otherwise every log
line begins with the instrument's serial number. A table of the results ends the run.

Exit status: of several instruments, 0 when all completed, else the code of the first in
the table that failed; of one:
   0  the update completed (--list: at least one instrument found)
   1  the instrument did not answer as expected
   2  the confirmation was declined
   3  the instrument could not be connected
   4  a command could not be written to the instrument
   5  a reply could not be read from the instrument
   6-14  the loader failed a step of a segment transfer (12: checksum mismatch,
         13: the flash could not be erased or programmed)
  16  the instrument holds a newer firmware revision than FILE
  17  the instrument's firmware revision cannot be read
  18  a segment revision in FILE is unusable
  19  FILE is corrupted or not for this model
  20  a header value in FILE is too long
  21  FILE needs a newer version of this utility
  64  wrong arguments (or a PREFIX that names several instruments of a fleet)
  66  FILE cannot be opened
  69  no instrument found (or none whose name begins with PREFIX)
  74  the update history cannot be read (--history)

Environment:
  TQ4800_VISA  the VISA backend: "sim" (the simulated instrument), "usb", or the path of
               a VISA library; unset, an installed VISA library, else "usb"
  TQ4800_SIM   the bench file of the simulated instrument (with TQ4800_VISA=sim)
  TQ4800_HISTORY  the update history file, or "off" to keep none; unset,
               $XDG_STATE_HOME/tq4800-update/history.sqlite3 (~/.local/state/... when
               XDG_STATE_HOME is unset)
  DBUS_SYSTEM_BUS_ADDRESS  the system bus on which logind is asked to keep the PC awake
               while segments are flashed; unset, the standard system bus
)";
}
