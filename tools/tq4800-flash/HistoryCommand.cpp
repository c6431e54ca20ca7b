#include "tools/tq4800-flash/HistoryCommand.h"

#include "history/HistoryDatabase.h"
#include "history/HistoryLocation.h"
#include "tools/tq4800-flash/ExitCodes.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

namespace {

const std::string PROGRAM = "tq4800-flash: ";

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

nlohmann::ordered_json AsJson(const HistoryRecord& record) {
    nlohmann::ordered_json object = {
        {"id", record.id},
        {"started_utc", record.startedUtc},
        {"ended_utc", record.endedUtc.empty() ? nlohmann::ordered_json()
                                              : nlohmann::ordered_json(record.endedUtc)},
        {"host", record.host},
        {"user", record.user},
        {"front_end", record.frontEnd},
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
        {"status",
         record.statusCode ? nlohmann::ordered_json(*record.statusCode) : nlohmann::ordered_json()},
        {"result", ResultText(record)},
        {"duration_ms", record.state == "ended" ? nlohmann::ordered_json(record.durationMs)
                                                : nlohmann::ordered_json()},
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

void PrintTable(const std::vector<HistoryRecord>& records, std::ostream& out) {
    char line[256];
    std::snprintf(line, sizeof line, "%-19s  %-10s  %-8s  %8s  %s\n", "started (UTC)", "serial",
                  "file rev", "duration", "result");
    out << line;
    for (const HistoryRecord& record : records) {
        std::snprintf(line, sizeof line, "%-19s  %-10s  %-8s  %8s  ", record.startedUtc.c_str(),
                      record.serialNumber.c_str(), record.fileRevision.c_str(),
                      Duration(record).c_str());
        out << line << ResultText(record) << '\n';
    }
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
    // A history that was never written is empty, not broken.
    std::vector<HistoryRecord> records;
    HistoryDatabase database;
    if (std::filesystem::exists(location.path) &&
        (!database.Open(location.path, HistoryDatabase::Access::Read, error) ||
         !database.Read(options.serialPrefix, options.limit, records, error))) {
        err << PROGRAM << error << '\n';
        return EXIT_IOERR;
    }
    if (options.json) {
        for (const HistoryRecord& record : records)
            out << AsJson(record).dump() << '\n';
    } else {
        PrintTable(records, out);
    }
    return EXIT_SUCCESS;
}
