#include "widgetpath.h"

#include <QFileDialog>
#include <QHBoxLayout>

WidgetPath::WidgetPath(const QString &path, QWidget *parent) : QWidget(parent)
{
    lePath = new QLineEdit(path, this);
    lePath->setObjectName("lePath");
    pbSelect = new QPushButton("...", this);
    pbSelect->setObjectName("pbSelect");
    QHBoxLayout *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(lePath);
    layout->addWidget(pbSelect);
    // Square: as wide as the line it sits on is high.
    pbSelect->setFixedWidth(pbSelect->sizeHint().height());
    connect(pbSelect, SIGNAL(clicked()), this, SLOT(on_pbSelectr_clicked()));
}

QString WidgetPath::text() const
{
    return lePath->text();
}

void WidgetPath::setText(const QString &text)
{
    lePath->setText(text);
}

void WidgetPath::on_pbSelectr_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, "Select directory", lePath->text(),
                                                          QFileDialog::ShowDirsOnly);
    if (!dir.isEmpty()) lePath->setText(dir);
}
