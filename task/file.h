// One input file and its parameter map: the file's path, what its own log
// header says about receiver, marker, position and antenna, and whether it
// holds RTCM 3 frames (which switches the prescan pass on).
#ifndef QUORVANE_TASK_FILE_H
#define QUORVANE_TASK_FILE_H

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>

class File : public QObject
{
    Q_OBJECT

public:
    // A new File without parent, or null when the path is missing, not a
    // regular file, shorter than 8 bytes or unreadable. `error`, when given,
    // receives the reason.
    static File *load(const QString &path, QString *error = nullptr);

    void updateParam(const QMap<QString, QString> &map);
    // The 512-byte binary header and the text header of some receivers.
    static void phaseDev(QMap<QString, QString> &param, const QByteArray &data);
    static void phaseOlm(QMap<QString, QString> &param, const QByteArray &data);
    // The Septentrio ReceiverSetup block among the first bytes of an SBF log.
    static void phaseSbf(QMap<QString, QString> &param, const QByteArray &data);
    // Framer callbacks of the RTCM 3 probe.
    static void parserRtcm3(const unsigned char *frame, unsigned int length, void *user);
    static void parserOther(const unsigned char *frame, unsigned int length, void *user);

    QMap<QString, QString> param;
    QString absolutePath;
    QString shortName;
    qint64 byteSize = 0;

private:
    File() = default;
};

#endif
