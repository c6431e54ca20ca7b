#include "tests/kernel-usb/FunctionFs.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <stdexcept>
#include <unistd.h>

namespace kernelusb {
namespace {

void Put16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

void Set32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t Get16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

void PutInterfaceAndEndpoints(Bytes& out, std::uint16_t packet) {
    out.insert(out.end(), {9, 4, 0, 0, 2, 0xFE, 0x03, 0x00, 1});
    for (const std::uint8_t address : {kBulkOutAddress, kBulkInAddress}) {
        out.insert(out.end(), {7, 5, address, 0x02});
        Put16(out, packet);
        out.push_back(0);
    }
}

int OpenOrThrow(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(path + ": " + std::strerror(errno));
    return fd;
}

void WriteOrThrow(int fd, const Bytes& bytes, const std::string& what) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error(what + " not taken: " + std::strerror(errno));
}

} // namespace

Bytes FunctionDescriptors() {
    Bytes out;
    Put32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    Put32(out, 0); // the length, set below
    Put32(out, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    Put32(out, 3); // descriptors at full speed
    Put32(out, 3); // and at high speed
    PutInterfaceAndEndpoints(out, kFullSpeedPacket);
    PutInterfaceAndEndpoints(out, kHighSpeedPacket);
    Set32(out, 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

Bytes FunctionStrings(const std::string& interfaceName) {
    Bytes out;
    Put32(out, FUNCTIONFS_STRINGS_MAGIC);
    Put32(out, 0);
    Put32(out, 1); // one string
    Put32(out, 1); // in one language
    Put16(out, 0x0409);
    out.insert(out.end(), interfaceName.begin(), interfaceName.end());
    out.push_back(0);
    Set32(out, 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

Event ParseEvent(const std::uint8_t* bytes) {
    static constexpr EventType kTypes[] = {
        EventType::Bind,  EventType::Unbind,  EventType::Enable, EventType::Disable,
        EventType::Setup, EventType::Suspend, EventType::Resume};
    Event event;
    const std::uint8_t type = bytes[8];
    event.type = type < std::size(kTypes) ? kTypes[type] : EventType::Unknown;
    event.setup = {bytes[0], bytes[1], Get16(bytes + 2), Get16(bytes + 4), Get16(bytes + 6)};
    return event;
}

FunctionFsFiles::FunctionFsFiles(const std::string& mountPoint) {
    ep0_ = OpenOrThrow(mountPoint + "/ep0", O_RDWR);
    WriteOrThrow(ep0_, FunctionDescriptors(), mountPoint + "/ep0: the descriptors");
    WriteOrThrow(ep0_, FunctionStrings("USBTMC"), mountPoint + "/ep0: the strings");
    bulkOut_ = OpenOrThrow(mountPoint + "/ep1", O_RDWR);
    bulkIn_ = OpenOrThrow(mountPoint + "/ep2", O_RDWR);
}

FunctionFsFiles::~FunctionFsFiles() {
    for (const int fd : {bulkIn_, bulkOut_, ep0_})
        if (fd >= 0)
            ::close(fd);
}

} // namespace kernelusb
