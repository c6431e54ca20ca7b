#pragma once

#include "link/visa/UsbTransport.h"

#include <iosfwd>
#include <memory>

namespace visa {

// The USB transport of a real bus, through libusb-1.0. Null when libusb cannot start; the
// reason is written to diagnostics.
std::shared_ptr<UsbTransport> StartLibusbTransport(std::ostream& diagnostics);

} // namespace visa
