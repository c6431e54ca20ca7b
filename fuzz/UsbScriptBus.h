#pragma once

// The scripted bus of UsbScript.h: its devices, what they answer and what they were sent.

#include "fuzz/UsbScript.h"
#include "link/visa/UsbTransport.h"
#include "seams/Clock.h"

#include <array>
#include <deque>
#include <map>
#include <set>

namespace usbfuzz {

class ScriptedBus final : public visa::UsbTransport {
public:
    ScriptedBus(const std::uint8_t* data, std::size_t size, Clock& clock);

    visa::UsbResult Enumerate(std::vector<visa::UsbDeviceInfo>& devices) override;
    visa::UsbResult Open(const visa::UsbDeviceInfo& device,
                         std::unique_ptr<visa::UsbDeviceHandle>& handle) override;

    // The instruments leave the bus and come back at new addresses, as after a reboot.
    void Reboot();
    // What the next write and read may carry, for the checks of the Bulk-OUT transfers.
    void ExpectWrite(const Bytes& message);
    void ExpectRead(std::uint32_t limit);

    // The answer of a call of the stream; the time it took has passed on the clock.
    Answer Next(Stream stream, unsigned timeoutMs);
    void Fault(const std::string& text);
    void Handed(int device, const std::string& serial) { handed_[device].insert(serial); }
    bool HandedOut(int device, const std::string& serial) const;
    // A device has left the bus when a transfer found it gone or the bus rebooted since.
    bool Gone(int device) const { return gone_.count(device) != 0 || device / 100 != generation_; }
    void Leave(int device) { gone_.insert(device); }
    void CheckBulkOut(int device, const std::uint8_t* bytes, int length);
    // The bTag of the request in progress, for framed Bulk-IN answers.
    std::uint8_t RequestTag() const { return requestTag_; }
    std::uint16_t PacketSize(int device) const;
    std::string Serial(int device) const;
    std::size_t DeviceCount() const { return devices_.size(); }

    int lastOpened = -1;
    std::string fault;

private:
    struct Played {
        std::vector<Answer> answers;
        std::size_t next = 0;
        std::size_t loop = SIZE_MAX;
    };
    int DeviceAt(std::uint8_t address) const;

    Clock& clock_;
    std::array<Played, static_cast<std::size_t>(Stream::Count)> streams_;
    std::vector<Answer> devices_;
    int generation_ = 0;
    std::set<int> gone_;
    std::map<int, std::set<std::string>> handed_;
    Bytes expectedWrite_;
    std::size_t written_ = 0;
    std::uint32_t readLimit_ = 0;
    std::uint8_t requestTag_ = 0;
    std::map<std::string, int> lastTags_;
};

} // namespace usbfuzz
