#include "sim/Bench.h"

namespace sim {

Session::Session(std::shared_ptr<Bench> bench, Instrument& instrument, int number)
    : bench_(std::move(bench)), instrument_(instrument), number_(number), boot_(instrument.Boot()) {
}

Session::~Session() {
    bench_->Trace().Close(number_);
}

ViStatus Session::Write(const ViByte* data, std::uint32_t count, std::uint32_t& written) {
    ViStatus status = instrument_.Write(boot_, data, count);
    written = status == VI_SUCCESS ? count : 0;
    if (status == VI_SUCCESS)
        bench_->Trace().Write(number_, data, count);
    else
        bench_->Trace().Failed("write", number_, status);
    return status;
}

ViStatus Session::Read(ViByte* buffer, std::uint32_t limit, std::uint32_t timeoutMs,
                       std::uint32_t& count, bool& end) {
    ViStatus status = instrument_.Read(boot_, buffer, limit, timeoutMs, count, end);
    if (status == VI_SUCCESS)
        bench_->Trace().Read(number_, buffer, count);
    else
        bench_->Trace().Failed("read", number_, status);
    return status;
}

void Session::SetTimeout(std::uint32_t ms) {
    bench_->Trace().Timeout(number_, ms);
}

Bench::Bench(const BenchConfig& config, Clock& clock) : clock_(clock) {
    for (const InstrumentConfig& instrument : config.instruments)
        instruments_.push_back(std::make_unique<Instrument>(instrument, clock));
}

std::vector<std::string> Bench::PresentNames() {
    std::vector<std::string> names;
    for (auto& instrument : instruments_) {
        if (instrument->Present()) {
            names.push_back(instrument->Name());
            instrument->NoteListed();
        }
    }
    return names;
}

ViStatus Bench::Open(std::string_view requestedName, std::string_view serial,
                     std::unique_ptr<Session>& session) {
    Instrument* instrument = Find(serial);
    if (!instrument || !instrument->Present()) {
        RecordFailedOpen(requestedName, VI_ERROR_RSRC_NFOUND);
        return VI_ERROR_RSRC_NFOUND;
    }
    int number = 0;
    {
        std::lock_guard lock(openLock_);
        number = ++sessionsOpened_;
        transcript_.Open(number, requestedName);
    }
    session = std::make_unique<Session>(shared_from_this(), *instrument, number);
    return VI_SUCCESS;
}

void Bench::RecordFailedOpen(std::string_view requestedName, ViStatus status) {
    transcript_.FailedOpen(requestedName, status);
}

bool Bench::OnBus(std::string_view serial) {
    Instrument* instrument = Find(serial);
    return instrument && instrument->Present();
}

Instrument* Bench::Find(std::string_view serial) {
    for (auto& instrument : instruments_)
        if (instrument->Serial() == serial)
            return instrument.get();
    return nullptr;
}

} // namespace sim
