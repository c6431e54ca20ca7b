#include "app/UpdateApp.h"
#include "app/UpdateDlg.h"
#include "backend/BackendFactory.h"
#include "update/StandardDescriptors.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstring>

namespace {
CUpdateApp theApp;

constexpr char USAGE[] = "Usage: tq4800-update [--help]\n"
                         "Opens the window for updating the firmware of a TQ4800 instrument.\n"
                         "The instrument is reached through VISA; TQ4800_VISA chooses the\n"
                         "backend (sim, usb, or the path of a VISA library).\n";

// Writes a picture of the window (collapsed, or expanded) to a PNG file; used for the
// documentation's screenshots.
int SaveScreenshot(const QString& file, bool expanded) {
    CUpdateDlg dialog;
    dialog.show();
    if (expanded)
        dialog.OnMoreInfo();
    dialog.PumpMessages();
    if (!dialog.grab().save(file, "PNG")) {
        std::fprintf(stderr, "tq4800-update: cannot write the screenshot %s\n", qPrintable(file));
        return 1;
    }
    return 0;
}

bool AskedForHelp(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}
} // namespace

// --help is answered before Qt starts, so that it works without a display. Qt takes its own
// options (-platform and so on) out of the arguments; the hidden --screenshot FILE and
// --expanded are for the documentation's pictures.
int main(int argc, char* argv[]) {
    OpenClosedStandardDescriptors();
    if (AskedForHelp(argc, argv)) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    QApplication application(argc, argv);
    QString screenshot;
    bool expanded = false;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--screenshot") && i + 1 < arguments.size()) {
            screenshot = arguments[++i];
        } else if (arguments[i] == QLatin1String("--expanded")) {
            expanded = true;
        } else {
            std::fprintf(stderr, "tq4800-update: unknown argument '%s'\n%s",
                         qPrintable(arguments[i]), USAGE);
            return 2;
        }
    }
    if (!screenshot.isEmpty())
        return SaveScreenshot(screenshot, expanded);
    // A backend that cannot start says why on standard error; the searches then find nothing.
    visa::InstallBackendFromEnvironment();
    theApp.InitInstance();
    return theApp.ExitCode();
}
