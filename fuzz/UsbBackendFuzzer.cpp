// Any bytes as the script of a USB bus (UsbScript.h) under the VISA calls of an update: no
// sanitizer report, no call past its bound, no malformed Bulk-OUT transfer, no name that
// opens another device, no count above the caller's limit. The call that came nearest its
// bound so far is printed whenever it changes.

#include "fuzz/UsbScript.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const usbfuzz::RunReport report = usbfuzz::RunScript(data, size);
    static std::uint64_t worstMs = 0, worstBoundMs = 1;
    if (report.boundMs != 0 && report.longestMs * worstBoundMs > worstMs * report.boundMs) {
        worstMs = report.longestMs;
        worstBoundMs = report.boundMs;
        std::fprintf(stderr, "longest call so far: %s, %llu ms of its %llu ms bound\n",
                     report.longestCall.c_str(), static_cast<unsigned long long>(worstMs),
                     static_cast<unsigned long long>(worstBoundMs));
    }
    if (!report.fault.empty()) {
        std::fprintf(stderr, "usb backend fault: %s\n", report.fault.c_str());
        std::abort();
    }
    return 0;
}
