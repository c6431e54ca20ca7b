#include "sim/Transcript.h"

namespace sim {

std::string HexBytes(const ViByte* data, std::uint32_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(std::size_t{count} * 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        text.push_back(digits[data[i] >> 4]);
        text.push_back(digits[data[i] & 0x0F]);
    }
    return text;
}

std::string HexStatus(ViStatus status) {
    std::uint32_t bits = static_cast<std::uint32_t>(status);
    ViByte bytes[4] = {static_cast<ViByte>(bits >> 24), static_cast<ViByte>(bits >> 16),
                       static_cast<ViByte>(bits >> 8), static_cast<ViByte>(bits)};
    return "!" + HexBytes(bytes, 4);
}

bool Transcript::WriteTo(const std::string& path) {
    std::lock_guard lock(lock_);
    file_.open(path, std::ios::out | std::ios::trunc);
    recording_ = keep_ || file_.is_open();
    return file_.is_open();
}

void Transcript::KeepLines(bool keep) {
    std::lock_guard lock(lock_);
    keep_ = keep;
    recording_ = keep_ || file_.is_open();
}

void Transcript::Open(int session, std::string_view name) {
    Add("open " + std::to_string(session) + " " + std::string(name));
}

void Transcript::FailedOpen(std::string_view name, ViStatus status) {
    Add("open - " + std::string(name) + " " + HexStatus(status));
}

void Transcript::Timeout(int session, std::uint32_t ms) {
    Add("tmo " + std::to_string(session) + " " + std::to_string(ms));
}

void Transcript::Write(int session, const ViByte* data, std::uint32_t count) {
    if (!Recording())
        return;
    Add("write " + std::to_string(session) + " " + HexBytes(data, count));
}

void Transcript::Read(int session, const ViByte* data, std::uint32_t count) {
    if (!Recording())
        return;
    Add("read " + std::to_string(session) + " " + HexBytes(data, count));
}

void Transcript::Failed(std::string_view operation, int session, ViStatus status) {
    Add(std::string(operation) + " " + std::to_string(session) + " " + HexStatus(status));
}

void Transcript::Close(int session) {
    Add("close " + std::to_string(session));
}

void Transcript::Add(std::string line) {
    std::lock_guard lock(lock_);
    if (file_.is_open())
        file_ << line << '\n' << std::flush;
    if (keep_)
        lines_.push_back(std::move(line));
}

} // namespace sim
