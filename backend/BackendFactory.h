#pragma once

// The one place where the VISA backend is chosen, by the environment variable TQ4800_VISA:
//   sim            the simulated bench (TQ4800_SIM names a bench file, else the default bench;
//                  TQ4800_SIM_TRACE names a file for the wire transcript)
//   usb            USBTMC instruments through libusb, without a vendor library
//   anything else  the path (or file name) of a vendor VISA library, loaded with dlopen
//   unset          the first installed vendor library that serves, else usb
// A backend that cannot start installs nothing, so every search finds nothing.

#include "link/visa/Backend.h"

#include <memory>
#include <string>
#include <string_view>

namespace visa {

// The backend for a value of TQ4800_VISA (empty: unset), or null with a one-line reason.
std::unique_ptr<Backend> CreateBackend(std::string_view choice, std::string& error);

// Creates the backend that TQ4800_VISA chooses and installs it. When it cannot start, says
// why in one line on standard error, installs nothing and returns false.
bool InstallBackendFromEnvironment();

} // namespace visa
