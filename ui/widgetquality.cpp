#include "widgetquality.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QThread>
#include <QVBoxLayout>

#include "plots.h"

namespace {

// One plot of the report shown, painted at the page's size.
class PlotPage : public QWidget
{
public:
    PlotPage(qc::PlotKind kind, QWidget *parent) : QWidget(parent), kind(kind)
    {
        setMinimumSize(360, 240);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    void setReport(const qc::Report *r, const QString &why)
    {
        report = r;
        notice = why;
        cache = QImage();
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        if (report) {
            // A day of samples takes a while to paint: once for each size.
            if (cache.size() != size()) cache = qc::renderPlot(*report, kind, size());
            painter.drawImage(0, 0, cache);
            return;
        }
        painter.fillRect(rect(), palette().window());
        painter.setPen(palette().windowText().color());
        painter.drawText(rect().adjusted(10, 10, -10, -10), Qt::AlignCenter | Qt::TextWordWrap, notice);
    }

private:
    qc::PlotKind kind;
    const qc::Report *report = nullptr;
    QString notice;
    QImage cache;
};

QString withoutPacking(const QString &path)
{
    QString name = QFileInfo(path).fileName();
    for (const char *packed : {".gz", ".Z"})
        if (name.endsWith(packed, Qt::CaseInsensitive)) name.chop(int(qstrlen(packed)));
    return name;
}

const QRegularExpression &shortObs()
{
    static const QRegularExpression re("^(.+\\.\\d\\d)[od]$", QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression &shortNav()
{
    static const QRegularExpression re("^(.+\\.\\d\\d)[nglcqphji]$", QRegularExpression::CaseInsensitiveOption);
    return re;
}

// Station, start and period of a long name: "BASE00000_R_20233350000_01D".
const QRegularExpression &longObs()
{
    static const QRegularExpression re("^([a-z0-9]{9}_[a-z]_\\d{11}_\\d\\d[a-z])_(\\d\\d[a-z]_)?[a-z]o\\.(rnx|crx)$",
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression &longNav()
{
    static const QRegularExpression re("^([a-z0-9]{9}_[a-z]_\\d{11}_\\d\\d[a-z])_[a-z]n\\.rnx$",
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

} // namespace

struct WidgetQuality::Job {
    QString obs;
    QStringList nav;
    Control control;
    Result result;
};

WidgetQuality::Checker WidgetQuality::defaultChecker()
{
    return [](const QString &obs, const QStringList &nav, Control &control, Result *out) {
        std::vector<std::string> navPaths;
        for (const QString &path : nav) navPaths.push_back(path.toStdString());
        std::string error;
        out->ok = qc::checkFiles(obs.toStdString(), navPaths, &out->report, &error, &control.cancel);
        out->error = QString::fromStdString(error);
        if (out->ok) out->summary = QString::fromStdString(qc::formatSummary(out->report));
    };
}

WidgetQuality::WidgetQuality(QWidget *parent, Checker checker) : QWidget(parent), checker(std::move(checker))
{
    cbFiles = new QComboBox(this);
    cbFiles->setObjectName("cbFiles");
    cbFiles->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbFiles->setMinimumContentsLength(30);
    pbOpen = new QPushButton("Open RINEX...", this);
    pbOpen->setObjectName("pbOpen");
    progressCheck = new QProgressBar(this);
    progressCheck->setObjectName("progressCheck");
    progressCheck->setMaximumWidth(160);
    progressCheck->setTextVisible(false);
    progressCheck->hide();
    labelStatus = new QLabel(this);
    labelStatus->setObjectName("labelStatus");

    tabPages = new QTabWidget(this);
    tabPages->setObjectName("tabPages");
    textSummary = new QPlainTextEdit(this);
    textSummary->setObjectName("textSummary");
    textSummary->setReadOnly(true);
    textSummary->setLineWrapMode(QPlainTextEdit::NoWrap);
    textSummary->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    tabPages->addTab(textSummary, "Summary");
    for (qc::PlotKind kind : qc::allPlots()) {
        PlotPage *page = new PlotPage(kind, tabPages);
        page->setObjectName(QString("plot-%1").arg(qc::plotName(kind)));
        tabPages->addTab(page, qc::plotTitle(kind));
    }

    QVBoxLayout *layout = new QVBoxLayout(this);
    QHBoxLayout *row = new QHBoxLayout;
    row->addWidget(cbFiles, 1);
    row->addWidget(pbOpen);
    row->addWidget(progressCheck);
    row->addWidget(labelStatus);
    layout->addLayout(row);
    layout->addWidget(tabPages, 1);

    timer.setInterval(150);
    connect(&timer, &QTimer::timeout, this, &WidgetQuality::onTimer_timeout);
    connect(pbOpen, &QPushButton::clicked, this, &WidgetQuality::onPbOpen_clicked);
    connect(cbFiles, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &WidgetQuality::onCbFiles_currentIndexChanged);
    display(QString());
}

WidgetQuality::~WidgetQuality()
{
    // Every check still running is told to stop; the view goes only when
    // none touches it any more.
    cancelCheck();
    for (QThread *t : findChildren<QThread *>()) {
        t->wait();
        delete t;
    }
}

bool WidgetQuality::isObservationName(const QString &path)
{
    const QString name = withoutPacking(path);
    return shortObs().match(name).hasMatch() || longObs().match(name).hasMatch() ||
           name.endsWith(".crx", Qt::CaseInsensitive) || name.endsWith(".obs", Qt::CaseInsensitive);
}

bool WidgetQuality::isNavigationName(const QString &path)
{
    const QString name = withoutPacking(path);
    return shortNav().match(name).hasMatch() || longNav().match(name).hasMatch() ||
           name.endsWith(".nav", Qt::CaseInsensitive);
}

QStringList WidgetQuality::navigationFor(const QString &obs, const QStringList &candidates)
{
    const QString name = withoutPacking(obs);
    const QDir dir = QFileInfo(obs).absoluteDir();
    const QRegularExpressionMatch s = shortObs().match(name), l = longObs().match(name);
    QStringList found;
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).absoluteDir() != dir || !isNavigationName(candidate)) continue;
        const QString other = withoutPacking(candidate);
        bool same;
        if (s.hasMatch()) {
            const QRegularExpressionMatch m = shortNav().match(other);
            same = m.hasMatch() && m.captured(1).compare(s.captured(1), Qt::CaseInsensitive) == 0;
        } else if (l.hasMatch()) {
            const QRegularExpressionMatch m = longNav().match(other);
            same = m.hasMatch() && m.captured(1).compare(l.captured(1), Qt::CaseInsensitive) == 0;
        } else {
            same = QFileInfo(other).completeBaseName() == QFileInfo(name).completeBaseName();
        }
        if (same && !found.contains(candidate)) found.append(candidate);
    }
    return found;
}

static QStringList filesBeside(const QString &path)
{
    QStringList out;
    const QDir dir = QFileInfo(path).absoluteDir();
    for (const QString &name : dir.entryList(QDir::Files)) out.append(dir.filePath(name));
    return out;
}

void WidgetQuality::setFiles(const QStringList &paths)
{
    QString first;
    for (const QString &path : paths) {
        if (!isObservationName(path)) continue;
        QStringList nav = navigationFor(path, paths);
        if (nav.isEmpty()) nav = navigationFor(path, filesBeside(path));
        // Written again by this conversion: an earlier check is stale.
        reports.remove(path);
        summaries.remove(path);
        addFile(path, nav);
        if (first.isEmpty()) first = path;
    }
    if (first.isEmpty()) return;
    if (running && running->obs == first) cancelCheck();
    const int index = cbFiles->findData(first);
    if (index == cbFiles->currentIndex())
        display(first);
    else
        cbFiles->setCurrentIndex(index);
}

void WidgetQuality::openFile(const QString &obs, const QStringList &nav)
{
    const QString path = QFileInfo(obs).absoluteFilePath();
    reports.remove(path);
    summaries.remove(path);
    if (running && running->obs == path) cancelCheck();
    addFile(path, nav.isEmpty() ? navigationFor(path, filesBeside(path)) : nav);
    const int index = cbFiles->findData(path);
    if (index == cbFiles->currentIndex())
        display(path);
    else
        cbFiles->setCurrentIndex(index);
}

void WidgetQuality::addFile(const QString &obs, const QStringList &nav)
{
    navigation[obs] = nav;
    int index = cbFiles->findData(obs);
    if (index < 0) {
        const QSignalBlocker block(cbFiles);
        cbFiles->addItem(QFileInfo(obs).fileName(), obs);
        index = cbFiles->count() - 1;
    }
    QString tip = obs;
    for (const QString &n : nav) tip += "\n" + n;
    cbFiles->setItemData(index, tip, Qt::ToolTipRole);
}

QStringList WidgetQuality::files() const
{
    QStringList out;
    for (int i = 0; i < cbFiles->count(); i++) out.append(cbFiles->itemData(i).toString());
    return out;
}

QString WidgetQuality::currentFile() const
{
    return cbFiles->currentData().toString();
}

const qc::Report *WidgetQuality::currentReport() const
{
    const auto it = reports.find(currentFile());
    return it == reports.end() ? nullptr : it->get();
}

void WidgetQuality::onCbFiles_currentIndexChanged(int)
{
    display(currentFile());
}

// Shows what is known of one file, and checks it when nothing is.
void WidgetQuality::display(const QString &obs)
{
    const qc::Report *report = nullptr;
    QString notice;
    if (obs.isEmpty()) {
        notice = "No file: convert a log, or open a RINEX observation file";
    } else if (reports.contains(obs)) {
        report = reports[obs].get();
    } else if (summaries.contains(obs)) {
        notice = summaries[obs];
    } else {
        notice = QString("Checking %1 ...").arg(QFileInfo(obs).fileName());
        if (!running || running->obs != obs) startCheck(obs);
    }
    textSummary->setPlainText(summaries.value(obs, notice));
    for (int i = 1; i < tabPages->count(); i++) static_cast<PlotPage *>(tabPages->widget(i))->setReport(report, notice);
}

void WidgetQuality::startCheck(const QString &obs)
{
    // One check at a time: the file asked for last is the one wanted.
    cancelCheck();
    auto job = std::make_shared<Job>();
    job->obs = obs;
    job->nav = navigation.value(obs);
    running = job;
    const Checker check = checker;
    QThread *t = QThread::create([job, check] { check(job->obs, job->nav, job->control, &job->result); });
    t->setParent(this);
    connect(t, &QThread::finished, this, [this, t, job] {
        finishCheck(job);
        t->deleteLater();
    });
    progressCheck->setRange(0, 0);
    progressCheck->show();
    labelStatus->setText(QString("Checking %1").arg(QFileInfo(obs).fileName()));
    timer.start();
    t->start();
}

void WidgetQuality::cancelCheck()
{
    if (!running) return;
    running->control.cancel = true;
    running = nullptr;
    timer.stop();
    progressCheck->hide();
    labelStatus->clear();
}

void WidgetQuality::finishCheck(const std::shared_ptr<Job> &job)
{
    if (job->control.cancel || job != running) return;
    running = nullptr;
    timer.stop();
    progressCheck->hide();
    const Result &r = job->result;
    if (r.ok) {
        reports[job->obs] = std::make_shared<qc::Report>(r.report);
        summaries[job->obs] = r.summary;
        labelStatus->clear();
    } else {
        summaries[job->obs] = QString("The check of %1 failed: %2").arg(job->obs, r.error);
        labelStatus->setText("Check failed");
    }
    if (currentFile() == job->obs) display(job->obs);
    Q_EMIT checkFinished(job->obs, r.ok);
}

void WidgetQuality::onTimer_timeout()
{
    if (!running) return;
    const int permille = running->control.permille;
    if (permille < 0) {
        progressCheck->setRange(0, 0);
    } else {
        progressCheck->setRange(0, 1000);
        progressCheck->setValue(permille);
    }
}

void WidgetQuality::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    const QString obs = currentFile();
    if (!obs.isEmpty() && !running && !summaries.contains(obs)) display(obs);
}

void WidgetQuality::hideEvent(QHideEvent *event)
{
    // A closed view wants no result: the check stops, and runs again when
    // the file is shown again.
    if (running) {
        const QString obs = running->obs;
        cancelCheck();
        if (currentFile() == obs) textSummary->setPlainText(QString("The check of %1 was stopped.").arg(obs));
    }
    QWidget::hideEvent(event);
}

void WidgetQuality::onPbOpen_clicked()
{
    const QString start = currentFile().isEmpty() ? QString() : QFileInfo(currentFile()).absolutePath();
    const QStringList chosen = QFileDialog::getOpenFileNames(
        this, "Open RINEX Files", start,
        "RINEX files (*.??o *.??O *.??d *.??D *.rnx *.crx *.obs *.??n *.??N *.??g *.??G *.??l *.??c *.nav *.gz *.Z);;"
        "All files (*)");
    if (chosen.isEmpty()) return;
    QString obs;
    QStringList nav;
    for (const QString &path : chosen) {
        if (isNavigationName(path))
            nav.append(path);
        else if (obs.isEmpty() || (!isObservationName(obs) && isObservationName(path)))
            obs = path;
    }
    // Navigation files alone: the observation file is the one shown.
    if (obs.isEmpty()) obs = currentFile();
    if (!obs.isEmpty()) openFile(obs, nav);
}
