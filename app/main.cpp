// The desktop program: one main window on the Qt event loop.
#include <QApplication>
#include <QStyleFactory>

#include <signal.h>
#include <stdio.h>
#include <string.h>

#include "appinfo.h"
#include "mainwindow.h"

// Identify the build in the binary itself, for whoever inspects it.
__attribute__((used)) static const char buildTimeMarker[] = "Fmw3_Elf_BuildTime[" APP_BUILDTIME "]";
__attribute__((used)) static const char versionMarker[] = "Fmw3_Elf_Version[" APP_VERSION "]";

static const char kUsage[] =
    "Usage: quorvane [FILE...]\n"
    "Opens the converter's window; every FILE that exists is added to its file list.\n"
    "\n"
    "  -h, --help     show this help\n"
    "  -V, --version  show the program version\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted too.\n"
    "quorvane-convert converts logs from a terminal or a script.\n";

int main(int argc, char *argv[])
{
    // Answered before any display is opened, so that they work on a
    // terminal without one.
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-h") || !strcmp(argv[i], "--help")) {
            fputs(kUsage, stdout);
            return 0;
        }
        if (!strcmp(argv[i], "-V") || !strcmp(argv[i], "--version")) {
            printf("quorvane %s (%s)\n", APP_VERSION, APP_NAME);
            return 0;
        }
    }
    // Past a file size limit a write fails like one on a full disk, and the
    // task reports it; the signal would end the program mid-conversion.
    signal(SIGXFSZ, SIG_IGN);
    // The names scope the stored settings.
    QCoreApplication::setOrganizationName("Ostrel");
    QCoreApplication::setApplicationName(APP_NAME);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    MainWindow window;
    window.show();
    return app.exec();
}
