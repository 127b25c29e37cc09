// Helpers of the window: the scrambling that receivers expect on the
// discovery port, and the reading of their replies.
#ifndef QUORVANE_UI_UTIL_H
#define QUORVANE_UI_UTIL_H

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QString>

class Util
{
public:
    // Mixes `length` bytes in place with a sequence seeded by their XOR. The
    // last byte absorbs what was mixed into the others, so the XOR (and the
    // seed) survive and a second call restores the bytes.
    static void confuse(void *data, int length);

    // The fields of an unscrambled discovery reply: null map (and false)
    // unless the text starts with "info"; name=value fields separated by
    // blanks, later ones winning.
    static bool parseDeviceReply(const QByteArray &datagram, QMap<QString, QString> *fields);
    // The address as a user reads it: an IPv4 host seen through a dual-stack
    // socket is shown dotted, not in its IPv4-mapped IPv6 form.
    static QString addressText(const QHostAddress &address);
};

#endif
