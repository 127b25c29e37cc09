// The desktop program: one main window on the Qt event loop.
#include <QApplication>
#include <QStyleFactory>

#include "appinfo.h"
#include "mainwindow.h"

// Identify the build in the binary itself, for whoever inspects it.
__attribute__((used)) static const char buildTimeMarker[] = "Fmw3_Elf_BuildTime[" APP_BUILDTIME "]";
__attribute__((used)) static const char versionMarker[] = "Fmw3_Elf_Version[" APP_VERSION "]";

int main(int argc, char *argv[])
{
    // The names scope the stored settings.
    QCoreApplication::setOrganizationName("Ostrel");
    QCoreApplication::setApplicationName(APP_NAME);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    MainWindow window;
    window.show();
    return app.exec();
}
