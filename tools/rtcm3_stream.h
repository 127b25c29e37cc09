// A synthetic RTCM 3 reference-station stream: station position (1005, now
// and then 1006 and 1033), MSM7 of GPS, GLONASS, Galileo, BDS and QZSS every
// epoch, and the broadcast ephemerides of every satellite (1019, 1020, 1042,
// 1044, 1045, 1046) every 30 s. Shared by the rtcm3gen tool and the
// conversion benchmark; it writes one epoch at a time into a caller-owned
// byte vector, so memory stays flat however long the stream is.
//
// Everything here is built from the RTCM 10403.3 data field definitions
// (DF numbers in the comments) with its own bit writer and CRC-24Q; it uses
// nothing of the project's decoders or signal tables.
//
// The observation model: each satellite's geometric range follows a slow
// sinusoid (an orbit seen from the ground: 20,000-26,000 km for GPS), the
// pseudorange adds a receiver clock offset, an ionospheric delay scaled by
// 1/f^2 and a little noise; the carrier phase is the same range with the
// ionosphere advanced, plus a whole-cycle ambiguity; the Doppler is the
// analytic range rate over the wavelength; C/N0 falls with the range. The
// noise is a hash of (seed, satellite, signal, time), so `truth` can give
// back exactly what an epoch carried.
#ifndef QUORVANE_TOOLS_RTCM3_STREAM_H
#define QUORVANE_TOOLS_RTCM3_STREAM_H

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <vector>

namespace rtcm3gen {

constexpr double kLight = 299792458.0;          // m/s
constexpr double kLightMs = kLight / 1000.0;    // m per ms of travel
constexpr int64_t kGpsOriginMs = 315964800000LL; // 1980-01-06 on the 1970 count
constexpr int64_t kWeekMs = 604800000LL;
constexpr int64_t kDayMs = 86400000LL;
constexpr double kPi = 3.1415926535898;

// ---- bits and frames ----------------------------------------------------------------------

// Most significant bit first, as RTCM 3 sends; `data` must start zeroed.
struct BitWriter {
    uint8_t *data;
    uint32_t bit = 0;

    explicit BitWriter(uint8_t *d) : data(d) {}
    void put(uint64_t value, int n)
    {
        if (n < 64) value &= (1ull << n) - 1;
        while (n > 0) {
            const int room = 8 - (int)(bit & 7);
            const int take = n < room ? n : room;
            const uint32_t chunk = (uint32_t)(value >> (n - take)) & ((1u << take) - 1);
            data[bit >> 3] |= (uint8_t)(chunk << (room - take));
            bit += (uint32_t)take;
            n -= take;
        }
    }
    // Two's complement (DF types int): the low n bits of the value.
    void puts(int64_t value, int n) { put((uint64_t)value, n); }
    // Sign and magnitude (GLONASS intS fields).
    void putsm(int64_t value, int n)
    {
        const uint64_t magnitude = (uint64_t)(value < 0 ? -value : value);
        put((value < 0 ? 1ull << (n - 1) : 0) | (magnitude & ((1ull << (n - 1)) - 1)), n);
    }
};

// CRC-24Q, polynomial 0x1864CFB, table driven.
inline uint32_t crc24q(const uint8_t *p, size_t n)
{
    struct Table {
        uint32_t t[256];
        Table()
        {
            for (uint32_t i = 0; i < 256; i++) {
                uint32_t c = i << 16;
                for (int b = 0; b < 8; b++) c = (c << 1) ^ ((c & 0x800000u) ? 0x864CFBu : 0);
                t[i] = c & 0xFFFFFFu;
            }
        }
    };
    static const Table table;
    uint32_t crc = 0;
    for (size_t i = 0; i < n; i++) crc = ((crc << 8) & 0xFFFFFFu) ^ table.t[((crc >> 16) ^ p[i]) & 0xFF];
    return crc;
}

// A frame under construction: preamble, 6 reserved bits, 10-bit length, the
// message body from byte 3, and the CRC appended by `finish`.
struct Frame {
    uint8_t bytes[1024 + 6];
    BitWriter w{bytes + 3};

    Frame() { memset(bytes, 0, sizeof bytes); }
    // Appends the finished frame to out.
    void finish(std::vector<uint8_t> &out)
    {
        const uint32_t body = (w.bit + 7) / 8;
        bytes[0] = 0xD3;
        bytes[1] = (uint8_t)((body >> 8) & 3);
        bytes[2] = (uint8_t)(body & 0xFF);
        const uint32_t crc = crc24q(bytes, body + 3);
        bytes[body + 3] = (uint8_t)(crc >> 16);
        bytes[body + 4] = (uint8_t)(crc >> 8);
        bytes[body + 5] = (uint8_t)crc;
        out.insert(out.end(), bytes, bytes + body + 6);
    }
};

// ---- the constellation --------------------------------------------------------------------

enum { GPS, GLO, GAL, BDS, QZS, SYSTEMS };

struct SignalDef {
    int id;          // MSM signal id (DF395 bit position, from 1)
    const char *code; // RINEX 3 observation code of that id
    double f0;       // carrier, Hz (GLONASS: channel 0)
    double dfk;      // GLONASS: Hz per frequency channel
    int cnrOffset;   // dB-Hz relative to the first signal
};

struct SystemDef {
    char letter;
    int msm7;        // message number of the system's MSM7
    int signals;
    SignalDef signal[3];
};

inline const SystemDef &systemDef(int s)
{
    static const SystemDef defs[SYSTEMS] = {
        {'G', 1077, 3, {{2, "1C", 1575.42e6, 0, 0}, {10, "2W", 1227.60e6, 0, -6}, {16, "2L", 1227.60e6, 0, -3}}},
        {'R', 1087, 2, {{2, "1C", 1602.0e6, 562500.0, 0}, {8, "2C", 1246.0e6, 437500.0, -4}, {0, "", 0, 0, 0}}},
        {'E', 1097, 3, {{2, "1C", 1575.42e6, 0, 0}, {15, "7Q", 1207.14e6, 0, 1}, {23, "5Q", 1176.45e6, 0, 2}}},
        {'C', 1127, 2, {{2, "2I", 1561.098e6, 0, 0}, {14, "7I", 1207.14e6, 0, -1}, {0, "", 0, 0, 0}}},
        {'J', 1117, 2, {{2, "1C", 1575.42e6, 0, 0}, {16, "2L", 1227.60e6, 0, -3}, {0, "", 0, 0, 0}}},
    };
    return defs[s];
}

struct Config {
    int64_t startMs = 0;      // GPS time of the first epoch, ms since 1970 (no leap seconds)
    int64_t durationMs = 3600000;
    int rateHz = 1;           // 1 or 10
    uint32_t seed = 1;
    int station = 100;        // reference station id
    int leapSeconds = 18;     // GPS - UTC, for the GLONASS epoch field
};

struct Satellite {
    int system = GPS;
    int prn = 0;              // satellite number within the system (QZSS: PRN - 192)
    int gloChannel = 0;       // GLONASS frequency channel -7..+6
    double r0 = 0, amp = 0;   // mean range and swing, m
    double omega = 0, phi = 0; // rad/s and rad
    double iono = 0;          // L1 ionospheric delay, m
    double ambiguity[3] = {0, 0, 0}; // whole cycles per signal
    bool tracked[3] = {false, false, false};
    int64_t lockSinceMs = 0;  // tracking began at this GPS time
    double orbitPhase = 0;    // for the ephemerides
};

// What one cell of one epoch carries, before the message quantises it.
struct Observation {
    bool present = false;
    double pseudorange = 0;   // m
    double phaseRange = 0;    // m (carrier phase x wavelength)
    double phase = 0;         // cycles
    double rangeRate = 0;     // m/s of the phase range
    double doppler = 0;       // Hz
    int cnr = 0;              // dB-Hz, whole
    double frequency = 0;     // Hz
};

// ---- time helpers -------------------------------------------------------------------------

inline int gpsWeek(int64_t gpsMs) { return (int)((gpsMs - kGpsOriginMs) / kWeekMs); }
inline int64_t gpsTow(int64_t gpsMs) { return (gpsMs - kGpsOriginMs) % kWeekMs; }

// "YYYY-MM-DD hh:mm:ss" on the GPS scale to ms since 1970; -1 when malformed.
inline int64_t parseTime(const char *text)
{
    struct tm t;
    memset(&t, 0, sizeof t);
    int y, mo, d, h, mi, s;
    char tail;
    if (sscanf(text, "%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return -1;
    if (y < 1981 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return -1;
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    const time_t seconds = timegm(&t);
    // A day the month does not have (February 30) would move on into the next.
    struct tm back;
    if (!gmtime_r(&seconds, &back) || back.tm_mday != d) return -1;
    return (int64_t)seconds * 1000;
}

// ---- the generator ------------------------------------------------------------------------

class Generator
{
public:
    explicit Generator(const Config &c) : cfg(c)
    {
        if (cfg.rateHz != 10) cfg.rateHz = 1;
        stepMs = 1000 / cfg.rateHz;
        epochs = cfg.durationMs <= 0 ? 0 : (cfg.durationMs + stepMs - 1) / stepMs;
        rng = cfg.seed * 2654435761u + 12345u;
        buildConstellation();
    }

    int64_t epochCount() const { return epochs; }
    int64_t epochIndex() const { return next; }
    bool done() const { return next >= epochs; }
    int64_t epochTime(int64_t k) const { return cfg.startMs + k * stepMs; }
    const std::vector<Satellite> &satellites() const { return sats; }
    const Config &config() const { return cfg; }

    // Appends the frames of the next epoch to out: the station messages and
    // ephemerides when due, then one MSM7 per system, all but the last with
    // the multiple message bit set.
    void nextEpoch(std::vector<uint8_t> &out)
    {
        if (done()) return;
        const int64_t t = epochTime(next);
        const int64_t since = t - cfg.startMs;
        if (since % 5000 == 0) station(out, 1005, t);
        if (since % 300000 == 0) {
            station(out, 1006, t);
            descriptor(out);
        }
        if (since % 30000 == 0) ephemerides(out, t);
        int last = -1;
        for (int s = 0; s < SYSTEMS; s++)
            if (count[s]) last = s;
        for (int s = 0; s < SYSTEMS; s++)
            if (count[s]) msm7(out, s, t, s != last);
        next++;
    }

    // The observation of one signal (0..2 in the system's list) of one
    // satellite at GPS time t (ms since 1970), as the stream sends it.
    Observation truth(const Satellite &sat, int signal, int64_t t) const
    {
        Observation o;
        const SystemDef &def = systemDef(sat.system);
        if (signal < 0 || signal >= def.signals || !sat.tracked[signal]) return o;
        const SignalDef &sig = def.signal[signal];
        const double ts = (double)(t - kGpsOriginMs) / 1000.0;
        const double rho = sat.r0 + sat.amp * sin(sat.omega * ts + sat.phi);
        const double rate = sat.amp * sat.omega * cos(sat.omega * ts + sat.phi);
        o.frequency = sig.f0 + sig.dfk * sat.gloChannel;
        const double l1 = def.signal[0].f0 + def.signal[0].dfk * sat.gloChannel;
        const double iono = sat.iono * (l1 / o.frequency) * (l1 / o.frequency);
        const double clock = 35.0; // receiver clock offset, m (a steered clock)
        const double wavelength = kLight / o.frequency;
        o.present = true;
        o.pseudorange = rho + clock + iono + 0.30 * noise(sat, signal, t, 1);
        o.phaseRange = rho + clock - iono + 0.002 * noise(sat, signal, t, 2) + sat.ambiguity[signal] * wavelength;
        o.phase = o.phaseRange / wavelength;
        o.rangeRate = rate;
        o.doppler = -rate / wavelength;
        // Stronger when near (high in the sky), whole dB-Hz as many receivers report.
        double x = (sat.r0 + sat.amp - rho) / (2 * sat.amp);
        int cnr = 35 + (int)floor(x * 15.0) + sig.cnrOffset;
        o.cnr = cnr < 35 ? 35 : cnr > 50 ? 50 : cnr;
        return o;
    }

    // DF407, the extended lock time indicator, for a lock time in ms.
    static int lockIndicator(int64_t ms)
    {
        if (ms < 64) return ms < 0 ? 0 : (int)ms;
        // Indicators 32k+32 .. 32k+63 cover [2^(k+5), 2^(k+6)) ms in steps
        // of 2^k ms, k = 1..20; 704 stands for 2^26 ms and more.
        int k = 1;
        while (k <= 20 && ms >= (1ll << (k + 6))) k++;
        if (k > 20) return 704;
        return 32 * k + 32 + (int)((ms - (1ll << (k + 5))) >> k);
    }

private:
    Config cfg;
    int stepMs = 1000;
    int64_t epochs = 0;
    int64_t next = 0;
    uint32_t rng = 1;
    std::vector<Satellite> sats;
    int first[SYSTEMS] = {0, 0, 0, 0, 0};
    int count[SYSTEMS] = {0, 0, 0, 0, 0};

    uint32_t random()
    {
        // xorshift32: reproducible across platforms for a given seed
        rng ^= rng << 13;
        rng ^= rng >> 17;
        rng ^= rng << 5;
        return rng;
    }
    double uniform(double a, double b) { return a + (b - a) * (random() / 4294967296.0); }

    // A reproducible value in [-1, 1) from the seed, satellite, signal and time.
    double noise(const Satellite &sat, int signal, int64_t t, int kind) const
    {
        uint64_t h = (uint64_t)cfg.seed * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t)(sat.system * 64 + sat.prn) * 0xBF58476D1CE4E5B9ull + (uint64_t)(signal * 4 + kind);
        h ^= (uint64_t)t * 0x94D049BB133111EBull;
        h ^= h >> 31;
        h *= 0xD6E8FEB86659FD93ull;
        h ^= h >> 32;
        return (double)(h & 0xFFFFFF) / 8388608.0 - 1.0;
    }

    void pick(int system, int amount, const int *pool, int poolSize, double rMin, double rMax)
    {
        // A reproducible choice of `amount` satellites from the pool, in
        // ascending number (the MSM satellite mask order).
        std::vector<int> chosen(pool, pool + poolSize);
        for (int i = poolSize - 1; i > 0; i--) {
            int j = (int)(random() % (uint32_t)(i + 1));
            int tmp = chosen[i];
            chosen[i] = chosen[j];
            chosen[j] = tmp;
        }
        chosen.resize((size_t)amount);
        for (size_t i = 1; i < chosen.size(); i++)
            for (size_t j = i; j > 0 && chosen[j - 1] > chosen[j]; j--) {
                int tmp = chosen[j];
                chosen[j] = chosen[j - 1];
                chosen[j - 1] = tmp;
            }
        first[system] = (int)sats.size();
        count[system] = amount;
        const SystemDef &def = systemDef(system);
        for (int prn : chosen) {
            Satellite s;
            s.system = system;
            s.prn = prn;
            if (system == GLO) s.gloChannel = (prn * 5) % 14 - 7; // -7..+6
            // Mean and swing keep the range inside [rMin, rMax].
            double mid = (rMin + rMax) / 2, half = (rMax - rMin) / 2;
            s.amp = uniform(0.45, 0.95) * half;
            s.r0 = mid + uniform(-1, 1) * (half - s.amp);
            // Periods near half a sidereal day (MEO), a sidereal day (GEO/IGSO).
            double period = rMin > 30e6 ? uniform(80000, 90000) : uniform(38000, 46000);
            s.omega = 2 * kPi / period;
            s.phi = uniform(0, 2 * kPi);
            s.iono = uniform(1.5, 9.0);
            for (int k = 0; k < def.signals; k++) {
                // Ambiguities small enough that the phase range stays within
                // the fine phase field of the satellite's rough range.
                double wl = kLight / (def.signal[k].f0 + def.signal[k].dfk * s.gloChannel);
                s.ambiguity[k] = floor(uniform(-600, 600) / wl);
                s.tracked[k] = true;
            }
            // L2C is not broadcast by the older GPS satellites.
            if (system == GPS && prn % 3 == 0) s.tracked[2] = false;
            s.lockSinceMs = cfg.startMs - (int64_t)uniform(1000, 1800000);
            s.orbitPhase = uniform(0, 2 * kPi);
            sats.push_back(s);
        }
    }

    void buildConstellation()
    {
        int gps[32], glo[24], gal[36], qzs[4] = {1, 2, 3, 7};
        for (int i = 0; i < 32; i++) gps[i] = i + 1;
        for (int i = 0; i < 24; i++) glo[i] = i + 1;
        for (int i = 0; i < 36; i++) gal[i] = i + 1;
        const int bdsGeo[] = {1, 2, 3, 4};
        const int bdsMeo[] = {6, 9, 13, 16, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 32, 33, 34, 35};
        pick(GPS, 10 + (int)(random() % 3), gps, 32, 20.0e6, 26.0e6);
        pick(GLO, 10 + (int)(random() % 3), glo, 24, 19.2e6, 25.0e6);
        pick(GAL, 10 + (int)(random() % 3), gal, 36, 23.3e6, 29.0e6);
        // BDS: a few geostationary satellites (35,800-40,000 km) with MEOs.
        const int bdsCount = 10 + (int)(random() % 3);
        pick(BDS, 3, bdsGeo, 4, 36.0e6, 39.5e6);
        std::vector<Satellite> geo(sats.end() - 3, sats.end());
        sats.resize(sats.size() - 3);
        pick(BDS, bdsCount - 3, bdsMeo, 20, 21.6e6, 27.0e6);
        std::vector<Satellite> meo(sats.end() - (bdsCount - 3), sats.end());
        sats.resize(sats.size() - (size_t)(bdsCount - 3));
        first[BDS] = (int)sats.size();
        count[BDS] = bdsCount;
        for (const Satellite &s : geo) sats.push_back(s); // GEO numbers are all below the MEO ones
        for (const Satellite &s : meo) sats.push_back(s);
        pick(QZS, 4, qzs, 4, 32.0e6, 39.0e6);
    }

    // ---- messages ---------------------------------------------------------------------------

    // Station position of a site at 47.5 N, 8.5 E, 450 m (ECEF in 0.0001 m).
    void station(std::vector<uint8_t> &out, int number, int64_t)
    {
        const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
        const double lat = 47.5 * kPi / 180, lon = 8.5 * kPi / 180, h = 450.0;
        const double n = a / sqrt(1 - e2 * sin(lat) * sin(lat));
        const double x = (n + h) * cos(lat) * cos(lon), y = (n + h) * cos(lat) * sin(lon),
                     z = (n * (1 - e2) + h) * sin(lat);
        Frame fr;
        BitWriter &w = fr.w;
        w.put(number, 12);                  // DF002
        w.put(cfg.station, 12);             // DF003
        w.put(0, 6);                        // DF021 ITRF year
        w.put(1, 1);                        // DF022 GPS
        w.put(1, 1);                        // DF023 GLONASS
        w.put(1, 1);                        // DF024 Galileo
        w.put(0, 1);                        // DF141 reference station
        w.puts(llround(x * 10000), 38);     // DF025
        w.put(1, 1);                        // DF142 single receiver oscillator
        w.put(0, 1);                        // DF001 reserved
        w.puts(llround(y * 10000), 38);     // DF026
        w.put(0, 2);                        // DF364 quarter cycle indicator
        w.puts(llround(z * 10000), 38);     // DF027
        if (number == 1006) w.put(15000, 16); // DF028 antenna height 1.5 m
        fr.finish(out);
    }

    static void text(BitWriter &w, const char *s)
    {
        const size_t n = strlen(s);
        w.put(n, 8);
        for (size_t i = 0; i < n; i++) w.put((uint8_t)s[i], 8);
    }

    // 1033: receiver and antenna descriptors.
    void descriptor(std::vector<uint8_t> &out)
    {
        Frame fr;
        BitWriter &w = fr.w;
        w.put(1033, 12);            // DF002
        w.put(cfg.station, 12);     // DF003
        text(w, "SYNTHETIC ANT   NONE"); // DF029, DF030
        w.put(0, 8);                // DF031 setup id
        text(w, "0001");            // DF032, DF033
        text(w, "RTCM3GEN");        // DF227, DF228
        text(w, "1.0");             // DF229, DF230
        text(w, "0001");            // DF231, DF232
        fr.finish(out);
    }

    // One MSM7 (DF numbers of RTCM 10403.3, Table 3.5-78 onwards).
    void msm7(std::vector<uint8_t> &out, int system, int64_t t, bool more)
    {
        const SystemDef &def = systemDef(system);
        const int64_t tow = gpsTow(t);
        uint32_t epoch;
        if (system == GLO) {
            // DF416 day of week and DF034 ms of day, Moscow time (UTC + 3 h).
            int64_t msk = (tow - cfg.leapSeconds * 1000LL + 3 * 3600000LL) % kWeekMs;
            if (msk < 0) msk += kWeekMs;
            epoch = (uint32_t)((msk / kDayMs) << 27 | (msk % kDayMs));
        } else if (system == BDS) {
            // DF427: BDS time, 14 s behind GPS time.
            int64_t b = tow - 14000;
            if (b < 0) b += kWeekMs;
            epoch = (uint32_t)b;
        } else {
            epoch = (uint32_t)tow; // DF004, DF248 (Galileo), DF428 (QZSS)
        }

        Observation obs[12][3];
        double rough[12];
        int roughRate[12];
        const int n = count[system];
        const Satellite *list = &sats[(size_t)first[system]];
        for (int i = 0; i < n; i++) {
            for (int k = 0; k < def.signals; k++) obs[i][k] = truth(list[i], k, t);
            // Rough range (DF397 + DF398): the first signal's pseudorange to
            // 1/1024 ms; rough rate (DF399) to the whole m/s.
            rough[i] = floor(obs[i][0].pseudorange / kLightMs * 1024.0 + 0.5) / 1024.0;
            roughRate[i] = (int)lround(obs[i][0].rangeRate);
        }

        Frame fr;
        BitWriter &w = fr.w;
        w.put(def.msm7, 12);        // DF002
        w.put(cfg.station, 12);     // DF003
        w.put(epoch, 30);           // epoch time
        w.put(more ? 1 : 0, 1);     // DF393 multiple message bit
        w.put(0, 3);                // DF409 IODS
        w.put(0, 7);                // DF001 reserved
        w.put(0, 2);                // DF411 clock steering
        w.put(0, 2);                // DF412 external clock
        w.put(0, 1);                // DF417 smoothing
        w.put(0, 3);                // DF418 smoothing interval
        uint64_t satMask = 0;       // DF394, first bit = satellite 1
        for (int i = 0; i < n; i++) satMask |= 1ull << (64 - list[i].prn);
        w.put(satMask, 64);
        uint32_t sigMask = 0;       // DF395, first bit = signal id 1
        for (int k = 0; k < def.signals; k++) sigMask |= 1u << (32 - def.signal[k].id);
        w.put(sigMask, 32);
        for (int i = 0; i < n; i++) // DF396, satellite-major
            for (int k = 0; k < def.signals; k++) w.put(list[i].tracked[k] ? 1 : 0, 1);
        for (int i = 0; i < n; i++) w.put((uint64_t)floor(rough[i]), 8); // DF397
        for (int i = 0; i < n; i++) w.put(system == GLO ? (uint64_t)(list[i].gloChannel + 7) : 0, 4); // extended info
        for (int i = 0; i < n; i++) w.put((uint64_t)llround((rough[i] - floor(rough[i])) * 1024.0), 10); // DF398
        for (int i = 0; i < n; i++) w.puts(roughRate[i], 14); // DF399
        // Signal data, one field at a time over the used cells.
        for (int i = 0; i < n; i++) // DF405 fine pseudorange, 2^-29 ms
            for (int k = 0; k < def.signals; k++)
                if (obs[i][k].present) w.puts(llround((obs[i][k].pseudorange / kLightMs - rough[i]) * 536870912.0), 20);
        for (int i = 0; i < n; i++) // DF406 fine phase range, 2^-31 ms
            for (int k = 0; k < def.signals; k++)
                if (obs[i][k].present)
                    w.puts(llround((obs[i][k].phaseRange / kLightMs - rough[i]) * 2147483648.0), 24);
        for (int i = 0; i < n; i++) // DF407 lock time indicator
            for (int k = 0; k < def.signals; k++)
                if (obs[i][k].present) w.put((uint64_t)lockIndicator(t - list[i].lockSinceMs), 10);
        for (int i = 0; i < n; i++) // DF420 half-cycle ambiguity
            for (int k = 0; k < def.signals; k++)
                if (obs[i][k].present) w.put(0, 1);
        for (int i = 0; i < n; i++) // DF408 C/N0, 2^-4 dB-Hz
            for (int k = 0; k < def.signals; k++)
                if (obs[i][k].present) w.put((uint64_t)obs[i][k].cnr * 16, 10);
        for (int i = 0; i < n; i++) // DF404 fine phase range rate, 0.0001 m/s
            for (int k = 0; k < def.signals; k++)
                if (obs[i][k].present) w.puts(llround((obs[i][k].rangeRate - roughRate[i]) * 10000.0), 15);
        fr.finish(out);
    }

    // ---- ephemerides ----------------------------------------------------------------------
    // Broadcast integers of plausible orbits (scale factors of the DFs noted).

    void ephemerides(std::vector<uint8_t> &out, int64_t t)
    {
        // Galileo and BDS first: they carry the full week, which a decoder
        // needs before it can place GPS weeks sent modulo 1024.
        for (int i = 0; i < count[GAL]; i++) {
            galileo(out, sats[(size_t)(first[GAL] + i)], t, 1046);
            galileo(out, sats[(size_t)(first[GAL] + i)], t, 1045);
        }
        for (int i = 0; i < count[BDS]; i++) bds(out, sats[(size_t)(first[BDS] + i)], t);
        for (int i = 0; i < count[GPS]; i++) gpsLike(out, sats[(size_t)(first[GPS] + i)], t, false);
        for (int i = 0; i < count[QZS]; i++) gpsLike(out, sats[(size_t)(first[QZS] + i)], t, true);
        for (int i = 0; i < count[GLO]; i++) glonass(out, sats[(size_t)(first[GLO] + i)], t);
    }

    static int64_t semicircles(double radians, int scaleExponent)
    {
        return llround(radians / kPi * ldexp(1.0, -scaleExponent));
    }
    static double wrap(double a)
    {
        a = fmod(a, 2 * kPi);
        if (a >= kPi) a -= 2 * kPi;
        if (a < -kPi) a += 2 * kPi;
        return a;
    }

    void gpsLike(std::vector<uint8_t> &out, const Satellite &s, int64_t t, bool qzss)
    {
        const int week = gpsWeek(t);
        const int64_t toc = gpsTow(t) / 1000 / 7200 * 7200; // two-hour blocks
        const int iode = (int)((toc / 7200 + s.prn * 7) % 240);
        const double sqrtA = qzss ? 6493.4 : 5153.6 + 0.5 * sin(s.orbitPhase);
        const double e = qzss ? 0.075 : 0.002 + 0.012 * (0.5 + 0.5 * cos(s.orbitPhase));
        const double i0 = (qzss ? 41.0 : 55.0) * kPi / 180 + 0.01 * sin(s.orbitPhase);
        Frame fr;
        BitWriter &w = fr.w;
        if (!qzss) {
            w.put(1019, 12);                               // DF002
            w.put(s.prn, 6);                               // DF009
            w.put(week % 1024, 10);                        // DF076
            w.put(2, 4);                                   // DF077 URA
            w.put(1, 2);                                   // DF078 code on L2
            w.puts(semicircles(2e-10, -43), 14);           // DF079 IDOT
            w.put(iode, 8);                                // DF071
            w.put(toc / 16, 16);                           // DF081
            w.puts(0, 8);                                  // DF082 af2
            w.puts(llround(-3e-12 * ldexp(1, 43)), 16);    // DF083 af1, 2^-43 s/s
            w.puts(llround((1e-4 * sin(s.orbitPhase * 3)) * ldexp(1, 31)), 22); // DF084 af0, 2^-31 s
            w.put(iode, 10);                               // DF085 IODC
            w.puts(llround(40.0 * 32), 16);                // DF086 Crs, 2^-5 m
            w.puts(semicircles(4.6e-9, -43), 16);          // DF087 delta n
            w.puts(semicircles(wrap(s.orbitPhase + s.prn), -31), 32); // DF088 M0
            w.puts(llround(2e-6 * ldexp(1, 29)), 16);      // DF089 Cuc
            w.put((uint64_t)llround(e * ldexp(1, 33)), 32); // DF090 e
            w.puts(llround(7e-6 * ldexp(1, 29)), 16);      // DF091 Cus
            w.put((uint64_t)llround(sqrtA * ldexp(1, 19)), 32); // DF092 sqrt(A)
            w.put(toc / 16, 16);                           // DF093 toe
            w.puts(llround(1e-7 * ldexp(1, 29)), 16);      // DF094 Cic
            w.puts(semicircles(wrap(s.orbitPhase * 2), -31), 32); // DF095 OMEGA0
            w.puts(llround(-6e-8 * ldexp(1, 29)), 16);     // DF096 Cis
            w.puts(semicircles(i0, -31), 32);              // DF097 i0
            w.puts(llround(220.0 * 32), 16);               // DF098 Crc
            w.puts(semicircles(wrap(s.orbitPhase - 1), -31), 32); // DF099 omega
            w.puts(semicircles(-8.1e-9, -43), 24);         // DF100 OMEGADOT
            w.puts(llround(-1.1e-8 * ldexp(1, 31)), 8);    // DF101 tGD
            w.put(0, 6);                                   // DF102 health
            w.put(0, 1);                                   // DF103 L2 P data flag
            w.put(0, 1);                                   // DF137 fit interval
        } else {
            w.put(1044, 12);                               // DF002
            w.put(s.prn, 4);                               // DF429
            w.put(toc / 16, 16);                           // DF430 toc
            w.puts(0, 8);                                  // DF431 af2
            w.puts(llround(1e-12 * ldexp(1, 43)), 16);     // DF432 af1
            w.puts(llround(-2e-4 * ldexp(1, 31)), 22);     // DF433 af0
            w.put(iode, 8);                                // DF434 IODE
            w.puts(llround(-300.0 * 32), 16);              // DF435 Crs
            w.puts(semicircles(2.5e-9, -43), 16);          // DF436 delta n
            w.puts(semicircles(wrap(s.orbitPhase), -31), 32); // DF437 M0
            w.puts(llround(-1e-5 * ldexp(1, 29)), 16);     // DF438 Cuc
            w.put((uint64_t)llround(e * ldexp(1, 33)), 32); // DF439 e
            w.puts(llround(1e-5 * ldexp(1, 29)), 16);      // DF440 Cus
            w.put((uint64_t)llround(sqrtA * ldexp(1, 19)), 32); // DF441 sqrt(A)
            w.put(toc / 16, 16);                           // DF442 toe
            w.puts(llround(2e-7 * ldexp(1, 29)), 16);      // DF443 Cic
            w.puts(semicircles(wrap(s.orbitPhase + 2), -31), 32); // DF444 OMEGA0
            w.puts(llround(-1e-7 * ldexp(1, 29)), 16);     // DF445 Cis
            w.puts(semicircles(i0, -31), 32);              // DF446 i0
            w.puts(llround(100.0 * 32), 16);               // DF447 Crc
            w.puts(semicircles(wrap(-1.5), -31), 32);      // DF448 omega
            w.puts(semicircles(-2.9e-9, -43), 24);         // DF449 OMEGADOT
            w.puts(semicircles(1e-10, -43), 14);           // DF450 IDOT
            w.put(1, 2);                                   // DF451 code on L2
            w.put(week % 1024, 10);                        // DF452 week
            w.put(1, 4);                                   // DF453 URA
            w.put(0, 6);                                   // DF454 health
            w.puts(llround(-4.7e-9 * ldexp(1, 31)), 8);    // DF455 TGD
            w.put(iode, 10);                               // DF456 IODC
            w.put(0, 1);                                   // DF457 fit interval
        }
        fr.finish(out);
    }

    void bds(std::vector<uint8_t> &out, const Satellite &s, int64_t t)
    {
        // BDS time is 14 s behind GPS time; BDS week 0 began at GPS week 1356.
        const int64_t bdt = t - kGpsOriginMs - 1356 * kWeekMs - 14000;
        const int week = (int)(bdt / kWeekMs);
        const int64_t toc = (bdt % kWeekMs) / 1000 / 3600 * 3600; // hourly
        const bool geo = s.prn <= 5;
        const double sqrtA = geo ? 6493.5 : 5282.6;
        const double i0 = (geo ? 1.5 : 55.0) * kPi / 180;
        Frame fr;
        BitWriter &w = fr.w;
        w.put(1042, 12);                                   // DF002
        w.put(s.prn, 6);                                   // DF488
        w.put(week, 13);                                   // DF489
        w.put(0, 4);                                       // DF490 URAI
        w.puts(semicircles(-1e-10, -43), 14);              // DF491 IDOT
        w.put((toc / 3600) % 32, 5);                       // DF492 AODE
        w.put(toc / 8, 17);                                // DF493 toc
        w.puts(0, 11);                                     // DF494 a2
        w.puts(llround(2e-11 * ldexp(1, 50)), 22);         // DF495 a1
        w.puts(llround(3e-4 * sin(s.orbitPhase) * ldexp(1, 33)), 24); // DF496 a0
        w.put((toc / 3600) % 32, 5);                       // DF497 AODC
        w.puts(llround(-150.0 * 64), 18);                  // DF498 Crs, 2^-6 m
        w.puts(semicircles(3.9e-9, -43), 16);              // DF499 delta n
        w.puts(semicircles(wrap(s.orbitPhase * 5), -31), 32); // DF500 M0
        w.puts(llround(-5e-6 * ldexp(1, 31)), 18);         // DF501 Cuc
        w.put((uint64_t)llround((geo ? 0.0005 : 0.001) * ldexp(1, 33)), 32); // DF502 e
        w.puts(llround(9e-6 * ldexp(1, 31)), 18);          // DF503 Cus
        w.put((uint64_t)llround(sqrtA * ldexp(1, 19)), 32); // DF504 sqrt(A)
        w.put(toc / 8, 17);                                // DF505 toe
        w.puts(llround(3e-8 * ldexp(1, 31)), 18);          // DF506 Cic
        w.puts(semicircles(wrap(s.orbitPhase + 0.5), -31), 32); // DF507 OMEGA0
        w.puts(llround(-2e-8 * ldexp(1, 31)), 18);         // DF508 Cis
        w.puts(semicircles(i0, -31), 32);                  // DF509 i0
        w.puts(llround(180.0 * 64), 18);                   // DF510 Crc
        w.puts(semicircles(wrap(s.orbitPhase - 2), -31), 32); // DF511 omega
        w.puts(semicircles(-6.8e-9, -43), 24);             // DF512 OMEGADOT
        w.puts(-25, 10);                                   // DF513 TGD1, 0.1 ns
        w.puts(12, 10);                                    // DF514 TGD2
        w.put(0, 1);                                       // DF515 health
        fr.finish(out);
    }

    void galileo(std::vector<uint8_t> &out, const Satellite &s, int64_t t, int number)
    {
        // Galileo weeks count from GPS week 1024; ephemerides every 10 min.
        const int week = gpsWeek(t) - 1024;
        const int64_t toc = gpsTow(t) / 1000 / 600 * 600;
        const int iod = (int)((toc / 600 + s.prn * 11) % 1024);
        Frame fr;
        BitWriter &w = fr.w;
        w.put(number, 12);                                 // DF002
        w.put(s.prn, 6);                                   // DF252
        w.put(week % 4096, 12);                            // DF289
        w.put(iod, 10);                                    // DF290 IODnav
        w.put(107, 8);                                     // DF286 SISA
        w.puts(semicircles(1e-11, -43), 14);               // DF292 IDOT
        w.put(toc / 60, 14);                               // DF293 toc
        w.puts(0, 6);                                      // DF294 af2
        w.puts(llround(-5e-13 * ldexp(1, 46)), 21);        // DF295 af1, 2^-46
        w.puts(llround(5e-4 * cos(s.orbitPhase) * ldexp(1, 34)), 31); // DF296 af0, 2^-34
        w.puts(llround(-20.0 * 32), 16);                   // DF297 Crs
        w.puts(semicircles(3.1e-9, -43), 16);              // DF298 delta n
        w.puts(semicircles(wrap(s.orbitPhase * 7), -31), 32); // DF299 M0
        w.puts(llround(-1e-6 * ldexp(1, 29)), 16);         // DF300 Cuc
        w.put((uint64_t)llround(0.0003 * ldexp(1, 33)), 32); // DF301 e
        w.puts(llround(8e-6 * ldexp(1, 29)), 16);          // DF302 Cus
        w.put((uint64_t)llround(5440.6 * ldexp(1, 19)), 32); // DF303 sqrt(A)
        w.put(toc / 60, 14);                               // DF304 toe
        w.puts(llround(4e-8 * ldexp(1, 29)), 16);          // DF305 Cic
        w.puts(semicircles(wrap(s.orbitPhase * 3), -31), 32); // DF306 OMEGA0
        w.puts(llround(1e-8 * ldexp(1, 29)), 16);          // DF307 Cis
        w.puts(semicircles(56.0 * kPi / 180, -31), 32);    // DF308 i0
        w.puts(llround(190.0 * 32), 16);                   // DF309 Crc
        w.puts(semicircles(wrap(s.orbitPhase + 1), -31), 32); // DF310 omega
        w.puts(semicircles(-5.5e-9, -43), 24);             // DF311 OMEGADOT
        w.puts(-3, 10);                                    // DF312 BGD E5a/E1, 2^-32 s
        if (number == 1045) {
            w.put(0, 2);                                   // DF314 E5a health
            w.put(0, 1);                                   // DF315 E5a validity
            w.put(0, 7);                                   // DF001 reserved
        } else {
            w.puts(-4, 10);                                // DF313 BGD E5b/E1
            w.put(0, 2);                                   // DF316 E5b health
            w.put(0, 1);                                   // DF317 E5b validity
            w.put(0, 2);                                   // DF287 E1-B health
            w.put(0, 1);                                   // DF288 E1-B validity
            w.put(0, 2);                                   // DF001 reserved
        }
        fr.finish(out);
    }

    void glonass(std::vector<uint8_t> &out, const Satellite &s, int64_t t)
    {
        // Moscow time of day, day number within the four-year interval.
        const int64_t utcMs = t - cfg.leapSeconds * 1000LL;
        const int64_t mskMs = utcMs + 3 * 3600000LL;
        const int64_t tod = mskMs % kDayMs;
        const int64_t tb = tod / 1800000 * 2 + 1;           // 15 min units, centre of a half hour
        const int64_t days = mskMs / kDayMs;                // days since 1970-01-01 (Moscow)
        const int64_t since1996 = days - 9496;              // 1996-01-01
        const int n4 = (int)(since1996 / 1461) + 1;
        const int nt = (int)(since1996 % 1461) + 1;
        const int64_t tk = tod / 30000 * 30000;             // frame start, 30 s steps
        const int tkh = (int)(tk / 3600000), tkm = (int)(tk / 60000 % 60), tks = (int)(tk / 30000 % 2);
        // A circular orbit of 25,510 km radius in one of three planes.
        const double r = 25510.0, v = sqrt(398600.4418 / r);
        const double plane = ((s.prn - 1) / 8) * 2 * kPi / 3, inc = 64.8 * kPi / 180;
        const double u = s.orbitPhase + (double)(tb * 900) * v / r;
        const double xo = r * cos(u), yo = r * sin(u), vxo = -v * sin(u), vyo = v * cos(u);
        const double pos[3] = {xo * cos(plane) - yo * cos(inc) * sin(plane),
                               xo * sin(plane) + yo * cos(inc) * cos(plane), yo * sin(inc)};
        const double vel[3] = {vxo * cos(plane) - vyo * cos(inc) * sin(plane),
                               vxo * sin(plane) + vyo * cos(inc) * cos(plane), vyo * sin(inc)};
        Frame fr;
        BitWriter &w = fr.w;
        w.put(1020, 12);                                   // DF002
        w.put(s.prn, 6);                                   // DF038 slot
        w.put(s.gloChannel + 7, 5);                        // DF040 channel
        w.put(0, 1);                                       // DF104 almanac health
        w.put(1, 1);                                       // DF105 its availability
        w.put(0, 2);                                       // DF106 P1
        w.put((uint64_t)(tkh << 7 | tkm << 1 | tks), 12);  // DF107 tk
        w.put(0, 1);                                       // DF108 Bn msb
        w.put(1, 1);                                       // DF109 P2
        w.put((uint64_t)tb, 7);                            // DF110 tb
        for (int a = 0; a < 3; a++) {
            w.putsm(llround(vel[a] * ldexp(1, 20)), 24);   // DF111/114/117, 2^-20 km/s
            w.putsm(llround(pos[a] * ldexp(1, 11)), 27);   // DF112/115/118, 2^-11 km
            w.putsm(a == 2 ? -2 : 1, 5);                   // DF113/116/119, 2^-30 km/s^2
        }
        w.put(0, 1);                                       // DF120 P3
        w.putsm(1, 11);                                    // DF121 gamma, 2^-40
        w.put(3, 2);                                       // DF122 P
        w.put(0, 1);                                       // DF123 ln
        w.putsm(llround(-5e-5 * sin(s.orbitPhase) * ldexp(1, 30)), 22); // DF124 tau, 2^-30 s
        w.putsm(2, 5);                                     // DF125 delta tau
        w.put(1, 5);                                       // DF126 En
        w.put(0, 1);                                       // DF127 P4
        w.put(2, 4);                                       // DF128 FT
        w.put((uint64_t)nt, 11);                           // DF129 NT
        w.put(1, 2);                                       // DF130 M
        w.put(1, 1);                                       // DF131 additional data
        w.put((uint64_t)nt, 11);                           // DF132 NA
        w.putsm(-9, 32);                                   // DF133 tau c, 2^-31 s
        w.put((uint64_t)n4, 5);                            // DF134 N4
        w.putsm(12, 22);                                   // DF135 tau GPS, 2^-30 s
        w.put(0, 1);                                       // DF136 ln
        w.put(0, 7);                                       // DF001 reserved
        fr.finish(out);
    }
};

} // namespace rtcm3gen

#endif
