// The "Quality" view: the quality check of RINEX observation files, the
// converted ones or any chosen one, with the text summary and the plots
// (tracking timeline, sky plot, strength and multipath against elevation).
// The check runs on a worker thread of its own; the view stays usable, shows
// that it is busy, and a check still running when the view closes is told to
// stop and its result dropped.
#ifndef QUORVANE_UI_WIDGETQUALITY_H
#define QUORVANE_UI_WIDGETQUALITY_H

#include <atomic>
#include <functional>
#include <memory>

#include <QComboBox>
#include <QLabel>
#include <QMap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include "quality.h"

class WidgetQuality : public QWidget
{
    Q_OBJECT

public:
    // Shared between the view and the check on its worker thread.
    struct Control {
        std::atomic<bool> cancel{false}; // the check should stop as soon as it can
        std::atomic<int> permille{-1};   // progress told by the check, -1 unknown
    };
    struct Result {
        bool ok = false;
        qc::Report report;
        QString summary;
        QString error;
    };
    // Checks one observation file with its navigation files; runs on the
    // worker thread, polls `control.cancel`.
    typedef std::function<void(const QString &obs, const QStringList &nav, Control &control, Result *out)> Checker;

    // The check of the quality library: read the files, check, summarise.
    static Checker defaultChecker();

    explicit WidgetQuality(QWidget *parent = nullptr, Checker checker = defaultChecker());
    ~WidgetQuality() override;

    // The files a conversion wrote: its observation files are listed, each
    // with the navigation files among `paths` that belong to it, and the
    // first is checked.
    void setFiles(const QStringList &paths);
    // Lists and checks one observation file; without navigation files those
    // beside it are taken.
    void openFile(const QString &obs, const QStringList &nav = QStringList());

    QStringList files() const;
    QStringList navigationOf(const QString &obs) const { return navigation.value(obs); }
    QString currentFile() const;
    bool isChecking() const { return running != nullptr; }
    QString summaryText() const { return textSummary->toPlainText(); }
    // The report shown, null while none is.
    const qc::Report *currentReport() const;
    QTabWidget *tabs() const { return tabPages; }

    // By name: RINEX 2 "*.yyO" (Hatanaka "*.yyD"), RINEX 3 "*_xO.rnx" and
    // "*.crx", each also gzip'ed; navigation files "*.yyN" and the other
    // RINEX 2 letters, "*_xN.rnx".
    static bool isObservationName(const QString &path);
    static bool isNavigationName(const QString &path);
    // The navigation files among `candidates` from the same conversion or
    // station day as `obs`: RINEX 2 names that differ only in the last
    // letter, RINEX 3 names with the same station, start and period.
    static QStringList navigationFor(const QString &obs, const QStringList &candidates);

Q_SIGNALS:
    // A check has ended (not sent for a cancelled one).
    void checkFinished(const QString &obs, bool ok);

public Q_SLOTS:
    void onPbOpen_clicked();

private Q_SLOTS:
    void onCbFiles_currentIndexChanged(int index);
    void onTimer_timeout();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Job;
    void addFile(const QString &obs, const QStringList &nav);
    void display(const QString &obs);
    void startCheck(const QString &obs);
    void finishCheck(const std::shared_ptr<Job> &job);
    void cancelCheck();

    Checker checker;
    QComboBox *cbFiles;
    QPushButton *pbOpen;
    QProgressBar *progressCheck;
    QLabel *labelStatus;
    QTabWidget *tabPages;
    QPlainTextEdit *textSummary;
    QTimer timer;
    QMap<QString, QStringList> navigation;              // per observation file
    QMap<QString, std::shared_ptr<qc::Report>> reports; // checked files
    QMap<QString, QString> summaries;
    std::shared_ptr<Job> running;
};

#endif
