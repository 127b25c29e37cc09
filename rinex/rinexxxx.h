// The base of the two RINEX writers: station and receiver description, output
// naming, masks, the output file set, the framer hookup, observation records
// built from the decoders' records, loss-of-lock detection, GPS week tracking
// for RTCM 3 MSM epochs, the epoch gate and the RINEX number formatting.
#ifndef QUORVANE_RINEX_RINEXXXX_H
#define QUORVANE_RINEX_RINEXXXX_H

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <time.h>

#include <memory>
#include <mutex>
#include <vector>

#include "gnss_signal.h"
#include "gnssparser.h"
#include "hemisphere.h"
#include "navigation.h"
#include "novatel.h"
#include "rtcm3.h"
#include "record_behind.h"
#include "rinexxxx_observer.h"
#include "sbf.h"
#include "ublox.h"
#include "write_behind.h"

namespace compression {
class BodyStream;
}

class Rinexxxx : public QObject
{
    Q_OBJECT

public:
    static const QList<QByteArray> MARKER_TYPE;
    // `value` as header text of at most `width` printable ASCII characters.
    static QByteArray headerText(const QByteArray &value, int width);
    static constexpr double SPARE = 1e300;
    static const char *const LIB_VERSION;

    // Kinds of lock time report (Obs::lockKind).
    enum LockKind : uint8_t {
        LOCK_KIND_NONE = 0,
        LOCK_KIND_MSM = 1,          // RTCM 3 MSM 4-bit indicator
        LOCK_KIND_MSM_EXTENDED = 2, // RTCM 3 MSM 10-bit indicator
        LOCK_KIND_RTCM3_LEGACY = 3, // RTCM 3 messages 1001 to 1012
        LOCK_KIND_RANGE = 4,
        LOCK_KIND_RANGECMP = 5,
        LOCK_KIND_RANGECMP2 = 6,
        LOCK_KIND_HEMISPHERE = 7,
        LOCK_KIND_UBLOX_RAWX = 8,   // milliseconds up to 64.5 s
        LOCK_KIND_UBLOX_RAW = 9,    // no lock time, a loss of lock indicator
        LOCK_KIND_SBF = 10,         // Septentrio MeasEpoch, whole seconds
    };

    // One observation of one signal of one satellite.
    struct Obs {
        const gnss_signal_t *signal = nullptr; // null: no observation
        int prn = 0;
        int glonassChannel = 0;
        double pseudorange = 0;
        double phase = 0; // cycles, RINEX sign
        float doppler = 0;
        float cnr = 0;
        // Lock time as the source reports it: at least lockTime seconds,
        // below lockTime + lockResolution (a negative resolution: no upper
        // bound, the report is at its top value).
        float lockTime = 0;
        float lockResolution = -1;
        // Which report the lock time comes from (the message kind and its
        // indicator table; 0 for none). Phases of different kinds of report
        // are not continuous: RANGECMP sends the phase modulo 2^23 cycles
        // where RANGE sends it whole, and an RTCM stream restarted with
        // another message type realigns its phase ranges.
        uint8_t lockKind = 0;
        bool lockOk = false;      // false: lock lost in this epoch (LLI bit 0)
        // A loss of lock that no written phase has carried yet: an earlier
        // epoch with the slip was not written (rate limit, PPK gate, lost
        // last message) or wrote no phase (RINEX 2). Sets LLI bit 0 too.
        bool lockPending = false;
        bool halfCycleOk = false; // false sets LLI bit 1
        // The source has already aligned the phase to its band's reference
        // signal (RTCM 3 MSM, Septentrio SBF, legacy RTCM 3 of a station whose
        // quarter cycle indicator says so): the RINEX 3 shift is listed in
        // the header as applied, but not added to the value a second time.
        bool phaseAligned = false;
        bool pseudorangeValid = false;
        bool phaseValid = false;
        bool dopplerValid = false;

        Obs() = default;
        // Each observation is built with the header of its message, which
        // gives its time (and for MSM the kind of lock time indicator).
        Obs(Rinexxxx *writer, const rtcm3_msm_cell_t &cell, const rtcm3_msm_header_t &header);
        Obs(Rinexxxx *writer, const novatel_range_obs_t &entry, const novatel_header_t &header);
        Obs(Rinexxxx *writer, const hemisphere_bin16_obs_obs_t &entry, const hemisphere_bin16_obs_t &packet);
        Obs(Rinexxxx *writer, const sbf_meas_obs_t &entry, const sbf_meas_epoch_t &epoch);
        // One signal of a legacy RTCM 3 observation (1002, 1004, 1010, 1012)
        // at `msOfWeek` (GLONASS: of the UTC day, as the messages give no day).
        // `aligned`: the station says the phases of one frequency are in phase.
        Obs(Rinexxxx *writer, const rtcm3_legacy_obs_t &satellite, const rtcm3_legacy_signal_t &sig, int msOfWeek,
            bool aligned);
        // u-blox RXM-RAWX and RXM-RAW measurements, at the epoch's GPS week
        // (0 unknown) and ms of week.
        Obs(Rinexxxx *writer, const ublox_rawx_meas_t &meas, int week, int msOfWeek);
        Obs(Rinexxxx *writer, const ublox_raw_meas_t &meas, int week, int msOfWeek);
        void clear() { *this = Obs(); }
        bool isValid() const { return signal != nullptr; }
        // Loss-of-lock detection against the writer's lock-time table, for
        // an observation at `msOfWeek` (ms of week on its source's own time
        // scale; only differences between epochs of one signal are used).
        // `periodMs` is where that scale wraps: a day for GLONASS times sent
        // without their day of week. A source that dates its epochs with
        // the full GPS `week` gives it (0 where it has none): two reports
        // that both carry one are compared unfolded, so that a gap of whole
        // weeks is not taken for the same epoch.
        void updateLocktime(Rinexxxx *writer, int msOfWeek, int periodMs = 604800000, int week = 0);
        // A slip the lock time does not show (a receiver's own indicator):
        // LLI bit 0 now, the lock-time table still following the signal.
        void markSlip(Rinexxxx *writer);
        // LLI bit 0 of the phase.
        bool lockLost() const { return !lockOk || lockPending; }
        // (system << 16) + (prn << 8) + signal index.
        int lockKey() const;
    };

    // One output file, under its temporary name until the writer closes.
    class File
    {
    public:
        File(const QString &path, char subfix, const QByteArray &header);
        ~File();
        bool exist() const;
        bool isOpen() const { return file.isOpen(); }
        // Opens for writing with truncation; false when already open or unnamed.
        bool open();
        // Opens only when no file of that name exists yet (never truncates
        // another run's output).
        bool openNew();
        // lines - 1 blank "COMMENT" lines and "END OF HEADER", 82 bytes each.
        qint64 writeHeader(int lines);
        // Writes and remembers a failure; returns the bytes written (0 on failure).
        qint64 write(const char *data, qint64 length);
        qint64 write(const QByteArray &data) { return write(data.constData(), data.size()); }
        bool failed() const { return writeFailed || (behind && behind->failed()); }
        // The records from here on are written by a thread of their own.
        void writeBehind();
        // Every byte written is in the file, which may be used directly
        // again; false when a write failed.
        bool drain();
        // drain() and the file's own flush: empty, or why not.
        QString settle();
        // Where the next byte goes (the file's size while records are added).
        qint64 pos() const { return behind ? behind->end() : file.pos(); }
        // The file ends at `at` (before the end), the next byte goes there.
        bool cutTo(qint64 at);
        // The bytes before this offset are in the file for another reader;
        // -1 when they cannot be made so.
        qint64 readableEnd();
        // Bytes of records (epochs, navigation records, raw frames, events)
        // written after the placeholder header; 0 while the file holds no record.
        qint64 recordBytes() const { return records; }
        // Why the last write failed: the system's reason where there is one
        // (a buffered write cut short leaves the file only "Unknown error").
        QString writeError() const;
        char subfix() const { return letter; }
        QString path() const { return file.fileName(); }
        QString name() const;
        const QByteArray &headerText() const { return header; }
        QFile &qfile()
        {
            drain();
            return file;
        }

    private:
        char letter;
        QByteArray header;
        QFile file;
        bool writeFailed = false;
        qint64 records = 0;
        int writeErrno = 0;
        // Where the records start (after the placeholder header).
        qint64 bodyStart = 0;
        // The records compressed while they are written (observation file),
        // the type counts they were compressed with, how often a change of
        // those counts made the compression start again, and after close the
        // bytes of records it took (-1: none, compress the finished file).
        std::unique_ptr<compression::BodyStream> stream;
        QMap<char, int> streamTypes;
        int streamRestarts = 0;
        qint64 streamedBytes = -1;
        // After `file`: destroyed first, it hands the file what it still holds.
        std::unique_ptr<WriteBehind> behind;
        friend class Rinexxxx;
    };

    // The epoch being collected: system letter -> satellite -> observation
    // code -> observation, with the epoch's GPS time.
    struct Range {
        Rinexxxx *owner = nullptr;
        qint64 epochMs = 0;
        int week = 0;
        int ms = 0;
        // The epoch's observations per system (by index of the system
        // table), in arrival order; the writers sort each list when they
        // write. Collecting an epoch of a few hundred observations allocates
        // nothing once the vectors have grown (a map of small nodes, built
        // and torn down every epoch, was most of the conversion time).
        std::vector<Obs> flatObs[GNSS_SYSTEM_AMOUNT];
        // (system, satellite, signal index) -> position in flatObs + 1, for
        // the replacement of an observation with the same keys.
        std::vector<int16_t> flatSlot;

        void clear();
        // Ignores an invalid observation; replaces one with the same keys.
        void appendObs(const Obs &o);
        // Appends every observation held to `out`.
        void collect(std::vector<Obs> &out) const;
        // The observation held with the same keys, or null.
        const Obs *find(const Obs &o) const;
        // No observation collected.
        bool isEmpty() const;
        // Positions in `v` in RINEX order: by satellite, then by code text.
        static void sortPositions(const std::vector<Obs> &v, std::vector<int> &order);
        // Writes the epoch with the owner's record format.
        qint64 writeToFile() { return owner->writeRange(); }
    };

    explicit Rinexxxx(QObject *parent = nullptr);
    ~Rinexxxx() override;

    // Virtual operations of the two writers.
    virtual bool setVersion(const QString &version);
    virtual bool setVersion(int version);
    virtual qint64 open(qint64 startMs);
    virtual qint64 inputLine(const uint8_t *data, int length);
    virtual qint64 inputRtcm3(const uint8_t *data, int length);
    virtual qint64 inputNovatel(const uint8_t *data, int length);
    virtual qint64 inputHemisphere(const uint8_t *data, int length);
    // Septentrio SBF blocks; both writers take them the same way.
    virtual qint64 inputSeptentrio(const uint8_t *data, int length);
    virtual qint64 inputUblox(const uint8_t *data, int length) { return readUblox(data, length); }
    virtual bool updateOHeader(QFile &file);
    virtual bool updateNHeader(QFile &file, const QByteArray &header);

    // Setters: false (and nothing changed) while open or for a value out of range.
    bool setProgramRunby(const QByteArray &program, const QByteArray &runBy);
    bool setObserverAgency(const QByteArray &observer, const QByteArray &agency);
    // Who is told of every record as it is written (not owned; null: none).
    // Set before open; the RINEX 3 writer tells of its epochs.
    void setObserver(RinexObserver *o) { recordObserver = o; }
    bool setReceiver(const QByteArray &number, const QByteArray &type, const QByteArray &version);
    bool setAntenna(const QByteArray &number, const QByteArray &type);
    bool setMarker(const QByteArray &name, const QByteArray &number, const QByteArray &type);
    bool setAntennaHEN(double h, double e, double n);
    bool setAntennaCenter(double l1, double l2);
    bool setPhaseCenter(double latitude, double longitude, double height);
    bool setBoard(int board);
    bool setMode(int mode);
    bool setFileName(const QString &path, int namingMode);
    bool setObsIntervalMin(int ms);
    bool setMaskSystem(const QSet<char> &mask);
    bool setMaskPrn(const QSet<QByteArray> &mask);
    bool setMaskSignal(const QSet<QByteArray> &mask);
    bool setCommentList(const QList<QByteArray> &comments);
    // Compression of the finished files: a sum of COMPRESS_GZIP (every
    // RINEX file) and COMPRESS_HATANAKA (the observation file); 0 for none.
    enum { COMPRESS_GZIP = 1, COMPRESS_HATANAKA = 2 };
    bool setCompression(int how);
    // The observation records handed to the system, and compressed, on
    // threads of their own while the conversion goes on (on by default; set
    // before open). Off, the caller's thread writes them and the finished
    // file is compressed at close. The files are the same.
    void setOutputThreads(bool on) { outputThreads = on; }
    // Hands the records of the observation file that can no longer change
    // to that thread; callers feeding the writer call it now and then (after
    // each piece of input), at a point where no frame is half handled.
    void streamOutput();

    // These ignore the open state.
    bool setGlonassChannel(const glonass_channel_t &table);
    bool setRtcm3Epoch(qint64 msSince1970);
    bool setRtcm3Epoch(int week, int ms);
    bool updateRtcm3Epoch(int week, int ms);
    void setPrescan(bool on);
    // The current date, which bounds a GPS week known only modulo 1024 when
    // the input carries no full week: ms since 1970, 0 for the computer's
    // clock (the default).
    void setClock(qint64 msSince1970) { clockMs = msSince1970; }
    bool isOpen() const { return opened; }
    // Every record written is in its file; a failure (of a write made
    // beside the conversion, too) is among outputErrors() afterwards.
    void flush();
    // Every observation record decided is in the file (not yet flushed to
    // the system), a failure among outputErrors(): the files may be looked
    // at from this thread again.
    void drainRecords();
    // The input has ended: an epoch still being collected (an RTCM 3 epoch
    // whose last message never came) is written. Called before the final
    // names are taken, since the last epoch is part of the long names.
    qint64 finishInput();
    void close();

    // Written by the concrete writers: the collected epoch and the
    // navigation records (each returns the bytes written, 0 when skipped).
    virtual qint64 writeRange();
    virtual qint64 writeNGps(const gps_nav_t &nav);
    virtual qint64 writeNQzs(const gps_nav_t &nav);
    virtual qint64 writeNBds(const bd2_nav_t &nav);
    virtual qint64 writeNGalInav(const galileo_inav_t &nav);
    virtual qint64 writeNGalFnav(const galileo_fnav_t &nav);
    virtual qint64 writeNGlo(const glonass_nav_t &nav);
    virtual qint64 writeNTss(const uint8_t *data, int length);

    // Framer hookup.
    void gnssparserInit(gnssparser_s *parser, uint8_t *buffer, int size);
    static void parserLine(const uint8_t *data, uint32_t length, void *user);
    static void parserRtcm3(const uint8_t *data, uint32_t length, void *user);
    static void parserNovatel(const uint8_t *data, uint32_t length, void *user);
    static void parserHemisphere(const uint8_t *data, uint32_t length, void *user);
    static void parserSeptentrio(const uint8_t *data, uint32_t length, void *user);
    static void parserUblox(const uint8_t *data, uint32_t length, void *user);

    bool checkRange(const gnss_signal_t *signal, int prn) const;

    // The median of the single-point solutions of this run (the antenna's
    // phase centre, ECEF metres), with their RMS spread and count; false
    // while there is none (a log with a station position computes none).
    bool computedPosition(double xyz[3], double *spread = nullptr, int *solutions = nullptr) const;

    // Output problems seen so far (a write, flush, close or rename of an
    // output file that failed), each naming its file; empty when all went well.
    const QStringList &outputErrors() const { return errors; }
    // The files that the last close() kept, in the order it handled them:
    // under their final names, or under their temporary ones where the move
    // to the final name failed (an output error tells of that).
    const QStringList &writtenFiles() const { return finalPaths; }

    // Formatting.
    static int printExp(char *destination, int width, int precision, double value);
    static int sprintObs(char *destination, double value, char lli, char ssi);
    static void printMs(char *destination, qint64 ms);
    static struct tm *getTimeFromGpsWeekMs(int week, int ms);
    static void setXyzByBlh(double xyz[3], double latitude, double longitude, double height);
    static double galileoSisaIndexToMeter(uint8_t index);
    // "Data sources" of a Galileo I/NAV record, the same in RINEX 2.11 and 3:
    // the signal that carried it (bit 0 E1-B, bit 2 E5b-I) with the E5b,E1
    // clock (bit 9). `source` holds E1-B in bit 0 and E5b-I in bit 1; a
    // record that does not tell (RTCM 1046, GALEPHEMERIS) counts as both.
    static int galileoInavSources(uint8_t source);

    // Interval to report: the smallest spacing seen, but never shorter than
    // the rate limit (the first spacing after a rate-limited start is short).
    int reportedIntervalMs() const;
    // The "INTERVAL" header line; none for an interval of a million seconds
    // or more, which F10.3 cannot hold (printed, it would push the label out
    // of its column and the line would not be read as INTERVAL at all).
    void appendIntervalLine(QByteArray &text) const;
    // Final names that close() gives; exposed for the task runner's messages.
    QString observationFinalName() const;
    QString navigationFinalName() const;
    // The final name close() would give each open file, by letter, so that a
    // caller can check them before anything on disk is replaced.
    QMap<char, QString> finalNames() const;
    // Drops an output before close(): the file is closed and removed from
    // disk under its temporary name, and close() no longer handles it.
    void discard(char letter);

protected:
    // The input paths the writers share.
    qint64 readLine(const uint8_t *data, int length);
    qint64 readRtcm3(const uint8_t *data, int length);
    qint64 readNovatel(const uint8_t *data, int length);
    qint64 readHemisphere(const uint8_t *data, int length);
    qint64 readSeptentrio(const uint8_t *data, int length);
    qint64 sbfMeasEpoch(const uint8_t *data, int length);
    // Header fields that the user left empty, from an SBF ReceiverSetup.
    void learnReceiverSetup(const sbf_receiver_setup_t &setup);
    qint64 readUblox(const uint8_t *data, int length);
    qint64 ubloxEpoch(const uint8_t *data, int length, uint32_t message);
    qint64 rtcm3Msm(const uint8_t *data, int length, int message);
    qint64 finishMsmEpoch();
    // The legacy GPS and GLONASS observation messages.
    qint64 rtcm3Legacy(const uint8_t *data, int length);
    // GLONASS frequency channels from a legacy GLONASS message.
    void learnLegacyGlonassChannels(const rtcm3_legacy_obs_t *sats, int count);
    // Adds the legacy observations of the epoch that no MSM observation
    // of the same signal stands for.
    void mergeLegacyObservations();
    // A message of the RTCM 3 epoch at `tow` arrives (GLONASS messages on
    // their own scale): a message for another epoch time ends the epoch being
    // collected, and a completed epoch kept for a "$PPK" sample line gives way.
    // `station`: the message's reference station id.
    qint64 beginRtcm3Message(bool glonass, int tow, int station);
    // Epoch time of a legacy GLONASS message, which carries only the time
    // of the GLONASS day: on the scale of the GLONASS MSM times (UTC time of
    // week), as an MSM with an unknown day of week gives it.
    static int glonassLegacyEpochTow(uint32_t msOfGlonassDay);
    qint64 novatelRangeEpoch(const uint8_t *data, int length, int message);
    qint64 hemisphereEpoch(const uint8_t *data, int length);
    // A log of another format comes while an RTCM 3 epoch is being
    // collected: that epoch is written as it stands (a receiver logging one
    // epoch in two formats), not dropped; returns the bytes written.
    qint64 endRtcm3Epoch();
    // A "$PPK" MARKER-SAMPLE line: the site, the sample number and the
    // epoch time that it names.
    struct PpkSample {
        bool pending = false;
        int site[2] = {0, 0};
        int sample = 0;
        int week = 0;
        long long towMs = 0;
    };
    // Writes the collected epoch when the sample names it and follows the
    // last one; any other sample ends the site.
    qint64 ppkTagEpoch(const PpkSample &p);
    // The epoch gate, then the epoch record.
    qint64 gatedWrite();
    // The epoch record of `range`, at most once per epoch time: an epoch
    // older than the last one written is dropped and counted; one at the
    // same time fills what the written record lacks, which is then written
    // anew in its place.
    qint64 writeEpoch();
    void learnLeapSecondsFromMsm();
    // The RTCM 3 epoch about to be written comes from other reference
    // stations than the last dated epoch: every lock starts afresh.
    void checkStationChange();
    void clearStatus();
    // Week tracking for a non-GLONASS RTCM 3 MSM epoch: updates rtcm3Week
    // and rtcm3Ms from the message's time of week. Returns false while the
    // week is not known (no "Time Start", no ephemeris yet).
    bool trackRtcm3Week(int tow);
    // Learns the RTCM 3 week from an ephemeris: `full` for a week sent in
    // full (Galileo, BDS), otherwise a GPS or QZSS week already resolved.
    // `scaleBehindMs`: how far the ephemeris' time scale runs behind GPS
    // time (BDS 14 s), whose week therefore ends that much later;
    // `sentBeforeToc`: a GPS ephemeris, broadcast in the hours before its toc;
    // `msIsClock`: `ms` is the receiver's own time of week that the week goes
    // with (a time message), not a toc, and wins over the last MSM epoch's.
    void learnRtcm3Week(int week, int ms, bool full, int scaleBehindMs = 0, bool sentBeforeToc = false,
                        bool msIsClock = false);
    // The GPS week of an epoch at `tow` (GPS ms of week) during which an
    // ephemeris of transmission week `week` and toc `tocMs` was received.
    static int weekOfReception(int week, int tocMs, int tow, int scaleBehindMs, bool sentBeforeToc);
    // An RTCM 3 MSM epoch of a system other than GLONASS was seen at `tow`:
    // a week learnt from an ephemeris before any epoch pairs with it.
    void noteMsmTow(int tow);
    // A GLONASS ephemeris with its date gives the day of GLONASS epochs.
    void noteGlonassEphemeris(const glonass_nav_t &nav);
    // Dates an epoch given in GLONASS time, the milliseconds of the Moscow
    // day and the day of week (0 Sunday to 6, 7 unknown), on the GPS scale:
    // the day comes from the conversion's own time ("Time Start", another
    // system's epochs or ephemerides) or else from a dated GLONASS
    // ephemeris; UTC and GPS time differ by the leap seconds. False while no
    // day is known.
    bool glonassEpochToGps(int msOfMoscowDay, int dayOfWeek, int *week, int *msOfWeek) const;
    // GPS - UTC in seconds at a GPS time (ms since 1970), from the leap
    // seconds announced so far; for a log that never says.
    static int leapSecondsAt(qint64 gpsMs);
    // The GPS week nearest the conversion's own time among those equal to
    // `week` modulo 1024; without a full week from the input or "Time Start",
    // the latest such week that has begun by the current date.
    int resolveGpsWeek(int week) const;
    // The current GPS week by the clock of setClock.
    int currentGpsWeek() const;
    // Ephemerides carry the week of their transmission, while toc and toe may
    // already lie in the next week (or, rarely, the last): the week that puts
    // toc within half a week of the transmission time, or of the conversion's
    // own time when the transmission time is not known. Weeks on the GPS count.
    // A week that is already toe's (`weekOfToe`) is kept.
    int alignNavWeek(int week, uint32_t toc, int32_t tow, bool weekOfToe) const;
    // toc and toe can lie on either side of a week's end (toc 0 of the next
    // week, toe at the end of this one): from the week alignNavWeek gave,
    // the week of toc (the record's epoch), returned, and of toe (the week
    // the record carries, and its transmission time's), in `toeWeek`.
    static int navTocWeek(int alignedWeek, uint32_t toc, uint32_t toe, bool weekOfToe, int *toeWeek);
    // Both steps for a decoded ephemeris `nav` whose week, on the GPS count,
    // is `week`.
    template <class Nav> int navTocWeek(int week, const Nav &nav, int *toeWeek) const
    {
        return navTocWeek(alignNavWeek(week, nav.toc, nav.tow, nav.week_of_toe), nav.toc, nav.toe, nav.week_of_toe,
                          toeWeek);
    }
    // GPS curve-fit interval in hours from the ephemeris' fit interval flag and
    // its IODC.
    static double gpsFitIntervalHours(int fitFlag, int iodc);
    // Transmission time of an ephemeris that did not say when it was sent.
    static constexpr double UNKNOWN_TRANSMISSION_TIME = 0.9999e9;
    // Navigation records: the satellite prints as two digits and is not
    // masked (its name "%c%02d" goes to `name`, 8 bytes) ...
    bool navSatelliteAccepted(char letter, int satellite, char *name) const;
    // ... and the record is not a repeated broadcast of the last one written
    // for that satellite (`kind` indexes lastNavTime).
    bool navRecordWanted(char letter, int satellite, int kind, qint64 time, char *name) const;
    // A GLONASS record sent without its day is dated from the conversion's
    // own time; false while that time is not known (the next copy of the
    // ephemeris will be written).
    bool dateGlonassRecord(glonass_nav_t *nav) const;
    // The epoch gate: PPK mode and the rate limit. True when the epoch at
    // msSince1970 is to be written.
    bool epochGate(qint64 msSince1970);
    // How early before a grid point of the rate limit an epoch may be dated
    // and still stand for it. Free-running receiver clocks put epochs up to
    // about 10 ms before the whole second (u-blox logs at x.992 s and
    // x.991 s); twice that leaves room without reaching data of 50 Hz.
    static constexpr qint64 kEarlyEpochMaxMs = 20;
    // Creates the file set under unique temporary names and writes the
    // placeholder headers; returns the header bytes, 0 on failure.
    qint64 openFileSet(qint64 startMs, const char letters[7], const QList<QPair<char, QByteArray>> &set,
                       int observationLines, int otherLines);
    // The number of observation types of each system as the observation
    // header will list them (RINEX 2: one entry); empty when unknown, which
    // leaves the compression of the records to close.
    virtual QMap<char, int> observationTypeCounts() const;
    // Quarter cycles that the observation writer adds to a phase of
    // `signal` not sent aligned (none but in RINEX 3 with the shift on).
    virtual int phaseShiftOf(const gnss_signal_t *signal) const
    {
        (void)signal;
        return 0;
    }
    // Quarter cycles between a phase of `signal` sent aligned to its band and
    // one sent as tracked, as this writer writes them (none in RINEX 2, which
    // writes phases as they come).
    virtual int phaseAlignmentOf(const gnss_signal_t *signal) const
    {
        (void)signal;
        return 0;
    }
    // Ends the compression of the observation records at close, before the
    // header is rewritten; a stream that cannot be used is dropped.
    void endStream(File *f);
    // Writes to an output file, recording failures.
    qint64 writeTo(File *file, const QByteArray &data);
    // The letter of the output file `file` belongs to; 0 when none.
    char letterOf(const QFile &file) const;
    RinexObserver *recordObserver = nullptr;
    // Tells the observer of the epoch record (flag 0) just written, whose
    // satellites and values `seen` already holds.
    static void tellEpoch(RinexObserver *watch, RinexObserver::Epoch &seen, int year, int month, int day, int hour,
                          int minute, int millisecond);
    void noteError(const QString &text);
    // finalNames() before compression.
    QMap<char, QString> plainFinalNames() const;
    // How a file of `letter` is compressed: the raw file never, navigation
    // files only with gzip.
    int compressionOf(char letter) const;
    // The final name of a file of `letter` whose uncompressed final name is
    // `plain`: ".crx" or "D" for Compact RINEX, ".gz" appended for gzip.
    QString compressedName(char letter, const QString &plain) const;
    // Gives a closed file its final name `target`, compressed as asked
    // (`plain`: its uncompressed final name).
    void finishFile(File *f, const QString &plain, const QString &target);
    // The epoch line of a PPK event record in the version's layout.
    QByteArray eventLine(int flag, int records) const;
    qint64 ppkWriteStartMoving();
    qint64 ppkWriteNewSite(const QByteArray &name, const QByteArray &number, const double xyz[3], double height);
    // The observation file's output. Its records are decided here and
    // printed and written by handleRecord, on a thread of its own while the
    // conversion goes on (output threads on, no observer) or at once.
    // recordSlot() is the command to fill; submitRecord hands it on and
    // returns the bytes written, or 1 for a record handed to the thread.
    RecordCommand &recordSlot() { return recordBehind ? recordBehind->next() : recordNow; }
    // The command of a new, empty epoch record dated `cal` (calendar time on
    // the GPS scale) and `msOfWeek`.
    RecordCommand &newRecord(const struct tm &cal, int msOfWeek, bool rinex2);
    qint64 submitRecord(RecordCommand &command);
    void handleRecord(RecordCommand &command);
    // Appends event text to the observation file after the records so far.
    qint64 writeObservationText(const QByteArray &text);
    // The records of the observation file that can no longer change go on
    // to the compressor thread (`types`: type counts per system they use).
    void streamRecords(File *f, const QMap<char, int> &types);
    // Tells the observer of an epoch record once it is printed.
    virtual void tellRecord(const EpochRecord &record) { (void)record; }
    // Failures noted on the record thread, until the writer's thread takes them.
    void takeRecordErrors();
    QString closeBasePath() const;
    // Header lines are 80 characters and CR LF; a field that overflows its
    // width is cut rather than shifting the label.
    static void appendHeaderLine(QByteArray &text, const char *line);
    // "APPROX POSITION XYZ": the user's phase centre, else the position the
    // input gave, less the antenna height, else the position computed from
    // the log's pseudoranges (true then: the header says so); 0, 0, 0 when
    // none is known.
    bool approxPositionXyz(double xyz[3]) const;
    // Single-point solutions for a log without a station position
    // (rinexxxx_position.cpp): broadcast records and written epochs feed them.
    struct PositionSolver;
    std::shared_ptr<PositionSolver> positionSolver;
    PositionSolver *positionSolverForInput();
    void resetPositionSolver();
    void notePositionNavigation(const gps_nav_t &nav, char system);
    void notePositionNavigation(const bd2_nav_t &nav);
    void notePositionNavigation(const galileo_inav_t &nav);
    void notePositionNavigation(const galileo_fnav_t &nav);
    void notePositionNavigation(const glonass_nav_t &nav);
    void notePositionEpoch(const std::vector<Obs> &obs, int week, int msOfWeek);
    // computedPosition less the antenna height: the marker's position.
    bool computedMarkerPosition(double xyz[3]) const;
    // One broadcast-orbit line: `indent` blanks, four D-format fields of 19
    // (blank for SPARE), CR LF.
    qint64 writeOrbitLine(File *file, int indent, double a, double b, double c, double d);
    QString longNameStem(QString *sampling) const;

public:
    // Configuration.
    int version = 0;
    int versionMinor = 0;
    QByteArray programName, runBy;
    QByteArray markerName, markerNumber, markerType;
    QByteArray observer, agency;
    QByteArray receiverNumber, receiverType, receiverVersion;
    QByteArray antennaNumber, antennaType;
    double antennaHen[3] = {0, 0, 0};
    double antennaCenter[2] = {SPARE, SPARE};
    double phaseCenterBlh[3] = {0, 0, 0};
    // A position given by the user, the equator's latitude 0 too.
    bool phaseCenterGiven = false;
    int board = 0;
    int mode = 1;
    bool prescan = false;
    int obsIntervalMin = 0;
    int fileNameMode = 3;
    int compression = 0;
    bool outputThreads = true;
    QString fileName;
    char fileLetters[7] = {0, 0, 0, 0, 0, 0, 0};
    QSet<char> maskSystem;
    QSet<QByteArray> maskPrn;
    QSet<QByteArray> maskSignal;
    QList<QByteArray> commentLines;
    bool opened = false;
    QMap<char, File *> files;

    // Per-run state, reset by clearStatus.
    qint64 firstEpochMs = 0, lastEpochMs = 0;
    // Earliest navigation record written: it dates the file names of a log
    // that holds ephemerides but no observation epoch. GLONASS records count
    // only without others, since their year rests on the four-year interval
    // number, which some receivers send wrong.
    qint64 firstNavigationMs = 0, firstGlonassNavigationMs = 0;
    void noteNavigationEpoch(const struct tm *t, bool glonass = false);
    qint64 nameEpochMs() const
    {
        return firstEpochMs > 0 ? firstEpochMs : firstNavigationMs > 0 ? firstNavigationMs : firstGlonassNavigationMs;
    }
    int lastWeek = 0, lastMs = 0;
    int intervalMs = 0;
    int leapSeconds = 99;
    bool ppkInSite = false;
    int ppkSiteId[2] = {0, 0};
    int ppkSampleCount = 0;
    qint64 lastIntervalBucket = 0;
    // Time of the last epoch that reached the epoch gate, and the smallest
    // positive spacing between such epochs: the data's own interval.
    qint64 lastGateEpochMs = 0;
    qint64 gateSpacingMs = 0;
    double approxBlh[3] = {0, 0, 0};
    // Per signal (lock key): the lock time last reported and what it meant.
    struct LockState {
        qint64 time = 0;    // of the epoch of that report: ms on its scale,
                            // or ms since the GPS epoch where dated whole
        bool dated = false; // `time` is since the GPS epoch
        qint64 gapMs = 0;   // from the epoch before, 0 at the first phase
        float lockTime = 0; // its least lock time, s
        float resolution = -1;
        uint8_t kind = 0;   // of the first report of that epoch
        bool slip = false;  // lock lost at that epoch (shared by every
                            // message of the epoch that repeats the signal)
        bool pending = false; // a loss of lock not yet carried by a written phase
    };
    // Every observation looks its signal up here, and every written phase
    // again: a flat table indexed by the key's system, satellite and signal
    // (with a hash for keys outside them) costs a few loads where a hash
    // lookup cost a tenth of the decoding.
    class LockTable
    {
    public:
        // The state of `key`, or null.
        LockState *find(int key)
        {
            const int i = slotOf(key);
            if (i < 0) {
                auto it = others.find(key);
                return it == others.end() ? nullptr : &it.value();
            }
            const uint16_t at = slots.empty() ? 0 : slots[(size_t)i];
            if (at == 0 || !states[at - 1u].present) return nullptr;
            return &states[at - 1u].state;
        }
        // `key` with `state`, replacing any it had.
        LockState &insert(int key, const LockState &state);
        void remove(int key);
        void clear();
        // Removes every key for which `keep` is false.
        template <typename Keep> void retain(Keep keep)
        {
            for (Entry &e : states)
                if (e.present && !keep(e.key)) e.present = false;
            for (auto it = others.begin(); it != others.end();) {
                if (keep(it.key()))
                    ++it;
                else
                    it = others.erase(it);
            }
        }

    private:
        // Keys as Obs::lockKey makes them: systems 0..7, satellites 0..127
        // and signal indices 0..31 have a slot; -1 for any other.
        static int slotOf(int key)
        {
            if (key < 0) return -1;
            const int system = key >> 16, satellite = (key >> 8) & 0xFF, signal = key & 0xFF;
            if (system >= 8 || satellite >= 128 || signal >= 32) return -1;
            return (system * 128 + satellite) * 32 + signal;
        }
        struct Entry {
            int key = 0;
            bool present = false;
            LockState state;
        };
        // Slot -> position in `states` + 1 (0: none yet); a removed key
        // keeps its position for its return.
        std::vector<uint16_t> slots;
        std::vector<Entry> states;
        QHash<int, LockState> others;
    };
    LockTable lockTimes;
    // A phase of `o` reached the file with LLI bit 0 when it was due.
    void phaseWritten(const Obs &o);
    QVector<rtcm3_msm_cell_t> msmCells;
    // Times of the MSM epoch being collected (GLONASS ones on the UTC scale);
    // -1 while no message of that kind arrived: 0 is a time like any other,
    // the start of a GPS week and, on the UTC scale, of every day.
    int msmEpochMs = -1, msmGlonassEpochMs = -1;
    // The RTCM 3 epoch in `range` is complete (kept for a sample line).
    bool rtcm3EpochDone = false;
    // A sample line that arrived while an RTCM 3 epoch was being collected.
    PpkSample ppkPending;
    // Legacy observation records of the epoch being collected, with the
    // time of their message.
    struct LegacyPending {
        rtcm3_legacy_obs_t obs;
        int msOfWeek;
        int station;
    };
    std::vector<LegacyPending> legacyPending;
    // The quarter cycle indicator of each reference station's 1005 or 1006,
    // by station id: 1 says that its legacy observations already have the
    // signals of one frequency in phase.
    QHash<int, int> rtcm3QuarterCycle;
    // Whether the last legacy phase of each signal (lock key) came aligned:
    // an indicator learnt only after the first epochs changes it.
    QHash<int, bool> legacyAligned;
    int packetCount = 0;
    // A Hemisphere epoch was begun by its first page and is still missing
    // some; epochs given up so are counted, as nothing of them is written.
    bool hemisphereEpochOpen = false;
    int incompleteEpochs = 0;
    QMap<int, qint64> lastNavTime[6];
    QStringList errors;
    QStringList finalPaths;
    // Files of the last close whose records were compressed beside the
    // conversion (the others, if compressed, were compressed at close).
    int streamedFiles = 0;
    // Epochs not written because their GPS week was not known, or (counted
    // in both) because they held GLONASS messages alone with no day.
    int skippedEpochs = 0;
    int skippedGlonassEpochs = 0;
    // Epochs dropped because they were older than the last one written.
    int droppedEpochs = 0;
    // Complete epochs that the PPK mode kept out (no sample line for them).
    int ppkHeldEpochs = 0;
    // Observations of signals that the output version has no observation
    // type for, per signal: they never show in the file, so they are counted
    // for the task to name.
    mutable QMap<const gnss_signal_t *, int> typelessSignals;
    void noteTypeless(const gnss_signal_t *signal) const { typelessSignals[signal]++; }
    // Observations of receiver signal numbers that name no signal of the
    // table, per source and number ("RTCM 3 1097 signal id 12"): dropped,
    // but named, so that a signal the converter lacks is not lost unseen.
    QMap<QString, int> unknownSignals;
    void noteUnknown(const QString &what) { unknownSignals[what]++; }
    // Observations that the system, satellite and signal masks left out: a
    // log whose data all fell to the masks is not a log without data.
    mutable qint64 maskedObservations = 0;
    // With "Time Start" given: the weeks from the epochs it dated to the
    // first ephemeris of the log sent two or more weeks away from them (the
    // two disagree); 0 while none was.
    int timeStartDisagreement() const;
    // An epoch record at `t` (ms since 1970; GPS week and ms of week) is
    // written: the first and last epoch times and the shortest spacing
    // between epochs, the header's interval.
    void noteEpochWritten(qint64 t, int week, int ms);
    // Without "Time Start": weeks from the written epochs to the first
    // ephemeris sent two or more weeks away from them (0: none), which
    // dated them from a week learnt elsewhere in the input.
    int ephemerisDisagreement() const { return ephemerisWeeksOff; }
    // RTCM 3 reference station ids of the observation messages, in the order
    // first heard, and how often the observations moved to another station
    // (a caster that switched receivers, logs of several stations joined).
    QList<int> rtcm3ObsStations;
    int rtcm3StationChanges = 0;
    // The last epoch record written: whether nothing was written after it
    // (so that it may still be rewritten) and its observations; and, on the
    // side that writes the records, its place in the observation file
    // (start -1: none that can be rewritten).
    bool lastWriteIsRecord = false;
    std::vector<Obs> lastRecordObs;
    qint64 lastRecordStart = -1, lastRecordEnd = 0;
    // An epoch of the time of the last record is merged into it: the record
    // being decided replaces that one.
    bool replacingRecord = false;
    // Where an epoch's observations come from: the input format and, for
    // RTCM 3, the first reference station id of the epoch.
    enum SourceFormat : uint8_t {
        SOURCE_NONE = 0,
        SOURCE_RTCM3,
        SOURCE_NOVATEL,
        SOURCE_HEMISPHERE,
        SOURCE_UBLOX,
        SOURCE_SBF,
    };
    struct EpochSource {
        uint8_t format = SOURCE_NONE;
        int station = 0;
        bool operator==(const EpochSource &o) const { return format == o.format && station == o.station; }
    };
    static QString sourceName(const EpochSource &s);
    // Of the epoch in `range`, and of the last epoch record written.
    EpochSource rangeSource, lastRecordSource;
    // Input formats of the written epoch records, in the order first
    // written, and how often consecutive records changed format (a rover's
    // own measurements and a base's corrections, or one receiver's output
    // in two formats at different times, alternating in one file).
    std::vector<EpochSource> writtenSources;
    int sourceChanges = 0;
    // Epochs at the time of the record just written whose observations
    // disagree with it (another receiver's: two stations, or a rover and
    // its base, at the same times), left out rather than merged into it;
    // the sources of the first such pair.
    int otherReceiverEpochs = 0;
    EpochSource otherReceiverKept, otherReceiverLeft;
    // RTCM 3 reference station positions (latitude, longitude, height) by
    // station id, kept until that station's observations are written, and
    // the stations whose observations were: a base's position is not that
    // of the rover whose log holds its corrections.
    struct StationPosition {
        double blh[3];
    };
    QHash<int, StationPosition> stationPositions;
    QSet<int> writtenStations;
    // The epoch in `range` was written (or merged into the last record).
    void noteSourceWritten();
    // The observations in `range` measure what the last record holds (the
    // same receiver's epoch logged twice), or there is nothing to compare.
    bool rangeAgreesWithLastRecord() const;
    // GPS week and ms of week of the latest observation epoch seen in the
    // input (written or not); week 0 while none.
    int epochWeek = 0, epochMsOfWeek = 0;
    // The time of week of the last MSM epoch of a system other than GLONASS
    // (-1 none yet), and whether rtcm3Ms still holds an ephemeris' toc that
    // waits for the first such epoch to replace it.
    int lastMsmTow = -1;
    // Station ids of the RTCM 3 observation messages of the epoch being
    // collected, and those of the last dated epoch with its time.
    std::vector<int> epochStations, lastEpochStations;
    // Ids that an epoch of the time of the last one added to
    // lastEpochStations: taken back when that epoch is left out as another
    // receiver's, so that its station taking the next time is a change.
    std::vector<int> sameTimeStations;
    qint64 lastStationsEpochMs = 0;
    bool rtcm3MsFromEphemeris = false;
    // That ephemeris' toc and kind (learnRtcm3Week), for the week of the epoch.
    int rtcm3EphemerisTocMs = 0, rtcm3EphemerisScaleBehindMs = 0;
    bool rtcm3EphemerisSentBeforeToc = false;
    // The GLONASS MSM header of the epoch being collected (its raw epoch
    // field), for an epoch of GLONASS messages only.
    bool msmGlonassSeen = false;
    // The receiver sends BDS MSM times on the GPS time scale.
    bool bdsMsmOnGpsTime = false;
    uint32_t msmGlonassEpochField = 0;
    // GPS time (ms since 1970) of the reference time of the latest GLONASS
    // ephemeris with a known date; 0 while none.
    qint64 glonassNavRefMs = 0;
    // How far a GLONASS record's own date may lie from the log's time (half a
    // year: a log may have gaps, a wrong four-year number is 4 years off).
    static constexpr qint64 kGlonassDateToleranceMs = 183LL * 86400000;
    int glonassNavRefVotes = 0; // records that agreed with glonassNavRefMs, less those that did not (capped)
    // A full GPS week known from something that carries one ("Time Start",
    // a Galileo or BDS ephemeris, a NovAtel or Hemisphere header, a written
    // epoch); 0 while none has been seen. GPS and QZSS weeks, sent modulo
    // 1024, are resolved against it.
    int fullWeek = 0;

    Range range;
    // Navigation header data learnt from the input (a block is present when
    // its record's message id, or for the Hemisphere block its leap seconds,
    // is not 0).
    novatel_ionutc_t gpsIonUtc;
    novatel_ionutc_t bdsIonUtc;
    novatel_iono_t bdsIono;
    hemisphere_bin94_inoutc_t hemisphereIonUtc;
    // u-blox: the navigation words collected per satellite (made with the
    // first navigation frame), and per signal (lock key) whether the last
    // phase had half a cycle subtracted.
    std::unique_ptr<ublox_nav_state_t> ubloxNav;
    // SBF raw navigation pages per satellite, and the systems whose decoded
    // navigation blocks the log carries (bit per GNSS_SYSTEM_*), whose raw
    // pages are then not needed.
    std::unique_ptr<sbf_raw_nav_t> sbfRawNav;
    uint32_t sbfDecodedNav = 0;
    QHash<int, bool> ubloxHalfCycle;

    // Kept across clearStatus and reopen.
    glonass_channel_t glonassChannels;
    int rtcm3Week = 0, rtcm3Ms = 0;
    // rtcm3Week came from a GPS or QZSS ephemeris alone: a week sent in full
    // by a Galileo or BDS ephemeris may still replace it.
    bool rtcm3WeekFromGps = false;
    // The pair still holds "Time Start": the start of the log, not a time
    // within it.
    bool rtcm3FromTimeStart = false;
    // "Time Start" dates the epochs (setRtcm3Epoch with a date); the log's
    // own weeks do not replace it.
    bool timeStartGiven = false;
    // What timeStartDisagreement tells: the first ephemeris week that
    // disagreed with a written epoch's, and that of the first ephemeris sent
    // before any epoch was written (0: none).
    int timeStartWeeksOff = 0;
    int ephemerisWeekBeforeEpochs = 0;
    // Without "Time Start": the first ephemeris week two or more weeks from
    // the written epochs' (0: none).
    int ephemerisWeeksOff = 0;
    // The current date for tests; 0 reads the computer's clock.
    qint64 clockMs = 0;

    // The record side's text and, without its thread, its one command.
    RecordText recordText;
    RecordCommand recordNow;
    std::mutex recordErrorsMutex;
    QStringList recordErrors;
    // Last: stopped before anything it uses is destroyed.
    std::unique_ptr<RecordBehind> recordBehind;
};

#endif
