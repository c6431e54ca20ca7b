#include "sim/SimBackend.h"

#include "link/visa/OpenRetry.h"
#include "link/visa/ResourceBackend.h"
#include "link/visa/ResourceName.h"
#include "sim/Bench.h"

namespace visa {

namespace {

// The instruments of a bench answer only as interface 0 of the instrument's own ids.
constexpr std::uint16_t SIM_VENDOR_ID = 0x1D7A;
constexpr std::uint16_t SIM_PRODUCT_ID = 0x52C1;

class SimConnection final : public Connection {
public:
    explicit SimConnection(std::unique_ptr<sim::Session> session) : session_(std::move(session)) {}

    ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32 timeoutMs,
                   ViUInt32& written) override {
        (void)timeoutMs; // the simulated instrument takes every write at once
        return session_->Write(data, count, written);
    }
    ViStatus Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                  bool& end) override {
        return session_->Read(buffer, limit, timeoutMs, count, end);
    }
    void TimeoutSet(ViUInt32 timeoutMs) override { session_->SetTimeout(timeoutMs); }

private:
    std::unique_ptr<sim::Session> session_;
};

class SimProvider final : public ResourceProvider {
public:
    explicit SimProvider(std::shared_ptr<sim::Bench> bench) : bench_(std::move(bench)) {}

    ViStatus List(std::vector<std::string>& names) override {
        names = bench_->PresentNames();
        return VI_SUCCESS;
    }

    ViStatus Open(const std::string& name, ViUInt32 openTimeoutMs,
                  std::unique_ptr<Connection>& connection) override {
        UsbResourceName parsed;
        if (!ParseResourceName(name, parsed)) {
            bench_->RecordFailedOpen(name, VI_ERROR_INV_RSRC_NAME);
            return VI_ERROR_INV_RSRC_NAME;
        }
        bool ours = parsed.board == 0 && parsed.vendorId == SIM_VENDOR_ID &&
                    parsed.productId == SIM_PRODUCT_ID && parsed.interfaceNumber.value_or(0) == 0;
        const std::string serial = ours ? parsed.serial : std::string();
        // An instrument still on its way back from a reboot is waited for; only the final
        // answer reaches the transcript.
        OpenWithin(bench_->GetClock(), openTimeoutMs,
                   [&] { return bench_->OnBus(serial) ? VI_SUCCESS : VI_ERROR_RSRC_NFOUND; });
        std::unique_ptr<sim::Session> session;
        ViStatus status = bench_->Open(name, serial, session);
        if (status == VI_SUCCESS)
            connection = std::make_unique<SimConnection>(std::move(session));
        return status;
    }

private:
    std::shared_ptr<sim::Bench> bench_;
};

} // namespace

std::unique_ptr<ResourceProvider> MakeSimProvider(std::shared_ptr<sim::Bench> bench) {
    return std::make_unique<SimProvider>(std::move(bench));
}

std::unique_ptr<ResourceBackend> MakeSimBackend(std::shared_ptr<sim::Bench> bench) {
    return std::make_unique<ResourceBackend>(MakeSimProvider(std::move(bench)));
}

} // namespace visa
