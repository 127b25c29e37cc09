// Input paths shared by both writers: RTCM 3, NovAtel and Hemisphere frames
// become epochs and navigation records, text lines carry the "$PPK" markers.
// The writers differ only in how they write what is collected here.
#include <math.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "hemisphere.h"
#include "novatel.h"
#include "rinexxxx.h"
#include "util.h"

qint64 Rinexxxx::gatedWrite()
{
    // An epoch without a single observation (a receiver that tracks nothing
    // yet, or whose every observation the masks took) is no epoch record:
    // written, it would be an empty record, date the file's first
    // observation and take the rate limit's grid point from the epoch with
    // data after it.
    if (range.isEmpty()) return 0;
    // An epoch older than the last written one passes the rate limit into a
    // bucket of its own and is then dropped: the bucket of the last written
    // epoch must stay, or the next epoch inside it would be written too.
    const qint64 bucket = lastIntervalBucket;
    const int dropped = droppedEpochs;
    if (!epochGate(range.epochMs)) return 0;
    const qint64 n = writeEpoch();
    if (droppedEpochs != dropped) lastIntervalBucket = bucket;
    return n;
}

qint64 Rinexxxx::writeEpoch()
{
    File *file = files.value(fileLetters[0]);
    if (!file || !file->isOpen()) return 0;
    const qint64 t = util_gps_time_to_epoch(range.week, range.ms);
    if (lastEpochMs > 0 && t < lastEpochMs) {
        droppedEpochs++;
        return 0;
    }
    if (lastEpochMs > 0 && t == lastEpochMs) {
        // Receivers log the same epoch twice (NovAtel RANGE and RANGECMP):
        // a reader rejects a repeated epoch. Merged, the earlier values win.
        // Only the record at the file's end can be rewritten; anything
        // written after it (an event) keeps the record as it stands.
        if (!lastWriteIsRecord) return 0;
        // Another receiver's epoch of the same time (a second station, a
        // base whose corrections the rover logged) measures other ranges
        // and phases: merged, its satellites and signals would pass for this
        // receiver's. It is left out, and the task says so.
        if (!rangeAgreesWithLastRecord()) {
            if (otherReceiverEpochs++ == 0) {
                otherReceiverKept = lastRecordSource;
                otherReceiverLeft = rangeSource;
            }
            if (rangeSource.format == SOURCE_RTCM3)
                for (int id : sameTimeStations)
                    lastEpochStations.erase(std::remove(lastEpochStations.begin(), lastEpochStations.end(), id),
                                            lastEpochStations.end());
            sameTimeStations.clear();
            return 0;
        }
        const size_t before = lastRecordObs.size();
        for (const Obs &o : lastRecordObs) range.appendObs(o);
        static thread_local std::vector<Obs> merged;
        merged.clear();
        range.collect(merged);
        if (merged.size() <= before) return 0;
        replacingRecord = true;
        const qint64 n = writeRange();
        replacingRecord = false;
        lastRecordObs.swap(merged);
        noteSourceWritten();
        return n;
    }
    const qint64 n = writeRange();
    if (n > 0) {
        if (!writtenSources.empty() && rangeSource.format != lastRecordSource.format) sourceChanges++;
        if (std::find(writtenSources.begin(), writtenSources.end(), rangeSource) == writtenSources.end())
            writtenSources.push_back(rangeSource);
        lastRecordSource = rangeSource;
        lastWriteIsRecord = true;
        lastRecordObs.clear();
        range.collect(lastRecordObs);
        notePositionEpoch(lastRecordObs, range.week, range.ms);
        noteSourceWritten();
    }
    return n;
}

void Rinexxxx::noteSourceWritten()
{
    if (rangeSource.format != SOURCE_RTCM3) return;
    const int id = rangeSource.station;
    writtenStations.insert(id);
    // The first position of a station whose observations the file holds.
    auto it = stationPositions.constFind(id);
    if (approxBlh[0] == 0 && it != stationPositions.constEnd())
        for (int i = 0; i < 3; i++) approxBlh[i] = it.value().blh[i];
}

bool Rinexxxx::rangeAgreesWithLastRecord() const
{
    // One receiver's two logs of an epoch (RANGE and RANGECMP, RAWX and its
    // own MSM) give the same pseudoranges to within their resolution, and
    // in one phase convention the same phases. Another receiver's differ by
    // its clock and its place, or, sharing the antenna and a steered clock,
    // in the ambiguities of its phases. The shared signals vote, so that
    // one odd measurement does not decide.
    auto convention = [](uint8_t kind) {
        return kind == LOCK_KIND_MSM_EXTENDED                                   ? (uint8_t)LOCK_KIND_MSM
               : kind == LOCK_KIND_RANGECMP || kind == LOCK_KIND_RANGECMP2 ? (uint8_t)LOCK_KIND_RANGE
                                                                                : kind;
    };
    int agree = 0, disagree = 0;
    for (const Obs &o : lastRecordObs) {
        const Obs *n = range.find(o);
        if (!n) continue;
        bool compared = false, differs = false;
        if (o.pseudorangeValid && n->pseudorangeValid) {
            compared = true;
            differs = fabs(o.pseudorange - n->pseudorange) > 10.0;
        }
        if (o.phaseValid && n->phaseValid && convention(o.lockKind) == convention(n->lockKind)) {
            compared = true;
            differs = differs || fabs(o.phase - n->phase) > 0.5;
        }
        if (compared) (differs ? disagree : agree)++;
    }
    return disagree <= agree;
}

QString Rinexxxx::sourceName(const EpochSource &s)
{
    switch (s.format) {
    case SOURCE_RTCM3: return QString("RTCM 3 station %1").arg(s.station);
    case SOURCE_NOVATEL: return "NovAtel";
    case SOURCE_HEMISPHERE: return "Hemisphere";
    case SOURCE_UBLOX: return "u-blox";
    case SOURCE_SBF: return "Septentrio SBF";
    default: return "unknown";
    }
}

// ---- text lines and PPK markers ----------------------------------------------------------------

qint64 Rinexxxx::readLine(const uint8_t *data, int length)
{
    if (!opened || prescan || mode == 1 || length < 16) return 0;
    File *obsFile = files.value(fileLetters[0]);
    if (!obsFile) return 0;
    // The framer ends lines with a 0 byte; copy to be safe with any caller.
    QByteArray text(reinterpret_cast<const char *>(data), length);
    // A line holds every byte since the last frame or 0 byte, so the tail of
    // a damaged frame just before a marker stays in front of its "$": the
    // sentence is the first "$" onward whose checksum holds.
    int sentence = text.indexOf('$');
    while (sentence >= 0 && (length - sentence < 16 || util_check_line_nmea(text.constData() + sentence) != 0))
        sentence = text.indexOf('$', sentence + 1);
    if (sentence < 0) return 0;
    text.remove(0, sentence);
    QList<QByteArray> f;
    int start = 0;
    for (int i = 0; i <= text.size(); i++)
        if (i == text.size() || text[i] == ',' || text[i] == '*') {
            f.append(text.mid(start, i - start));
            start = i + 1;
        }
    if (f.size() < 2 || f[0] != "$PPK") return 0;

    if (f[1] == "MARKER-BEGIN" && f.size() > 15) {
        ppkSiteId[0] = f[2].toInt();
        ppkSiteId[1] = f[3].toInt();
        // Name and number go into 60- and 20-column header fields.
        QByteArray name = headerText(f[5], 60);
        QByteArray number = headerText(f[6], 20);
        bool okH = false, okX = false, okY = false, okZ = false;
        double height = f[9].toDouble(&okH);
        double xyz[3] = {f[13].toDouble(&okX), f[14].toDouble(&okY), f[15].toDouble(&okZ)};
        auto sane = [](double v) { return fabs(v) < 1e8; }; // false for NaN and infinity too
        if (ppkSiteId[0] > 0 && ppkSiteId[1] > 0 && !name.isEmpty() && !number.isEmpty() && okH &&
            -1000 <= height && height <= 1000 && okX && okY && okZ && sane(xyz[0]) && sane(xyz[1]) &&
            sane(xyz[2])) {
            qint64 n = 0;
            if (ppkInSite) n += ppkWriteStartMoving();
            n += ppkWriteNewSite(name, number, xyz, height);
            ppkInSite = true;
            ppkSampleCount = 0;
            return n;
        }
        return 0;
    }
    if (f[1] == "MARKER-SAMPLE" && f.size() > 6) {
        if (!ppkInSite) return 0;
        PpkSample p;
        p.site[0] = f[2].toInt();
        p.site[1] = f[3].toInt();
        p.sample = f[4].toInt();
        p.week = f[5].toInt();
        // A time of week of 259.4 s is 259400 ms: round, never truncate.
        p.towMs = llround(f[6].toDouble() * 1000.0);
        // An RTCM 3 epoch arrives in several messages: a sample line among
        // them tags the whole epoch, so it is judged when the epoch is
        // complete. Otherwise it tags the epoch just completed.
        if (msmEpochMs >= 0 || msmGlonassEpochMs >= 0 || !legacyPending.empty()) {
            if (!ppkPending.pending) {
                ppkPending = p;
                ppkPending.pending = true;
            }
            return 0;
        }
        return ppkTagEpoch(p);
    }
    if (f[1] == "MARKER-END" && f.size() >= 4 && ppkInSite) {
        ppkInSite = false;
        return ppkWriteStartMoving();
    }
    return 0;
}

qint64 Rinexxxx::ppkTagEpoch(const PpkSample &p)
{
    File *obsFile = files.value(fileLetters[0]);
    if (!obsFile || !ppkInSite) return 0;
    if (p.site[0] == ppkSiteId[0] && p.site[1] == ppkSiteId[1] && p.sample == ppkSampleCount + 1 &&
        p.week == range.week && p.towMs == range.ms) {
        ppkSampleCount++;
        return writeEpoch();
    }
    ppkInSite = false;
    return ppkWriteStartMoving();
}

// ---- RTCM 3 ----------------------------------------------------------------------------------

void Rinexxxx::learnLeapSecondsFromMsm()
{
    // GLONASS MSM epochs are on the UTC scale: the difference of the two
    // times of day is GPS - UTC.
    if (leapSeconds != 99 || msmEpochMs < 0 || msmGlonassEpochMs < 0) return;
    int d = msmEpochMs % 86400000 - msmGlonassEpochMs % 86400000;
    if (d < 0) d += 86400000;
    if (d >= 1 && d <= 99999 && d % 1000 == 0) leapSeconds = d / 1000;
}

void Rinexxxx::noteGlonassEphemeris(const glonass_nav_t &nav)
{
    if (!glonass_nav_date_known(&nav) || nav.tb_time <= 0) return;
    const int leap = leapSeconds != 99 ? leapSeconds : leapSecondsAt(nav.tb_time);
    const qint64 t = nav.tb_time + 1000LL * leap;
    // A satellite can send a wrong four-year number (one was seen 16 years
    // off all the others). The reference keeps to the day most records agree
    // on: a record far from it only counts against it, and the reference
    // moves to such a day once those records outnumber the agreeing ones.
    if (glonassNavRefMs > 0 && std::llabs(t - glonassNavRefMs) > kGlonassDateToleranceMs && glonassNavRefVotes > 0) {
        glonassNavRefVotes--;
        return;
    }
    glonassNavRefMs = t;
    if (glonassNavRefVotes < 8) glonassNavRefVotes++;
}

void Rinexxxx::mergeLegacyObservations()
{
    // A receiver that sends both legacy and MSM observations of a signal
    // gives the same measurement twice: the MSM one, of finer resolution,
    // is kept, whichever came first, and the legacy one is not even made
    // into an observation, so that its lock time (on another scale) never
    // meets the MSM one's in the slip detection. Only where the MSM lacks a
    // pseudorange or carrier that the legacy message has does the legacy
    // observation stand instead.
    for (const LegacyPending &pending : legacyPending) {
        const rtcm3_legacy_obs_t &sat = pending.obs;
        for (const rtcm3_legacy_signal_t *sig : {&sat.l1, &sat.l2}) {
            if (!sig->signal) continue;
            Obs key;
            key.signal = sig->signal;
            key.prn = sat.prn;
            const Obs *msm = range.find(key);
            if (msm && (msm->pseudorangeValid || !sig->pseudorange_valid) && (msm->phaseValid || !sig->phase_valid))
                continue;
            range.appendObs(Obs(this, sat, *sig, pending.msOfWeek, rtcm3QuarterCycle.value(pending.station, 0) == 1));
        }
    }
    legacyPending.clear();
}

void Rinexxxx::checkStationChange()
{
    // Another station's phases have their own ambiguities, and its lock
    // times count its own locks, which can pass for a continuation of the
    // last station's: none of its phases continues one written before.
    // An epoch of the same time under another id is no change of station:
    // where it is written, one that disagrees with the record of that time
    // (another receiver's) is left out, and one that agrees is merged.
    // An undated epoch is not judged. (The id lists keep their room from
    // epoch to epoch: nothing is allocated per epoch.)
    sameTimeStations.clear();
    if (epochStations.empty()) return;
    const qint64 t = range.epochMs;
    auto heard = [](const std::vector<int> &ids, int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
    if (range.week <= 0 || t == lastStationsEpochMs) {
        if (range.week > 0)
            for (int id : epochStations)
                if (!heard(lastEpochStations, id)) {
                    lastEpochStations.push_back(id);
                    sameTimeStations.push_back(id);
                }
        epochStations.clear();
        return;
    }
    bool shared = false;
    for (int id : epochStations) shared = shared || heard(lastEpochStations, id);
    if (!lastEpochStations.empty() && !shared) {
        rtcm3StationChanges++;
        // Signals of this epoch: flagged, their lock tables following the
        // new station from here; any other signal starts afresh when the
        // new station first sends it.
        QSet<int> here;
        for (std::vector<Obs> &v : range.flatObs)
            for (Obs &o : v)
                if (o.isValid()) {
                    o.markSlip(this);
                    here.insert(o.lockKey());
                }
        lockTimes.retain([&here](int key) { return here.contains(key); });
    }
    lastEpochStations.swap(epochStations);
    epochStations.clear();
    lastStationsEpochMs = t;
}

qint64 Rinexxxx::finishMsmEpoch()
{
    mergeLegacyObservations();
    learnLeapSecondsFromMsm();
    msmEpochMs = msmGlonassEpochMs = -1;
    if (range.week <= 0 && msmGlonassSeen) {
        // GLONASS messages alone: the epoch is dated from GLONASS time.
        int week = 0, ms = 0;
        if (glonassEpochToGps((int)(msmGlonassEpochField & 0x7FFFFFF), (int)(msmGlonassEpochField >> 27) & 7, &week,
                              &ms)) {
            rtcm3Week = week;
            rtcm3Ms = ms;
            rtcm3MsFromEphemeris = false;
            rtcm3FromTimeStart = false;
            epochWeek = week;
            epochMsOfWeek = ms;
            range.week = week;
            range.ms = ms;
            range.epochMs = util_gps_time_to_epoch(week, ms);
        }
    }
    msmGlonassSeen = false;
    rangeSource.format = SOURCE_RTCM3;
    rangeSource.station = epochStations.empty() ? 0 : epochStations.front();
    checkStationChange();
    qint64 n = 0;
    if (range.week <= 0) {
        // No "Time Start", no ephemeris yet, or an epoch of GLONASS messages
        // only: its date is unknown, and a wrong date is worse than none.
        if (!range.isEmpty()) {
            skippedEpochs++;
            // With a week known, only GLONASS messages without their day
            // (the legacy ones) leave an epoch undated.
            if (rtcm3Week > 0) skippedGlonassEpochs++;
        }
    } else if (!range.isEmpty()) {
        // Messages without a single observation (1001 and 1003 alone: no
        // whole milliseconds of range) make no epoch record.
        n = gatedWrite();
    }
    if (ppkPending.pending) {
        ppkPending.pending = false;
        n += ppkTagEpoch(ppkPending);
    }
    // The epoch stays until the next epoch's first message, for a sample
    // line that follows it.
    rtcm3EpochDone = true;
    return n;
}

qint64 Rinexxxx::finishInput()
{
    // A log that ends inside an RTCM 3 epoch (its last message still
    // announcing more messages of the same epoch, as a cut capture does)
    // keeps what arrived of that epoch.
    if (!opened || prescan) return 0;
    if (hemisphereEpochOpen) {
        hemisphereEpochOpen = false;
        incompleteEpochs++;
    }
    if (rtcm3EpochDone) return 0;
    if (msmEpochMs < 0 && msmGlonassEpochMs < 0 && legacyPending.empty()) return 0;
    return finishMsmEpoch();
}

qint64 Rinexxxx::rtcm3Msm(const uint8_t *data, int length, int message)
{
    if (message % 10 <= 3) return 0;
    rtcm3_msm_header_t header;
    if (rtcm3_parser_msm_header(data, (uint32_t)length, &header) != 0) {
        // MSM of a system not converted here (IRNSS, for one) can still be
        // the last message of an epoch: its flag must end the epoch, or every
        // epoch of such a stream would be lost. The flag is bit 54 of the body.
        if (length >= 3 + 7 + 3 && !rtcm3EpochDone && (!range.isEmpty() || !legacyPending.empty()) &&
            rtcm3_get_uint(data + 3, 54, 1) == 0)
            return finishMsmEpoch();
        return 0;
    }
    const bool glonass = message >= 1081 && message <= 1088;
    // SBAS messages join the epoch being collected without timing it: some
    // receivers send their epoch field as the milliseconds of the day, not of
    // the week, which would otherwise end every epoch early or misdate it.
    const bool sbas = message >= 1101 && message <= 1107;
    if (message >= 1121 && message <= 1127) {
        // Some receivers send the BDS epoch time on the GPS time scale: a BDS
        // message of an epoch still being collected that lies exactly the
        // 14 s of BDS time ahead of it is such a receiver's, and so are all
        // its BDS messages after it. Taken at its word, it would split every
        // epoch in two.
        const int ahead = (header.tow - msmEpochMs + 604800000) % 604800000;
        if (!bdsMsmOnGpsTime && msmEpochMs >= 0 && !rtcm3EpochDone && ahead == 14000) bdsMsmOnGpsTime = true;
        if (bdsMsmOnGpsTime) header.tow = (header.tow - 14000 + 604800000) % 604800000;
    }
    qint64 n = beginRtcm3Message(glonass, sbas ? -1 : header.tow, header.station);
    if (glonass) {
        // Kept for an epoch of GLONASS messages alone, dated from GLONASS time.
        msmGlonassSeen = true;
        msmGlonassEpochField = header.epoch;
    }
    if (msmCells.size() < 128) msmCells.resize(128);
    // The decoder clears as many cells as it is offered: offer the cells the
    // mask announces, not the whole buffer.
    const uint32_t capacity = header.cell_used < (uint32_t)msmCells.size() ? header.cell_used : (uint32_t)msmCells.size();
    int cells = rtcm3_parser_msm(&header, msmCells.data(), capacity);
    for (int i = 0; i < cells; i++) range.appendObs(Obs(this, msmCells[i], header));
    if (!glonass && !sbas) {
        noteMsmTow(header.tow);
        trackRtcm3Week(header.tow);
        range.week = rtcm3Week;
        range.ms = header.tow;
        range.epochMs = util_gps_time_to_epoch(rtcm3Week, header.tow);
    }
    if (header.multiple) return n;
    return n + finishMsmEpoch();
}

void Rinexxxx::learnLegacyGlonassChannels(const rtcm3_legacy_obs_t *sats, int count)
{
    // Only from satellites tracked on the carrier: a receiver without
    // GLONASS carrier tracking has been seen to send channel field 0 (-7)
    // for every satellite.
    for (int i = 0; i < count; i++)
        if (sats[i].l1.signal && sats[i].l1.phase_valid && sats[i].frequency_channel >= -7 &&
            sats[i].frequency_channel <= 13)
            glonass_channel_update(&glonassChannels, sats[i].prn, sats[i].frequency_channel);
}

int Rinexxxx::glonassLegacyEpochTow(uint32_t msOfGlonassDay)
{
    // Moscow time is UTC + 3 h; the day of week is not sent.
    int tow = (int)(msOfGlonassDay % 86400000u) - 10800000;
    if (tow < 0) tow += 604800000;
    return tow;
}

qint64 Rinexxxx::endRtcm3Epoch()
{
    const bool collecting = msmEpochMs >= 0 || msmGlonassEpochMs >= 0 || !legacyPending.empty();
    const qint64 n = collecting && !rtcm3EpochDone ? finishMsmEpoch() : 0;
    // What `range` holds next is another format's epoch: the next RTCM 3
    // message starts afresh rather than joining it.
    rtcm3EpochDone = true;
    return n;
}

qint64 Rinexxxx::beginRtcm3Message(bool glonass, int tow, int station)
{
    qint64 n = 0;
    // GLONASS times are compared within the day: a legacy message does not
    // know the day of week that an MSM sends. A message without a time of
    // its own (tow < 0) joins whatever epoch is being collected.
    // Against the other scale (an epoch begun by messages of the other
    // kind) the times of one epoch differ by the leap seconds alone; without
    // them learnt yet, by a whole number of seconds that GPS - UTC has taken
    // since GLONASS observations were first sent. Anything else is another
    // epoch (two stations' logs spliced, say), which must not lend its
    // observations to this one.
    // A leap second inside the log moves the GLONASS times a second
    // further from GPS time: from then on the count of that time is the
    // difference, or every GLONASS observation after it would be taken for
    // another epoch and lost.
    auto apart = [this](int gpsTow, int glonassTow) {
        const int d = ((gpsTow - glonassTow) % 86400000 + 86400000) % 86400000;
        if (leapSeconds != 99) {
            if (d == leapSeconds * 1000) return false;
            if (rtcm3Week <= 0) return true;
            return d != leapSecondsAt(util_gps_time_to_epoch(rtcm3Week, gpsTow)) * 1000;
        }
        return d % 1000 != 0 || d < 13000 || d > 30000;
    };
    const bool otherEpoch =
        tow < 0   ? false
        : glonass ? (msmGlonassEpochMs >= 0 ? msmGlonassEpochMs % 86400000 != tow % 86400000
                                            : msmEpochMs >= 0 && apart(msmEpochMs, tow))
                  : (msmEpochMs >= 0 ? msmEpochMs != tow : msmGlonassEpochMs >= 0 && apart(tow, msmGlonassEpochMs));
    // The multiple-message flag normally ends an epoch, but encoders that
    // never clear it exist: a message of another epoch time ends it too.
    if (otherEpoch) n = finishMsmEpoch();
    if (rtcm3EpochDone) {
        range.clear();
        rtcm3EpochDone = false;
    }
    if (std::find(epochStations.begin(), epochStations.end(), station) == epochStations.end())
        epochStations.push_back(station);
    if (!rtcm3ObsStations.contains(station)) rtcm3ObsStations.append(station);
    if (tow < 0)
        return n;
    if (glonass)
        msmGlonassEpochMs = tow;
    else
        msmEpochMs = tow;
    return n;
}

qint64 Rinexxxx::rtcm3Legacy(const uint8_t *data, int length)
{
    rtcm3_legacy_header_t header;
    if (rtcm3_parser_legacy_header(data, (uint32_t)length, &header) != 0) return 0;
    const bool glonass = header.glonass;
    const int tow = glonass ? glonassLegacyEpochTow(header.epoch) : (int)header.epoch;
    qint64 n = beginRtcm3Message(glonass, tow, header.station);
    rtcm3_legacy_obs_t sats[RTCM3_LEGACY_MAX_SATELLITES];
    const int count = rtcm3_parser_legacy(&header, sats, RTCM3_LEGACY_MAX_SATELLITES);
    // The channels serve the GLONASS MSM of the same receiver too, which
    // may come later in the epoch and without them.
    // An epoch of legacy GLONASS messages alone stays undated (skipped and
    // counted): without the day of week, and before the leap seconds are
    // learnt from a GPS message of the same epoch, its date would be a guess.
    if (glonass) learnLegacyGlonassChannels(sats, count);
    // Kept aside until the epoch is complete (mergeLegacyObservations).
    for (int i = 0; i < count; i++) legacyPending.push_back({sats[i], tow, header.station});
    if (!glonass) {
        noteMsmTow(tow);
        trackRtcm3Week(tow);
        range.week = rtcm3Week;
        range.ms = tow;
        range.epochMs = util_gps_time_to_epoch(rtcm3Week, tow);
    }
    // The synchronous GNSS flag plays the part of the MSM multiple-message bit.
    if (header.synchronous) return n;
    return n + finishMsmEpoch();
}

qint64 Rinexxxx::readRtcm3(const uint8_t *data, int length)
{
    if (!opened || length < 6) return 0;
    const int message = rtcm3_get_message_number(data, (uint32_t)length);
    if (message == 0) return 0;

    // A station's quarter cycle indicator is kept in both passes: with the
    // prescan pass the first epochs know it too.
    rtcm3_station_t station;
    const bool stationRead =
        message == 1005   ? rtcm3_parser_1005(data, length, &station) == 0
        : message == 1006 ? rtcm3_parser_1006(data, length, &station) == 0
                          : false;
    if (stationRead) rtcm3QuarterCycle.insert(station.station, station.quarter_cycle);
    if (prescan) {
        switch (message) {
        case 1019:
        case 1044:
        case 1042:
        case 1045:
        case 1046: {
            // Only the week and toc are of use here: the orbit is left undecoded.
            int week;
            uint32_t toc;
            if (rtcm3_ephemeris_week_toc(data, (uint32_t)length, &week, &toc) != 0) break;
            if (message == 1019 || message == 1044)
                learnRtcm3Week(resolveGpsWeek(week), (int)toc * 1000, false, 0, message == 1019);
            else
                learnRtcm3Week(week + (message == 1042 ? 1356 : 1024), (int)toc * 1000, true,
                               message == 1042 ? 14000 : 0);
            break;
        }
        case 1020: {
            glonass_nav_t nav;
            if (rtcm3_parser_1020(data, length, &nav) == 0) {
                glonass_channel_update(&glonassChannels, nav.slot, nav.frequency_channel);
                noteGlonassEphemeris(nav);
            }
            break;
        }
        case 1001:
        case 1002:
        case 1003:
        case 1004: {
            // GPS epochs around the ephemerides, as MSM epochs below.
            rtcm3_legacy_header_t header;
            if (rtcm3_parser_legacy_header(data, (uint32_t)length, &header) == 0) noteMsmTow((int)header.epoch);
            break;
        }
        case 1009:
        case 1010:
        case 1011:
        case 1012: {
            rtcm3_legacy_header_t header;
            rtcm3_legacy_obs_t sats[RTCM3_LEGACY_MAX_SATELLITES];
            if (rtcm3_parser_legacy_header(data, (uint32_t)length, &header) == 0)
                learnLegacyGlonassChannels(sats, rtcm3_parser_legacy(&header, sats, RTCM3_LEGACY_MAX_SATELLITES));
            break;
        }
        default:
            // The time of the epochs around the ephemerides (types 4 to 7,
            // as the conversion reads them).
            // GLONASS and SBAS epoch fields are not of the GPS week.
            if (message >= 1071 && message <= 1127 && message % 10 >= 4 && message % 10 <= 7 &&
                !(message >= 1081 && message <= 1088) && !(message >= 1101 && message <= 1107)) {
                int32_t tow;
                if (rtcm3_msm_tow(data, (uint32_t)length, &tow) == 0) noteMsmTow(tow);
            }
            break;
        }
        return 0;
    }

    // IRNSS MSM (1131 to 1137) are not converted, but may close an epoch.
    if (rtcm3_is_msm(message) || (message >= 1131 && message <= 1137)) return rtcm3Msm(data, length, message);
    if (rtcm3_is_legacy_observation(message)) return rtcm3Legacy(data, length);

    switch (message) {
    case 1005:
    case 1006: {
        if (approxBlh[0] != 0) return 0;
        if (stationRead && (station.x != 0 || station.y != 0 || station.z != 0)) {
            double b, l, h;
            // A position with no finite geodetic form stays unknown.
            if (util_xyz_to_blh(station.x, station.y, station.z, &b, &l, &h) == 0 &&
                !stationPositions.contains(station.station)) {
                stationPositions.insert(station.station, StationPosition{{b, l, h}});
                if (writtenStations.contains(station.station)) noteSourceWritten();
            }
        }
        return 0;
    }
    case 1019:
    case 1044: {
        gps_nav_t nav;
        int r = message == 1019 ? rtcm3_parser_1019(data, length, &nav) : rtcm3_parser_1044(data, length, &nav);
        if (r != 0) return 0;
        nav.week = (uint16_t)resolveGpsWeek(nav.week);
        learnRtcm3Week(nav.week, (int)nav.toc * 1000, false, 0, message == 1019);
        return message == 1019 ? writeNGps(nav) : writeNQzs(nav);
    }
    case 1020: {
        glonass_nav_t nav;
        if (rtcm3_parser_1020(data, length, &nav) != 0) return 0;
        noteGlonassEphemeris(nav);
        return writeNGlo(nav);
    }
    case 1042: {
        bd2_nav_t nav;
        if (rtcm3_parser_1042(data, length, &nav) != 0) return 0;
        learnRtcm3Week(nav.week + 1356, (int)nav.toc * 1000, true, 14000);
        return writeNBds(nav);
    }
    case 1045: {
        galileo_fnav_t nav;
        if (rtcm3_parser_1045(data, length, &nav) != 0) return 0;
        learnRtcm3Week(nav.week + 1024, (int)nav.toc * 1000, true);
        return writeNGalFnav(nav);
    }
    case 1046: {
        galileo_inav_t nav;
        if (rtcm3_parser_1046(data, length, &nav) != 0) return 0;
        learnRtcm3Week(nav.week + 1024, (int)nav.toc * 1000, true);
        return writeNGalInav(nav);
    }
    default:
        return 0;
    }
}

// ---- NovAtel -----------------------------------------------------------------------------------

qint64 Rinexxxx::novatelRangeEpoch(const uint8_t *data, int length, int message)
{
    (void)length;
    novatel_header_t header;
    if (novatel_parser_header(data, (uint32_t)length, &header) != 0) return 0;
    const qint64 before = endRtcm3Epoch();
    range.clear();
    novatel_range_obs_t entry;
    if (message == 1273) {
        novatel_rangecmp2_t cursor;
        if (novatel_parser_rangecmp2(data, &header, &cursor, board) != 0) return before;
        for (int i = 0; i < 1000; i++) {
            int r = novatel_rangecmp2_next(&cursor, &entry);
            if (r == 0)
                range.appendObs(Obs(this, entry, header));
            else if (r == 1)
                break;
            else if (r != 2 && r != 3) {
                range.clear();
                return before;
            }
        }
    } else {
        novatel_range_t log;
        int r = message == 43 ? novatel_parser_range(data, &header, &log, board)
                              : novatel_parser_rangecmp(data, &header, &log, board);
        if (r != 0) return before;
        for (uint32_t i = 0; i < log.amount; i++) {
            int g = message == 43 ? novatel_range_get_obs(&log, i, &entry) : novatel_rangecmp_get_obs(&log, i, &entry);
            if (g == 0) range.appendObs(Obs(this, entry, header));
        }
    }
    rtcm3Week = header.week;
    rtcm3Ms = (int)header.ms;
    rtcm3FromTimeStart = false;
    range.week = header.week;
    range.ms = (int)header.ms;
    range.epochMs = util_gps_time_to_epoch(header.week, header.ms);
    if (header.week == 0) {
        // The receiver did not know the time yet.
        if (!range.isEmpty()) skippedEpochs++;
        return before;
    }
    fullWeek = header.week;
    epochWeek = header.week;
    epochMsOfWeek = (int)header.ms;
    rangeSource = EpochSource{SOURCE_NOVATEL, 0};
    return before + gatedWrite();
}

namespace {
bool saneBlh(double lat, double lon, double h)
{
    return -90.0 <= lat && lat <= 90.0 && -180.0 <= lon && lon <= 360.0 && -1000.0 <= h && h <= 1000000.0;
}
} // namespace

qint64 Rinexxxx::readNovatel(const uint8_t *data, int length)
{
    if (!opened || prescan) return 0;
    novatel_header_t header;
    if (novatel_parser_header(data, (uint32_t)length, &header) != 0) return 0;
    // Every log header carries the full GPS week (0 while the receiver does
    // not know the time).
    if (header.week > 0 && lastWeek == 0) fullWeek = header.week;
    switch (header.id) {
    case 43:
    case 140:
    case 1273:
        return novatelRangeEpoch(data, length, header.id);
    case 7: {
        novatel_gps_ephemeris_t e;
        return novatel_parser_gpsephem(data, &header, &e) == 0 ? writeNGps(e.nav) : 0;
    }
    case 71: {
        novatel_gpsephem_s_t e;
        if (novatel_parser_gpsephem_s(data, &header, &e) != 0 || !e.system) return 0;
        if (e.system == &GNSS_SYSTEM[GNSS_SYSTEM_BDS]) return writeNBds(e.bds);
        if (e.system == &GNSS_SYSTEM[GNSS_SYSTEM_GPS]) return writeNGps(e.gps);
        return 0;
    }
    case 723: {
        novatel_gloephemeris_t e;
        if (novatel_parser_gloephemeris(data, &header, &e) != 0) return 0;
        if (leapSeconds == 99 && e.time_offset >= 10702 && e.time_offset < 10800) leapSeconds = 10800 - e.time_offset;
        return writeNGlo(e.nav);
    }
    case 1047:
    case 1696: {
        novatel_bds_ephemeris_t e;
        int r = header.id == 1047 ? novatel_parser_bd2ephem(data, &header, &e)
                                  : novatel_parser_bdsephemeris(data, &header, &e);
        return r == 0 ? writeNBds(e.nav) : 0;
    }
    case 1122: {
        novatel_galephemeris_t e;
        if (novatel_parser_galephemeris(data, &header, &e) != 0) return 0;
        qint64 n = 0;
        if (e.fnav_received) n += writeNGalFnav(e.fnav);
        if (e.inav_received) n += writeNGalInav(e.inav);
        return n;
    }
    case 1309: {
        novatel_galinav_t e;
        return novatel_parser_galinavephemeris(data, &header, &e) == 0 ? writeNGalInav(e.nav) : 0;
    }
    case 1310: {
        novatel_galfnav_t e;
        return novatel_parser_galfnavephemeris(data, &header, &e) == 0 ? writeNGalFnav(e.nav) : 0;
    }
    case 1336: {
        novatel_gps_ephemeris_t e;
        return novatel_parser_qzssephemeris(data, &header, &e) == 0 ? writeNQzs(e.nav) : 0;
    }
    case 6:
    case 8:
    case 2010: {
        novatel_ionutc_t e;
        if (novatel_parser_ionutc(data, &header, &e) != 0) return 0;
        if (header.id == 2010) {
            if (bdsIonUtc.header.id == 0) bdsIonUtc = e;
            if (leapSeconds == 99) leapSeconds = e.dt_ls + 14;
        } else {
            if (gpsIonUtc.header.id == 0) gpsIonUtc = e;
            if (leapSeconds == 99) leapSeconds = e.dt_ls;
        }
        return 0;
    }
    case 1590: {
        novatel_iono_t e;
        if (novatel_parser_iono(data, &header, &e) == 0 && bdsIono.header.id == 0) bdsIono = e;
        return 0;
    }
    case 101: {
        novatel_time_t e;
        if (novatel_parser_time(data, &header, &e) == 0 && leapSeconds == 99 &&
            e.utc_status == NOVATEL_UTC_STATUS_VALID && fabs(e.utc_offset) < 1000)
            // The offset carries the broadcast A0 and A1 terms (nanoseconds
            // of either sign) beside the whole leap seconds: -17.999999998
            // is 18 leap seconds, not 17.
            leapSeconds = (int)lround(-e.utc_offset);
        return 0;
    }
    case 42:
    case 47: {
        if (approxBlh[0] != 0) return 0;
        novatel_position_t p;
        int r = header.id == 42 ? novatel_parser_bestpos(data, &header, &p) : novatel_parser_psrpos(data, &header, &p);
        // A receiver told to use a local datum gives its positions in that
        // datum, up to hundreds of metres from the WGS 84 one the header
        // holds: such a position is left out, a computed one serves.
        if (r == 0 && p.solution_status == 0 && p.position_type != 0 && p.datum == NOVATEL_DATUM_WGS84) {
            double h = p.height + p.undulation;
            if (saneBlh(p.latitude, p.longitude, h)) {
                approxBlh[0] = p.latitude;
                approxBlh[1] = p.longitude;
                approxBlh[2] = h;
            }
        }
        return 0;
    }
    case 3100:
    case 3101:
        return writeNTss(data, length);
    default:
        return 0;
    }
}

// ---- Hemisphere ----------------------------------------------------------------------------------

qint64 Rinexxxx::hemisphereEpoch(const uint8_t *data, int length)
{
    hemisphere_bin16_obs_t packet;
    if (hemisphere_parser_bin16_obs(data, (uint32_t)length, &packet) != 0) return 0;
    // A time a hair below the week's end rounds to its last millisecond and
    // beyond: that is the next week's start, as a "$PPK" sample names it.
    if (packet.week > 0 && packet.ms >= 604800000u) {
        packet.ms -= 604800000u;
        packet.week++;
    }
    qint64 before = 0;
    if (packet.page == 0) {
        if (hemisphereEpochOpen) incompleteEpochs++;
        hemisphereEpochOpen = true;
        before = endRtcm3Epoch();
        range.clear();
        packetCount = 0;
    } else if (packet.page != packetCount || packet.week != range.week || (int)packet.ms != range.ms) {
        return 0;
    }
    for (int i = 0; i < packet.amount; i++) {
        hemisphere_bin16_obs_obs_t entry;
        if (hemisphere_bin16_obs_get_obs(&packet, i, &entry, &glonassChannels) == 0)
            range.appendObs(Obs(this, entry, packet));
    }
    rtcm3Week = packet.week;
    rtcm3Ms = (int)packet.ms;
    rtcm3FromTimeStart = false;
    range.week = packet.week;
    range.ms = (int)packet.ms;
    range.epochMs = util_gps_time_to_epoch(packet.week, packet.ms);
    packetCount++;
    if (packetCount != packet.pages) return before;
    hemisphereEpochOpen = false;
    if (packet.week == 0) {
        if (!range.isEmpty()) skippedEpochs++;
        return before;
    }
    fullWeek = packet.week;
    epochWeek = packet.week;
    epochMsOfWeek = (int)packet.ms;
    rangeSource = EpochSource{SOURCE_HEMISPHERE, 0};
    return before + gatedWrite();
}

qint64 Rinexxxx::readHemisphere(const uint8_t *data, int length)
{
    if (!opened || length < 8) return 0;
    const int type = util_bytes_to_u16(data + 4);
    // Position (1), code and carrier (96) and diagnostic (99) messages start
    // with the full GPS week and the time of week: they tell the era of the
    // 10-bit week inside a GPS ephemeris (message 95 carries none of its own).
    if ((type == 1 || type == 96 || type == 99) && length >= 20 + 4 && lastWeek == 0) {
        const int week = util_bytes_to_u16(data + 10);
        const double tow = util_bytes_to_double(data + 12);
        if (week >= 1024 && tow >= 0 && tow < 604800) fullWeek = week;
    }
    if (prescan) {
        if (type == 65) {
            hemisphere_bin65_glonav_t g;
            if (hemisphere_parser_bin65_glonav(data, (uint32_t)length, &g) == 0)
                glonass_channel_update(&glonassChannels, g.nav.slot, g.nav.frequency_channel);
        }
        return 0;
    }
    switch (type) {
    case 16:
        return hemisphereEpoch(data, length);
    case 35: {
        hemisphere_bin35_bd2nav_t b;
        return hemisphere_parser_bin35_bd2nav(data, (uint32_t)length, &b) == 0 ? writeNBds(b.nav) : 0;
    }
    case 45: {
        hemisphere_bin45_galnav_t g;
        if (hemisphere_parser_bin45_galnav(data, (uint32_t)length, &g) != 0) return 0;
        qint64 n = 0;
        if (g.fnav_present) n += writeNGalFnav(g.fnav);
        if (g.inav_present) n += writeNGalInav(g.inav);
        return n;
    }
    case 65: {
        hemisphere_bin65_glonav_t g;
        return hemisphere_parser_bin65_glonav(data, (uint32_t)length, &g) == 0 ? writeNGlo(g.nav) : 0;
    }
    case 94: {
        hemisphere_bin94_inoutc_t u;
        if (hemisphere_parser_bin94_inoutc(data, (uint32_t)length, &u) != 0) return 0;
        if (hemisphereIonUtc.dtls == 0) hemisphereIonUtc = u;
        if (leapSeconds == 99 && hemisphereIonUtc.dtls != 0) leapSeconds = hemisphereIonUtc.dtls;
        return 0;
    }
    case 95: {
        hemisphere_bin95_gpsnav_t g;
        if (hemisphere_parser_bin95_gpsnav(data, (uint32_t)length, &g) != 0) return 0;
        return writeNGps(g.nav);
    }
    default:
        return 0;
    }
}
