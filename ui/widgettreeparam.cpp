#include "widgettreeparam.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>

#include "widgetpath.h"

namespace {
const char kCheckedProperty[] = "_checked";
}

WidgetTreeParam::WidgetTreeParam(QWidget *parent) : QTreeWidget(parent)
{
    setColumnCount(2);
    setHeaderLabels({"Name", "value"});
    setIndentation(fontMetrics().horizontalAdvance(" + "));
    setStyleSheet("QTreeWidget::item{padding:1px}");
    setSelectionBehavior(QAbstractItemView::SelectItems);
}

bool WidgetTreeParam::addMenu(const QString &key, const QString &text)
{
    if (key.isEmpty() || menus.contains(key)) return false;
    Menu menu;
    menu.key = key;
    menu.text = text;
    menu.item = new QTreeWidgetItem(this, QStringList(text));
    menus.insert(key, menu);
    return true;
}

bool WidgetTreeParam::addItem(int kind, QWidget *widget, const QString &menuKey, const QString &key,
                              const QString &text)
{
    auto menu = menus.find(menuKey);
    const QString itemKey = key.isEmpty() ? text : key;
    if (menu == menus.end() || menu->values.contains(itemKey)) {
        delete widget;
        return false;
    }
    Value value;
    value.key = itemKey;
    value.text = text;
    value.item = new QTreeWidgetItem(menu->item, QStringList(text));
    value.item->setData(1, ROLE_KIND, kind);
    setItemWidget(value.item, 1, widget);
    menu->values.insert(itemKey, value);
    return true;
}

bool WidgetTreeParam::addLabel(const QString &menu, const QString &key, const QString &text, const QString &value)
{
    // Labels show what logs and paths hold: "<b>" in a marker name or a file
    // name is text to show, not markup to render.
    QLabel *label = new QLabel(value);
    label->setTextFormat(Qt::PlainText);
    return addItem(KIND_LABEL, label, menu, key, text);
}

bool WidgetTreeParam::addText(const QString &menu, const QString &key, const QString &text, const QString &value)
{
    return addItem(KIND_TEXT, new QLineEdit(value), menu, key, text);
}

bool WidgetTreeParam::addDir(const QString &menu, const QString &key, const QString &text, const QString &value)
{
    return addItem(KIND_DIR, new WidgetPath(value), menu, key, text);
}

bool WidgetTreeParam::addCheckBox(const QString &menu, const QString &key, const QString &text,
                                  const QString &value, const QString &caption, const QString &checkedValue)
{
    QCheckBox *box = new QCheckBox(caption);
    box->setProperty(kCheckedProperty, checkedValue);
    box->setChecked(!value.isEmpty());
    return addItem(KIND_CHECKBOX, box, menu, key, text);
}

bool WidgetTreeParam::addCombobox(const QString &menu, const QString &key, const QString &text,
                                  const QString &value, const QStringList &values, const QStringList &texts)
{
    if (texts.isEmpty() || texts.size() != values.size()) return false;
    QComboBox *box = new QComboBox;
    for (int i = 0; i < texts.size(); i++) box->addItem(texts[i], values[i]);
    box->setCurrentIndex(box->findData(value, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive));
    box->setFocusPolicy(Qt::StrongFocus);
    return addItem(KIND_COMBOBOX, box, menu, key, text);
}

QString WidgetTreeParam::getItemData(QTreeWidgetItem *row) const
{
    if (!row) return QString();
    QWidget *widget = itemWidget(row, 1);
    switch (row->data(1, ROLE_KIND).toInt()) {
    case KIND_LABEL:
        if (auto *w = qobject_cast<QLabel *>(widget)) return w->text();
        break;
    case KIND_TEXT:
        if (auto *w = qobject_cast<QLineEdit *>(widget)) return w->text();
        break;
    case KIND_DIR:
        if (auto *w = qobject_cast<WidgetPath *>(widget)) return w->text();
        break;
    case KIND_CHECKBOX:
        if (auto *w = qobject_cast<QCheckBox *>(widget))
            return w->isChecked() ? w->property(kCheckedProperty).toString() : QString();
        break;
    case KIND_COMBOBOX:
        if (auto *w = qobject_cast<QComboBox *>(widget))
            return w->currentIndex() < 0 ? QString() : w->currentData(Qt::UserRole).toString();
        break;
    default:
        break;
    }
    return QString();
}

void WidgetTreeParam::setItemData(QTreeWidgetItem *row, const QString &value)
{
    if (!row) return;
    QWidget *widget = itemWidget(row, 1);
    switch (row->data(1, ROLE_KIND).toInt()) {
    case KIND_LABEL:
        if (auto *w = qobject_cast<QLabel *>(widget)) w->setText(value);
        break;
    case KIND_TEXT:
        if (auto *w = qobject_cast<QLineEdit *>(widget)) w->setText(value);
        break;
    case KIND_DIR:
        if (auto *w = qobject_cast<WidgetPath *>(widget)) w->setText(value);
        break;
    case KIND_CHECKBOX:
        if (auto *w = qobject_cast<QCheckBox *>(widget)) w->setChecked(!value.isEmpty());
        break;
    case KIND_COMBOBOX:
        if (auto *w = qobject_cast<QComboBox *>(widget))
            w->setCurrentIndex(w->findData(value, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive));
        break;
    default:
        break;
    }
}

QTreeWidgetItem *WidgetTreeParam::itemRow(const QString &menu, const QString &key) const
{
    auto m = menus.constFind(menu);
    if (m == menus.cend()) return nullptr;
    auto v = m->values.constFind(key);
    return v == m->values.cend() ? nullptr : v->item;
}

QString WidgetTreeParam::getValue(const QString &menu, const QString &key) const
{
    return getItemData(itemRow(menu, key));
}

QMap<QString, QString> WidgetTreeParam::getValueMap(const QStringList &menuKeys) const
{
    QMap<QString, QString> result;
    for (const Menu &menu : menus) {
        if (!menuKeys.isEmpty() && !menuKeys.contains(menu.key)) continue;
        for (const Value &value : menu.values) result.insert(value.key, getItemData(value.item));
    }
    return result;
}

QMap<QString, QString> WidgetTreeParam::getValueMap(const QString &menu) const
{
    return getValueMap(QStringList(menu));
}

void WidgetTreeParam::setValueMap(const QMap<QString, QString> &map, const QString &menu)
{
    for (const Menu &m : qAsConst(menus)) {
        if (!menu.isEmpty() && m.key != menu) continue;
        for (const Value &value : m.values) setItemData(value.item, map.value(value.key));
    }
}

void WidgetTreeParam::expandMenu(const QString &menu)
{
    auto m = menus.constFind(menu);
    if (m != menus.cend()) m->item->setExpanded(true);
}
