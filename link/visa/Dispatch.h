#pragma once

// The backend that the visa:: functions forward to. Until one is installed, every call
// fails with VI_ERROR_SYSTEM_ERROR (viClose(0) included) and returns no handle.

#include "link/visa/Backend.h"

#include <memory>

namespace visa {

// Makes backend the one every later call goes to, and returns the one it replaces (null
// uninstalls). Handles of the replaced backend mean nothing to the new one. The calls may
// come from any thread; a backend is installed before they start and replaced only once
// they have all returned, since the one replaced is handed back to be destroyed.
std::unique_ptr<Backend> InstallBackend(std::unique_ptr<Backend> backend);

// The installed backend, or null.
Backend* CurrentBackend();

} // namespace visa
