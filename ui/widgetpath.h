// A directory path editor: a line edit and a square "..." button that opens
// a directory chooser.
#ifndef QUORVANE_UI_WIDGETPATH_H
#define QUORVANE_UI_WIDGETPATH_H

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

class WidgetPath : public QWidget
{
    Q_OBJECT

public:
    explicit WidgetPath(const QString &path = QString(), QWidget *parent = nullptr);

public Q_SLOTS:
    QString text() const;
    void setText(const QString &text);

private Q_SLOTS:
    void on_pbSelectr_clicked();

private:
    QLineEdit *lePath;
    QPushButton *pbSelect;
};

#endif
