#include "tests/kernel-usb/UsbtmcFunction.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <linux/usb/functionfs.h>
#include <thread>
#include <unistd.h>

namespace kernelusb {
namespace {

// How long the bulk-in thread waits on the instrument, or for a request, before it looks for
// an abort again.
constexpr std::uint32_t kReplySliceMs = 20;
constexpr auto kRequestSlice = std::chrono::seconds(1);
// After a failed transfer (the gadget left the bus), before the endpoint is tried again.
constexpr auto kRetryPause = std::chrono::milliseconds(5);

// One read of an OUT endpoint completes when its buffer is full or a short packet arrives.
ssize_t ReadEndpoint(int fd, std::uint8_t* buffer, std::size_t length) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, length);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

} // namespace

UsbtmcFunction::UsbtmcFunction(const FunctionFsFiles& files, InstrumentPort& port,
                               FunctionSettings settings, std::function<void()> rebooting)
    : files_(files), port_(port), settings_(settings), rebooting_(std::move(rebooting)),
      model_(port, SystemClock()) {
    std::thread([this] { ControlLoop(); }).detach();
    std::thread([this] { BulkOutLoop(); }).detach();
    std::thread([this] { BulkInLoop(); }).detach();
}

void UsbtmcFunction::ControlLoop() {
    std::uint8_t events[kEventSize * 4];
    for (;;) {
        const ssize_t got = ::read(files_.Ep0(), events, sizeof events);
        if (got < 0) {
            if (errno != EINTR)
                std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(kEventSize) <= got; at += kEventSize) {
            const Event event = ParseEvent(events + at);
            if (event.type == FUNCTIONFS_SETUP)
                HandleSetup(event.setup);
            else if (event.type == FUNCTIONFS_DISABLE || event.type == FUNCTIONFS_UNBIND)
                model_.Reset();
        }
    }
}

// An IN request is answered by writing its data to ep0; anything the model does not know
// is stalled, which FunctionFS does when ep0 is read in an IN request's place.
void UsbtmcFunction::HandleSetup(const usbtmcdevice::ControlRequest& setup) {
    const bool in = (setup.requestType & 0x80) != 0;
    const auto reply = model_.ClassRequest(setup);
    if (in && reply && !reply->empty()) {
        if (::write(files_.Ep0(), reply->data(), reply->size()) < 0)
            std::fprintf(stderr, "device: the reply to class request %u failed: %s\n",
                         unsigned{setup.request}, std::strerror(errno));
        return;
    }
    std::uint8_t none = 0;
    if (in)
        (void)!::read(files_.Ep0(), &none, 0); // stall
    else
        (void)!::write(files_.Ep0(), &none, 0); // stall: no OUT request is known
}

void UsbtmcFunction::BulkOutLoop() {
    Bytes transfer;
    for (;;) {
        if (!ReadTransfer(transfer)) {
            std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        model_.TakeOut(transfer.data(), transfer.size());
        if (port_.OffTheBus())
            rebooting_();
    }
}

// One Bulk-OUT transfer: the packet with the header, then the rest that the header announces.
bool UsbtmcFunction::ReadTransfer(Bytes& transfer) {
    const std::size_t packet = settings_.packetSize;
    transfer.resize(packet);
    const ssize_t first = ReadEndpoint(files_.BulkOut(), transfer.data(), packet);
    if (first < static_cast<ssize_t>(usbtmcdevice::kHeaderSize))
        return false;
    const std::size_t total = usbtmcdevice::UsbtmcDeviceModel::TransferLength(transfer.data());
    const std::size_t have = static_cast<std::size_t>(first);
    if (total <= have || have < packet) {
        transfer.resize(have);
        return true;
    }
    transfer.resize(have + (total - have + packet - 1) / packet * packet);
    const ssize_t rest =
        ReadEndpoint(files_.BulkOut(), transfer.data() + have, transfer.size() - have);
    if (rest < 0)
        return false;
    transfer.resize(have + static_cast<std::size_t>(rest));
    return true;
}

void UsbtmcFunction::BulkInLoop() {
    for (;;) {
        if (const auto transfer = model_.Answer(kReplySliceMs, kRequestSlice)) {
            WriteIn(*transfer);
            model_.ReplyGone();
        }
    }
}

// Fails when the gadget leaves the bus, which resets everything anyway.
void UsbtmcFunction::WriteIn(const Bytes& transfer) {
    if (::write(files_.BulkIn(), transfer.data(), transfer.size()) !=
        static_cast<ssize_t>(transfer.size()))
        return;
    if (settings_.zeroLengthPackets && transfer.size() % settings_.packetSize == 0)
        (void)!::write(files_.BulkIn(), transfer.data(), 0);
}

} // namespace kernelusb
