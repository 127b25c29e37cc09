// The page of the "Message" tab: runs a list of task parameter maps one
// after another on a worker thread, with a time-stamped log, an overall
// progress bar and a cancel button.
#ifndef QUORVANE_UI_WIDGETCONVERT_H
#define QUORVANE_UI_WIDGETCONVERT_H

#include <QList>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextEdit>
#include <QThread>
#include <QWidget>

#include "outputclaims.h"

class ThreadBinaryToRinex;

class WidgetConvert : public QWidget
{
    Q_OBJECT

public:
    explicit WidgetConvert(QWidget *parent = nullptr);
    ~WidgetConvert() override;

    // Runs the list. Refused (false, nothing changes) while a list runs: the
    // running task's end would otherwise be counted against the new list.
    bool start(const QList<QMap<QString, QString> > &list);
    void appendMessage(const QString &text);

    bool isRunning() const { return running; }
    const QList<QMap<QString, QString> > &taskList() const { return tasks; }
    QString logText() const { return textMessage->toPlainText(); }
    int progressValue() const { return progressBar->value(); }
    // The files the tasks of the current or last list have written.
    const QStringList &writtenFiles() const { return written; }

Q_SIGNALS:
    void thread_taskStart(QMap<QString, QString> param);
    void thread_taskCancle();
    // A list has started (true) or ended (false).
    void runningChanged(bool running);

private Q_SLOTS:
    void on_pbCancleFinish_clicked();
    void on_thread_progress(int prg);
    void on_thread_message(QString msg);
    void on_thread_finished(bool ok, QString msg);
    void on_thread_written(QString path);
    void on_thread_partial(QString path);

private:
    void setupThread();
    void stopThread();
    void appendLine(const QString &line);
    void logTaskEnd(bool ok, const QString &msg);
    void startNext();

    QTextEdit *textMessage;
    QProgressBar *progressBar;
    QPushButton *pbCancleFinish;
    QThread thread;
    QList<QMap<QString, QString> > tasks;
    int taskIndex = 0;
    int okCount = 0;
    bool running = false;
    // Merge outputs that a failed or cancelled merge left with a hole.
    QSet<QString> mergeIncomplete;
    QStringList written;
    // The list's inputs and the files its tasks have written, so that no
    // task of the list replaces either.
    OutputClaims claims;
    ThreadBinaryToRinex *worker = nullptr; // lives on `thread`; only signals reach it
};

#endif
