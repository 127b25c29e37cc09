#include "mainwindow.h"

#include <QDate>
#include <QDesktopServices>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QNetworkInterface>
#include <QSettings>
#include <QSplitter>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "appinfo.h"
#include "file.h"
#include "gnss_signal.h"
#include "outputclaims.h"
#include "rinexxxx.h"
#include "threadbinarytorinex.h"
#include "ui_mainwindow.h"
#include "util.h"
#include "widgetconvert.h"
#include "widgetfilelist.h"
#include "widgetquality.h"
#include "widgettreeparam.h"

typedef ThreadBinaryToRinex T;
typedef QMap<QString, QString> ParamMap;

const QString MainWindow::MENU_INFO = "info";
const QString MainWindow::MENU_CONFIG_FILE = "config-file";
const QString MainWindow::MENU_CONFIG_SYSTEM = "config-system";
const QString MainWindow::MENU_CONFIG_PRN = "config-prn";
const QString MainWindow::MENU_CONFIG_SIGNAL = "config-signal";
const QString MainWindow::MENU_CONFIG_GENERAL = "config-general";
const QStringList MainWindow::MENU_SHARE_CONFIG = {"config-system", "config-prn", "config-signal",
                                                   "config-general"};
const QString MainWindow::KEY_LAST_PATH = "last-path-output";
const QString MainWindow::KEY_FILE_PATH = "file-path";

namespace {

// The stored values of the "Height Type" row.
const QStringList kHeightTypes = {"phase", "slope", "vertical", "bottom"};

// "yyyy-MM-dd hh:mm" of the build, from the compiler's "MMM d yyyy" date
// (day padded with a blank) and "hh:mm:ss" time.
QString buildStamp()
{
    const QString stamp = QStringLiteral(APP_BUILDTIME);
    QString date = stamp.left(11);
    date.replace("  ", " ");
    const QDate d = QLocale::c().toDate(date, "MMM d yyyy");
    return QString("%1 %2").arg(d.toString("yyyy-MM-dd"), stamp.mid(12, 5));
}

} // namespace

MainWindow::MainWindow(QWidget *parent, const QStringList &arguments) : QMainWindow(parent), ui(new Ui_MainWindow)
{
    ui->setupUi(this);
    setCentralWidget(ui->tabWidget); // the form's own central widget goes
    ui->centralWidget = nullptr;
    resize(907, 636);
    setAcceptDrops(true);

    // Device tab: receivers found, and the button that looks for them.
    tableDevices = new QTableWidget(0, 4, ui->tabDevice);
    tableDevices->setObjectName("tableDevices");
    tableDevices->setHorizontalHeaderLabels({"SN", "IP", "Web", "File Manager"});
    const QFontMetrics metrics = fontMetrics();
    tableDevices->setColumnWidth(0, metrics.horizontalAdvance("    ABCDEFGHIJKLMNO   "));
    tableDevices->setColumnWidth(1, metrics.horizontalAdvance("255.255.255.255   "));
    tableDevices->setColumnWidth(2, metrics.horizontalAdvance("M") * 16);
    tableDevices->setColumnWidth(3, metrics.horizontalAdvance("M") * 16);
    tableDevices->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    pbScanDevices = new QPushButton("Scan", ui->tabDevice);
    pbScanDevices->setObjectName("pbScanDevices");
    QVBoxLayout *deviceLayout = new QVBoxLayout(ui->tabDevice);
    deviceLayout->addWidget(tableDevices);
    QHBoxLayout *deviceRow = new QHBoxLayout;
    deviceRow->addStretch();
    deviceRow->addWidget(pbScanDevices);
    deviceLayout->addLayout(deviceRow);

    // File tab: the files beside the settings tree, with the actions below.
    QSplitter *splitter = new QSplitter(Qt::Horizontal, ui->tabFile);
    widFileList = new WidgetFileList(splitter);
    widFileList->setObjectName("widFileList");
    widTreeParam = new WidgetTreeParam(splitter);
    widTreeParam->setObjectName("widTreeParam");
    splitter->addWidget(widFileList);
    splitter->addWidget(widTreeParam);
    pbAddFiles = new QPushButton("Add Files", ui->tabFile);
    pbAddFiles->setObjectName("pbAddFiles");
    pbSelectAll = new QPushButton("Select All", ui->tabFile);
    pbSelectAll->setObjectName("pbSelectAll");
    pbRemoveFiles = new QPushButton("Remove Files", ui->tabFile);
    pbRemoveFiles->setObjectName("pbRemoveFiles");
    pbMerge = new QPushButton("Merge", ui->tabFile);
    pbMerge->setObjectName("pbMerge");
    pbConvertMerge = new QPushButton("Convert Merge", ui->tabFile);
    pbConvertMerge->setObjectName("pbConvertMerge");
    pbConvert = new QPushButton("Convert Individually", ui->tabFile);
    pbConvert->setObjectName("pbConvert");
    QFont bold = font();
    bold.setWeight(75);
    pbConvert->setFont(bold);
    QVBoxLayout *fileLayout = new QVBoxLayout(ui->tabFile);
    fileLayout->addWidget(splitter);
    QHBoxLayout *fileRow = new QHBoxLayout;
    fileRow->addWidget(pbAddFiles);
    fileRow->addWidget(pbSelectAll);
    fileRow->addWidget(pbRemoveFiles);
    fileRow->addStretch();
    fileRow->addWidget(pbMerge);
    fileRow->addWidget(pbConvertMerge);
    fileRow->addWidget(pbConvert);
    fileLayout->addLayout(fileRow);

    // Message tab: the progress window alone.
    widConvert = new WidgetConvert(ui->tabMessage);
    widConvert->setObjectName("widConvert");
    QVBoxLayout *messageLayout = new QVBoxLayout(ui->tabMessage);
    messageLayout->addWidget(widConvert);

    // The quality check of converted or chosen RINEX files, reachable from
    // every tab.
    pbQuality = new QPushButton("Quality", ui->tabWidget);
    pbQuality->setObjectName("pbQuality");
    pbQuality->setToolTip("Check the quality of the converted files, or of any RINEX observation file");
    ui->tabWidget->setCornerWidget(pbQuality, Qt::TopRightCorner);

    setupTreeParam();
    setWindowTitle(QString("%1 %2 (%3)").arg("Velmarok GNSS File Manager", APP_NUMBER, buildStamp()));

    connect(pbScanDevices, SIGNAL(clicked(bool)), this, SLOT(onPbScanDevices_clicked()));
    connect(widFileList, SIGNAL(selectFileChanged(File *, File *)), this,
            SLOT(onWidFileList_selectFileChanged(File *, File *)));
    connect(pbSelectAll, SIGNAL(clicked()), widFileList, SLOT(selectAll()));
    connect(pbRemoveFiles, SIGNAL(clicked()), widFileList, SLOT(removeSelection()));
    connect(pbAddFiles, SIGNAL(clicked()), this, SLOT(onPbAddFiles_clicked()));
    connect(pbMerge, SIGNAL(clicked()), this, SLOT(onPbMerge_clicked()));
    connect(pbConvertMerge, SIGNAL(clicked()), this, SLOT(onPbConvertMerge_clicked()));
    connect(pbConvert, SIGNAL(clicked()), this, SLOT(onPbConvert_clicked()));
    connect(&socket, SIGNAL(readyRead()), this, SLOT(onSocket_readReady()));
    connect(widConvert, SIGNAL(runningChanged(bool)), this, SLOT(onWidConvert_runningChanged(bool)));
    connect(pbQuality, SIGNAL(clicked()), this, SLOT(onPbQuality_clicked()));

    bool listed = false;
    for (int i = 1; i < arguments.size(); i++) {
        if (!QFileInfo(arguments[i]).isFile()) continue;
        listed = true;
        widFileList->addFile(arguments[i]);
    }
    ui->tabWidget->setCurrentWidget(listed ? ui->tabFile : ui->tabDevice);
}

MainWindow::~MainWindow()
{
    socket.close();
    delete ui;
}

void MainWindow::setupTreeParam()
{
    WidgetTreeParam *tree = widTreeParam;
    tree->setColumnWidth(0, 220);
    tree->addMenu(MENU_INFO, "File Infomation");
    tree->addMenu(MENU_CONFIG_FILE, "File Configure");
    tree->addMenu(MENU_CONFIG_SYSTEM, "Mask System");
    tree->addMenu(MENU_CONFIG_PRN, "Mask PRN");
    tree->addMenu(MENU_CONFIG_SIGNAL, "Mask Signal");
    tree->addMenu(MENU_CONFIG_GENERAL, "General Configure");

    for (const QString *key : {&T::KEY_PATH_INPUT, &T::KEY_RECEIVER_MODEL, &T::KEY_RECEIVER_SN,
                               &T::KEY_RECEIVER_FIRMWARE, &T::KEY_GNSS_MODEL, &T::KEY_GNSS_SN, &T::KEY_GNSS_HARDWARE,
                               &T::KEY_GNSS_FIRMWARE})
        tree->addLabel(MENU_INFO, *key, *key, QString());
    for (const QString *key : {&T::KEY_MARKER_NAME, &T::KEY_MARKER_NUMBER, &T::KEY_LATITUDE, &T::KEY_LONGITUDE,
                               &T::KEY_HEIGHT, &T::KEY_ANTENNA_NAME, &T::KEY_ANTENNA_SPEC, &T::KEY_ANTENNA_HEIGHT})
        tree->addText(MENU_CONFIG_FILE, *key, *key, QString());
    tree->addCombobox(MENU_CONFIG_FILE, T::KEY_HEIGHT_TYPE, T::KEY_HEIGHT_TYPE, "bottom", kHeightTypes,
                      {"PHASE", "SLOPE", "VERTICAL", "BOTTOM"});
    tree->addText(MENU_CONFIG_FILE, T::KEY_TIME_START, T::KEY_TIME_START, QString());
    tree->addCheckBox(MENU_CONFIG_FILE, T::KEY_PRESCAN, T::KEY_PRESCAN, QString(), "Yes", "checked");

    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        const QString letter(QChar::fromLatin1(GNSS_SYSTEM[s].letter));
        const QString name = QString::fromLatin1(GNSS_SYSTEM[s].name);
        tree->addCheckBox(MENU_CONFIG_SYSTEM, T::KEY_MASK_SYSTEM.arg(letter), name, QString(), "Mask", "checked");
        tree->addText(MENU_CONFIG_PRN, T::KEY_MASK_PRN.arg(letter), name, QString());
        tree->addText(MENU_CONFIG_SIGNAL, T::KEY_MASK_SIGNAL.arg(letter), name, QString());
    }

    tree->addDir(MENU_CONFIG_GENERAL, T::KEY_PATH_OUTPUT, T::KEY_PATH_OUTPUT,
                 QSettings().value(KEY_LAST_PATH, ".").toString());
    tree->addCombobox(MENU_CONFIG_GENERAL, T::KEY_VERSION, T::KEY_VERSION, "3.05",
                      {"2.10", "2.11", "3.02", "3.03", "3.04", "3.05"},
                      {"RINEX 2.10", "RINEX 2.11", "RINEX 3.02", "RINEX 3.03", "RINEX 3.04", "RINEX 3.05"});
    tree->addCombobox(MENU_CONFIG_GENERAL, T::KEY_FILE_NAME, T::KEY_FILE_NAME, "2", {"1", "2", "3"},
                      {"Navigation divide", "Navigation merge", "RINEX Stander"});
    tree->addCombobox(MENU_CONFIG_GENERAL, T::KEY_COMPRESSION, T::KEY_COMPRESSION, "None",
                      {"None", "gzip", "Hatanaka", "Hatanaka + gzip"}, {"None", "gzip", "Hatanaka", "Hatanaka + gzip"});
    QStringList markerTypes;
    for (const QByteArray &type : Rinexxxx::MARKER_TYPE) markerTypes.append(QString::fromLatin1(type));
    tree->addCombobox(MENU_CONFIG_GENERAL, T::KEY_MARKER_TYPE, T::KEY_MARKER_TYPE, markerTypes.value(0), markerTypes,
                      markerTypes);
    tree->addCombobox(MENU_CONFIG_GENERAL, T::KEY_MODE, T::KEY_MODE, "3", {"1", "2", "3"},
                      {"PPK None", "PPK Only", "PPK Mix"});
    tree->addCombobox(MENU_CONFIG_GENERAL, T::KEY_OBS_INTERVAL_MIN, T::KEY_OBS_INTERVAL_MIN, "0",
                      {"0", "100", "200", "500", "1000", "2000", "5000", "10000", "15000", "20000", "30000", "60000"},
                      {"No Limit", "10Hz Max", "5Hz Max", "2Hz Max", "1Hz Max", "2 Sec Max", "5 Sec Max", "10 Sec Max",
                       "15 Sec Max", "20 Sec Max", "30 Sec Max", "60 Sec Max"});
    tree->addCheckBox(MENU_CONFIG_GENERAL, T::KEY_PHASE_AS_ARP, T::KEY_PHASE_AS_ARP, QString(), "Yes", "checked");
    tree->addCheckBox(MENU_CONFIG_GENERAL, T::KEY_NO_PHASE_SHIFT, T::KEY_NO_PHASE_SHIFT, QString(), "Yes", "checked");

    tree->expandMenu(MENU_INFO);
    tree->expandMenu(MENU_CONFIG_GENERAL);
}

int MainWindow::currentTab() const
{
    return ui->tabWidget->currentIndex();
}

void MainWindow::onWidFileList_selectFileChanged(File *current, File *previous)
{
    // The per-file rows stay with the file that was shown.
    if (previous) previous->updateParam(widTreeParam->getValueMap(MENU_CONFIG_FILE));
    if (current) {
        // Headers write the height type in any letter case ("Vertical"), as
        // the task reads it; shown as no entry of the row, the type would
        // be lost as soon as the file is left or converted.
        auto type = current->param.find(T::KEY_HEIGHT_TYPE);
        if (type != current->param.end())
            for (const QString &offered : kHeightTypes)
                if (type->compare(offered, Qt::CaseInsensitive) == 0) *type = offered;
        widTreeParam->setValueMap(current->param, MENU_INFO);
        widTreeParam->setValueMap(current->param, MENU_CONFIG_FILE);
    } else {
        // The last file is gone: its information would go on being shown
        // as if it were still listed.
        widTreeParam->setValueMap(ParamMap(), MENU_INFO);
        widTreeParam->setValueMap(ParamMap(), MENU_CONFIG_FILE);
    }
}

bool MainWindow::confirm(const QString &text)
{
    return QMessageBox::question(this, "Confirm", text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

QList<ParamMap> MainWindow::convertMaps(const QString &question)
{
    const QList<File *> files = widFileList->getFileList();
    File *current = widFileList->getCurrent();
    if (files.isEmpty() || !current || widConvert->isRunning()) return {};
    if (!confirm(question)) return {};
    const ParamMap shared = widTreeParam->getValueMap(MENU_SHARE_CONFIG);
    QList<ParamMap> maps;
    for (File *file : files) {
        file->updateParam(shared);
        if (file == current) file->updateParam(widTreeParam->getValueMap(MENU_CONFIG_FILE));
        ParamMap map = file->param;
        map[T::KEY_TASK] = T::TASK_CONVERT;
        maps.append(map);
    }
    // Offered again at the next start of the program.
    QSettings().setValue(KEY_LAST_PATH, shared.value(T::KEY_PATH_OUTPUT));
    return maps;
}

void MainWindow::startTasks(const QList<ParamMap> &tasks)
{
    ui->tabWidget->setCurrentWidget(ui->tabMessage);
    widConvert->start(tasks);
}

void MainWindow::onPbConvert_clicked()
{
    const QList<ParamMap> tasks = convertMaps("Start Convert Now?");
    if (!tasks.isEmpty()) startTasks(tasks);
}

void MainWindow::onPbConvertMerge_clicked()
{
    const QList<ParamMap> maps = convertMaps("Start Merge Convert Now?");
    if (maps.isEmpty()) return;
    QStringList paths;
    for (const ParamMap &map : maps) paths.append(map.value(T::KEY_PATH_INPUT));
    ParamMap task = maps.first();
    task[T::KEY_TASK] = T::TASK_CONVERT;
    task[T::KEY_PATH_INPUT] = paths.join(";");
    startTasks({task});
}

void MainWindow::onPbMerge_clicked()
{
    const QList<File *> files = widFileList->getFileList();
    if (files.isEmpty() || widConvert->isRunning()) return;
    const QString dest =
        QFileDialog::getSaveFileName(this, "Select destination", files.first()->absolutePath + ".merge", QString());
    if (dest.isEmpty()) return;
    // The destination is emptied first: when it is one of the inputs that
    // would destroy the very data to be merged.
    for (File *file : files) {
        if (QFileInfo(dest).absoluteFilePath() == file->absolutePath || sameFile(dest, file->absolutePath)) {
            QMessageBox::warning(this, "Merge",
                                 QString("The destination is one of the listed files:\n%1\nChoose another one.")
                                     .arg(dest));
            return;
        }
    }
    // The tasks append: an old result left in place would stay in front.
    QFile old(dest);
    if (QFileInfo(dest).isFile() && !old.remove()) {
        QMessageBox::warning(
            this, "Merge",
            QString("The destination cannot be replaced:\n%1\n%2\nChoose another one.").arg(dest, old.errorString()));
        return;
    }
    QList<ParamMap> tasks;
    for (File *file : files)
        tasks.append(
            {{T::KEY_TASK, T::TASK_MERGE}, {T::KEY_PATH_INPUT, file->absolutePath}, {T::KEY_PATH_OUTPUT, dest}});
    startTasks(tasks);
}

void MainWindow::onPbAddFiles_clicked()
{
    QSettings settings;
    const QStringList paths = QFileDialog::getOpenFileNames(this, "Select GNSS Files",
                                                            settings.value(KEY_FILE_PATH).toString(), QString());
    if (paths.isEmpty()) return;
    settings.setValue(KEY_FILE_PATH, paths.first());
    for (const QString &path : paths) widFileList->addFile(path);
}

void MainWindow::onWidConvert_runningChanged(bool running)
{
    // A second list would be counted against the running one.
    pbMerge->setEnabled(!running);
    pbConvertMerge->setEnabled(!running);
    pbConvert->setEnabled(!running);
    // An open view follows the conversions.
    if (running) return;
    qualityPending = !widConvert->writtenFiles().isEmpty();
    if (qualityPending && dlgQuality && dlgQuality->isVisible()) {
        qualityPending = false;
        widQuality->setFiles(widConvert->writtenFiles());
    }
}

void MainWindow::onPbQuality_clicked()
{
    if (!dlgQuality) {
        dlgQuality = new QDialog(this);
        dlgQuality->setObjectName("dlgQuality");
        dlgQuality->setWindowTitle("Quality");
        widQuality = new WidgetQuality(dlgQuality);
        widQuality->setObjectName("widQuality");
        QVBoxLayout *layout = new QVBoxLayout(dlgQuality);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(widQuality);
        dlgQuality->resize(1000, 720);
    }
    if (qualityPending) {
        qualityPending = false;
        widQuality->setFiles(widConvert->writtenFiles());
    }
    dlgQuality->show();
    dlgQuality->raise();
    dlgQuality->activateWindow();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat("text/uri-list")) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    if (event->mimeData()->hasUrls()) {
        if (ui->tabWidget->currentWidget() != ui->tabMessage) {
            ui->tabWidget->setCurrentWidget(ui->tabFile);
            for (const QUrl &url : event->mimeData()->urls())
                if (url.isLocalFile()) widFileList->addFile(url.toLocalFile());
        }
        event->acceptProposedAction();
    }
}

void MainWindow::setScanTargets(const QList<QHostAddress> &targets, quint16 port)
{
    targetOverride = targets;
    targetPort = port;
}

QList<QHostAddress> MainWindow::scanTargets() const
{
    if (!targetOverride.isEmpty()) return targetOverride;
    QList<QHostAddress> targets;
    for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
        if (iface.flags() & QNetworkInterface::IsLoopBack) continue;
        for (const QNetworkAddressEntry &entry : iface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.broadcast().isNull())
                targets.append(entry.broadcast());
    }
    return targets;
}

void MainWindow::onPbScanDevices_clicked()
{
    pbScanDevices->setEnabled(false);
    QTimer::singleShot(1000, this, SLOT(enableScan()));
    // Any free local port: the receivers answer to the port the request
    // came from.
    if (socket.state() == QAbstractSocket::UnconnectedState) socket.bind(QHostAddress(QHostAddress::Any), 0);
    for (int row = tableDevices->rowCount() - 1; row >= 0; row--) tableDevices->removeRow(row);
    QByteArray request("info");
    Util::confuse(request.data(), request.size());
    for (const QHostAddress &target : scanTargets()) socket.writeDatagram(request, target, targetPort);
}

void MainWindow::enableScan()
{
    pbScanDevices->setEnabled(true);
}

void MainWindow::onSocket_readReady()
{
    // Every waiting reply is taken: readyRead is not repeated for datagrams
    // that were already queued when it was emitted.
    while (socket.hasPendingDatagrams()) {
        const qint64 size = socket.pendingDatagramSize();
        QByteArray data(size > 0 ? (int)size : 0, '\0');
        QHostAddress sender;
        if (socket.readDatagram(data.data(), data.size(), &sender) < 0) continue;
        Util::confuse(data.data(), data.size());
        QMap<QString, QString> fields;
        if (!Util::parseDeviceReply(data, &fields)) continue;
        const QString address = Util::addressText(sender);
        // A receiver answering twice is listed twice, but the table stays
        // within bounds whatever the network sends.
        if (tableDevices->rowCount() >= MAX_DEVICES) continue;
        // An IPv6 host goes in brackets in a URL; written bare, the URL is
        // invalid and "open" would do nothing.
        QUrl url;
        url.setHost(address);
        url.setPath("/");
        QPushButton *web = new QPushButton("open");
        url.setScheme("http");
        web->setProperty("url", url.toString());
        QPushButton *ftp = new QPushButton("open");
        url.setScheme("ftp");
        ftp->setProperty("url", url.toString());
        connect(web, SIGNAL(clicked()), this, SLOT(onPbOpenUrl_clicked()));
        connect(ftp, SIGNAL(clicked()), this, SLOT(onPbOpenUrl_clicked()));
        const int row = tableDevices->rowCount();
        tableDevices->insertRow(row);
        tableDevices->setItem(row, 0, new QTableWidgetItem(fields.value("sn")));
        tableDevices->setItem(row, 1, new QTableWidgetItem(address));
        tableDevices->setCellWidget(row, 2, web);
        tableDevices->setCellWidget(row, 3, ftp);
    }
}

void MainWindow::onPbOpenUrl_clicked()
{
    QPushButton *button = qobject_cast<QPushButton *>(sender());
    if (!button) return;
    const QString url = button->property("url").toString();
    if (!url.isEmpty()) QDesktopServices::openUrl(QUrl(url));
}
