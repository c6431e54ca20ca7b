#include "sim/Instrument.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace sim {

namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Calls handle for each line of a text message (lines end with a line feed).
template <typename Handler>
void ForEachLine(const ViByte* data, std::uint32_t count, Handler handle) {
    std::string_view text(reinterpret_cast<const char*>(data), count);
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        if (!line.empty())
            handle(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

} // namespace

Instrument::Instrument(InstrumentConfig config, Clock& clock)
    : config_(std::move(config)), clock_(clock), name_(ResourceNameOf(config_.serial)),
      mode_(config_.mode), loader_(config_.revisions, config_.faults, config_.flashLineMs) {}

bool Instrument::Present() {
    std::lock_guard lock(lock_);
    return PresentLocked();
}

bool Instrument::PresentLocked() {
    if (unplugged_)
        return false;
    if (rebooting_ && clock_.NowMs() >= rebootEnd_) {
        rebooting_ = false;
        mode_ = Mode::Loader;
        loader_.Restart();
    }
    return !rebooting_;
}

void Instrument::NoteListed() {
    std::lock_guard lock(lock_);
    if (config_.leaveAfterSearches != 0 && ++timesListed_ >= config_.leaveAfterSearches)
        unplugged_ = true;
}

Mode Instrument::CurrentMode() {
    std::lock_guard lock(lock_);
    PresentLocked();
    return mode_;
}

std::uint64_t Instrument::Boot() const {
    std::lock_guard lock(lock_);
    return boot_;
}

void Instrument::Unplug() {
    std::lock_guard lock(lock_);
    unplugged_ = true;
}

std::string Instrument::DisplayText() const {
    std::lock_guard lock(lock_);
    return display_;
}

std::string Instrument::RevisionField() const {
    std::lock_guard lock(lock_);
    return sim::RevisionField(config_.revisions);
}

ViStatus Instrument::Write(std::uint64_t boot, const ViByte* data, std::uint32_t count) {
    std::lock_guard lock(lock_);
    if (!PresentLocked() || boot != boot_)
        return VI_ERROR_CONN_LOST;
    if (IdentityWriteRefused(data, count))
        return VI_ERROR_IO;
    if (mode_ == Mode::Normal) {
        ForEachLine(data, count, [this](std::string_view line) { NormalCommand(line); });
        return VI_SUCCESS;
    }
    if (!loader_.InBinary() && (count == 0 || data[0] != LOADER_MARKER)) {
        ForEachLine(data, count, [this](std::string_view line) { LoaderText(line); });
        return VI_SUCCESS;
    }
    ViStatus status = loader_.Write(data, count, replies_, unplugged_);
    if (unplugged_)
        ++boot_;
    return status;
}

ViStatus Instrument::Read(std::uint64_t boot, ViByte* buffer, std::uint32_t limit,
                          std::uint32_t timeoutMs, std::uint32_t& count, bool& end) {
    std::uint32_t sleepMs = 0;
    ViStatus status;
    {
        std::lock_guard lock(lock_);
        status = TakeReply(boot, buffer, limit, timeoutMs, count, end, sleepMs);
    }
    if (status != VI_ERROR_CONN_LOST)
        clock_.SleepMs(sleepMs);
    return status;
}

ViStatus Instrument::TakeReply(std::uint64_t boot, ViByte* buffer, std::uint32_t limit,
                               std::uint32_t timeoutMs, std::uint32_t& count, bool& end,
                               std::uint32_t& sleepMs) {
    count = 0;
    end = false;
    if (!PresentLocked() || boot != boot_)
        return VI_ERROR_CONN_LOST;
    if (replies_.empty()) {
        sleepMs = timeoutMs;
        return VI_ERROR_TMO;
    }
    Reply& reply = replies_.front();
    if (reply.delayMs > timeoutMs) {
        sleepMs = timeoutMs;
        reply.delayMs -= timeoutMs;
        return VI_ERROR_TMO;
    }
    sleepMs = reply.delayMs;
    reply.delayMs = 0;
    std::size_t left = reply.bytes.size() - replyOffset_;
    count = static_cast<std::uint32_t>(std::min<std::size_t>(limit, left));
    if (count > 0)
        std::memcpy(buffer, reply.bytes.data() + replyOffset_, count);
    replyOffset_ += count;
    if (replyOffset_ == reply.bytes.size()) {
        end = true;
        replyOffset_ = 0;
        replies_.pop_front();
    }
    return VI_SUCCESS;
}

void Instrument::NormalCommand(std::string_view line) {
    std::string upper = Upper(line);
    if (upper == "*IDN?") {
        Identify("SIMULATED," + config_.model + "," + config_.serial + "," +
                 sim::RevisionField(config_.revisions) + "\n");
    } else if (upper == "DISP:TEXT:CLEAR") {
        display_.clear();
    } else if (StartsWith(upper, "DISP:TEXT ")) {
        std::string_view text = Trim(line.substr(10));
        if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
            text = text.substr(1, text.size() - 2);
        display_ = std::string(text);
    } else if (upper == "SYST:UPDATE " + Upper(config_.model)) {
        BeginReboot();
    }
}

// The loader answers only the identity query among text commands.
void Instrument::LoaderText(std::string_view line) {
    if (Upper(line) == "*IDN?")
        Identify("WRITER," + config_.model + "," + config_.serial + "," +
                 sim::RevisionField(config_.revisions));
}

bool Instrument::IdentityWriteRefused(const ViByte* data, std::uint32_t count) const {
    if (loader_.InBinary() || (count > 0 && data[0] == LOADER_MARKER))
        return false;
    int segment = mode_ == Mode::Loader ? loader_.Segment() : 0;
    if (!FindFault(config_.faults, FaultKind::FailWrite, IDENTITY_QUERY, segment))
        return false;
    return Upper(std::string_view(reinterpret_cast<const char*>(data), count)).find("*IDN?") !=
           std::string::npos;
}

void Instrument::Identify(std::string reply) {
    int segment = mode_ == Mode::Loader ? loader_.Segment() : 0;
    Answer(config_.faults, IDENTITY_QUERY, segment, {Reply{std::move(reply)}}, replies_);
}

void Instrument::BeginReboot() {
    rebooting_ = true;
    rebootEnd_ = clock_.NowMs() + config_.rebootMs + config_.enumerateMs;
    ++boot_;
    replies_.clear();
    replyOffset_ = 0;
    display_.clear();
}

} // namespace sim
