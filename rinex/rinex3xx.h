// The RINEX 3.02 to 3.05 writer: observation epochs from RTCM 3, NovAtel and
// Hemisphere input, "$PPK" marker lines, navigation records of every system
// and the headers written at close.
#ifndef QUORVANE_RINEX_RINEX3XX_H
#define QUORVANE_RINEX_RINEX3XX_H

#include "rinexxxx.h"

class Rinex3xx : public Rinexxxx
{
    Q_OBJECT

public:
    // Observation types of one system: each column is one code, standing for
    // the four types C, L, D and S of that code.
    struct System {
        QMap<QByteArray, int> index;
        QVector<QByteArray> types;
        QMap<QByteArray, int> phaseShift; // quarter cycles last applied per code
        int toldTypes = 0;                // types the record observer knows of
        // What the records need to know of a signal, looked up by its first
        // observation instead of by every epoch (a code keeps its column and
        // bias for the whole file): by signal index, the last for any other.
        struct Signal {
            const gnss_signal_t *signal = nullptr;
            int column = -1;
            uint32_t phaseRecord = 0; // the record whose first phase noted the shift
            bool biasKnown = false;
            double bias = 0;
        };
        Signal known[33];
        // By column: the value phaseShift holds for its code (absent: none).
        std::vector<int> shiftHeld;
    };

    explicit Rinex3xx(QObject *parent = nullptr);
    ~Rinex3xx() override;

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
    int phaseShiftOf(const gnss_signal_t *signal) const override;
    int phaseAlignmentOf(const gnss_signal_t *signal) const override;

    bool setPhaseShiftEnable(bool on);
    bool setSystemSignalInit(char letter, const QList<QByteArray> &codes);
    bool setGlonassCodePhaseBias(const QMap<QByteArray, double> &bias);

    // The epoch record of the collected epoch.
    qint64 writeRange() override;
    void tellRecord(const EpochRecord &record) override;
    // Navigation records; each returns the bytes written, 0 when skipped.
    qint64 writeNGps(const gps_nav_t &nav) override;
    qint64 writeNQzs(const gps_nav_t &nav) override;
    qint64 writeNBds(const bd2_nav_t &nav) override;
    qint64 writeNGalInav(const galileo_inav_t &nav) override;
    qint64 writeNGalFnav(const galileo_fnav_t &nav) override;
    qint64 writeNGlo(const glonass_nav_t &nav) override;
    qint64 writeNTss(const uint8_t *data, int length) override;
    qint64 printEmpheLine(File *file, double a, double b, double c, double d);
    static int printIon(char *buffer, int size, const char *label, const double values[4]);

    // Header lines as they would be written now, without the trailing
    // placeholders (for tests and for the fit check at close).
    QByteArray observationHeaderLines(bool *ok);
    // A system's observation types as the header lists them now.
    std::vector<std::string> headerTypes(char letter) const;

    bool phaseShiftEnable = true;
    QMap<char, System> systemsInit;
    QMap<QByteArray, double> glonassCodePhaseBias;
    QMap<char, System> systems;
    // Counts the epoch records decided (never 0).
    uint32_t recordNumber = 0;
    // The last epoch record as the observer is told of it.
    RinexObserver::Epoch seen;

protected:
    // Common part of the six record writers: the file, the satellite name
    // and the repetition check. Returns the file, or null to skip.
    File *navTarget(int fileIndex, char letter, int satellite, int kind, qint64 time, char *name);
    // The transmission time of orbit line 7: `tow` kept within half a week of
    // toe; when unknown (-1), the last written epoch's time relative to the
    // record's GPS week less `timeOffset` seconds; before any epoch, the
    // version's "unknown" value.
    double transmissionTime(int32_t tow, uint32_t toe, int gpsWeek, int timeOffset) const;
    qint64 writeGpsLike(const gps_nav_t &nav, bool qzss);
};

#endif
