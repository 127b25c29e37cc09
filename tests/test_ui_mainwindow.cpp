// The main window on the offscreen platform: its tree and defaults, the
// selection rule, the task lists of the three actions, drag and drop, the
// command line and device discovery against a responder on loopback.

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QUdpSocket>
#include <QUrl>

#include <memory>
#include <utility>

#include "log_frames.h"
#include "../ui/util.h"
#include "mainwindow.h"
#include "widgetfilelist.h"
#include "widgettreeparam.h"
#include "ui_main.h"

typedef ThreadBinaryToRinex T;
typedef QMap<QString, QString> ParamMap;

namespace {

const QStringList noArguments = {"quorvane"};

// A small log with a text header naming its marker (none when empty), and
// `more` header lines.
QByteArray logWithMarker(const QString &marker, char fill, const QByteArray &more = QByteArray())
{
    QByteArray data = "#file=GNSS DATA FILE\r\n#device.model=Q7\r\n" + more;
    if (!marker.isEmpty()) data += "#marker.name=" + marker.toUtf8() + "\r\n";
    data += QByteArray(3000, fill);
    return data;
}

// Protects `path` from deletion though it stays writable: its directory
// write-protected, and for root, whom that does not stop, the file made
// append-only. Whether the file is protected now (true when undoing).
bool setLocked(const QString &path, bool locked)
{
    QFile::Permissions dirMode = QFile::ReadOwner | QFile::ExeOwner;
    if (!locked) dirMode |= QFile::WriteOwner;
    QFile::setPermissions(QFileInfo(path).absolutePath(), dirMode);
    QProcess chattr;
    chattr.start("chattr", {locked ? "+a" : "-a", path});
    chattr.waitForFinished();
    if (!locked || !QFile::rename(path, path + "~")) return true;
    QFile::rename(path + "~", path);
    return false;
}

class UiWindow : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString a, b, c, out;

    void SetUp() override
    {
        QSettings().clear();
        a = dir.filePath("a.log");
        b = dir.filePath("b.log");
        c = dir.filePath("c.log");
        writeFile(a, logWithMarker("MA", 'a'));
        writeFile(b, logWithMarker("MB", 'b', "#antenna.height_type=Vertical\r\n"));
        writeFile(c, logWithMarker("", 'c'));
        out = dir.filePath("out");
        QDir().mkpath(out);
    }

    // Three files listed, the middle one current.
    void listThree(MainWindow &w)
    {
        for (const QString &file : {a, b, c}) ASSERT_TRUE(w.fileList()->addFile(file)) << file.toStdString();
        w.fileList()->setCurrentCell(1, 1);
        ASSERT_EQ(w.fileList()->getCurrent()->param.value(T::KEY_PATH_INPUT), b);
    }

    // Drags `mime` onto the window and drops it there: whether the window
    // accepted the drag and the drop.
    static std::pair<bool, bool> dragAndDrop(MainWindow &w, QMimeData &mime)
    {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
        return {enter.isAccepted(), drop.isAccepted()};
    }
    static QPushButton *button(MainWindow &w, const char *name) { return w.findChild<QPushButton *>(name); }
    static QTabWidget *tabs(MainWindow &w) { return w.findChild<QTabWidget *>("tabWidget"); }
};

} // namespace

TEST_F(UiWindow, FormTreeAndDefaults)
{
    MainWindow w(nullptr, noArguments);
    EXPECT_TRUE(QRegularExpression("^Velmarok GNSS File Manager 1\\.41\\.2401\\.83 \\(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d\\)$")
                    .match(w.windowTitle()).hasMatch()) << w.windowTitle().toStdString();
    QTabWidget *t = tabs(w);
    ASSERT_TRUE(t);
    // The "Device" tab current: nothing on the command line.
    EXPECT_EQ(logs::fields(w.size(), w.acceptDrops(), w.centralWidget(), t->count(), t->tabText(0), t->tabText(1),
                           t->tabText(2), t->currentIndex()),
              logs::fields(QSize(907, 636), true, t, 3, "Device", "File", "Message", 0));
    EXPECT_EQ(logs::fields(button(w, "pbConvert")->text(), button(w, "pbConvert")->font().weight(),
                           button(w, "pbScanDevices")->text()),
              logs::fields("Convert Individually", 75, "Scan"));

    WidgetTreeParam *tree = w.treeParam();
    QStringList captions;
    for (int i = 0; i < tree->topLevelItemCount(); i++) captions.append(tree->topLevelItem(i)->text(0));
    EXPECT_EQ(captions, QStringList({"File Infomation", "File Configure", "Mask System", "Mask PRN", "Mask Signal",
                                     "General Configure"}));
    EXPECT_EQ(logs::fields(tree->topLevelItem(0)->isExpanded(), tree->topLevelItem(1)->isExpanded(),
                           tree->topLevelItem(5)->isExpanded(), tree->columnWidth(0), tree->topLevelItem(0)->childCount(),
                           tree->topLevelItem(1)->childCount(), tree->topLevelItem(2)->child(2)->text(0),
                           tree->topLevelItem(5)->child(0)->text(0)),
              logs::fields(true, false, true, 220, 8, 11, "GPS", "Output Directory"));

    const ParamMap all = tree->getValueMap(QStringList());
    EXPECT_EQ(logs::fields(all.size(), all.value("Output Directory"), all.value("Version"), all.value("File Name"),
                           all.value("Compression"), all.value("Marker Type"), all.value("Mode"),
                           all.value("Obs Rate Limit"), all.value("Height Type"), all.value("Prescan")),
              logs::fields(8 + 11 + 3 * 8 + 9, ".", "3.05", "2", "None", "GEODETIC", "3", "0", "bottom", ""));
    for (const QString letter : {"C", "E", "G", "I", "J", "R", "S", "T"})
        EXPECT_TRUE(all.contains("mask system " + letter) && all.contains("mask prn " + letter) &&
                    all.contains("mask signal " + letter))
            << letter.toStdString();
    // The value lists, as stored values.
    auto combo = [&](const char *item) {
        return qobject_cast<QComboBox *>(tree->itemWidget(tree->itemRow("config-general", item), 1));
    };
    QComboBox *rate = combo("Obs Rate Limit"), *names = combo("File Name"), *packing = combo("Compression"),
              *types = combo("Marker Type");
    ASSERT_TRUE(rate && names && packing && types);
    EXPECT_EQ(logs::fields(rate->count(), rate->itemText(4), rate->itemData(4).toString(), names->itemText(2),
                           packing->count(), packing->itemData(3).toString(), types->count(), types->itemText(13)),
              logs::fields(12, "1Hz Max", "1000", "RINEX Stander", 4, "Hatanaka + gzip", 14, "HUMAN"));
    tree->setItemData(tree->itemRow("config-system", "mask system G"), "x");
    EXPECT_EQ(tree->getValue("config-system", "mask system G"), "checked");
}

TEST_F(UiWindow, SelectionKeepsEachFilesOwnEdits)
{
    MainWindow w(nullptr, noArguments);
    WidgetTreeParam *tree = w.treeParam();
    ASSERT_TRUE(w.fileList()->addFile(a));
    // Shown at once; its header names no height type: no entry is current.
    EXPECT_EQ(logs::fields(tree->getValue("info", "File Path"), tree->getValue("info", "Receiver Model"),
                           tree->getValue("config-file", "Marker Name"), tree->getValue("config-file", "Height Type")),
              logs::fields(a, "Q7", "MA", ""));
    ASSERT_TRUE(w.fileList()->addFile(c));
    EXPECT_EQ(tree->getValue("config-file", "Marker Name"), "MA");

    tree->setItemData(tree->itemRow("config-file", "Marker Name"), "EDITED-A");
    tree->setItemData(tree->itemRow("config-file", "Height Type"), "slope");
    w.fileList()->setCurrentCell(1, 1);
    File *fa = w.fileList()->getFileList()[0];
    EXPECT_EQ(logs::fields(fa->param.value(T::KEY_MARKER_NAME), fa->param.value(T::KEY_HEIGHT_TYPE),
                           tree->getValue("info", "File Path")),
              logs::fields("EDITED-A", "slope", c));
    EXPECT_EQ(logs::fields(tree->getValue("config-file", "Marker Name"), tree->getValue("config-file", "Height Type")),
              logs::fields("", "")); // c's own: none
    tree->setItemData(tree->itemRow("config-file", "Antenna Name"), "ANT-C");
    w.fileList()->setCurrentCell(0, 1);
    EXPECT_EQ(logs::fields(tree->getValue("config-file", "Marker Name"), tree->getValue("config-file", "Height Type"),
                           tree->getValue("config-file", "Antenna Name"),
                           w.fileList()->getFileList()[1]->param.value(T::KEY_ANTENNA_NAME)),
              logs::fields("EDITED-A", "slope", "", "ANT-C"));
    // Shared settings are not per-file: they stay as set.
    tree->setItemData(tree->itemRow("config-general", "Version"), "2.11");
    w.fileList()->setCurrentCell(1, 1);
    EXPECT_EQ(tree->getValue("config-general", "Version"), "2.11");

    // With no file left, no file's information is shown.
    w.fileList()->selectAll();
    w.fileList()->removeSelection();
    EXPECT_EQ(logs::fields(w.fileList()->rowCount(), tree->getValue("info", "File Path"),
                           tree->getValue("info", "Receiver Model"), tree->getValue("config-file", "Antenna Name")),
              logs::fields(0, "", "", ""));
}

// What the user reads: a file name, a path or a header text is shown as
// written, not taken for a keyboard shortcut ("&") or for markup; and the
// task receives the path as listed.
TEST_F(UiWindow, NamesAndHeaderTextsAreShownAsWritten)
{
    MainWindow w(nullptr, noArguments);
    const QString names[] = {"R&D site 1.log", "<b>bold Zürich 站.log"};
    for (const QString &name : names) {
        writeFile(dir.filePath(name), logWithMarker("<i>PIER</i>", 'x', "#device.model=A&B <b>Q7</b>\r\n"));
        ASSERT_TRUE(w.fileList()->addFile(dir.filePath(name))) << name.toStdString();
    }
    auto shown = [](QObject *widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).toStdString();
    };
    WidgetTreeParam *tree = w.treeParam();
    for (int row = 0; row < 2; row++) {
        w.fileList()->setCurrentCell(row, 1);
        QWidget *path = tree->itemWidget(tree->itemRow("info", "File Path"), 1);
        QWidget *model = tree->itemWidget(tree->itemRow("info", "Receiver Model"), 1);
        EXPECT_EQ(logs::fields(shown(w.fileList()->checkBoxAt(row)), shown(path), shown(model),
                               tree->getValue("config-file", "Marker Name")),
                  logs::fields(names[row].toStdString(), dir.filePath(names[row]).toStdString(),
                               std::string("A&B <b>Q7</b>"), QString("<i>PIER</i>")));
    }
    Dialogs yes;
    yes.answer(QMessageBox::Yes);
    button(w, "pbConvert")->click();
    const QList<ParamMap> tasks = w.convertWidget()->taskList();
    ASSERT_EQ(tasks.size(), 2);
    EXPECT_EQ(logs::fields(tasks[0].value(T::KEY_PATH_INPUT), tasks[1].value(T::KEY_PATH_INPUT)),
              logs::fields(dir.filePath(names[0]), dir.filePath(names[1])));
    ASSERT_TRUE(waitIdle(*w.convertWidget()));
}

TEST_F(UiWindow, ConvertIndividuallyAndConvertMerge)
{
    MainWindow w(nullptr, noArguments);
    listThree(w);
    WidgetTreeParam *tree = w.treeParam();
    tree->setItemData(tree->itemRow("config-general", "Output Directory"), out);
    tree->setItemData(tree->itemRow("config-prn", "mask prn G"), "5,7");
    tree->setItemData(tree->itemRow("config-file", "Marker Name"), "CURRENT");
    tree->setItemData(tree->itemRow("config-file", "Antenna Name"), "ANT-B");

    // "No" starts nothing.
    Dialogs no;
    no.answer(QMessageBox::No);
    button(w, "pbConvert")->click();
    EXPECT_EQ(no.said, QStringList({"Confirm|Start Convert Now?"}));
    EXPECT_EQ(logs::fields(no.allDone(), w.convertWidget()->isRunning(), w.convertWidget()->taskList().isEmpty(),
                           QSettings().contains("last-path-output")),
              logs::fields(true, false, true, false));

    Dialogs yes;
    yes.answer(QMessageBox::Yes);
    button(w, "pbConvert")->click();
    // While the list runs the three actions wait.
    EXPECT_EQ(logs::fields(yes.allDone(), w.convertWidget()->isRunning(), tabs(w)->currentIndex(),
                           button(w, "pbConvert")->isEnabled(), button(w, "pbConvertMerge")->isEnabled(),
                           button(w, "pbMerge")->isEnabled(), button(w, "pbAddFiles")->isEnabled()),
              logs::fields(true, true, 2, false, false, false, true));

    const QList<ParamMap> tasks = w.convertWidget()->taskList();
    ASSERT_EQ(tasks.size(), 3);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(logs::fields(tasks[i].value(T::KEY_PATH_INPUT), tasks[i].value(T::KEY_TASK),
                               tasks[i].value("mask prn G"), tasks[i].value(T::KEY_PATH_OUTPUT),
                               tasks[i].value(T::KEY_VERSION), tasks[i].value(T::KEY_RECEIVER_MODEL)),
                  logs::fields(QStringList({a, b, c})[i], "convert", "5,7", out, "3.05", "Q7"));
    // Only the current file takes the per-file rows as they stand; a keeps
    // its rows as it was left (no antenna), c has none. b's header writes
    // its height type in its own letter case: still that type.
    EXPECT_EQ(logs::fields(tasks[0].value(T::KEY_MARKER_NAME), tasks[1].value(T::KEY_MARKER_NAME),
                           tasks[1].value(T::KEY_ANTENNA_NAME), tasks[0].value(T::KEY_ANTENNA_NAME),
                           tasks[2].contains(T::KEY_MARKER_NAME), tasks[2].contains(T::KEY_HEIGHT_TYPE),
                           tasks[1].value(T::KEY_HEIGHT_TYPE)),
              logs::fields("MA", "CURRENT", "ANT-B", "", false, false, "vertical"));
    // The shared values stay in every file's map; "Task" does not.
    for (File *file : w.fileList()->getFileList())
        EXPECT_EQ(logs::fields(file->param.value("mask prn G"), file->param.contains(T::KEY_TASK)),
                  logs::fields("5,7", false));
    EXPECT_EQ(QSettings().value("last-path-output").toString(), out);

    ASSERT_TRUE(waitIdle(*w.convertWidget()));
    EXPECT_TRUE(button(w, "pbConvert")->isEnabled() && w.convertWidget()->logText().contains("All Task Finished. Ok="));

    // "Convert Merge": one task of all files in list order, with the first
    // file's own values and the shared ones as they stand.
    tree->setItemData(tree->itemRow("config-general", "Version"), "3.03");
    Dialogs merge;
    merge.answer(QMessageBox::Yes);
    button(w, "pbConvertMerge")->click();
    EXPECT_EQ(merge.said, QStringList({"Confirm|Start Merge Convert Now?"}));
    const QList<ParamMap> merged = w.convertWidget()->taskList();
    ASSERT_EQ(merged.size(), 1);
    EXPECT_EQ(logs::fields(merged[0].value(T::KEY_TASK), merged[0].value(T::KEY_PATH_INPUT),
                           merged[0].value(T::KEY_MARKER_NAME), merged[0].value(T::KEY_VERSION)),
              logs::fields("convert", a + ";" + b + ";" + c, "MA", "3.03"));
    EXPECT_EQ(w.fileList()->getFileList()[1]->param.value(T::KEY_MARKER_NAME), "CURRENT");
    ASSERT_TRUE(waitIdle(*w.convertWidget()));

    // The next start of the program offers the stored directory; without a
    // current file nothing is asked and nothing starts.
    MainWindow next(nullptr, noArguments);
    EXPECT_EQ(next.treeParam()->getValue("config-general", "Output Directory"), out);
    Dialogs none;
    button(next, "pbConvertMerge")->click();
    button(next, "pbConvert")->click();
    EXPECT_TRUE(next.convertWidget()->taskList().isEmpty());
}

// The same settings typed into the tree and given to quorvane-convert write
// the same files, byte for byte but for the date of writing: no setting is
// shown but not applied, nor passed in another unit (the rate limit in ms,
// the antenna geometry in mm, the position in degrees).
TEST_F(UiWindow, WindowAndCommandLineWriteTheSameFiles)
{
    REQUIRE_TESTDATA();
    const QString log = dataPath("gnss-converters/sept.rtcm");
    const QList<QPair<QString, QString>> set = {
        {"Marker Name", "BASE"}, {"Marker Number", "0001"}, {"Latitude (deg)", "47.25"}, {"Longitude (deg)", "8.5"},
        {"Height (m)", "520.5"}, {"Antenna Name", "ANT-X"}, {"Antenna R,H,L1,L2 (mm)", "80,50,60,70"},
        {"Antenna Height (m)", "1.5"}, {"Height Type", "slope"}, {"Time Start", "2018-01-02"},
        {"mask system C", "checked"}, {"mask prn G", "5,7"}, {"mask signal R", "2P"}, {"Version", "3.03"},
        {"File Name", "1"}, {"Marker Type", "NON_GEODETIC"}, {"Mode", "1"}, {"Obs Rate Limit", "5000"},
        {"Phase As ARP", "checked"}, {"No Phase Shift", "checked"}, {"Compression", "None"}};
    MainWindow w(nullptr, noArguments);
    ASSERT_TRUE(w.fileList()->addFile(log));
    WidgetTreeParam *tree = w.treeParam();
    tree->setItemData(tree->itemRow("config-general", "Output Directory"), out);
    QStringList args = {"-q", "-o", dir.filePath("cli")};
    for (const auto &s : set) {
        QList<QTreeWidgetItem *> rows;
        for (const char *menu : {"config-file", "config-system", "config-prn", "config-signal", "config-general"})
            rows << tree->itemRow(menu, s.first);
        rows.removeAll(nullptr);
        ASSERT_FALSE(rows.isEmpty()) << s.first.toStdString();
        for (QTreeWidgetItem *row : rows) tree->setItemData(row, s.second);
        args << "--set" << s.first + "=" + s.second;
    }
    Dialogs yes;
    yes.answer(QMessageBox::Yes);
    button(w, "pbConvert")->click();
    ASSERT_TRUE(waitIdle(*w.convertWidget()));
    QDir().mkpath(dir.filePath("cli"));
    QProcess cli;
    cli.start(QUORVANE_CONVERT, args << log);
    ASSERT_TRUE(cli.waitForFinished(120000) && cli.exitCode() == 0) << cli.readAllStandardError().toStdString();

    auto undated = [](const QString &path) {
        QList<QByteArray> lines = readAll(path).split('\n');
        for (QByteArray &l : lines)
            if (l.contains("PGM / RUN BY / DATE")) l.clear();
        return lines;
    };
    const QStringList files = QDir(out).entryList(QDir::Files);
    EXPECT_EQ(files, QDir(dir.filePath("cli")).entryList(QDir::Files));
    EXPECT_TRUE(files.contains("sept.18O") && files.contains("sept.18N")) << files.join(' ').toStdString();
    for (const QString &f : files)
        EXPECT_TRUE(undated(out + "/" + f) == undated(dir.filePath("cli/") + f)) << f.toStdString();
}

TEST_F(UiWindow, MergeRefusesAListedFileThenConcatenatesInListOrder)
{
    MainWindow w(nullptr, noArguments);
    listThree(w);
    // Refused: another spelling of b, and an old result that cannot be
    // deleted (the files would be appended to its content).
    const QString locked = dir.filePath("locked/old.merge");
    QDir().mkpath(dir.filePath("locked"));
    writeFile(locked, "OLD CONTENT");
    const std::shared_ptr<void> unlock(nullptr, [&](void *) { setLocked(locked, false); });
    const bool canLock = setLocked(locked, true);
    for (const auto &refusal : {std::make_pair(dir.path() + "/./b.log", "is one of the listed files"),
                                std::make_pair(locked, "cannot be replaced")}) {
        if (refusal.first == locked && !canLock) continue; // no file can be protected here
        const QByteArray before = readAll(refusal.first);
        Dialogs refused;
        refused.chooseFile(refusal.first);
        refused.answer(QMessageBox::Yes); // replace it? yes...
        refused.answer(QMessageBox::Ok);  // ...but the window refuses
        button(w, "pbMerge")->click();
        ASSERT_EQ(refused.said.size(), 3);
        EXPECT_TRUE(refused.said[2].startsWith("Merge|The destination ") && refused.said[2].contains(refusal.second))
            << refused.said[2].toStdString();
        EXPECT_EQ(logs::fields(refused.allDone(), w.convertWidget()->isRunning(),
                               w.convertWidget()->taskList().isEmpty(), readAll(refusal.first)),
                  logs::fields(true, false, true, before));
    }

    // A cancelled chooser starts nothing either.
    Dialogs cancel;
    cancel.cancelDialog();
    button(w, "pbMerge")->click();
    // The "Message" tab is not shown.
    EXPECT_EQ(logs::fields(cancel.allDone(), w.convertWidget()->taskList().isEmpty(), tabs(w)->currentIndex()),
              logs::fields(true, true, 0));

    const QString dest = dir.filePath("merged.bin");
    writeFile(dest, "OLD CONTENT"); // an earlier result is replaced
    Dialogs dialogs;
    dialogs.chooseFile(dest);
    dialogs.answer(QMessageBox::Yes); // the chooser's "replace it?"
    button(w, "pbMerge")->click();
    const QList<ParamMap> tasks = w.convertWidget()->taskList();
    ASSERT_EQ(logs::fields(dialogs.allDone(), dialogs.said.size(), tasks.size()), logs::fields(true, 2, 3));
    EXPECT_EQ(dialogs.said[0], "Select destination|" + a + ".merge");
    EXPECT_EQ(tasks[1], ParamMap({{"Task", "merge"}, {"File Path", b}, {"Output Directory", dest}}));
    ASSERT_TRUE(waitIdle(*w.convertWidget()));
    EXPECT_TRUE(readAll(dest) == readAll(a) + readAll(b) + readAll(c) &&
                w.convertWidget()->logText().endsWith("All Task Finished. Ok=3 Fail=0"));
}

TEST_F(UiWindow, DropsAndCommandLine)
{
    MainWindow w(nullptr, {"quorvane", dir.filePath("missing.log"), "--flag"});
    EXPECT_EQ(logs::fields(tabs(w)->currentIndex(), w.fileList()->rowCount()), logs::fields(0, 0));

    QMimeData text, urls, more;
    text.setText("plain");
    EXPECT_FALSE(dragAndDrop(w, text).first);

    urls.setUrls({QUrl::fromLocalFile(a), QUrl("http://example.invalid/x.log"), QUrl::fromLocalFile(c)});
    EXPECT_EQ(dragAndDrop(w, urls), std::make_pair(true, true));
    ASSERT_EQ(logs::fields(tabs(w)->currentIndex(), w.fileList()->rowCount()), logs::fields(1, 2));
    EXPECT_EQ(w.fileList()->getFileList()[1]->param.value(T::KEY_PATH_INPUT), c);

    // On the "Message" tab a drop adds nothing.
    tabs(w)->setCurrentIndex(2);
    more.setUrls({QUrl::fromLocalFile(b)});
    EXPECT_EQ(dragAndDrop(w, more), std::make_pair(true, true));
    EXPECT_EQ(logs::fields(tabs(w)->currentIndex(), w.fileList()->rowCount()), logs::fields(2, 2));

    MainWindow listed(nullptr, {"quorvane", b, dir.filePath("missing.log"), a});
    ASSERT_EQ(logs::fields(tabs(listed)->currentIndex(), listed.fileList()->rowCount()), logs::fields(1, 2));
    EXPECT_EQ(listed.fileList()->getFileList()[0]->param.value(T::KEY_PATH_INPUT), b);
}

TEST(UiDiscovery, RepliesFromALoopbackResponderAreListed)
{
    MainWindow w(nullptr, noArguments);
    // The real targets are the broadcast addresses of the machine's own
    // networks, never loopback (listed only, nothing is sent).
    for (const QHostAddress &target : w.scanTargets()) EXPECT_FALSE(target.isLoopback());

    QUdpSocket responder;
    ASSERT_TRUE(responder.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QList<QByteArray> requests;
    QList<QByteArray> replies = {"info sn=ABC fw=2.0", "hello sn=NOT-A-REPLY", "info fw=1.1 model=Q7"};
    QObject::connect(&responder, &QUdpSocket::readyRead, [&] {
        while (responder.hasPendingDatagrams()) {
            QNetworkDatagram request = responder.receiveDatagram();
            QByteArray data = request.data();
            Util::confuse(data.data(), data.size());
            requests.append(data);
            for (QByteArray reply : replies) {
                Util::confuse(reply.data(), reply.size());
                responder.writeDatagram(reply, request.senderAddress(), request.senderPort());
            }
        }
    });
    w.setScanTargets({QHostAddress(QHostAddress::LocalHost)}, responder.localPort());
    QPushButton *scan = w.findChild<QPushButton *>("pbScanDevices");
    QTableWidget *table = w.deviceTable();
    EXPECT_EQ(table->horizontalHeaderItem(3)->text(), "File Manager");
    QElapsedTimer clock;
    clock.start();
    scan->click();
    EXPECT_FALSE(scan->isEnabled()); // no second press within a second
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == 2; }, 5000));
    QTest::qWait(100); // the reply that is not "info" must not show up late
    ASSERT_EQ(logs::fields(requests, table->rowCount()), logs::fields(QList<QByteArray>({"info"}), 2));
    QStringList serials = {table->item(0, 0)->text(), table->item(1, 0)->text()};
    serials.sort();
    EXPECT_EQ(serials, QStringList({"", "ABC"}));
    for (int row = 0; row < 2; row++) {
        // Seen through the dual-stack socket, and shown dotted.
        QPushButton *web = qobject_cast<QPushButton *>(table->cellWidget(row, 2));
        QPushButton *ftp = qobject_cast<QPushButton *>(table->cellWidget(row, 3));
        ASSERT_TRUE(web && ftp);
        EXPECT_EQ(logs::fields(table->item(row, 1)->text(), web->text(), web->property("url").toString(),
                               ftp->property("url").toString()),
                  logs::fields("127.0.0.1", "open", "http://127.0.0.1/", "ftp://127.0.0.1/"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return scan->isEnabled(); }, 3000));
    EXPECT_GE(clock.elapsed(), 950);

    // A new scan clears the table. A receiver seen over IPv6 has its
    // address in brackets in its URLs (RFC 3986, 3.2.2).
    replies = {"info sn=SECOND"};
    responder.close();
    if (!responder.bind(QHostAddress(QHostAddress::LocalHostIPv6), 0)) GTEST_SKIP() << "this machine has no IPv6 loopback";
    w.setScanTargets({QHostAddress(QHostAddress::LocalHostIPv6)}, responder.localPort());
    scan->click();
    EXPECT_EQ(table->rowCount(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == 1; }, 5000));
    EXPECT_EQ(logs::fields(table->item(0, 0)->text(), table->item(0, 1)->text(),
                           table->cellWidget(0, 2)->property("url").toString(),
                           table->cellWidget(0, 3)->property("url").toString()),
              logs::fields("SECOND", "::1", "http://[::1]/", "ftp://[::1]/"));
}

// Anyone on the network may answer, as often as they like: every reply is a
// row (a receiver answering twice is listed twice), up to a bound.
TEST(UiDiscovery, RepeatedAndFloodingRepliesAreBounded)
{
    MainWindow w(nullptr, noArguments);
    QUdpSocket responder;
    ASSERT_TRUE(responder.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QHostAddress window;
    quint16 windowPort = 0;
    QObject::connect(&responder, &QUdpSocket::readyRead, [&] {
        while (responder.hasPendingDatagrams()) {
            QNetworkDatagram request = responder.receiveDatagram();
            window = request.senderAddress();
            windowPort = request.senderPort();
        }
    });
    auto reply = [&](QByteArray text) {
        Util::confuse(text.data(), text.size());
        responder.writeDatagram(text, window, windowPort);
    };
    w.setScanTargets({QHostAddress(QHostAddress::LocalHost)}, responder.localPort());
    w.findChild<QPushButton *>("pbScanDevices")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return windowPort != 0; }, 5000));
    QTableWidget *table = w.deviceTable();
    for (int i = 0; i < 5; i++) reply("info sn=ABC");
    reply("info sn=" + QByteArray(60000, 'Z')); // near the largest datagram
    reply("info sn=\xff\xfe");                   // no UTF-8
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == 7; }, 5000));
    int sent = 7;
    // In batches the socket's buffer can hold.
    for (int batch = 0; sent < MainWindow::MAX_DEVICES + 50; batch++) {
        for (int i = 0; i < 50; i++, sent++) reply("info sn=N" + QByteArray::number(sent));
        const int expected = qMin(sent, MainWindow::MAX_DEVICES);
        ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == expected; }, 5000)) << table->rowCount();
    }
    QTest::qWait(100);
    EXPECT_EQ(table->rowCount(), MainWindow::MAX_DEVICES);
    for (int row = 0; row < table->rowCount(); row++)
        ASSERT_EQ(table->item(row, 1)->text(), "127.0.0.1");
}
