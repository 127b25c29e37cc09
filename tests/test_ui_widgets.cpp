// The window's building blocks on the offscreen platform: the settings tree
// by item kind, the directory selector, the file list with the headers of
// its files, and the discovery scrambling.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>

#include "log_frames.h"
#include "../ui/util.h"
#include "widgetfilelist.h"
#include "widgetpath.h"
#include "widgettreeparam.h"
#include "ui_main.h"

typedef ThreadBinaryToRinex T;
typedef QMap<QString, QString> ParamMap;

namespace {

void put(QByteArray &record, int offset, const void *value, int size)
{
    record.replace(offset, size, static_cast<const char *>(value), size);
}

// A 512-byte receiver header, laid out field by field as the receivers
// write it (little-endian numbers).
QByteArray binaryHeader(uint8_t heightType)
{
    QByteArray r(512, '\0');
    const QByteArray text = "NGS-GPS COLLECTED DATA\nS/N:7730125\n";
    put(r, 0, text.constData(), text.size());
    const double latLon[2] = {31.25, 121.5};
    const float height = 12.5f;
    const uint16_t antennaMm = 1500;
    put(r, 80, latLon, 16);
    put(r, 96, &height, 4);
    put(r, 105, &antennaMm, 2);
    put(r, 125, "ANT-X3", 6);
    r[145] = (char)heightType;
    const uint32_t geometry[4] = {80, 40, 60, 55};
    put(r, 147, geometry, 16);
    put(r, 166, "FW2.4", 5);
    put(r, 181, "PIER", 4);
    return r;
}

QByteArray textHeader()
{
    return "#file=GNSS DATA FILE\r\n#device.model = Q7 \r\n#device.sn=TX-0042\r\n#marker.name=ROOF\r\n"
           "#antenna.height_type = Buttom\r\n#position.height=88.25\r\nno equals sign here\r\n";
}

QByteArray padded(QByteArray data, int size)
{
    data.append(QByteArray(size - data.size(), '\0'));
    return data;
}

} // namespace

TEST(UiTree, MenusAndItemsAreAddedOnceUnderUniqueKeys)
{
    WidgetTreeParam tree;
    // In order (a braced list is evaluated left to right): an empty item key
    // makes the caption the key, which a later item cannot take again.
    EXPECT_EQ((std::vector<bool>{tree.addMenu("m", "Menu M"), tree.addMenu("m", "Again"), tree.addMenu("", "No key"),
                                 tree.addText("nowhere", "k", "K", "v"), tree.addText("m", "", "Caption Key", "hello"),
                                 tree.addLabel("m", "Caption Key", "Other", "x"), tree.addCombobox("m", "c", "C", "", {}, {}),
                                 tree.addCombobox("m", "c", "C", "", {"1", "2"}, {"One"})}),
              (std::vector<bool>{true, false, false, false, true, false, false, false}));
    EXPECT_EQ(logs::fields(tree.topLevelItemCount(), tree.topLevelItem(0)->text(0), tree.headerItem()->text(0),
                           tree.headerItem()->text(1), tree.topLevelItem(0)->childCount(), tree.getValue("m", "Caption Key"),
                           tree.getValue("m", "missing"), tree.getValue("missing", "Caption Key")),
              logs::fields(1, "Menu M", "Name", "value", 1, "hello", "", ""));
}

TEST(UiTree, EachKindReadsAndWritesItsOwnWay)
{
    WidgetTreeParam tree;
    tree.addMenu("m", "M");
    ASSERT_TRUE(tree.addLabel("m", "label", "Label", "shown"));
    ASSERT_TRUE(tree.addText("m", "text", "Text", "typed"));
    ASSERT_TRUE(tree.addDir("m", "dir", "Dir", "/tmp/out"));
    ASSERT_TRUE(tree.addCheckBox("m", "check", "Check", "", "Yes", "checked"));
    ASSERT_TRUE(tree.addCombobox("m", "combo", "Combo", "b", {"a", "b", "B"}, {"Alpha", "Beta", "Big Beta"}));

    // The kind sits on the row, column 1, role UserRole + 1.
    int kind = 2;
    for (const char *key : {"label", "text", "dir", "check", "combo"})
        EXPECT_EQ(tree.itemRow("m", key)->data(1, Qt::UserRole + 1).toInt(), kind++) << key;
    EXPECT_TRUE(qobject_cast<QLabel *>(tree.itemWidget(tree.itemRow("m", "label"), 1)) &&
                qobject_cast<WidgetPath *>(tree.itemWidget(tree.itemRow("m", "dir"), 1)));

    EXPECT_EQ(tree.getValueMap("m"),
              ParamMap({{"label", "shown"}, {"text", "typed"}, {"dir", "/tmp/out"}, {"check", ""}, {"combo", "b"}}));

    // A check box written with any text is checked and reads as its own
    // checked value.
    for (const char *written : {"whatever", ""}) {
        tree.setItemData(tree.itemRow("m", "check"), written);
        EXPECT_EQ(tree.getValue("m", "check"), *written ? "checked" : "");
    }
    // Combo boxes match stored values exactly, letter case included.
    QComboBox *combo = qobject_cast<QComboBox *>(tree.itemWidget(tree.itemRow("m", "combo"), 1));
    ASSERT_TRUE(combo);
    EXPECT_EQ(logs::fields(combo->count(), combo->currentText(), combo->focusPolicy()),
              logs::fields(3, "Beta", Qt::StrongFocus));
    tree.setItemData(tree.itemRow("m", "combo"), "B");
    const QString big = combo->currentText();
    tree.setItemData(tree.itemRow("m", "combo"), "beta");
    // An initial value that matches nothing: no entry current.
    ASSERT_TRUE(tree.addCombobox("m", "combo2", "Combo 2", "zzz", {"a"}, {"Alpha"}));
    tree.setItemData(tree.itemRow("m", "label"), "relabelled");
    tree.setItemData(tree.itemRow("m", "dir"), "/elsewhere");
    EXPECT_EQ(logs::fields(big, combo->currentIndex(), tree.getValue("m", "combo"), tree.getValue("m", "combo2"),
                           tree.getValue("m", "label"), tree.getValue("m", "dir")),
              logs::fields("Big Beta", -1, "", "", "relabelled", "/elsewhere"));

    // A row of an unknown kind reads empty and ignores writes.
    QTreeWidgetItem *odd = tree.itemRow("m", "text");
    odd->setData(1, Qt::UserRole + 1, 9);
    tree.setItemData(odd, "changed");
    EXPECT_EQ(tree.getItemData(odd), "");
    odd->setData(1, Qt::UserRole + 1, 3);
    EXPECT_EQ(tree.getItemData(odd), "typed");
}

TEST(UiTree, MapsFollowKeyOrderAndClearMissingItems)
{
    WidgetTreeParam tree;
    tree.addMenu("b-menu", "B");
    tree.addMenu("a-menu", "A");
    tree.addText("a-menu", "shared", "Shared", "from a");
    tree.addText("b-menu", "shared", "Shared", "from b");
    tree.addText("a-menu", "only-a", "Only A", "1");
    tree.addCheckBox("b-menu", "flag", "Flag", "on", "Yes", "checked");
    tree.addCombobox("b-menu", "pick", "Pick", "2", {"1", "2"}, {"One", "Two"});

    // Rows stay in the order added. An empty list means every menu; the
    // greater menu key wins a shared item key.
    ParamMap all = tree.getValueMap(QStringList());
    EXPECT_EQ(logs::fields(tree.topLevelItem(0)->text(0), all.size(), all.value("shared"),
                           tree.getValueMap(QStringList({"a-menu"})).value("shared")),
              logs::fields("B", 4, "from b", "from a"));

    tree.setValueMap({{"shared", "new"}}, "b-menu");
    EXPECT_EQ(logs::fields(tree.getValue("b-menu", "shared"), tree.getValue("b-menu", "flag"),
                           tree.getValue("b-menu", "pick"), tree.getValue("a-menu", "shared")),
              logs::fields("new", "", "", "from a"));
    // An empty menu key writes every menu.
    tree.setValueMap({}, "");
    for (const QString &v : tree.getValueMap(QStringList())) EXPECT_EQ(v, "");

    tree.expandMenu("a-menu");
    tree.expandMenu("nothing");
    EXPECT_EQ(logs::fields(tree.topLevelItem(1)->isExpanded(), tree.topLevelItem(0)->isExpanded()),
              logs::fields(true, false));
}

TEST(UiPath, TextIsKeptAsTypedAndACancelledChooserChangesNothing)
{
    WidgetPath path("/no/such/dir");
    QPushButton *button = path.findChild<QPushButton *>("pbSelect");
    ASSERT_TRUE(button);
    EXPECT_EQ(logs::fields(path.text(), button->text()), logs::fields("/no/such/dir", "..."));
    path.setText("typed by hand");
    Dialogs cancel;
    cancel.cancelDialog();
    button->click();
    EXPECT_EQ(cancel.said, QStringList({"Select directory|cancelled"}));
    EXPECT_EQ(path.text(), "typed by hand");
}

TEST(UiFileList, HeadersSizesDuplicatesTickAndRemove)
{
    QTemporaryDir dir;
    const QString binary = dir.filePath("binary.log"), text = dir.filePath("text.log"), both = dir.filePath("both.log"),
                  none = dir.filePath("none.log"), tiny = dir.filePath("tiny.log"), small = dir.filePath("small.log");
    writeFile(binary, padded(binaryHeader(4), 3000));
    writeFile(text, padded(textHeader(), 2048));
    writeFile(both, padded(binaryHeader(7) + padded(textHeader(), 1024), 2100));
    writeFile(none, QByteArray(2047, 'x'));
    writeFile(tiny, QByteArray(7, 'x'));
    writeFile(small, QByteArray(8, 'x'));

    WidgetFileList list;
    QSignalSpy changed(&list, &WidgetFileList::selectFileChanged);
    EXPECT_TRUE(list.addFile(binary));
    // The first file listed becomes current at once.
    ASSERT_EQ(changed.size(), 1);
    File *first = list.getCurrent();
    ASSERT_TRUE(first);
    EXPECT_EQ(logs::fields(changed[0][0].value<File *>(), changed[0][1].value<File *>()),
              logs::fields(first, (File *)nullptr));
    // Refused: under 8 bytes (small logs are still logs), missing, a
    // directory, already listed.
    EXPECT_EQ((std::vector<bool>{list.addFile(text), list.addFile(both), list.addFile(none), list.addFile(tiny),
                                 list.addFile(small), list.addFile(dir.filePath("missing.log")), list.addFile(dir.path()),
                                 list.addFile(text)}),
              (std::vector<bool>{true, true, true, false, true, false, false, false}));
    // Further files leave the current one.
    EXPECT_EQ(logs::fields(list.rowCount(), changed.size(), list.getCurrent(), list.horizontalHeaderItem(0)->text(),
                           list.horizontalHeaderItem(1)->text()),
              logs::fields(5, 1, first, "File Name", "File Size"));

    const QList<File *> files = list.getFileList();
    ASSERT_EQ(files.size(), 5);
    EXPECT_EQ(logs::fields(list.checkBoxAt(0)->text(), list.checkBoxAt(0)->isChecked(), list.item(0, 1)->text(),
                           list.item(3, 1)->text(), list.item(0, 1)->data(Qt::UserRole + 1).value<File *>(),
                           bool(list.item(0, 1)->flags() & Qt::ItemIsEditable)),
              logs::fields("binary.log", false, "3000", "2047", files[0], false));

    // Binary header: serial after "S/N:", position, antenna (height type 4).
    const ParamMap &b = files[0]->param;
    EXPECT_EQ(logs::fields(b.value(T::KEY_PATH_INPUT), b.value(T::KEY_RECEIVER_SN), b.value(T::KEY_LATITUDE),
                           b.value(T::KEY_LONGITUDE), b.value(T::KEY_HEIGHT), b.value(T::KEY_ANTENNA_HEIGHT),
                           b.value(T::KEY_ANTENNA_NAME), b.value(T::KEY_HEIGHT_TYPE), b.value(T::KEY_ANTENNA_SPEC),
                           b.value(T::KEY_RECEIVER_FIRMWARE), b.value(T::KEY_MARKER_NAME)),
              logs::fields(binary, "7730125", "31.25000000", "121.50000000", "12.500", "1.5", "ANT-X3", "bottom",
                           "80,40,60,55", "FW2.4", "PIER"));
    // Text header: trimmed values, "Buttom" read as "bottom".
    const ParamMap &t = files[1]->param;
    EXPECT_EQ(logs::fields(t.value(T::KEY_RECEIVER_MODEL), t.value(T::KEY_RECEIVER_SN), t.value(T::KEY_MARKER_NAME),
                           t.value(T::KEY_HEIGHT_TYPE), t.value(T::KEY_HEIGHT)),
              logs::fields("Q7", "TX-0042", "ROOF", "bottom", "88.25"));
    // Both: the text header, read second, wins; height type 7 leaves the
    // binary antenna fields out.
    const ParamMap &bt = files[2]->param;
    EXPECT_EQ(logs::fields(bt.value(T::KEY_RECEIVER_SN), bt.value(T::KEY_RECEIVER_FIRMWARE),
                           bt.value(T::KEY_MARKER_NAME), bt.value(T::KEY_LATITUDE), bt.value(T::KEY_HEIGHT),
                           bt.value(T::KEY_HEIGHT_TYPE)),
              logs::fields("TX-0042", "FW2.4", "ROOF", "31.25000000", "88.25", "bottom"));
    EXPECT_FALSE(bt.contains(T::KEY_ANTENNA_NAME) || bt.contains(T::KEY_ANTENNA_SPEC));
    // None: only the path.
    EXPECT_EQ(files[3]->param, ParamMap({{T::KEY_PATH_INPUT, none}}));

    // Ticking all ticks every row; only ticked rows are removed.
    list.selectAll();
    for (int row = 0; row < list.rowCount(); row++) EXPECT_TRUE(list.checkBoxAt(row)->isChecked());
    list.checkBoxAt(0)->setChecked(false);
    list.checkBoxAt(3)->setChecked(false);
    QPointer<File> removedCurrent = files[1];
    list.setCurrentCell(1, 1); // the current row goes with the others
    changed.clear();
    list.removeSelection();
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.getFileList(), QList<File *>({files[0], files[3]}));
    // The move away from the removed current file names it as previous
    // while it still exists.
    ASSERT_GE(changed.size(), 1);
    EXPECT_TRUE(list.getCurrent() == files[0] || list.getCurrent() == files[3]);
    EXPECT_EQ(logs::fields(changed.last()[0].value<File *>(), changed.first()[1].value<File *>(), removedCurrent.isNull()),
              logs::fields(list.getCurrent(), files[1], false));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(removedCurrent); // released once control is back
    // A removed path can be listed again; another spelling is another row.
    EXPECT_TRUE(list.addFile(text) && list.addFile(dir.path() + "/./none.log") && list.rowCount() == 4);
}

TEST(UiUtil, ConfuseMatchesTheRoutineAndUndoesItself)
{
    // Worked by hand from the routine: "info" has XOR 0x0e, so s starts at
    // 15; 15 * 24061 mod 29989 = 1047 (0x417), and 'i' ^ 0x17 = 0x7e.
    QByteArray info("info"), reply("info sn=ABC"), again;
    Util::confuse(info.data(), info.size());
    Util::confuse(reply.data(), reply.size());
    const QByteArray scrambled = reply.toHex();
    Util::confuse(reply.data(), reply.size());
    // One byte is its own scramble; nothing, or no buffer, changes nothing.
    QByteArray one("A");
    Util::confuse(one.data(), 1);
    Util::confuse(one.data(), 0);
    Util::confuse(nullptr, 5);
    EXPECT_EQ(logs::fields(info.toHex(), scrambled, reply, one),
              logs::fields(QByteArray("7e3dc984"), QByteArray("915a891abd5418d08416a5"), QByteArray("info sn=ABC"),
                           QByteArray("A")));
}

TEST(UiUtil, RepliesAndAddresses)
{
    // Each reply parsed into a fresh map: accepted, and the fields read.
    const struct {
        QByteArray reply;
        bool ok;
        ParamMap fields;
    } replies[] = {{"info sn=ABC fw=2.1", true, {{"sn", "ABC"}, {"fw", "2.1"}}},
                   {QByteArray("info sn=A  =x noeq sn=B\0sn=C", 28), true, {{"sn", "B"}}},
                   {"info", true, {}},
                   {"nfo sn=X", false, {}}};
    for (const auto &r : replies) {
        ParamMap fields = {{"stale", "x"}};
        const bool ok = Util::parseDeviceReply(r.reply, &fields);
        EXPECT_EQ(logs::fields(ok, ok ? fields : ParamMap()), logs::fields(r.ok, r.fields)) << r.reply.toStdString();
    }

    EXPECT_EQ(logs::fields(Util::addressText(QHostAddress("::ffff:192.168.7.9")),
                           Util::addressText(QHostAddress("::ffff:127.0.0.1")),
                           Util::addressText(QHostAddress("10.1.2.3")), Util::addressText(QHostAddress("fe80::1"))),
              logs::fields("192.168.7.9", "127.0.0.1", "10.1.2.3", "fe80::1"));
}
