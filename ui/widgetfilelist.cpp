#include "widgetfilelist.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>

#include "threadbinarytorinex.h"

WidgetFileList::WidgetFileList(QWidget *parent) : QTableWidget(parent)
{
    setColumnCount(2);
    setHorizontalHeaderLabels({"File Name", "File Size"});
    const QFontMetrics metrics = fontMetrics();
    // Wide enough for a typical log-file name with a little air around it.
    setColumnWidth(0, metrics.horizontalAdvance("    Rover_GNSS_20240131_091551_Z7_00.rtcm3   "));
    setColumnWidth(1, metrics.horizontalAdvance("123456789   "));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(this, SIGNAL(currentCellChanged(int, int, int, int)), this,
            SLOT(on_currentCellChanged(int, int, int, int)));
}

bool WidgetFileList::addFile(const QString &path)
{
    if (pathSet.contains(path)) return false;
    File *file = File::load(path);
    if (!file) return false;
    // Released with the list when it is still listed then.
    file->setParent(this);
    pathSet.insert(path);
    const int row = rowCount();
    insertRow(row);
    // A check box takes "&" for the mark of a keyboard shortcut: "R&D.log"
    // would show as "RD.log". Doubled, it shows as itself.
    QCheckBox *box = new QCheckBox(QString(file->shortName).replace('&', "&&"));
    box->setChecked(false);
    setCellWidget(row, 0, box);
    QTableWidgetItem *size = new QTableWidgetItem(QString::number(file->byteSize));
    size->setData(ROLE_FILE, QVariant::fromValue(file));
    size->setFlags(size->flags() & ~Qt::ItemIsEditable);
    setItem(row, 1, size);
    // The first file listed is shown at once.
    if (row == 0) setCurrentCell(0, 1);
    return true;
}

File *WidgetFileList::fileAt(int row) const
{
    QTableWidgetItem *cell = item(row, 1);
    return cell ? cell->data(ROLE_FILE).value<File *>() : nullptr;
}

QCheckBox *WidgetFileList::checkBoxAt(int row) const
{
    return qobject_cast<QCheckBox *>(cellWidget(row, 0));
}

File *WidgetFileList::getCurrent() const
{
    const int row = currentRow();
    return row < 0 ? nullptr : fileAt(row);
}

QList<File *> WidgetFileList::getFileList() const
{
    QList<File *> files;
    for (int row = 0; row < rowCount(); row++)
        if (File *file = fileAt(row)) files.append(file);
    return files;
}

void WidgetFileList::selectAll()
{
    for (int row = rowCount() - 1; row >= 0; row--) {
        QCheckBox *box = checkBoxAt(row);
        if (box && fileAt(row)) box->setChecked(true);
    }
}

void WidgetFileList::removeSelection()
{
    for (int row = rowCount() - 1; row >= 0; row--) {
        QCheckBox *box = checkBoxAt(row);
        File *file = fileAt(row);
        if (!box || !file || !box->isChecked()) continue;
        removeRow(row);
        pathSet.remove(file->param.value(ThreadBinaryToRinex::KEY_PATH_INPUT));
        // The row removal may just have reported it as the previous file.
        file->deleteLater();
    }
    // Removing rows does not always move the current cell; make sure the
    // reported file is the one the table shows.
    on_currentCellChanged(currentRow(), currentColumn(), -1, -1);
}

void WidgetFileList::on_currentCellChanged(int, int, int, int)
{
    File *current = getCurrent();
    if (current != fileLast) Q_EMIT selectFileChanged(current, fileLast);
    fileLast = current;
}
