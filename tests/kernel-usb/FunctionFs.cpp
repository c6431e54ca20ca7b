#include "tests/kernel-usb/FunctionFs.h"

#include "tests/kernel-usb/TestPattern.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <linux/usb/functionfs.h>
#include <stdexcept>
#include <unistd.h>

namespace kernelusb {
namespace {

// The addresses asked for; the gadget stack gives the endpoints the controller's own, and
// FunctionFS names their files ep1 and ep2 in this order.
constexpr std::uint8_t kBulkOutAddress = 0x01, kBulkInAddress = 0x82;

void PutLe(Bytes& out, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A block written to ep0: its magic, its length, its counts, then its body.
Bytes Block(std::uint32_t magic, std::initializer_list<std::uint32_t> counts, const Bytes& body) {
    Bytes out;
    PutLe(out, magic, 4);
    PutLe(out, static_cast<std::uint32_t>(8 + 4 * counts.size() + body.size()), 4);
    for (const std::uint32_t count : counts)
        PutLe(out, count, 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// One USBTMC interface (class 0xFE, subclass 3, protocol 0) with its two bulk endpoints, at
// full and at high speed: three descriptors for each.
Bytes FunctionDescriptors() {
    Bytes body;
    for (const std::uint16_t packet : {kFullSpeedPacket, kHighSpeedPacket}) {
        body.insert(body.end(), {9, 4, 0, 0, 2, 0xFE, 0x03, 0x00, 1});
        for (const std::uint8_t address : {kBulkOutAddress, kBulkInAddress}) {
            body.insert(body.end(), {7, 5, address, 0x02});
            PutLe(body, packet, 2);
            body.push_back(0);
        }
    }
    return Block(FUNCTIONFS_DESCRIPTORS_MAGIC_V2,
                 {FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC, 3, 3}, body);
}

// One string, the interface's name "USBTMC" NUL-terminated, in US English (0x0409).
Bytes FunctionStrings() {
    return Block(FUNCTIONFS_STRINGS_MAGIC, {1, 1}, {0x09, 0x04, 'U', 'S', 'B', 'T', 'M', 'C', 0});
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

FunctionFsFiles OpenFunctionFs(const std::string& mountPoint) {
    const int ep0 = OpenOrThrow(mountPoint + "/ep0", O_RDWR);
    WriteOrThrow(ep0, FunctionDescriptors(), mountPoint + "/ep0: the descriptors");
    WriteOrThrow(ep0, FunctionStrings(), mountPoint + "/ep0: the strings");
    return {ep0, OpenOrThrow(mountPoint + "/ep1", O_RDWR),
            OpenOrThrow(mountPoint + "/ep2", O_RDWR)};
}

} // namespace kernelusb
