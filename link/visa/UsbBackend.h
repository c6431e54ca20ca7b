#pragma once

// USBTMC (and USB488) instruments over a UsbTransport, for machines without a vendor VISA
// library. Each interface of class 0xFE, subclass 0x03 is one resource, named
// "USB0::0xVVVV::0xPPPP::SERIAL::INSTR" (with "::N::INSTR" for interface N other than 0).
// Sessions to the same resource share one opened device and one claimed interface; the
// kernel's usbtmc driver is detached on the first open and given the interface back when
// the last session closes. Sessions may be used from several threads: the backend's tables
// are guarded, and each opened interface lets one call at a time reach its device.

#include "link/visa/Connection.h"
#include "link/visa/ResourceName.h"
#include "link/visa/UsbDiagnostics.h"
#include "link/visa/UsbDiscovery.h"
#include "link/visa/UsbTransport.h"
#include "link/visa/UsbtmcLink.h"
#include "seams/Clock.h"

#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace visa {

class UsbBackend final : public ResourceProvider {
public:
    // Problems an operator must act on (a device without permission, an interface held by
    // another program) are written to diagnostics. Every wait is measured on clock.
    UsbBackend(std::shared_ptr<UsbTransport> transport, std::ostream& diagnostics,
               Clock& clock = SystemClock());
    ~UsbBackend() override;

    ViStatus List(std::vector<std::string>& names) override;
    ViStatus Open(const std::string& name, ViUInt32 openTimeoutMs,
                  std::unique_ptr<Connection>& connection) override;

private:
    using Resource = UsbResource;
    class OpenedInterface;
    class UsbConnection;

    ViStatus Locate(const UsbResourceName& wanted, std::uint64_t readsEndMs, Resource& found);
    std::shared_ptr<OpenedInterface> Opened(const Resource& resource, ViStatus& status);
    ViStatus OpenInterface(const Resource& resource, std::shared_ptr<OpenedInterface>& opened);

    std::shared_ptr<UsbTransport> transport_;
    Clock& clock_;
    std::shared_ptr<UsbDiagnostics> diagnostics_; // shared with the opened interfaces
    UsbDiscovery discovery_;
    std::mutex tablesMutex_; // guards opened_ and tags_
    std::map<std::string, std::weak_ptr<OpenedInterface>> opened_;
    std::map<std::string, std::shared_ptr<usbtmc::TagCounter>> tags_;
};

} // namespace visa
