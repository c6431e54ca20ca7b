#include "app/UpdateApp.h"
#include "app/UpdateDlg.h"
#include "backend/BackendFactory.h"
#include "update/LastCatch.h"
#include "update/StandardDescriptors.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {
CUpdateApp theApp;

constexpr char USAGE[] = "Usage: tq4800-update [--help]\n"
                         "Opens the window for updating the firmware of a TQ4800 instrument.\n"
                         "The instrument is reached through VISA; TQ4800_VISA chooses the\n"
                         "backend (sim, usb, or the path of a VISA library).\n";

bool AskedForHelp(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}
} // namespace

// --help is answered before Qt starts, so that it works without a display. Qt takes its own
// options (-platform and so on) out of the arguments.
int main(int argc, char* argv[]) try {
    OpenClosedStandardDescriptors();
    if (AskedForHelp(argc, argv)) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        std::fprintf(stderr, "tq4800-update: unknown argument '%s'\n%s", qPrintable(arguments[1]),
                     USAGE);
        return 2;
    }
    // A backend that cannot start says why on standard error; the searches then find nothing.
    visa::InstallBackendFromEnvironment();
    theApp.InitInstance();
    return theApp.ExitCode();
} catch (...) {
    return ReportUncaughtException("tq4800-update");
}
