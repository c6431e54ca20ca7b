#include "tools/tq4800-flash/HistoryCommand.h"

#include "history/HistoryDatabase.h"
#include "history/HistoryLocation.h"
#include "history/HistoryWriter.h"
#include "image/PrintableText.h"
#include "status/StatusExplanations.h"
#include "tools/tq4800-flash/ExitCodes.h"
#include "tools/tq4800-flash/TerminalSize.h"
#include "tools/tq4800-flash/WrappedText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <unistd.h>

namespace {

const std::string PROGRAM = "tq4800-flash: ";

// A listing does not wait long to write down the dead runs of this host; they read
// "interrupted" either way.
constexpr std::chrono::milliseconds DEAD_RUNS_WAIT{1000};

struct HistoryOptions {
    std::string serialPrefix;
    int limit = 0;
    bool json = false;
};

bool TakeValue(const std::vector<std::string_view>& args, std::size_t& index, std::string& value,
               std::string& error) {
    if (index + 1 >= args.size()) {
        error = "option " + std::string(args[index]) + " needs a value";
        return false;
    }
    value = args[++index];
    return true;
}

bool ParseHistoryOptions(const std::vector<std::string_view>& args, HistoryOptions& options,
                         std::string& error) {
    for (std::size_t index = 0; index < args.size(); ++index) {
        const std::string_view arg = args[index];
        std::string value;
        if (arg == "--history") {
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--serial") {
            if (!TakeValue(args, index, options.serialPrefix, error))
                return false;
        } else if (arg == "--limit") {
            if (!TakeValue(args, index, value, error))
                return false;
            const auto [end, result] =
                std::from_chars(value.data(), value.data() + value.size(), options.limit);
            if (result != std::errc() || end != value.data() + value.size() || options.limit < 1) {
                error = "--limit needs a whole number of at least 1, not \"" + value + "\"";
                return false;
            }
        } else {
            error = "--history takes only --serial, --limit and --json, not " + std::string(arg);
            return false;
        }
    }
    return true;
}

std::vector<std::string> Names(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < list.size()) {
        const std::size_t end = std::min(list.find(' ', start), list.size());
        names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The code's explanation for an ended run, else its state ("running", "interrupted").
std::string Explanation(const HistoryRecord& record) {
    if (record.state != "ended" || !record.statusCode)
        return record.state;
    return std::string(ExplainStatus(*record.statusCode));
}

nlohmann::ordered_json TextOrNull(const std::string& text) {
    return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text);
}

// The record with the names of the history file's columns, and the code's explanation.
nlohmann::ordered_json AsJson(const HistoryRecord& record) {
    const bool ended = record.state == "ended";
    nlohmann::ordered_json object = {
        {"id", record.id},
        {"started_utc", record.startedUtc},
        {"confirmed_utc", TextOrNull(record.confirmedUtc)},
        {"ended_utc", TextOrNull(record.endedUtc)},
        {"host", record.host},
        {"user_name", record.user},
        {"front_end", record.frontEnd},
        {"process_id", record.processId},
        {"process_start", record.processStart},
        {"boot_id", record.bootId},
        {"utility_version", record.utilityVersion},
        {"run_id", record.runId},
        {"resource_name", record.resourceName},
        {"serial_number", record.serialNumber},
        {"file_path", record.filePath},
        {"file_size", record.fileSize},
        {"file_sha256", record.fileSha256},
        {"file_model", record.fileModel},
        {"file_revision", record.fileRevision},
        {"instrument_revision", record.instrumentRevision},
        {"segments_flashed", Names(record.segmentsFlashed)},
        {"segments_held", Names(record.segmentsHeld)},
        {"state", record.state},
        {"status_code",
         record.statusCode ? nlohmann::ordered_json(*record.statusCode) : nlohmann::ordered_json()},
        {"status_text", record.statusText},
        {"duration_ms",
         ended ? nlohmann::ordered_json(record.durationMs) : nlohmann::ordered_json()},
        {"explanation", Explanation(record)},
    };
    return object;
}

std::string Duration(const HistoryRecord& record) {
    if (record.state != "ended")
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(record.durationMs) / 1000.0);
    return text;
}

// A field of a row, padded to width on the right, or on the left when alignRight.
std::string Field(const std::string& text, std::size_t width, bool alignRight = false) {
    const std::string padding(text.size() < width ? width - text.size() : 0, ' ');
    return alignRight ? padding + text : text + padding;
}

constexpr std::size_t RESULT_COLUMN = 19 + 2 + 10 + 2 + 8 + 2 + 8 + 2 + 4 + 2;
constexpr std::size_t NARROWEST_RESULT = 20;

// A row of the table. On a terminal of columns, the result is wrapped within its column;
// piped (columns 0), each record stays on one line, for grep and awk.
std::string Row(const std::string& started, const std::string& serial, const std::string& revision,
                const std::string& duration, const std::string& code, const std::string& result,
                std::size_t columns) {
    std::string row = Field(started, 19) + "  " + Field(serial, 10) + "  " + Field(revision, 8) +
                      "  " + Field(duration, 8, true) + "  " + Field(code, 4, true) + "  ";
    if (columns == 0)
        return row + result + "\n";
    const std::size_t width =
        std::max(NARROWEST_RESULT, columns - std::min(columns, RESULT_COLUMN));
    const std::vector<std::string> lines = Wrapped(result, width);
    for (std::size_t i = 0; i < lines.size(); ++i)
        row += (i == 0 ? "" : std::string(RESULT_COLUMN, ' ')) + lines[i] + "\n";
    return row;
}

// Every text of a record came from outside: a file, an instrument or the file's other
// writers. Each is printed escaped.
void PrintTable(const std::vector<HistoryRecord>& records, std::size_t columns, std::ostream& out) {
    out << Row("started (UTC)", "serial", "file rev", "duration", "code", "result", columns);
    for (const HistoryRecord& record : records) {
        const std::string code = record.statusCode ? std::to_string(*record.statusCode) : "-";
        out << Row(Printable(record.startedUtc), Printable(record.serialNumber),
                   Printable(record.fileRevision), Duration(record), code,
                   Printable(Explanation(record)), columns);
    }
}

// Where the history should be: false with a reason when the path cannot be checked (a
// symlink loop, a folder that may not be entered); exists tells whether a file is there.
bool CheckPath(const std::string& path, bool& exists, std::string& reason) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error && error != std::errc::no_such_file_or_directory &&
        error != std::errc::not_a_directory) {
        reason = error.message();
        return false;
    }
    exists = std::filesystem::exists(status);
    return true;
}

void Print(const std::vector<HistoryRecord>& records, bool json, std::ostream& out) {
    if (!json) {
        PrintTable(records, isatty(STDOUT_FILENO) ? TerminalSizeOf(STDOUT_FILENO).columns : 0, out);
        return;
    }
    for (const HistoryRecord& record : records)
        out << AsJson(record).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
}

// Lists the history at location: 0, or 74 when it cannot be checked or read.
int ListHistory(const HistoryLocation& location, const HistoryOptions& options, std::ostream& out,
                std::ostream& err) {
    const std::string shownPath = Printable(location.path);
    bool exists = false;
    std::string error;
    if (!CheckPath(location.path, exists, error)) {
        err << PROGRAM << "update history " << shownPath << ": cannot be checked: " << error
            << '\n';
        return EXIT_IOERR;
    }
    if (!exists) {
        err << PROGRAM << "no update history at " << shownPath << " yet\n";
        return EXIT_SUCCESS;
    }
    RecordDeadRunsOf(location, DEAD_RUNS_WAIT);
    std::vector<HistoryRecord> records;
    HistoryDatabase database;
    if (!database.Open(location.path, HistoryDatabase::Access::Read, error) ||
        !database.Read(options.serialPrefix, options.limit, records, error)) {
        err << PROGRAM << Printable(error) << '\n';
        return EXIT_IOERR;
    }
    Print(records, options.json, out);
    return EXIT_SUCCESS;
}

} // namespace

bool IsHistoryCommand(const std::vector<std::string_view>& args) {
    return std::find(args.begin(), args.end(), "--history") != args.end();
}

int RunHistoryCommand(const std::vector<std::string_view>& args, std::ostream& out,
                      std::ostream& err) {
    HistoryOptions options;
    std::string error;
    if (!ParseHistoryOptions(args, options, error)) {
        err << PROGRAM << error << "\nTry 'tq4800-flash --help'.\n";
        return EXIT_USAGE;
    }
    const HistoryLocation location = HistoryLocationFromEnvironment();
    if (location.off) {
        err << PROGRAM << "the update history is off (TQ4800_HISTORY=off)\n";
        return EXIT_IOERR;
    }
    return ListHistory(location, options, out, err);
}
