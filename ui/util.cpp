#include "util.h"

#include <QPair>
#include <QStringList>

void Util::confuse(void *data, int length)
{
    if (!data || length < 1) return;
    unsigned char *bytes = static_cast<unsigned char *>(data);
    quint32 x = 0;
    for (int i = 0; i < length; i++) x ^= bytes[i];
    quint32 s = x + 1;
    quint32 acc = 0;
    for (int i = 0; i < length; i++) {
        s = (s * 24061u) % 29989u;
        if (i != length - 1) {
            bytes[i] ^= (unsigned char)(s & 0xff);
            acc ^= s;
        } else {
            bytes[i] ^= (unsigned char)(acc & 0xff);
        }
    }
}

bool Util::parseDeviceReply(const QByteArray &datagram, QMap<QString, QString> *fields)
{
    if (fields) fields->clear();
    QByteArray raw = datagram;
    const int nul = raw.indexOf('\0');
    if (nul >= 0) raw.truncate(nul);
    const QString text = QString::fromUtf8(raw);
    if (!text.startsWith("info")) return false;
    for (const QString &field : text.split(' ')) {
        const int eq = field.indexOf('=');
        if (eq <= 0) continue;
        if (fields) fields->insert(field.left(eq).trimmed(), field.mid(eq + 1).trimmed());
    }
    return true;
}

QString Util::addressText(const QHostAddress &address)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol &&
        address.isInSubnet(QHostAddress("::ffff:0:0"), 96)) {
        const Q_IPV6ADDR a = address.toIPv6Address();
        return QString("%1.%2.%3.%4").arg(a[12]).arg(a[13]).arg(a[14]).arg(a[15]);
    }
    return address.toString();
}
