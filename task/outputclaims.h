// The outputs of one task list (the tasks of one window action, or of one
// command line): the inputs of all its tasks, which no output of the list may
// replace, and the final names its tasks have written, which a later task of
// the same list may not overwrite. One object is shared by every runner of
// the list, on whatever thread each runs.
#ifndef QUORVANE_TASK_OUTPUTCLAIMS_H
#define QUORVANE_TASK_OUTPUTCLAIMS_H

#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>

// Whether two names lead to the same file, whatever the spelling or link
// that names it (the same absolute path when neither exists yet).
bool sameFile(const QString &a, const QString &b);

class OutputClaims
{
public:
    // A new list: its inputs, nothing written yet.
    void startList(const QStringList &inputs);
    // The first name of `names` that is an input of the list, or empty.
    QString inputAmong(const QStringList &names) const;
    // Claims `names` for the task reading `inputs`. Empty text when all were
    // free, and then they are claimed; otherwise the reason, naming the
    // file and both tasks' inputs, and nothing is claimed.
    QString claim(const QStringList &names, const QString &inputs);

private:
    mutable QMutex mutex;
    QStringList listInputs;
    QList<QPair<QString, QString>> written; // final name, inputs of its task
};

#endif
