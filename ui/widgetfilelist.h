// The table of input files: one row per file with a tick box and its size,
// carrying the File object; reports which file is current.
#ifndef QUORVANE_UI_WIDGETFILELIST_H
#define QUORVANE_UI_WIDGETFILELIST_H

#include <QList>
#include <QSet>
#include <QString>
#include <QTableWidget>

#include "file.h"

class QCheckBox;

class WidgetFileList : public QTableWidget
{
    Q_OBJECT

public:
    static const int ROLE_FILE = Qt::UserRole + 1;

    explicit WidgetFileList(QWidget *parent = nullptr);

    bool addFile(const QString &path);
    File *getCurrent() const;
    QList<File *> getFileList() const;

    // The file of a row and its tick box (null when the row has none).
    File *fileAt(int row) const;
    QCheckBox *checkBoxAt(int row) const;

public Q_SLOTS:
    void selectAll() override;
    void removeSelection();
    void on_currentCellChanged(int currentRow, int currentColumn, int previousRow, int previousColumn);

Q_SIGNALS:
    void selectFileChanged(File *current, File *previous);

private:
    File *fileLast = nullptr;
    QSet<QString> pathSet;
};

#endif
