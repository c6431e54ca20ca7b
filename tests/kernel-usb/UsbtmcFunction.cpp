#include "tests/kernel-usb/UsbtmcFunction.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <endian.h>
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

} // namespace

UsbtmcFunction::UsbtmcFunction(FunctionFsFiles files, InstrumentPort& port,
                               FunctionSettings settings, std::function<void()> rebooting)
    : files_(files), port_(port), settings_(settings), rebooting_(std::move(rebooting)),
      model_(port, SystemClock()) {
    model_.onViolation = [](const std::string& fault) {
        std::fprintf(stderr, "device: framing fault of the host: %s\n", fault.c_str());
    };
    std::thread([this] { ControlLoop(); }).detach();
    std::thread([this] { BulkOutLoop(); }).detach();
    std::thread([this] { BulkInLoop(); }).detach();
}

void UsbtmcFunction::ControlLoop() {
    usb_functionfs_event events[4];
    for (;;) {
        const ssize_t got = ::read(files_.ep0, events, sizeof events);
        if (got < 0)
            std::this_thread::sleep_for(kRetryPause);
        for (ssize_t at = 0; at < got / static_cast<ssize_t>(sizeof *events); ++at) {
            const usb_ctrlrequest& setup = events[at].u.setup;
            if (events[at].type == FUNCTIONFS_SETUP)
                HandleSetup({setup.bRequestType, setup.bRequest, le16toh(setup.wValue),
                             le16toh(setup.wIndex), le16toh(setup.wLength)});
            else if (events[at].type == FUNCTIONFS_DISABLE || events[at].type == FUNCTIONFS_UNBIND)
                model_.Reset();
        }
    }
}

// An IN request is answered by writing its data to ep0. Anything else is stalled, which
// FunctionFS does when ep0 is read in an IN request's place, or written in an OUT one's.
void UsbtmcFunction::HandleSetup(const usbtmcdevice::ControlRequest& setup) {
    const bool in = (setup.requestType & 0x80) != 0;
    const auto reply = in ? model_.ClassRequest(setup) : std::nullopt;
    std::uint8_t none = 0;
    if (!reply || reply->empty())
        (void)!(in ? ::read(files_.ep0, &none, 0) : ::write(files_.ep0, &none, 0));
    else if (::write(files_.ep0, reply->data(), reply->size()) < 0)
        std::fprintf(stderr, "device: the reply to class request %u failed: %s\n",
                     unsigned{setup.request}, std::strerror(errno));
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
// A read of an OUT endpoint completes when its buffer is full or a short packet arrives.
bool UsbtmcFunction::ReadTransfer(Bytes& transfer) {
    const std::size_t packet = settings_.packetSize;
    transfer.resize(packet);
    const ssize_t first = ::read(files_.bulkOut, transfer.data(), packet);
    if (first < static_cast<ssize_t>(usbtmcdevice::kHeaderSize))
        return false;
    const std::size_t total = usbtmcdevice::UsbtmcDeviceModel::TransferLength(transfer.data());
    const std::size_t have = static_cast<std::size_t>(first);
    if (total <= have || have < packet) {
        transfer.resize(have);
        return true;
    }
    transfer.resize(have + (total - have + packet - 1) / packet * packet);
    const ssize_t rest = ::read(files_.bulkOut, transfer.data() + have, transfer.size() - have);
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
    if (::write(files_.bulkIn, transfer.data(), transfer.size()) !=
        static_cast<ssize_t>(transfer.size()))
        return;
    if (settings_.zeroLengthPackets && transfer.size() % settings_.packetSize == 0)
        (void)!::write(files_.bulkIn, transfer.data(), 0);
}

} // namespace kernelusb
