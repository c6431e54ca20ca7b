// The whole update (session, revision check, loader protocol, segment transfer) against an
// instrument whose every reply comes from the input: each read takes one byte n from it,
// then n bytes as the reply (n of 255: the read times out). No sanitizer report; no update
// reported complete unless, for each of the five segments, the last reply read after its
// program command confirmed it ("OK", or the loader's "DATA IS THE LATEST UPDATE"); no log
// line holding a control character.

#include "fuzz/WholeUpdate.h"
#include "link/WriterProtocol.h"
#include "link/visa/Connection.h"
#include "tests/fakes/Fakes.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kName = "USB0::0x1D7A::0x52C1::TW00012345::INSTR";
constexpr std::uint8_t kFrameMarker = 0xAB;
constexpr std::uint8_t kTimesOut = 255;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "instrument replies: %s\n", what);
    std::abort();
}

// The replies of the input, and what each program command got as its last reply.
struct Script {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    int programs = 0;
    int confirmed = 0;
    bool lastConfirms = false;
    bool afterProgram = false;

    void Wrote(const ViByte* bytes, ViUInt32 count) {
        if (afterProgram && lastConfirms)
            ++confirmed;
        afterProgram = count == 12 && bytes[0] == kFrameMarker && bytes[5] == CMD_PROGRAM;
        programs += afterProgram;
        lastConfirms = false;
    }
    void Replied(const ViByte* bytes, ViUInt32 count) {
        std::string text(bytes, bytes + count);
        text = text.substr(0, text.find('\0'));
        for (char& c : text)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        lastConfirms = text.starts_with("OK") || text.starts_with("DATA IS THE LATEST UPDA");
    }
    void End() { Wrote(nullptr, 0); }
};

class ScriptedConnection final : public visa::Connection {
public:
    explicit ScriptedConnection(Script& script) : script_(script) {}
    ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32, ViUInt32& written) override {
        script_.Wrote(data, count);
        written = count;
        return VI_SUCCESS;
    }
    ViStatus Read(ViByte* buffer, ViUInt32 limit, ViUInt32, ViUInt32& count, bool& end) override {
        count = 0;
        end = false;
        if (script_.at >= script_.size || script_.data[script_.at] == kTimesOut) {
            ++script_.at;
            return VI_ERROR_TMO;
        }
        const std::size_t length =
            std::min<std::size_t>({script_.data[script_.at++], script_.size - script_.at, limit});
        std::copy_n(script_.data + script_.at, length, buffer);
        script_.at += length;
        count = static_cast<ViUInt32>(length);
        end = true;
        script_.Replied(buffer, count);
        return VI_SUCCESS;
    }

private:
    Script& script_;
};

class ScriptedInstrument final : public visa::ResourceProvider {
public:
    explicit ScriptedInstrument(Script& script) : script_(script) {}
    ViStatus List(std::vector<std::string>& names) override {
        names = {kName};
        return VI_SUCCESS;
    }
    ViStatus Open(const std::string&, ViUInt32, std::unique_ptr<visa::Connection>& c) override {
        c = std::make_unique<ScriptedConnection>(script_);
        return VI_SUCCESS;
    }

private:
    Script& script_;
};

void CheckLog(const std::string& log) {
    for (std::size_t at = 0; at < log.size(); ++at) {
        const auto c = static_cast<unsigned char>(log[at]);
        const bool lineEnd =
            log.compare(at, 2, "\r\n") == 0 || (at > 0 && log.compare(at - 1, 2, "\r\n") == 0);
        if ((c < 0x20 || c == 0x7F) && !lineEnd)
            Fail("a log line holds a control character");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script script{data, size};
    std::string log;
    FakeClock clock;
    const UpdateOutcome outcome =
        RunWholeUpdate(std::make_unique<ScriptedInstrument>(script), clock, log);
    script.End();
    if (outcome.status == STATUS_COMPLETE && (script.programs != 5 || script.confirmed != 5))
        Fail("an update reported complete that the replies did not confirm segment by segment");
    CheckLog(log);
    return 0;
}
