// A small RTCM 3 encoder for tests: builds frames bit by bit from chosen
// values, following the field definitions of RTCM 10403.3 (data fields DF...).
// Its bit writer, CRC-24Q and framing are the stream tool's, written from the
// standard alone, so that it shares nothing with the decoders it checks.
#ifndef QUORVANE_TESTS_RTCM3_ENCODER_H
#define QUORVANE_TESTS_RTCM3_ENCODER_H

#include <math.h>
#include <stdint.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "../tools/rtcm3_stream.h"
#include "frame_builders.h"

namespace rtcm3enc {

// A frame body, most significant bit first as RTCM 3 sends: unsigned or two's
// complement of n bits.
struct BitWriter : rtcm3gen::Frame {
    void put(uint64_t value, int n) { w.put(value, n); }
    void puts(int64_t value, int n) { w.puts(value, n); }
    uint32_t bits() const { return w.bit; }
};

using rtcm3gen::crc24q;

// Preamble, 6 zero bits, 10-bit length, body (padded to whole bytes), CRC.
inline std::vector<uint8_t> frame(BitWriter &w)
{
    std::vector<uint8_t> out;
    w.finish(out);
    return out;
}

// One data field as sent: unsigned or two's complement, of `bits` bits.
enum Kind { U, S };
struct Field {
    int64_t value;
    int bits;
    Kind kind = U;
};

inline void put_fields(BitWriter &w, std::initializer_list<Field> fields)
{
    for (const Field &f : fields) {
        if (f.kind == S)
            w.puts(f.value, f.bits);
        else
            w.put((uint64_t)f.value, f.bits);
    }
}

// ---- MSM ---------------------------------------------------------------------------------

struct MsmCell {
    bool present = true;
    double pr_ms = 0;        // pseudorange, ms of light travel
    double ph_ms = 0;        // phase range, ms of light travel
    double rate = 0;         // phase range rate, m/s
    bool pr_valid = true;
    bool ph_valid = true;
    bool rate_fine_valid = true;
    unsigned lock = 0;
    unsigned half = 0;
    double cnr = 0;          // dB-Hz
};

struct MsmSat {
    int id = 1;              // 1..64
    double rough_ms = 70;    // rough range, ms (quantised to 2^-10 ms)
    bool rough_valid = true; // false: integer ms sent as 255
    double rough_rate = 0;   // m/s, whole
    bool rough_rate_valid = true;
    unsigned ext = 0;        // extended satellite information
    std::vector<MsmCell> cells; // one per signal id of the message
};

struct Msm {
    int number = 1077;
    int station = 0;
    uint32_t epoch = 0;
    int multiple = 0;
    int iods = 0;
    int clock_steering = 0;
    int external_clock = 0;
    int smoothing = 0;
    int smoothing_interval = 0;
    std::vector<int> signal_ids; // ascending, 1..32
    std::vector<MsmSat> sats;    // ascending id
};

inline std::vector<uint8_t> encode_msm(const Msm &m)
{
    const int type = m.number % 10;
    const bool ext = type == 5 || type == 7, big = type >= 6;
    BitWriter w;
    put_fields(w, {{m.number, 12}, {m.station, 12}, {m.epoch, 30}, {m.multiple, 1}, {m.iods, 3}, {0, 7},
                   {m.clock_steering, 2}, {m.external_clock, 2}, {m.smoothing, 1}, {m.smoothing_interval, 3}});
    // Satellite mask DF394 and signal mask DF395: first bit is id 1.
    for (int s = 1; s <= 64; s++) {
        bool on = false;
        for (const MsmSat &sat : m.sats) on = on || sat.id == s;
        w.put(on, 1);
    }
    for (int g = 1; g <= 32; g++) w.put(std::count(m.signal_ids.begin(), m.signal_ids.end(), g) > 0, 1);
    // Cell mask DF396: satellite-major.
    std::vector<const MsmCell *> used;
    std::vector<const MsmSat *> owner;
    for (const MsmSat &sat : m.sats)
        for (size_t j = 0; j < m.signal_ids.size(); j++) {
            bool on = j < sat.cells.size() && sat.cells[j].present;
            w.put(on, 1);
            if (on) used.push_back(&sat.cells[j]), owner.push_back(&sat);
        }

    // Satellite data. Rough range in 1/1024 ms: integer ms (DF397, from type
    // 4 on) and the rest (DF398).
    auto rough = [](const MsmSat &s) { return lround(s.rough_ms * 1024.0); };
    for (const MsmSat &sat : m.sats)
        if (type >= 4) w.put(sat.rough_valid ? rough(sat) / 1024 : 255, 8);
    for (const MsmSat &sat : m.sats)
        if (ext) w.put(sat.ext, 4);
    for (const MsmSat &sat : m.sats) w.put(rough(sat) % 1024, 10);
    for (const MsmSat &sat : m.sats)
        if (ext) w.puts(sat.rough_rate_valid ? lround(sat.rough_rate) : -8192, 14);

    // Fine values relative to the whole rough range (types 1 to 3 send only
    // its part below 1 ms, so their ranges come back modulo 1 ms); an invalid
    // one is the field's most negative value.
    auto fine = [&](bool valid, double value, double scale, int bits) {
        w.puts(valid ? llround(value / scale) : -(1ll << (bits - 1)), bits);
    };
    const size_t n = used.size();
    for (size_t k = 0; k < n && type != 2; k++)
        fine(used[k]->pr_valid, used[k]->pr_ms - rough(*owner[k]) / 1024.0, ldexp(1, big ? -29 : -24), big ? 20 : 15);
    for (size_t k = 0; k < n && type >= 2; k++)
        fine(used[k]->ph_valid, used[k]->ph_ms - rough(*owner[k]) / 1024.0, ldexp(1, big ? -31 : -29), big ? 24 : 22);
    for (size_t k = 0; k < n && type >= 2; k++) w.put(used[k]->lock, big ? 10 : 4);
    for (size_t k = 0; k < n && type >= 2; k++) w.put(used[k]->half, 1);
    for (size_t k = 0; k < n && type >= 4; k++) w.put(lround(used[k]->cnr * (big ? 16 : 1)), big ? 10 : 6);
    for (size_t k = 0; k < n && ext; k++)
        fine(used[k]->rate_fine_valid, used[k]->rate - lround(owner[k]->rough_rate), 0.0001, 15);
    return frame(w);
}

// ---- legacy observations 1001 to 1004 (GPS) and 1009 to 1012 (GLONASS) ----------------

// One satellite as the messages carry it, in engineering units; the encoder
// quantises with the standard's resolutions.
struct LegacySat {
    int id = 1;              // DF009 / DF038
    int l1_code = 0;         // DF010 / DF039
    int channel = 0;         // GLONASS frequency channel -7..13 (DF040 = channel + 7)
    double pr1 = 22000000.0; // full L1 pseudorange, m
    double ph1 = 22000000.0; // full L1 phase range, m
    bool ph1_valid = true;
    int lock1 = 0;           // DF013 / DF043 indicator
    double cnr1 = 0;         // dB-Hz, 0 = not computed
    int l2_code = 0;         // DF016 / DF046
    double pr2 = 22000000.0; // full L2 pseudorange, m
    bool pr2_valid = true;
    double ph2 = 22000000.0; // full L2 phase range, m
    bool ph2_valid = true;
    int lock2 = 0;
    double cnr2 = 0;
};

struct Legacy {
    int number = 1004;
    int station = 0;
    uint32_t epoch = 0;      // GPS: ms of week (DF004); GLONASS: ms of the GLONASS day (DF034)
    int synchronous = 0;     // DF005
    int smoothing = 0;
    int smoothing_interval = 0;
    std::vector<LegacySat> sats;
};

inline std::vector<uint8_t> encode_legacy(const Legacy &m)
{
    const bool glo = m.number >= 1009;
    const int kind = m.number - (glo ? 1009 : 1001);
    const bool l2 = kind >= 2, ext = kind == 1 || kind == 3;
    // DF014 counts light-milliseconds of 299,792.458 m, DF044 units of 599,584.916 m.
    const double unit = glo ? 599584.916 : 299792.458;
    BitWriter w;
    put_fields(w, {{m.number, 12}, {m.station, 12}, {m.epoch, glo ? 27 : 30}, {m.synchronous, 1},
                   {(int64_t)m.sats.size(), 5}, {m.smoothing, 1}, {m.smoothing_interval, 3}});
    for (const LegacySat &s : m.sats) {
        w.put(s.id, 6);
        w.put(s.l1_code, 1);
        if (glo) w.put(s.channel + 7, 5);
        long amb = (long)floor(s.pr1 / unit);
        long pr = lround((s.pr1 - amb * unit) / 0.02);
        w.put(pr, glo ? 25 : 24);
        // Phase and L2 differences are taken against the L1 pseudorange as sent.
        double pr_sent = pr * 0.02 + amb * unit;
        w.puts(s.ph1_valid ? lround((s.ph1 - pr_sent) / 0.0005) : -524288, 20);
        w.put(s.lock1, 7);
        if (ext) put_fields(w, {{amb, glo ? 7 : 8}, {lround(s.cnr1 * 4), 8}});
        if (l2)
            put_fields(w, {{s.l2_code, 2}, {s.pr2_valid ? lround((s.pr2 - pr_sent) / 0.02) : -8192, 14, S},
                           {s.ph2_valid ? lround((s.ph2 - pr_sent) / 0.0005) : -524288, 20, S}, {s.lock2, 7}});
        if (l2 && ext) w.put(lround(s.cnr2 * 4), 8);
    }
    return frame(w);
}

} // namespace rtcm3enc

#endif
