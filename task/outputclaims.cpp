#include "outputclaims.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <sys/stat.h>

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa, sb;
    if (stat(QFile::encodeName(a).constData(), &sa) == 0 && stat(QFile::encodeName(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

void OutputClaims::startList(const QStringList &inputs)
{
    QMutexLocker lock(&mutex);
    listInputs = inputs;
    written.clear();
}

QString OutputClaims::inputAmong(const QStringList &names) const
{
    QMutexLocker lock(&mutex);
    for (const QString &name : names)
        for (const QString &input : listInputs)
            if (sameFile(name, input)) return name;
    return QString();
}

QString OutputClaims::claim(const QStringList &names, const QString &inputs)
{
    QMutexLocker lock(&mutex);
    for (const QString &name : names)
        for (const auto &w : qAsConst(written))
            if (sameFile(name, w.first))
                return QString("%1 was already written from %2, not replaced with the output of %3")
                    .arg(name, w.second, inputs);
    for (const QString &name : names) written.append({name, inputs});
    return QString();
}
