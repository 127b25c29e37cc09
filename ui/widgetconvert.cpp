#include "widgetconvert.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QMetaType>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include "threadbinarytorinex.h"

typedef QMap<QString, QString> ParamMap;

WidgetConvert::WidgetConvert(QWidget *parent) : QWidget(parent)
{
    textMessage = new QTextEdit(this);
    textMessage->setObjectName("textMessage");
    textMessage->setReadOnly(true);
    textMessage->setUndoRedoEnabled(false);
    textMessage->setAcceptRichText(false);
    QFont font = textMessage->font();
    font.setFamily("Monospace");
    textMessage->setFont(font);
    progressBar = new QProgressBar(this);
    progressBar->setObjectName("progressBar");
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    pbCancleFinish = new QPushButton("Cancle", this);
    pbCancleFinish->setObjectName("pbCancleFinish");
    pbCancleFinish->setEnabled(false);

    QVBoxLayout *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(textMessage);
    QHBoxLayout *row = new QHBoxLayout;
    row->addWidget(progressBar);
    row->addWidget(pbCancleFinish);
    layout->addLayout(row);

    connect(pbCancleFinish, SIGNAL(clicked()), this, SLOT(on_pbCancleFinish_clicked()));
    qRegisterMetaType<ParamMap>();
    qRegisterMetaType<ParamMap>("QMap_QString_QString");
    setupThread();
    thread.start(QThread::InheritPriority);
}

WidgetConvert::~WidgetConvert()
{
    // The worker is deleted on its own thread as that thread ends.
    stopThread();
    worker = nullptr;
}

void WidgetConvert::setupThread()
{
    worker = new ThreadBinaryToRinex(nullptr);
    worker->setOutputClaims(&claims);
    connect(this, &WidgetConvert::thread_taskStart, worker, &ThreadBinaryToRinex::taskStart, Qt::QueuedConnection);
    connect(this, &WidgetConvert::thread_taskCancle, worker, &ThreadBinaryToRinex::taskCancle, Qt::QueuedConnection);
    connect(worker, &ThreadBinaryToRinex::progress, this, &WidgetConvert::on_thread_progress, Qt::QueuedConnection);
    connect(worker, &ThreadBinaryToRinex::finished, this, &WidgetConvert::on_thread_finished, Qt::QueuedConnection);
    connect(worker, &ThreadBinaryToRinex::message, this, &WidgetConvert::on_thread_message, Qt::QueuedConnection);
    connect(worker, &ThreadBinaryToRinex::written, this, &WidgetConvert::on_thread_written, Qt::QueuedConnection);
    connect(worker, &ThreadBinaryToRinex::partial, this, &WidgetConvert::on_thread_partial, Qt::QueuedConnection);
    // Its timer and writer belong to that thread: it is deleted there, and
    // a writer still open then closes its files.
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    worker->moveToThread(&thread);
}

void WidgetConvert::stopThread()
{
    if (!thread.isRunning()) return;
    thread.quit();
    if (thread.wait(1000)) return;
    thread.terminate();
    thread.wait(1000);
}

bool WidgetConvert::start(const QList<QMap<QString, QString> > &list)
{
    if (list.isEmpty()) {
        appendLine("no file!");
        return false;
    }
    if (running) return false;
    pbCancleFinish->setEnabled(true);
    textMessage->clear();
    progressBar->setValue(0);
    tasks = list;
    taskIndex = 0;
    okCount = 0;
    mergeIncomplete.clear();
    written.clear();
    QStringList inputs;
    for (const ParamMap &task : list)
        inputs += task.value(ThreadBinaryToRinex::KEY_PATH_INPUT).split(';', Qt::SkipEmptyParts);
    claims.startList(inputs);
    running = true;
    Q_EMIT runningChanged(true);
    startNext();
    return true;
}

void WidgetConvert::startNext()
{
    const QString &keyTask = ThreadBinaryToRinex::KEY_TASK;
    const QString &keyOutput = ThreadBinaryToRinex::KEY_PATH_OUTPUT;
    while (taskIndex < tasks.size()) {
        const ParamMap &task = tasks[taskIndex];
        // A merge after a failed one would append behind a hole: the rest of
        // that output is not written at all.
        if (task.value(keyTask) == ThreadBinaryToRinex::TASK_MERGE && mergeIncomplete.contains(task.value(keyOutput))) {
            logTaskEnd(false, QString("merge output is incomplete, %1").arg(task.value(keyOutput)));
            taskIndex++;
            continue;
        }
        Q_EMIT thread_taskStart(task);
        return;
    }
    appendMessage(QString("All Task Finished. Ok=%1 Fail=%2").arg(okCount).arg(tasks.size() - okCount));
    pbCancleFinish->setEnabled(false);
    running = false;
    Q_EMIT runningChanged(false);
}

void WidgetConvert::appendLine(const QString &line)
{
    QTextCursor cursor(textMessage->document());
    cursor.movePosition(QTextCursor::End);
    if (!textMessage->document()->isEmpty()) cursor.insertBlock();
    cursor.insertText(line);
    QScrollBar *bar = textMessage->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void WidgetConvert::appendMessage(const QString &text)
{
    appendLine(QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss.zzz") + " " + text);
}

void WidgetConvert::logTaskEnd(bool ok, const QString &msg)
{
    appendMessage(QString("[%1/%2] Task %3 %4\n")
                      .arg(taskIndex + 1)
                      .arg(tasks.size())
                      .arg(QString(ok ? "Ok," : "Failed!"), msg));
}

void WidgetConvert::on_pbCancleFinish_clicked()
{
    if (!running || taskIndex >= tasks.size()) return;
    const int asked = taskIndex;
    if (QMessageBox::question(this, "Confirm", "Cancle Convert Progress?", QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::Yes) != QMessageBox::Yes)
        return;
    // The question runs its own event loop: the task it was about may have
    // ended meanwhile, and the next one was not what the user cancelled.
    if (!running || taskIndex != asked) return;
    Q_EMIT thread_taskCancle();
}

void WidgetConvert::on_thread_progress(int prg)
{
    if (!running) return;
    appendMessage(QString("[%1/%2] Progress %3%").arg(taskIndex + 1).arg(tasks.size()).arg(prg));
    progressBar->setValue((taskIndex * 100 + prg) * 100 / (tasks.size() * 100));
}

void WidgetConvert::on_thread_message(QString msg)
{
    appendMessage(QString("[%1/%2] %3").arg(taskIndex + 1).arg(tasks.size()).arg(msg));
}

// The files of the running task, told before its end: the results of a
// successful task, or what a failed one kept.
void WidgetConvert::on_thread_written(QString path)
{
    written.append(path);
    on_thread_message("Written = " + path);
}

void WidgetConvert::on_thread_partial(QString path)
{
    on_thread_message("Partial = " + path);
}

void WidgetConvert::on_thread_finished(bool ok, QString msg)
{
    if (!running) return;
    logTaskEnd(ok, msg);
    if (ok) {
        okCount++;
    } else if (tasks[taskIndex].value(ThreadBinaryToRinex::KEY_TASK) == ThreadBinaryToRinex::TASK_MERGE) {
        mergeIncomplete.insert(tasks[taskIndex].value(ThreadBinaryToRinex::KEY_PATH_OUTPUT));
    }
    taskIndex++;
    startNext();
}
