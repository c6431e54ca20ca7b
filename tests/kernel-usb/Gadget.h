#pragma once

// The configfs side of the gadget: its serial number, the speed it connects at, and its
// UDC file, whose writing puts the device on the bus (a UDC's name) or takes it off (empty).

#include <string>

namespace kernelusb {

class Gadget {
public:
    // gadgetDir is /sys/kernel/config/usb_gadget/NAME; the gadget is bound to the device
    // controller of /sys/class/udc (the guest has dummy_hcd's alone). Throws
    // std::runtime_error when there is none.
    explicit Gadget(std::string gadgetDir);

    // Throws std::runtime_error naming the file that could not be written.
    void Describe(const std::string& serial, bool fullSpeed) const;
    void Bind() const;
    void Unbind() const; // when bound

private:
    void Write(const std::string& file, const std::string& value) const;

    std::string dir_;
    std::string udc_;
};

} // namespace kernelusb
