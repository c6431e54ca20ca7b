#include "tests/kernel-usb/Gadget.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace kernelusb {

Gadget::Gadget(std::string gadgetDir) : dir_(std::move(gadgetDir)) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/udc", error))
        udc_ = entry.path().filename();
    if (udc_.empty())
        throw std::runtime_error("no USB device controller (is dummy_hcd loaded?)");
}

void Gadget::Describe(const std::string& serial, bool fullSpeed) const {
    Write("strings/0x409/serialnumber", serial);
    Write("max_speed", fullSpeed ? "full-speed" : "high-speed");
}

void Gadget::Bind() const {
    Write("UDC", udc_);
}

void Gadget::Unbind() const {
    std::ifstream in(dir_ + "/UDC");
    std::string bound;
    std::getline(in, bound);
    if (!bound.empty())
        Write("UDC", "");
}

// configfs takes each value in one write, and reports a refusal when the file is flushed.
void Gadget::Write(const std::string& file, const std::string& value) const {
    const std::string path = dir_ + "/" + file;
    std::ofstream out(path);
    out << value << '\n';
    out.close();
    if (!out)
        throw std::runtime_error(path + ": cannot be written: " + std::strerror(errno));
}

} // namespace kernelusb
