#include "tools/tq4800-flash/ListInstruments.h"

#include "image/PrintableText.h"
#include "link/InstrumentSession.h"
#include "tools/tq4800-flash/ConsoleDeviceList.h"

#include <ostream>

int ListInstruments(std::ostream& out, std::ostream& err) {
    ConsoleDeviceList devices;
    InstrumentSession session(devices);
    session.OpenResourceManager();
    session.FindInstruments();
    session.CloseResourceManager();
    if (devices.Items().empty()) {
        err << "No instrument found." << std::endl;
        return EXIT_UNAVAILABLE;
    }
    for (const std::string& name : devices.Items())
        out << Printable(name) << '\n';
    return 0;
}
