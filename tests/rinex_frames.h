// What a RINEX observation file must hold, worked out straight from the
// frames of a real log with the physics (C = travel time x c, L = phase
// range in cycles, D = -rate x f / c, S = C/N0), and the hand-built
// observations and ephemerides that the writer tests feed in.
#ifndef QUORVANE_TESTS_RINEX_FRAMES_H
#define QUORVANE_TESTS_RINEX_FRAMES_H

#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "gnssparser.h"
#include "log_frames.h"
#include "rinexxxx.h"
#include "util.h"

namespace rframes {

// One signal of one satellite: C, L (without any phase shift), D and S.
struct Expected {
    const gnss_signal_t *signal = nullptr;
    double value[4] = {0, 0, 0, 0};
    bool valid[4] = {false, false, false, false};
};

// epoch (GPS ms since 1970) -> satellite ("G05") -> signal code -> values
typedef std::map<qint64, std::map<std::string, std::map<std::string, Expected>>> Epochs;

inline std::string satName(const gnss_signal_t *s, int prn)
{
    char sat[8];
    snprintf(sat, sizeof sat, "%c%02d", GNSS_SYSTEM[s->system].letter, prn);
    return sat;
}

// The MSM4 to MSM7 epochs of an RTCM 3 log (legacy epochs only as times)
// in the GPS week `week`. GLONASS channels come from the 1020 frames and
// the MSM5/7 extended information of the whole log (first seen wins) and
// are returned in *channels.
inline Epochs fromRtcm(const std::vector<uint8_t> &data, int week, std::map<int, int> *channels)
{
    Epochs out;
    const std::vector<std::vector<uint8_t>> frames = logs::rtcm3_frames(data);
    for (const auto &f : frames) {
        glonass_nav_t g;
        if (rtcm3_parser_1020(f.data(), (uint32_t)f.size(), &g) == 0) channels->insert({g.slot, g.frequency_channel});
    }
    std::vector<rtcm3_msm_cell_t> group;
    int groupTow = -1;
    static rtcm3_msm_cell_t cells[128];
    for (size_t i = 0; i <= frames.size(); i++) {
        rtcm3_msm_header_t h;
        if (i == frames.size()) {
            // A log cut inside an epoch still gives what arrived of it.
            if (group.empty()) break;
            h.multiple = 0;
        } else {
            const std::vector<uint8_t> &f = frames[i];
            int number = rtcm3_get_message_number(f.data(), (uint32_t)f.size());
            rtcm3_legacy_header_t legacy;
            if (number >= 1001 && number <= 1004 && rtcm3_parser_legacy_header(f.data(), (uint32_t)f.size(), &legacy) == 0)
                out[util_gps_time_to_epoch(week, (int)legacy.epoch)]; // an epoch too; its values are not compared here
            if (!(rtcm3_is_msm(number) || (number >= 1131 && number <= 1137)) || number % 10 < 4) continue;
            if (rtcm3_parser_msm_header(f.data(), (uint32_t)f.size(), &h) != 0) {
                // A system not converted (IRNSS): only its "last message"
                // bit, bit 54 of the body, counts.
                if (f.size() <= 10 || ((f[3 + 54 / 8] >> (7 - 54 % 8)) & 1)) continue;
                h.multiple = 0;
                h.tow = groupTow;
                number = 0;
            }
            const bool glonass = number >= 1081 && number <= 1088;
            // SBAS epoch fields are not trusted for timing (some are times of day).
            const bool sbas = number >= 1101 && number <= 1107;
            if (!glonass && !sbas && number) {
                if (groupTow >= 0 && groupTow != h.tow) group.clear();
                groupTow = h.tow;
            }
            const int n = number ? rtcm3_parser_msm(&h, cells, 128) : 0;
            for (int k = 0; k < n; k++) {
                if (glonass && cells[k].extended_info_valid && cells[k].extended_info <= 13)
                    channels->insert({cells[k].satellite, cells[k].extended_info - 7});
                group.push_back(cells[k]);
            }
        }
        if (h.multiple) continue;
        if (groupTow < 0) {
            group.clear();
            continue;
        }
        auto &epoch = out[util_gps_time_to_epoch(week, groupTow)];
        for (const rtcm3_msm_cell_t &c : group) {
            const gnss_signal_t *s = c.signal;
            if (!s || c.satellite < 1 || c.satellite > 99) continue;
            double f = s->frequency;
            if (s->system == GNSS_SYSTEM_GLONASS) {
                auto ch = channels->find(c.satellite);
                f = ch == channels->end() ? 0 : f + ch->second * (s->code[0] == '1' ? 562500.0 : 437500.0);
            }
            // DF403/DF408: a C/N0 of 0 is "not computed".
            const Expected e = {s, {c.pseudorange * 299792458.0, c.phase * f, -c.phase_rate * f / 299792458.0, c.cnr},
                                {(bool)c.pseudorange_valid, c.phase_valid && f > 0, c.phase_rate_valid && f > 0, c.cnr != 0}};
            // A cell with neither range nor phase does not undo one that has them.
            Expected &slot = epoch[satName(s, c.satellite)][s->code];
            if (e.valid[0] || e.valid[1] || !(slot.valid[0] || slot.valid[1])) slot = e;
        }
        group.clear();
        groupTow = -1;
    }
    return out;
}

// The RANGE and RANGECMP epochs of a NovAtel log: a channel counts when its
// code or its parity-known phase is locked; ADR is the negative phase.
inline Epochs fromNovatel(const std::vector<uint8_t> &data)
{
    Epochs out;
    for (const auto &frame : logs::novatel_frames(data)) {
        const uint8_t *fr = frame.data();
        novatel_header_t h;
        novatel_range_t log;
        if (novatel_parser_header(fr, (uint32_t)frame.size(), &h) != 0 || (h.id != 43 && h.id != 140) || h.week == 0 ||
            (h.id == 43 ? novatel_parser_range(fr, &h, &log, 0) : novatel_parser_rangecmp(fr, &h, &log, 0)) != 0)
            continue;
        auto &epoch = out[util_gps_time_to_epoch(h.week, h.ms)];
        for (uint32_t k = 0; k < log.amount; k++) {
            novatel_range_obs_t o;
            int r = h.id == 43 ? novatel_range_get_obs(&log, k, &o) : novatel_rangecmp_get_obs(&log, k, &o);
            if (r != 0 || !o.nov_signal || !o.nov_signal->signal || o.prn < 1 || o.prn > 99) continue;
            if (!((o.phase_lock && o.parity_known) || o.code_lock)) continue;
            const gnss_signal_t *s = o.nov_signal->signal;
            const bool phase = o.adr != 0 && !(s->system == GNSS_SYSTEM_GLONASS && o.glofreq == GLONASS_CHANNEL_UNKNOWN);
            epoch[satName(s, o.prn)][s->code] = {s, {o.psr, -o.adr, o.doppler, o.cno}, {(bool)o.code_lock, phase, true, o.cno > 0}};
        }
    }
    return out;
}

// A hand-built observation with every part valid.
inline Rinexxxx::Obs obs(const gnss_signal_t *signal, int prn, double pr, double phase, float doppler, float cnr)
{
    Rinexxxx::Obs o;
    o.signal = signal;
    o.prn = prn;
    o.glonassChannel = 0;
    o.pseudorange = pr, o.phase = phase, o.doppler = doppler, o.cnr = cnr;
    o.lockOk = o.halfCycleOk = o.pseudorangeValid = o.phaseValid = o.dopplerValid = true;
    return o;
}

// Writes one epoch at GPS week 2290 (from 2023-11-26), ms of week.
template <typename Writer> qint64 writeEpoch(Writer &w, int ms, const std::vector<Rinexxxx::Obs> &list)
{
    w.range.clear();
    w.range.week = 2290;
    w.range.ms = ms;
    w.range.epochMs = util_gps_time_to_epoch(2290, ms);
    for (const auto &o : list) w.range.appendObs(o);
    return w.range.writeToFile();
}

// A GPS ephemeris of week 2290 with sqrt(A) and eccentricity of a real orbit.
inline gps_nav_t gps(int prn, uint32_t toe)
{
    gps_nav_t n = {};
    n.tow = -1;
    n.week = 2290;
    n.prn = (uint8_t)prn;
    n.iode = n.iode3 = 77;
    n.iodc = 77;
    n.toc = n.toe = toe;
    n.sqrt_a = 5153.65;
    n.e = 0.0123;
    n.af0 = -1.5e-4;
    return n;
}

} // namespace rframes

#endif
