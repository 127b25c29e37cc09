// The RINEX 2.10 and 2.11 writer: one observation-type list for all systems,
// two-character types, satellites on the epoch line, five fields per line,
// and one navigation file per system.
#ifndef QUORVANE_RINEX_RINEX2XX_H
#define QUORVANE_RINEX_RINEX2XX_H

#include "rinexxxx.h"

class Rinex2xx : public Rinexxxx
{
    Q_OBJECT

public:
    // The RINEX 2 types of one signal, one per kind: 0 pseudorange, 1 carrier
    // phase, 2 Doppler, 3 signal strength. An empty code: no type of that
    // kind; index -1: not in the type list.
    struct SignalCode {
        int index[4] = {-1, -1, -1, -1};
        QByteArray code[4];
    };

    // Header lines that always come with the type lists: at most this many
    // types keep the observation header within its reserved lines.
    static const int MAX_TYPES = 135;

    explicit Rinex2xx(QObject *parent = nullptr);
    ~Rinex2xx() override;

    bool setVersion(const QString &version) override;
    bool setVersion(int version) override;
    qint64 open(qint64 startMs) override;
    qint64 inputLine(const uint8_t *data, int length) override;
    qint64 inputRtcm3(const uint8_t *data, int length) override;
    qint64 inputNovatel(const uint8_t *data, int length) override;
    qint64 inputHemisphere(const uint8_t *data, int length) override;
    bool updateOHeader(QFile &file) override;
    bool updateNHeader(QFile &file, const QByteArray &header) override;
    QMap<char, int> observationTypeCounts() const override;

    // While closed: the code of one kind (0 to 3) for a signal.
    bool addSignal(const QByteArray &code, const gnss_signal_t *signal, int kind);
    // While closed: forgets every signal code and the type list.
    bool clearSignal();

    // The epoch record of the collected epoch.
    qint64 writeRange() override;
    void tellRecord(const EpochRecord &record) override;
    // Navigation records; each returns the bytes written, 0 when skipped.
    qint64 writeNGps(const gps_nav_t &nav) override;
    qint64 writeNBds(const bd2_nav_t &nav) override;
    qint64 writeNGalInav(const galileo_inav_t &nav) override;
    qint64 writeNGalFnav(const galileo_fnav_t &nav) override;
    qint64 writeNGlo(const glonass_nav_t &nav) override;
    qint64 printEmpheLine(File *file, double a, double b, double c, double d);
    // An ionosphere header line ("ION ALPHA", "ION BETA"): 82 bytes and a
    // terminating zero; 0 (nothing written) when the buffer is smaller.
    static int printIon(char *buffer, int size, const char *label, const double values[4]);

    // Header lines as they would be written now (80 characters and CR LF
    // each), without comments and placeholders.
    QByteArray observationHeaderLines(bool *ok) const;
    // Transmission time of orbit line 7: within half a week of toe.
    static double transmissionTime(int32_t tow, uint32_t toe);

    QMap<const gnss_signal_t *, SignalCode> signalCodes;
    QList<QByteArray> obsTypes;
    // Satellite and type (the three characters of "G05" and the index of
    // "P2" in `obsTypes`, one byte each) -> the signal that filled it first.
    QHash<quint32, const gnss_signal_t *> claims;
    // Whether the observer has been told the type list of this file.
    bool toldTypes = false;
    // The last epoch record as the observer is told of it.
    RinexObserver::Epoch seen;

protected:
    // The default map of the version, without masked systems.
    void buildDefaultSignalCodes();
    // Signals of the map in the order of their tables: TSS, SBAS, GLONASS,
    // QZSS, IRNSS, GPS, Galileo, BDS.
    QList<const gnss_signal_t *> signalsInTableOrder() const;
    File *navFile(int fileIndex) const;

private:
    // The map came from the defaults and follows the version and masks.
    bool defaultCodes = true;
};

#endif
