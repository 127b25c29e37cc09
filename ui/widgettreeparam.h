// The two-column settings tree: named menus with items under them, each
// item a caption and an editor widget. Addressed by text keys only, and read
// and written as maps from item key to value text, so that the maps pass
// straight into task parameter maps.
#ifndef QUORVANE_UI_WIDGETTREEPARAM_H
#define QUORVANE_UI_WIDGETTREEPARAM_H

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

class WidgetTreeParam : public QTreeWidget
{
    Q_OBJECT

public:
    // The kind of an item row, kept on the row under ROLE_KIND of column 1.
    enum Kind { KIND_LABEL = 2, KIND_TEXT = 3, KIND_DIR = 4, KIND_CHECKBOX = 5, KIND_COMBOBOX = 6 };
    static const int ROLE_KIND = Qt::UserRole + 1;

    struct Value {
        QString key;
        QString text;
        QTreeWidgetItem *item = nullptr;
    };
    struct Menu {
        QString key;
        QString text;
        QTreeWidgetItem *item = nullptr;
        QMap<QString, Value> values;
    };

    explicit WidgetTreeParam(QWidget *parent = nullptr);

    bool addMenu(const QString &key, const QString &text);
    // Takes `widget`; when the item cannot be added the widget is deleted and
    // the tree is left as it was.
    bool addItem(int kind, QWidget *widget, const QString &menu, const QString &key, const QString &text);
    bool addLabel(const QString &menu, const QString &key, const QString &text, const QString &value);
    bool addText(const QString &menu, const QString &key, const QString &text, const QString &value);
    bool addDir(const QString &menu, const QString &key, const QString &text, const QString &value);
    bool addCheckBox(const QString &menu, const QString &key, const QString &text, const QString &value,
                     const QString &caption, const QString &checkedValue);
    bool addCombobox(const QString &menu, const QString &key, const QString &text, const QString &value,
                     const QStringList &values, const QStringList &texts);

    QString getItemData(QTreeWidgetItem *row) const;
    void setItemData(QTreeWidgetItem *row, const QString &value);

    QString getValue(const QString &menu, const QString &key) const;
    QMap<QString, QString> getValueMap(const QStringList &menuKeys) const;
    QMap<QString, QString> getValueMap(const QString &menu) const;
    void setValueMap(const QMap<QString, QString> &map, const QString &menu);
    void expandMenu(const QString &menu);

    // The row of an item, or null.
    QTreeWidgetItem *itemRow(const QString &menu, const QString &key) const;

private:
    QMap<QString, Menu> menus;
};

#endif
