// The one window: the "Device" tab (receivers on the local network), the
// "File" tab (input files beside the settings tree, with the actions) and
// the "Message" tab (the progress window).
#ifndef QUORVANE_UI_MAINWINDOW_H
#define QUORVANE_UI_MAINWINDOW_H

#include <QCoreApplication>
#include <QHostAddress>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <QUdpSocket>

class File;
class Ui_MainWindow;
class QDialog;
class WidgetConvert;
class WidgetQuality;
class WidgetFileList;
class WidgetTreeParam;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static const QString MENU_INFO;
    static const QString MENU_CONFIG_FILE;
    static const QString MENU_CONFIG_SYSTEM;
    static const QString MENU_CONFIG_PRN;
    static const QString MENU_CONFIG_SIGNAL;
    static const QString MENU_CONFIG_GENERAL;
    static const QStringList MENU_SHARE_CONFIG;
    static const QString KEY_LAST_PATH;
    static const QString KEY_FILE_PATH;
    static const quint16 DISCOVERY_PORT = 60114;
    // Rows of the device table at most: replies come from anyone on the
    // network, as many as they like.
    static constexpr int MAX_DEVICES = 1000;

    // Every argument after the program name that names an existing file is
    // listed.
    explicit MainWindow(QWidget *parent = nullptr, const QStringList &arguments = QCoreApplication::arguments());
    ~MainWindow() override;

    // Where "Scan" sends its request. Empty (the default): the broadcast
    // address of every IPv4 network of the machine, on DISCOVERY_PORT.
    void setScanTargets(const QList<QHostAddress> &targets, quint16 port = DISCOVERY_PORT);
    QList<QHostAddress> scanTargets() const;

    WidgetFileList *fileList() const { return widFileList; }
    WidgetTreeParam *treeParam() const { return widTreeParam; }
    WidgetConvert *convertWidget() const { return widConvert; }
    QTableWidget *deviceTable() const { return tableDevices; }
    QPushButton *qualityButton() const { return pbQuality; }
    // The "Quality" view, null until it is first opened.
    WidgetQuality *qualityWidget() const { return widQuality; }
    int currentTab() const;

public Q_SLOTS:
    void onPbScanDevices_clicked();
    void onPbAddFiles_clicked();
    void onPbMerge_clicked();
    void onPbConvertMerge_clicked();
    void onPbConvert_clicked();
    void onWidFileList_selectFileChanged(File *current, File *previous);
    void onSocket_readReady();
    void enableScan();
    void onPbOpenUrl_clicked();
    // Opens the "Quality" view on the files of the last conversion.
    void onPbQuality_clicked();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private Q_SLOTS:
    void onWidConvert_runningChanged(bool running);

private:
    void setupTreeParam();
    bool confirm(const QString &text);
    // The per-file task maps of the two convert actions, or empty when the
    // action does not go ahead.
    QList<QMap<QString, QString> > convertMaps(const QString &question);
    void startTasks(const QList<QMap<QString, QString> > &tasks);

    Ui_MainWindow *ui;
    QPushButton *pbScanDevices;
    QTableWidget *tableDevices;
    WidgetFileList *widFileList;
    WidgetTreeParam *widTreeParam;
    WidgetConvert *widConvert;
    QUdpSocket socket;

    QPushButton *pbAddFiles;
    QPushButton *pbSelectAll;
    QPushButton *pbRemoveFiles;
    QPushButton *pbMerge;
    QPushButton *pbConvertMerge;
    QPushButton *pbConvert;
    QPushButton *pbQuality;
    QDialog *dlgQuality = nullptr;
    WidgetQuality *widQuality = nullptr;
    // A list has written files the view has not been given yet: written
    // again under the same names, they still need a new check.
    bool qualityPending = false;
    QList<QHostAddress> targetOverride;
    quint16 targetPort = DISCOVERY_PORT;
};

#endif
