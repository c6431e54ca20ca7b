#pragma once

// The simulated bench of sim/ as a VISA backend: its instruments appear as USB resources.

#include "link/visa/Backend.h"
#include "link/visa/Connection.h"

#include <memory>

namespace sim {
class Bench;
}

namespace visa {

class ResourceBackend;

// The bench's instruments as resources. The provider keeps the bench alive.
std::unique_ptr<ResourceProvider> MakeSimProvider(std::shared_ptr<sim::Bench> bench);

// A whole backend over the bench.
std::unique_ptr<ResourceBackend> MakeSimBackend(std::shared_ptr<sim::Bench> bench);

} // namespace visa
