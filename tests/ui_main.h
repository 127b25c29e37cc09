// The main of a window test: a QApplication on the offscreen platform, so no
// display is needed, with its settings in a scratch folder, never the user's
// own. Included once, by the test file.
#ifndef QUORVANE_TESTS_UI_MAIN_H
#define QUORVANE_TESTS_UI_MAIN_H

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "offscreen_leaks.h"

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QCoreApplication::setOrganizationName("Ostrel");
    QCoreApplication::setApplicationName("Quorvane");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#endif
