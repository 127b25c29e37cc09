// The main of a window test: a QApplication on the offscreen platform, so no
// display is needed, with its settings in a scratch folder, never the user's
// own; and the file helpers, the conversion task, the wait for a task list
// and the dialog player the window tests share.
// Included once, by the test file.
#ifndef QUORVANE_TESTS_UI_MAIN_H
#define QUORVANE_TESTS_UI_MAIN_H

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "offscreen_leaks.h"
#include "testdata.h"
#include "threadbinarytorinex.h"
#include "widgetconvert.h"

inline void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(data), data.size());
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QString dataPath(const char *relative)
{
    return QString::fromStdString(testdata::path(relative));
}

// A conversion to RINEX 3.04 with long names, with the prescan the file list
// sets for RTCM 3 logs: the first pass finds the GPS week in the ephemerides.
inline QMap<QString, QString> convertTask(const QString &input, const QString &out)
{
    typedef ThreadBinaryToRinex T;
    return {{T::KEY_TASK, T::TASK_CONVERT}, {T::KEY_PATH_INPUT, input}, {T::KEY_PATH_OUTPUT, out},
            {T::KEY_VERSION, "3.04"},       {T::KEY_FILE_NAME, "2"},   {T::KEY_MARKER_TYPE, "GEODETIC"},
            {T::KEY_PRESCAN, "Yes"}};
}

// Whether the task list ended within `ms`.
inline bool waitIdle(const WidgetConvert &w, int ms = 120000)
{
    return QTest::qWaitFor([&] { return !w.isRunning(); }, ms);
}

// Plays the user's part in the modal dialogs the code under test opens, in
// order, and records what each box said.
class Dialogs : public QObject
{
public:
    Dialogs()
    {
        connect(&timer, &QTimer::timeout, this, &Dialogs::poll);
        timer.start(5);
    }
    void answer(QMessageBox::StandardButton button)
    {
        steps.append([this, button](QWidget *w) {
            QMessageBox *box = qobject_cast<QMessageBox *>(w);
            if (!box) return false;
            said.append(box->windowTitle() + "|" + box->text());
            box->button(button)->click();
            return true;
        });
    }
    void chooseFile(const QString &path)
    {
        steps.append([this, path](QWidget *w) {
            QFileDialog *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog) return false;
            said.append(dialog->windowTitle() + "|" + dialog->selectedFiles().value(0));
            // Typed into the name field, as a user would.
            QLineEdit *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            if (!name) return false;
            name->setText(path);
            // Queued: accepting may open a "replace it?" box of its own.
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            return true;
        });
    }
    void cancelDialog()
    {
        steps.append([this](QWidget *w) {
            QDialog *dialog = qobject_cast<QDialog *>(w);
            if (!dialog) return false;
            said.append(dialog->windowTitle() + "|cancelled");
            dialog->reject();
            return true;
        });
    }
    bool allDone() const { return steps.isEmpty(); }
    QStringList said;

private:
    // A step acts from its own event, not inside this timer's slot: a dialog
    // it opens in turn (a "replace it?" box) must find the timer free.
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (busy || !w || !w->isVisible() || steps.isEmpty()) return;
        busy = true;
        QPointer<QWidget> target = w;
        QMetaObject::invokeMethod(this, [this, target] {
            if (target && !steps.isEmpty() && steps.first()(target)) steps.removeFirst();
            busy = false;
        }, Qt::QueuedConnection);
    }
    bool busy = false;
    QTimer timer;
    QList<std::function<bool(QWidget *)> > steps;
};

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
