// Writes the instrument-replies fuzzer's seeds into the folder given: the replies of the
// simulated instrument during a whole update, as that fuzzer reads them, for an instrument
// that completes, one that holds a newer revision and one whose flash fails.

#include "fuzz/WholeUpdate.h"
#include "sim/Bench.h"
#include "sim/SimBackend.h"
#include "tests/fakes/Fakes.h"

#include <cstdio>
#include <fstream>

namespace {

// Passes every call to the simulated instrument and keeps its replies, each as a length
// byte and the bytes.
class Recording final : public visa::Connection {
public:
    Recording(std::unique_ptr<visa::Connection> inner, std::vector<std::uint8_t>& replies)
        : inner_(std::move(inner)), replies_(replies) {}
    ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32 timeoutMs,
                   ViUInt32& written) override {
        return inner_->Write(data, count, timeoutMs, written);
    }
    ViStatus Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                  bool& end) override {
        const ViStatus status = inner_->Read(buffer, limit, timeoutMs, count, end);
        if (status != VI_SUCCESS || count >= 255) {
            replies_.push_back(255);
            return status;
        }
        replies_.push_back(static_cast<std::uint8_t>(count));
        replies_.insert(replies_.end(), buffer, buffer + count);
        return status;
    }

private:
    std::unique_ptr<visa::Connection> inner_;
    std::vector<std::uint8_t>& replies_;
};

class RecordingProvider final : public visa::ResourceProvider {
public:
    RecordingProvider(std::unique_ptr<visa::ResourceProvider> inner,
                      std::vector<std::uint8_t>& replies)
        : inner_(std::move(inner)), replies_(replies) {}
    ViStatus List(std::vector<std::string>& names) override { return inner_->List(names); }
    ViStatus Open(const std::string& name, ViUInt32 timeoutMs,
                  std::unique_ptr<visa::Connection>& connection) override {
        std::unique_ptr<visa::Connection> inner;
        const ViStatus status = inner_->Open(name, timeoutMs, inner);
        if (status == VI_SUCCESS)
            connection = std::make_unique<Recording>(std::move(inner), replies_);
        return status;
    }

private:
    std::unique_ptr<visa::ResourceProvider> inner_;
    std::vector<std::uint8_t>& replies_;
};

std::vector<std::uint8_t> Replies(const sim::InstrumentConfig& instrument) {
    FakeClock clock;
    std::vector<std::uint8_t> replies;
    auto bench = std::make_shared<sim::Bench>(sim::BenchConfig{{instrument}}, clock);
    std::string log;
    RunWholeUpdate(std::make_unique<RecordingProvider>(visa::MakeSimProvider(bench), replies),
                   clock, log);
    return replies;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-replies-seeds FOLDER\n");
        return 64;
    }
    sim::InstrumentConfig complete, newer, eraseFails;
    newer.revisions.fpga2 = "09";
    eraseFails.faults.push_back({sim::FaultKind::EraseNg, sim::ANY_COMMAND, 2, "", 0});
    const std::pair<const char*, const sim::InstrumentConfig*> seeds[] = {
        {"complete", &complete}, {"newer-revision", &newer}, {"erase-fails", &eraseFails}};
    for (const auto& [name, instrument] : seeds) {
        const std::vector<std::uint8_t> replies = Replies(*instrument);
        std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(replies.data()),
                  static_cast<std::streamsize>(replies.size()));
        if (!out) {
            std::fprintf(stderr, "fuzz-replies-seeds: cannot write %s/%s\n", argv[1], name);
            return 73;
        }
    }
    return 0;
}
