#include "sim/BenchFile.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

struct Named {
    const char* name;
    int value;
};

constexpr Named COMMANDS[] = {
    {"reset", 10},        {"load", 12},         {"load-done", 13}, {"set-type", 20},
    {"set-length", 7},    {"checksum", 8},      {"program", 3},    {"idn", IDENTITY_QUERY},
    {"data", DATA_WRITE}, {"any", ANY_COMMAND},
};

constexpr Named FAULT_KINDS[] = {
    {"no-reply", static_cast<int>(FaultKind::NoReply)},
    {"wrong-reply", static_cast<int>(FaultKind::WrongReply)},
    {"fail-write", static_cast<int>(FaultKind::FailWrite)},
    {"erase-ng", static_cast<int>(FaultKind::EraseNg)},
    {"program-ng", static_cast<int>(FaultKind::ProgramNg)},
    {"latest", static_cast<int>(FaultKind::AlreadyLatest)},
    {"corrupt-byte", static_cast<int>(FaultKind::CorruptByte)},
    {"unplug-after", static_cast<int>(FaultKind::UnplugAfterData)},
    {"checksum-unsigned", static_cast<int>(FaultKind::ChecksumUnsigned)},
};

template <std::size_t N> bool Lookup(const Named (&table)[N], const std::string& name, int& value) {
    for (const Named& entry : table) {
        if (name == entry.name) {
            value = entry.value;
            return true;
        }
    }
    return false;
}

bool ParseUnsigned(const std::string& text, std::uint32_t& value) {
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool ParseCommand(const std::string& text, int& command) {
    std::uint32_t code;
    if (ParseUnsigned(text, code) && code <= 255) {
        command = static_cast<int>(code);
        return true;
    }
    return Lookup(COMMANDS, text, command);
}

// "fault KIND [options]": rest holds everything after "fault".
std::string ParseFault(std::istringstream& rest, Fault& fault) {
    std::string kind;
    int value = 0;
    if (!(rest >> kind) || !Lookup(FAULT_KINDS, kind, value))
        return "unknown fault kind \"" + kind + "\"";
    fault.kind = static_cast<FaultKind>(value);
    std::string option;
    while (rest >> option) {
        std::size_t equals = option.find('=');
        std::string key = option.substr(0, equals);
        std::string text = equals == std::string::npos ? "" : option.substr(equals + 1);
        std::uint32_t number = 0;
        if (key == "reply") {
            std::string tail;
            std::getline(rest, tail);
            fault.reply = text + tail;
            return "";
        }
        if (key == "command" && ParseCommand(text, fault.command))
            continue;
        if (key == "segment" && ParseUnsigned(text, number)) {
            fault.segment = static_cast<int>(number);
            continue;
        }
        if (key == "count" && ParseUnsigned(text, fault.count))
            continue;
        return "bad fault option \"" + option + "\"";
    }
    return "";
}

bool FitsWidth(const std::string& value, std::size_t width) {
    return value.size() == width;
}

// Applies one setting to the instrument; an empty result means it was understood.
std::string ApplySetting(const std::string& key, std::istringstream& rest,
                         InstrumentConfig& instrument) {
    if (key == "fault") {
        Fault fault;
        std::string problem = ParseFault(rest, fault);
        if (problem.empty())
            instrument.faults.push_back(fault);
        return problem;
    }
    std::string value, extra;
    if (!(rest >> value))
        return "\"" + key + "\" needs a value";
    if (rest >> extra)
        return "unexpected \"" + extra + "\" after \"" + key + " " + value + "\"";
    Revisions& revisions = instrument.revisions;
    if (key == "mode" && (value == "normal" || value == "loader"))
        instrument.mode = value == "normal" ? Mode::Normal : Mode::Loader;
    else if (key == "model")
        instrument.model = value;
    else if (key == "main" && FitsWidth(value, 4))
        revisions.main = value;
    else if (key == "writer" && FitsWidth(value, 1))
        revisions.writer = value[0];
    else if (key == "fpga1" && FitsWidth(value, 2))
        revisions.fpga1 = value;
    else if (key == "fpga2" && FitsWidth(value, 2))
        revisions.fpga2 = value;
    else if (key == "fpga3" && FitsWidth(value, 2))
        revisions.fpga3 = value;
    else if (key == "http" && FitsWidth(value, 4))
        revisions.http = value;
    else if (key == "reboot-ms" && ParseUnsigned(value, instrument.rebootMs))
        ;
    else if (key == "enumerate-ms" && ParseUnsigned(value, instrument.enumerateMs))
        ;
    else if (key == "flash-line-ms" && ParseUnsigned(value, instrument.flashLineMs))
        ;
    else if (key == "leave-after-searches" && ParseUnsigned(value, instrument.leaveAfterSearches))
        ;
    else
        return "bad setting \"" + key + " " + value + "\"";
    return "";
}

// A USB string descriptor holds at most 126 characters; a longer serial would make resource
// names no instrument can have, longer than any VISA name buffer.
constexpr std::size_t kLongestSerial = 126;

bool ValidSerial(const std::string& serial) {
    return !serial.empty() && serial.find("::") == std::string::npos;
}

} // namespace

bool ParseBench(std::istream& in, BenchConfig& config, std::string& error) {
    const InstrumentConfig defaults = DefaultBench().instruments.front();
    BenchConfig parsed;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string key;
        if (!(words >> key))
            continue;
        std::string problem;
        if (key == "instrument") {
            InstrumentConfig instrument = defaults;
            std::string extra;
            if (!(words >> instrument.serial) || !ValidSerial(instrument.serial) ||
                (words >> extra))
                problem = "\"instrument\" needs one serial number";
            else if (instrument.serial.size() > kLongestSerial)
                problem =
                    "serial number longer than " + std::to_string(kLongestSerial) + " characters";
            else
                parsed.instruments.push_back(instrument);
        } else if (parsed.instruments.empty()) {
            problem = "\"" + key + "\" before the first \"instrument\" line";
        } else {
            problem = ApplySetting(key, words, parsed.instruments.back());
        }
        if (!problem.empty()) {
            error = "line " + std::to_string(number) + ": " + problem;
            return false;
        }
    }
    config = std::move(parsed);
    return true;
}

bool LoadBenchFile(const std::string& path, BenchConfig& config, std::string& error) {
    // A folder opens as a stream without lines, which would be an empty bus.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        error = path + ": is a folder, not a bench file";
        return false;
    }
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    if (!ParseBench(in, config, error)) {
        error = path + " " + error;
        return false;
    }
    return true;
}

} // namespace sim
