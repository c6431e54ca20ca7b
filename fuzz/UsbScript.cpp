#include "fuzz/UsbScript.h"

#include "fuzz/UsbScriptBus.h"
#include "link/visa/CallDeadline.h"
#include "link/visa/ResourceBackend.h"
#include "link/visa/UsbBackend.h"
#include "link/visa/UsbDiscovery.h"

#include <cstring>
#include <functional>
#include <sstream>

namespace usbfuzz {
namespace {

// Time on the virtual clock only: the sleeps of the backend pass at once.
class VirtualClock final : public Clock {
public:
    void SleepMs(std::uint32_t ms) override { now_ += ms; }
    std::uint64_t NowMs() const override { return now_; }

private:
    std::uint64_t now_ = 1'000'000;
};

using visa::kCleanupMs;
constexpr ViUInt32 kOpenTimeoutMs = 1000;
constexpr ViUInt32 kSessionTimeoutMs = 5000;
constexpr ViUInt32 kSwitchTimeoutMs = 2500;
constexpr ViUInt32 kReadLimit = 256;

Bytes Text(const char* text) {
    return Bytes(text, text + std::strlen(text));
}

// The VISA calls of an update, each timed against its bound.
class UpdateCalls {
public:
    UpdateCalls(const std::uint8_t* data, std::size_t size)
        : bus_(std::make_shared<ScriptedBus>(data, size, clock_)),
          backend_(std::make_unique<visa::UsbBackend>(bus_, diagnostics_, clock_)) {}

    RunReport Run() {
        backend_.OpenDefaultRM(&rm_);
        std::string name;
        if (Find(name) && OpenChecked(name, kSessionTimeoutMs)) {
            Exchange(Text("*IDN?\n"));
            Exchange(Bytes{0xAB, 0, 0, 0, 8, 0x10, 0, 0, 0, 0, 0, 0});
            Write(Bytes(1024, 0x5A));
            Close();
            if (OpenChecked(name, kSwitchTimeoutMs)) {
                Write(Text("syst:update TQ4800\n"));
                Close();
            }
            bus_->Reboot();
            clock_.SleepMs(2500);
            if (OpenChecked(name, kSessionTimeoutMs)) {
                Exchange(Text("*IDN?\n"));
                Close();
            }
        }
        Timed("viClose(rm)", kCleanupMs, [&] { backend_.Close(rm_); });
        if (report_.fault.empty())
            report_.fault = bus_->fault;
        return report_;
    }

private:
    void Timed(const char* call, std::uint64_t boundMs, const std::function<void()>& make) {
        const std::uint64_t start = clock_.NowMs();
        make();
        const std::uint64_t took = clock_.NowMs() - start;
        if (took * report_.boundMs >= report_.longestMs * boundMs) {
            report_.longestCall = call;
            report_.longestMs = took;
            report_.boundMs = boundMs;
        }
        if (took > boundMs && report_.fault.empty())
            report_.fault = std::string(call) + " took " + std::to_string(took) +
                            " ms, above its bound of " + std::to_string(boundMs) + " ms";
    }
    void Fault(const std::string& text) {
        if (report_.fault.empty())
            report_.fault = text;
    }

    // The search reads each device's serial number within 1 s.
    bool Find(std::string& name) {
        ViFindList list = VI_NULL;
        ViUInt32 count = 0;
        ViChar desc[VI_FIND_BUFLEN] = {};
        ViStatus status = VI_SUCCESS;
        Timed("viFindRsrc", bus_->DeviceCount() * visa::kSerialReadMs + 100, [&] {
            status =
                backend_.FindRsrc(rm_, "USB0::0x1d7a::0x52c1::TW?*::INSTR", &list, &count, desc);
        });
        if (status != VI_SUCCESS)
            return false;
        if (count == 0 || count > bus_->DeviceCount())
            Fault("viFindRsrc counted " + std::to_string(count) + " of " +
                  std::to_string(bus_->DeviceCount()) + " devices");
        name = desc;
        ViChar next[VI_FIND_BUFLEN] = {};
        for (ViUInt32 i = 1; i < count; ++i)
            if (backend_.FindNext(list, next) != VI_SUCCESS)
                Fault("viFindNext ended before the count");
        if (backend_.FindNext(list, next) == VI_SUCCESS)
            Fault("viFindNext went past the count");
        backend_.Close(list);
        return true;
    }

    // A listed name opens the device that gave that serial number.
    bool OpenChecked(const std::string& name, ViUInt32 timeoutMs) {
        ViStatus status = VI_SUCCESS;
        bus_->lastOpened = -1;
        Timed("viOpen", kOpenTimeoutMs + kCleanupMs,
              [&] { status = backend_.Open(rm_, name.c_str(), VI_NO_LOCK, kOpenTimeoutMs, &vi_); });
        if (status != VI_SUCCESS)
            return false;
        const std::string serial = name.substr(22, name.size() - 22 - 7);
        if (bus_->lastOpened >= 0 && !bus_->HandedOut(bus_->lastOpened, serial))
            Fault(name + " opened a device that never gave that serial number");
        backend_.SetAttribute(vi_, VI_ATTR_TMO_VALUE, timeoutMs);
        timeoutMs_ = timeoutMs;
        return true;
    }

    void Write(const Bytes& message) {
        bus_->ExpectWrite(message);
        ViUInt32 written = 0;
        const auto count = static_cast<ViUInt32>(message.size());
        Timed("viWrite", timeoutMs_ + kCleanupMs,
              [&] { backend_.Write(vi_, message.data(), count, &written); });
        if (written > count)
            Fault("viWrite counted more bytes than it was given");
    }

    void Exchange(const Bytes& query) {
        Write(query);
        bus_->ExpectRead(kReadLimit);
        ViByte reply[kReadLimit + 1] = {};
        ViUInt32 count = 0;
        Timed("viRead", timeoutMs_ + kCleanupMs,
              [&] { backend_.Read(vi_, reply, kReadLimit, &count); });
        if (count > kReadLimit)
            Fault("viRead counted more bytes than its limit");
    }

    void Close() {
        Timed("viClose", kCleanupMs, [&] { backend_.Close(vi_); });
    }

    VirtualClock clock_;
    std::shared_ptr<ScriptedBus> bus_;
    std::ostringstream diagnostics_;
    visa::ResourceBackend backend_;
    ViSession rm_ = VI_NULL;
    ViSession vi_ = VI_NULL;
    ViUInt32 timeoutMs_ = visa::DEFAULT_TIMEOUT_MS;
    RunReport report_;
};

} // namespace

ScriptWriter& ScriptWriter::Add(Stream stream, const Answer& answer) {
    script_.push_back(static_cast<std::uint8_t>(stream));
    script_.push_back(answer.outcome);
    script_.push_back(static_cast<std::uint8_t>(answer.delayMs));
    script_.push_back(static_cast<std::uint8_t>(answer.delayMs >> 8));
    script_.push_back(static_cast<std::uint8_t>(answer.data.size()));
    script_.insert(script_.end(), answer.data.begin(), answer.data.end());
    return *this;
}

RunReport RunScript(const std::uint8_t* data, std::size_t size) {
    return UpdateCalls(data, size).Run();
}

} // namespace usbfuzz
