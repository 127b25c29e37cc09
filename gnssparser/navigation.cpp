// Scaling of broadcast ephemeris integers into engineering units, GLONASS
// dating, and the GLONASS slot-to-channel table. All scale factors of the
// broadcast formats live here so that every decoder converts the same way.
#include "navigation.h"

#include <math.h>
#include <string.h>

#include "util.h"

namespace {

// 1996-01-01 00:00 Moscow time (UTC + 3 h), seconds since 1970 UTC.
const int64_t kGlonassEpoch = 820443600;
const int64_t kMoscowOffsetS = 10800;
// Moscow day number (days since 1970-01-01 Moscow) of 1996-01-01.
const int64_t kGlonassEpochMoscowDay = (kGlonassEpoch + kMoscowOffsetS) / 86400;

inline double scale(double raw, int exponent)
{
    return ldexp(raw, exponent);
}

inline double semicircles(double raw, int exponent)
{
    return ldexp(raw, exponent) * NAV_PI;
}

inline int64_t floor_div(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) q--;
    return q;
}

// The Keplerian orbit and its harmonic corrections, sent with the same scale
// factors by GPS, QZSS, Galileo and BDS except for the harmonic terms:
// angles 2^angle_exp rad, radius 2^radius_exp m.
template <typename Nav, typename Raw> void orbit_from_raw(Nav *nav, const Raw *raw, int angle_exp, int radius_exp)
{
    nav->sqrt_a = scale(raw->sqrt_a, -19);
    nav->e = scale(raw->e, -33);
    nav->omega = semicircles(raw->omega, -31);
    nav->delta_n = semicircles(raw->delta_n, -43);
    nav->m0 = semicircles(raw->m0, -31);
    nav->omega0 = semicircles(raw->omega0, -31);
    nav->omega_dot = semicircles(raw->omega_dot, -43);
    nav->i0 = semicircles(raw->i0, -31);
    nav->idot = semicircles(raw->idot, -43);
    nav->cuc = scale(raw->cuc, angle_exp);
    nav->cus = scale(raw->cus, angle_exp);
    nav->crc = scale(raw->crc, radius_exp);
    nav->crs = scale(raw->crs, radius_exp);
    nav->cic = scale(raw->cic, angle_exp);
    nav->cis = scale(raw->cis, angle_exp);
}

// Galileo's clock and reference times, the same in F/NAV and I/NAV.
template <typename Nav, typename Raw> void galileo_clock_from_raw(Nav *nav, const Raw *raw)
{
    nav->toc = (uint32_t)raw->toc * 60u;
    nav->af0 = scale(raw->af0, -34);
    nav->af1 = scale(raw->af1, -46);
    nav->af2 = scale(raw->af2, -59);
    nav->toe = (uint32_t)raw->toe * 60u;
}

} // namespace

void gps_nav_from_raw(gps_nav_t *nav, const gps_nav_raw_t *raw)
{
    memset(nav, 0, sizeof(*nav));
    nav->tow = -1;
    nav->week = raw->week < 2048 ? (uint16_t)(raw->week + 2048) : raw->week;
    nav->ura = raw->ura;
    nav->health = raw->health;
    nav->fit = raw->fit;
    nav->code_l2 = raw->code_l2;
    nav->l2p_flag = raw->l2p_flag;
    nav->aodo = raw->aodo;
    nav->iodc = raw->iodc;
    nav->iode = raw->iode;
    nav->iode3 = raw->iode3;
    nav->tgd = scale(raw->tgd, -31);
    nav->toc = (uint32_t)raw->toc * 16u;
    nav->af0 = scale(raw->af0, -31);
    nav->af1 = scale(raw->af1, -43);
    nav->af2 = scale(raw->af2, -55);
    nav->toe = (uint32_t)raw->toe * 16u;
    orbit_from_raw(nav, raw, -29, -5);
}

void qzss_nav_from_raw(gps_nav_t *nav, const gps_nav_raw_t *raw)
{
    gps_nav_from_raw(nav, raw);
}

void bd2_nav_from_raw(bd2_nav_t *nav, const bd2_nav_raw_t *raw)
{
    static const int kAlphaExp[4] = {-30, -27, -24, -24};
    static const int kBetaExp[4] = {11, 14, 16, 16};

    memset(nav, 0, sizeof(*nav));
    nav->tow = raw->tow;
    nav->week = raw->week;
    nav->prn = raw->prn;
    nav->aodc = raw->aodc;
    nav->aode = raw->aode;
    nav->health = raw->health;
    nav->ura = raw->ura;
    nav->tgd1 = raw->tgd1 * 1e-10;
    nav->tgd2 = raw->tgd2 * 1e-10;
    for (int i = 0; i < 4; i++) {
        nav->alpha[i] = scale(raw->alpha[i], kAlphaExp[i]);
        nav->beta[i] = scale(raw->beta[i], kBetaExp[i]);
    }
    nav->toc = raw->toc * 8u;
    nav->a0 = scale(raw->a0, -33);
    nav->a1 = scale(raw->a1, -50);
    nav->a2 = scale(raw->a2, -66);
    nav->toe = raw->toe * 8u;
    orbit_from_raw(nav, raw, -31, -6);
}

void galileo_fnav_from_raw(galileo_fnav_t *nav, const galileo_fnav_raw_t *raw)
{
    memset(nav, 0, sizeof(*nav));
    nav->tow = raw->tow;
    nav->week = raw->week;
    nav->iodnav = raw->iodnav;
    nav->prn = raw->prn;
    nav->sisa = raw->sisa;
    nav->e5a_dvs = raw->e5a_dvs;
    nav->e5a_hs = raw->e5a_hs;
    nav->bgd_e5a = scale(raw->bgd_e5a, -32);
    galileo_clock_from_raw(nav, raw);
    orbit_from_raw(nav, raw, -29, -5);
}

void galileo_inav_from_raw(galileo_inav_t *nav, const galileo_inav_raw_t *raw)
{
    memset(nav, 0, sizeof(*nav));
    nav->prn = raw->prn;
    nav->source = raw->source;
    nav->week = raw->week;
    nav->tow = raw->tow;
    nav->iodnav = raw->iodnav;
    nav->sisa = raw->sisa;
    nav->e5b_dvs = raw->e5b_dvs;
    nav->e1b_dvs = raw->e1b_dvs;
    nav->e5b_hs = raw->e5b_hs;
    nav->e1b_hs = raw->e1b_hs;
    nav->bgd_e5a = scale(raw->bgd_e5a, -32);
    nav->bgd_e5b = scale(raw->bgd_e5b, -32);
    galileo_clock_from_raw(nav, raw);
    orbit_from_raw(nav, raw, -29, -5);
}

void glonass_nav_update_int(glonass_nav_raw_t *raw)
{
    raw->x = util_glonass_ephemeris_int((uint32_t)raw->x, 27);
    raw->y = util_glonass_ephemeris_int((uint32_t)raw->y, 27);
    raw->z = util_glonass_ephemeris_int((uint32_t)raw->z, 27);
    raw->vx = util_glonass_ephemeris_int((uint32_t)raw->vx, 24);
    raw->vy = util_glonass_ephemeris_int((uint32_t)raw->vy, 24);
    raw->vz = util_glonass_ephemeris_int((uint32_t)raw->vz, 24);
    raw->ax = util_glonass_ephemeris_int((uint32_t)raw->ax, 5);
    raw->ay = util_glonass_ephemeris_int((uint32_t)raw->ay, 5);
    raw->az = util_glonass_ephemeris_int((uint32_t)raw->az, 5);
    raw->gamma = util_glonass_ephemeris_int((uint32_t)raw->gamma, 11);
    raw->tau = util_glonass_ephemeris_int((uint32_t)raw->tau, 22);
    raw->delta_tau = util_glonass_ephemeris_int((uint32_t)raw->delta_tau, 5);
    // tau_c and tau_gps are sent as sign and magnitude like the others; read
    // as plain unsigned values, a correction of -1 ns would become about
    // +1 s (tau_c) or +4 ms (tau_gps).
    raw->tau_c = util_glonass_ephemeris_int((uint32_t)raw->tau_c, 32);
    raw->tau_gps = util_glonass_ephemeris_int((uint32_t)raw->tau_gps, 22);
}

int glonass_nav_from_raw(glonass_nav_t *nav, const glonass_nav_raw_t *raw)
{
    memset(nav, 0, sizeof(*nav));
    nav->x = scale(raw->x, -11);
    nav->y = scale(raw->y, -11);
    nav->z = scale(raw->z, -11);
    nav->vx = scale(raw->vx, -20);
    nav->vy = scale(raw->vy, -20);
    nav->vz = scale(raw->vz, -20);
    nav->ax = scale(raw->ax, -30);
    nav->ay = scale(raw->ay, -30);
    nav->az = scale(raw->az, -30);
    nav->gamma = scale(raw->gamma, -40);
    nav->tau = scale(raw->tau, -30);
    nav->delta_tau = scale(raw->delta_tau, -30);
    nav->tau_c = scale(raw->tau_c, -31);
    nav->tau_gps = scale(raw->tau_gps, -30);
    nav->tk = ((raw->tk >> 7) & 31u) * 3600u + (raw->tk & 127u) * 30u;
    nav->tb = (uint32_t)raw->tb * 900u;
    nav->nt = raw->nt;
    nav->na = raw->na;
    nav->m = raw->m;
    nav->bn = raw->bn;
    nav->p = raw->p;
    nav->ft = raw->ft;
    nav->slot = raw->slot;
    nav->en = raw->en;
    nav->p1 = raw->p1;
    nav->p2 = raw->p2;
    nav->p3 = raw->p3;
    nav->p4 = raw->p4;
    nav->ln3 = raw->ln3;
    nav->four_year = raw->four_year;
    nav->ln5 = raw->ln5;
    nav->frequency_channel = raw->frequency_channel;
    return glonass_nav_update_utc(nav);
}

int glonass_nav_date_known(const glonass_nav_t *nav)
{
    return nav->four_year >= 1 && nav->four_year <= 31 && nav->nt >= 1 && nav->nt <= 1461;
}

int glonass_nav_update_utc(glonass_nav_t *nav)
{
    if (!glonass_nav_date_known(nav)) {
        // An ephemeris without its additional data carries N4 = NT = 0; a
        // date formed from them would lie in 1991.
        nav->tk_time = 0;
        nav->tb_time = 0;
        return GLONASS_NAV_DATE_UNKNOWN;
    }
    int64_t day = ((int64_t)(nav->four_year - 1) * 1461 + nav->nt - 1) * 86400 + kGlonassEpoch;
    nav->tk_time = (day + (int64_t)nav->tk) * 1000;
    nav->tb_time = (day + (int64_t)nav->tb) * 1000;
    return 0;
}

int glonass_nav_update_utc_near(glonass_nav_t *nav, int64_t utc_ms)
{
    const int64_t day_ms = 86400000;
    // Moscow day start (as UTC ms) of the day holding utc_ms on Moscow time.
    int64_t moscow_day = floor_div(utc_ms + kMoscowOffsetS * 1000, day_ms);
    int64_t best_day = moscow_day;
    int64_t best_diff = -1;
    for (int64_t d = moscow_day - 1; d <= moscow_day + 1; d++) {
        int64_t t = d * day_ms - kMoscowOffsetS * 1000 + (int64_t)nav->tb * 1000;
        int64_t diff = t > utc_ms ? t - utc_ms : utc_ms - t;
        if (best_diff < 0 || diff < best_diff) {
            best_diff = diff;
            best_day = d;
        }
    }
    int64_t day_start = best_day * day_ms - kMoscowOffsetS * 1000;
    nav->tb_time = day_start + (int64_t)nav->tb * 1000;
    // The frame start lies at most a few hours before tb; near midnight it
    // can belong to the neighbouring day.
    int64_t tk_time = day_start + (int64_t)nav->tk * 1000;
    if (tk_time - nav->tb_time > day_ms / 2)
        tk_time -= day_ms;
    else if (nav->tb_time - tk_time > day_ms / 2)
        tk_time += day_ms;
    nav->tk_time = tk_time;

    int64_t k = best_day - kGlonassEpochMoscowDay;
    if (k >= 0 && k < 31 * 1461) {
        nav->four_year = (uint8_t)(k / 1461 + 1);
        nav->nt = (uint16_t)(k % 1461 + 1);
    } else {
        nav->four_year = 0;
        nav->nt = 0;
    }
    return 0;
}

void glonass_channel_init(glonass_channel_t *table)
{
    for (int i = 0; i < 32; i++) table->channel[i] = GLONASS_CHANNEL_UNKNOWN;
}

void glonass_channel_set(glonass_channel_t *table, int slot, int channel)
{
    if (slot < 1 || slot > 32) return;
    table->channel[slot - 1] = (int8_t)channel;
}

int glonass_channel_update(glonass_channel_t *table, int slot, int channel)
{
    if (slot < 1 || slot > 32) return GLONASS_CHANNEL_UNKNOWN;
    // No GLONASS satellite has used a channel outside -7..+13 (the range
    // every message that carries one can express): anything else is a
    // damaged or reserved field, and kept it would scale every later phase
    // and Doppler of the slot by a carrier that does not exist.
    if (channel < -7 || channel > 13) return table->channel[slot - 1];
    if (table->channel[slot - 1] == GLONASS_CHANNEL_UNKNOWN) table->channel[slot - 1] = (int8_t)channel;
    return table->channel[slot - 1];
}

int glonass_channel_update_extended(glonass_channel_t *table, int slot, int extended_info)
{
    if (extended_info < 0 || extended_info > 13) return glonass_channel_get(table, slot);
    return glonass_channel_update(table, slot, extended_info - 7);
}

int glonass_channel_get(const glonass_channel_t *table, int slot)
{
    if (slot < 1 || slot > 32) return GLONASS_CHANNEL_UNKNOWN;
    return table->channel[slot - 1];
}

uint32_t glonass_channel_frequency(const glonass_channel_t *table, int slot, const gnss_signal_t *signal)
{
    if (signal == nullptr) return 0;
    int k = glonass_channel_get(table, slot);
    if (k == GLONASS_CHANNEL_UNKNOWN) return 0;
    if (signal->frequency == 1602000000u) return (uint32_t)(1602000000 + k * 562500);
    if (signal->frequency == 1246000000u) return (uint32_t)(1246000000 + k * 437500);
    return 0;
}
