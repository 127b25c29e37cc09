// Broadcast orbits: the Keplerian model shared by GPS, QZSS, Galileo and BDS,
// and the integration of the GLONASS state vector.
#include "orbit.h"

#include <cmath>
#include <cstring>

namespace qc {

namespace {

const double kWeek = 604800.0;
const double kHalfWeek = 302400.0;
const double kDay = 86400.0;
// Seconds from 1970-01-01 to the GPS time origin 1980-01-06: a whole number
// of days, so Moscow days line up on both scales.
const double kGpsEpochUnix = 315964800.0;
// BDS time runs 14 s behind GPS time; its week 0 is GPS week 1356, the
// Galileo week 0 is GPS week 1024.
const double kBdsMinusGps = -14.0;
const int kBdsWeekOffset = 1356;
const int kGalileoWeekOffset = 1024;

// Constants of one system's Keplerian model.
struct Model {
    double mu;       // m^3/s^2
    double omegaE;   // Earth rotation, rad/s
    double f;        // relativistic clock constant, s/m^(1/2)
};
const Model kGps = {3.986005e14, 7.2921151467e-5, -4.442807633e-10};
const Model kGalileo = {3.986004418e14, 7.2921151467e-5, -4.442807309e-10};
const Model kBds = {3.986004418e14, 7.292115e-5, -4.442807309e-10};

// The fields the Keplerian model needs, whatever the system.
struct Kepler {
    double toe, toc, af0, af1, af2;
    double sqrtA, e, omega, deltaN, m0, omega0, omegaDot, i0, idot;
    double cuc, cus, crc, crs, cic, cis;
};

// A time difference brought into -half week..+half week, so that a record
// whose week is not known (or off by whole weeks) still applies.
double weekDifference(double dt)
{
    dt = std::fmod(dt, kWeek);
    if (dt > kHalfWeek) dt -= kWeek;
    if (dt < -kHalfWeek) dt += kWeek;
    return dt;
}

template <class T> Kepler keplerOf(const T &n, double af0, double af1, double af2)
{
    Kepler k;
    k.toe = n.toe;
    k.toc = n.toc;
    k.af0 = af0;
    k.af1 = af1;
    k.af2 = af2;
    k.sqrtA = n.sqrt_a;
    k.e = n.e;
    k.omega = n.omega;
    k.deltaN = n.delta_n;
    k.m0 = n.m0;
    k.omega0 = n.omega0;
    k.omegaDot = n.omega_dot;
    k.i0 = n.i0;
    k.idot = n.idot;
    k.cuc = n.cuc;
    k.cus = n.cus;
    k.crc = n.crc;
    k.crs = n.crs;
    k.cic = n.cic;
    k.cis = n.cis;
    return k;
}

// `t` is seconds of the record's own time scale (any week: only the time of
// week matters). `geo`: BDS geostationary orbit, whose elements are given in
// an inertial frame inclined by 5 degrees.
bool keplerState(const Kepler &k, const Model &m, double t, bool geo, SatelliteState *out)
{
    if (!(k.sqrtA > 1000.0) || !(k.e >= 0.0 && k.e < 0.5) || !std::isfinite(t)) return false;
    const double a = k.sqrtA * k.sqrtA;
    const double tk = weekDifference(t - k.toe);
    const double n = std::sqrt(m.mu / (a * a * a)) + k.deltaN;
    const double mk = k.m0 + n * tk;
    double e = mk;
    for (int i = 0; i < 30; i++) {
        const double next = mk + k.e * std::sin(e);
        const double done = std::fabs(next - e) < 1e-14;
        e = next;
        if (done) break;
    }
    const double sinE = std::sin(e), cosE = std::cos(e);
    const double v = std::atan2(std::sqrt(1.0 - k.e * k.e) * sinE, cosE - k.e);
    const double phi = v + k.omega;
    const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
    const double u = phi + k.cus * s2 + k.cuc * c2;
    const double r = a * (1.0 - k.e * cosE) + k.crs * s2 + k.crc * c2;
    const double inc = k.i0 + k.idot * tk + k.cis * s2 + k.cic * c2;
    const double xp = r * std::cos(u), yp = r * std::sin(u);
    const double ci = std::cos(inc), si = std::sin(inc);
    if (!geo) {
        const double node = k.omega0 + (k.omegaDot - m.omegaE) * tk - m.omegaE * k.toe;
        const double cn = std::cos(node), sn = std::sin(node);
        out->position[0] = xp * cn - yp * ci * sn;
        out->position[1] = xp * sn + yp * ci * cn;
        out->position[2] = yp * si;
    } else {
        const double node = k.omega0 + k.omegaDot * tk - m.omegaE * k.toe;
        const double cn = std::cos(node), sn = std::sin(node);
        const double xg = xp * cn - yp * ci * sn;
        const double yg = xp * sn + yp * ci * cn;
        const double zg = yp * si;
        // Rx(-5 deg), then Rz(omegaE * tk).
        const double f = -5.0 * NAV_PI / 180.0;
        const double cf = std::cos(f), sf = std::sin(f);
        const double x1 = xg;
        const double y1 = cf * yg + sf * zg;
        const double z1 = -sf * yg + cf * zg;
        const double w = m.omegaE * tk;
        const double cw = std::cos(w), sw = std::sin(w);
        out->position[0] = cw * x1 + sw * y1;
        out->position[1] = -sw * x1 + cw * y1;
        out->position[2] = z1;
    }
    const double dt = weekDifference(t - k.toc);
    const double relativistic = m.f * k.e * k.sqrtA * sinE;
    out->clock = k.af0 + k.af1 * dt + k.af2 * dt * dt + relativistic;
    return std::isfinite(out->position[0]) && std::isfinite(out->clock);
}

bool isBdsGeo(int prn) { return (prn >= 1 && prn <= 5) || (prn >= 59 && prn <= 63); }

// A broadcast week and a time of week on the GPS scale: the week is moved by
// one when it is the week of transmission and toe lies in the next (or the
// previous) week.
GpsSeconds referenceTime(int gpsWeek, uint32_t toe, int32_t tow, bool weekOfToe)
{
    double week = gpsWeek;
    if (!weekOfToe && tow >= 0) {
        const double d = (double)toe - (double)tow;
        if (d < -kHalfWeek) week += 1;
        if (d > kHalfWeek) week -= 1;
    }
    return week * kWeek + toe;
}

// The GPS time of a GLONASS record's tb: from its date when known, else on
// the Moscow day that puts it nearest `near`.
GpsSeconds glonassReference(const glonass_nav_t &nav, double utcMinusGps, GpsSeconds near)
{
    if (nav.tb_time != 0) return nav.tb_time / 1000.0 - kGpsEpochUnix - utcMinusGps;
    const double moscow = near + utcMinusGps + 10800.0; // Moscow time is UTC + 3 h
    const double day = std::floor(moscow / kDay) * kDay;
    double best = day + nav.tb;
    for (int k = -1; k <= 1; k += 2) {
        const double c = day + k * kDay + nav.tb;
        if (std::fabs(c - moscow) < std::fabs(best - moscow)) best = c;
    }
    return best - 10800.0 - utcMinusGps;
}

// PZ-90 equations of motion in the rotating frame, with the second zonal
// harmonic and the lunisolar accelerations of the record taken as constant.
void glonassDerivative(const double s[6], const double acc[3], double d[6])
{
    const double mu = 3.9860044e14, ae = 6378136.0, j2 = 1082625.75e-9, w = 7.292115e-5;
    const double r2 = s[0] * s[0] + s[1] * s[1] + s[2] * s[2];
    const double r = std::sqrt(r2);
    const double r3 = r2 * r;
    const double a = 1.5 * j2 * mu * ae * ae / (r2 * r3);
    const double z2 = 5.0 * s[2] * s[2] / r2;
    d[0] = s[3];
    d[1] = s[4];
    d[2] = s[5];
    d[3] = -mu / r3 * s[0] - a * s[0] * (1.0 - z2) + w * w * s[0] + 2.0 * w * s[4] + acc[0];
    d[4] = -mu / r3 * s[1] - a * s[1] * (1.0 - z2) + w * w * s[1] - 2.0 * w * s[3] + acc[1];
    d[5] = -mu / r3 * s[2] - a * s[2] * (3.0 - z2) + acc[2];
}

// A state vector that can be an orbit at all.
bool glonassUsable(const glonass_nav_t &nav)
{
    const double r0 = std::sqrt(nav.x * nav.x + nav.y * nav.y + nav.z * nav.z) * 1000.0;
    return r0 > 1e7 && r0 < 1e8;
}

void glonassInitial(const glonass_nav_t &nav, double s[6])
{
    const double v[6] = {nav.x, nav.y, nav.z, nav.vx, nav.vy, nav.vz};
    for (int j = 0; j < 6; j++) s[j] = v[j] * 1000.0;
}

// Fourth-order Runge-Kutta over `span` seconds in steps of at most 60 s.
void glonassIntegrate(const glonass_nav_t &nav, double s[6], double span)
{
    const double acc[3] = {nav.ax * 1000.0, nav.ay * 1000.0, nav.az * 1000.0};
    const int steps = (int)std::ceil(std::fabs(span) / 60.0);
    const double h = steps > 0 ? span / steps : 0.0;
    for (int i = 0; i < steps; i++) {
        double k1[6], k2[6], k3[6], k4[6], tmp[6];
        glonassDerivative(s, acc, k1);
        for (int j = 0; j < 6; j++) tmp[j] = s[j] + 0.5 * h * k1[j];
        glonassDerivative(tmp, acc, k2);
        for (int j = 0; j < 6; j++) tmp[j] = s[j] + 0.5 * h * k2[j];
        glonassDerivative(tmp, acc, k3);
        for (int j = 0; j < 6; j++) tmp[j] = s[j] + h * k3[j];
        glonassDerivative(tmp, acc, k4);
        for (int j = 0; j < 6; j++) s[j] += h / 6.0 * (k1[j] + 2.0 * k2[j] + 2.0 * k3[j] + k4[j]);
    }
}

} // namespace

bool gpsState(const gps_nav_t &nav, GpsSeconds t, SatelliteState *out)
{
    return keplerState(keplerOf(nav, nav.af0, nav.af1, nav.af2), kGps, t, false, out);
}

bool galileoState(const galileo_inav_t &nav, GpsSeconds t, SatelliteState *out)
{
    return keplerState(keplerOf(nav, nav.af0, nav.af1, nav.af2), kGalileo, t, false, out);
}

bool bdsState(const bd2_nav_t &nav, GpsSeconds t, SatelliteState *out)
{
    return keplerState(keplerOf(nav, nav.a0, nav.a1, nav.a2), kBds, t + kBdsMinusGps, isBdsGeo(nav.prn), out);
}

bool glonassState(const glonass_nav_t &nav, GpsSeconds t, double utcMinusGps, SatelliteState *out)
{
    if (!glonassUsable(nav) || !std::isfinite(t)) return false;
    const GpsSeconds tb = glonassReference(nav, utcMinusGps, t);
    const double span = t - tb;
    // Beyond a day the broadcast state means nothing; refuse rather than
    // integrate for minutes.
    if (std::fabs(span) > kDay) return false;
    double s[6];
    glonassInitial(nav, s);
    glonassIntegrate(nav, s, span);
    out->position[0] = s[0];
    out->position[1] = s[1];
    out->position[2] = s[2];
    // The broadcast clock is -tau + gamma (t - tb); the relativistic effect is
    // already in tau.
    out->clock = -nav.tau + nav.gamma * span;
    return std::isfinite(s[0]) && std::isfinite(out->clock);
}

void elevationAzimuth(const double receiver[3], const double satellite[3], double *elevation, double *azimuth)
{
    double lat, lon, h;
    ecefToGeodetic(receiver, &lat, &lon, &h);
    const double d[3] = {satellite[0] - receiver[0], satellite[1] - receiver[1], satellite[2] - receiver[2]};
    const double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
    const double e = -so * d[0] + co * d[1];
    const double n = -sl * co * d[0] - sl * so * d[1] + cl * d[2];
    const double u = cl * co * d[0] + cl * so * d[1] + sl * d[2];
    *elevation = std::atan2(u, std::sqrt(e * e + n * n));
    double az = std::atan2(e, n);
    if (az < 0) az += 2 * NAV_PI;
    *azimuth = az;
}

void ecefToGeodetic(const double xyz[3], double *latitude, double *longitude, double *height)
{
    const double a = 6378137.0, f = 1.0 / 298.257223563;
    const double e2 = f * (2.0 - f);
    const double p = std::sqrt(xyz[0] * xyz[0] + xyz[1] * xyz[1]);
    *longitude = (p > 0 || xyz[1] != 0) ? std::atan2(xyz[1], xyz[0]) : 0.0;
    if (p < 1e-9) {
        // On the axis: a pole (or the centre).
        const double b = a * (1.0 - f);
        *latitude = xyz[2] >= 0 ? NAV_PI / 2 : -NAV_PI / 2;
        *height = std::fabs(xyz[2]) - b;
        return;
    }
    double lat = std::atan2(xyz[2], p * (1.0 - e2));
    double h = 0;
    for (int i = 0; i < 10; i++) {
        const double s = std::sin(lat);
        const double n = a / std::sqrt(1.0 - e2 * s * s);
        h = p / std::cos(lat) - n;
        const double next = std::atan2(xyz[2], p * (1.0 - e2 * n / (n + h)));
        const bool done = std::fabs(next - lat) < 1e-13;
        lat = next;
        if (done) break;
    }
    *latitude = lat;
    *height = h;
}

// ---- store ------------------------------------------------------------------------

namespace {

// Weeks after which a broadcast week number repeats, in seconds.
double rolloverOf(char system)
{
    switch (system) {
    case 'E': return 4096 * kWeek;
    case 'C': return 8192 * kWeek;
    default: return 1024 * kWeek;
    }
}

// Half-width of the interval around the reference time in which a record is
// used.
double fitOf(char system)
{
    switch (system) {
    case 'C': return 2 * 3600.0;
    case 'R': return 30 * 60.0;
    default: return 4 * 3600.0;
    }
}

bool healthy(const Ephemeris &e)
{
    switch (e.system) {
    case 'G':
    case 'J': return e.gps.health == 0;
    case 'E': return e.galileo.e1b_hs == 0 && e.galileo.e5b_hs == 0;
    case 'C': return e.bds.health == 0;
    case 'R': return ((e.glonass.bn >> 2) & 1) == 0;
    }
    return false;
}

int keyOf(char system, int prn) { return ((unsigned char)system << 8) | (prn & 0xff); }

// Two records with the same reference and the same issue are the same
// broadcast, repeated by the stream.
bool sameRecord(const Ephemeris &a, const Ephemeris &b)
{
    if (a.reference != b.reference) return false;
    switch (a.system) {
    case 'G':
    case 'J': return a.gps.iode == b.gps.iode && a.gps.iodc == b.gps.iodc;
    case 'E': return a.galileo.iodnav == b.galileo.iodnav;
    case 'C': return a.bds.aode == b.bds.aode && a.bds.toc == b.bds.toc;
    case 'R': return a.glonass.tb == b.glonass.tb;
    }
    return false;
}

} // namespace

void EphemerisStore::insert(const Ephemeris &e)
{
    std::vector<size_t> &list = m_index[keyOf(e.system, e.prn)];
    for (size_t i : list)
        if (sameRecord(m_records[i], e)) {
            m_records[i] = e; // the later copy may carry a healthier flag
            m_integrated.erase(i);
            return;
        }
    if (m_perSatellite > 0 && list.size() >= m_perSatellite) {
        // The record received first gives its place to the new one.
        const size_t slot = list.front();
        list.erase(list.begin());
        list.push_back(slot);
        m_records[slot] = e;
        m_integrated.erase(slot);
        return;
    }
    list.push_back(m_records.size());
    m_records.push_back(e);
}

void EphemerisStore::setRecordsPerSatellite(size_t n) { m_perSatellite = n; }

void EphemerisStore::add(const gps_nav_t &nav, char system)
{
    // Subframes of two uploads do not make one orbit.
    if ((system != 'G' && system != 'J') || nav.iode != nav.iode3) return;
    Ephemeris e;
    std::memset(&e, 0, sizeof e);
    e.system = system;
    e.prn = nav.prn;
    e.gps = nav;
    e.reference = referenceTime(nav.week, nav.toe, nav.tow, nav.week_of_toe);
    insert(e);
}

void EphemerisStore::add(const galileo_inav_t &nav)
{
    Ephemeris e;
    std::memset(&e, 0, sizeof e);
    e.system = 'E';
    e.prn = nav.prn;
    e.galileo = nav;
    e.reference = referenceTime(nav.week + kGalileoWeekOffset, nav.toe, nav.tow, nav.week_of_toe);
    insert(e);
}

void EphemerisStore::add(const galileo_fnav_t &nav)
{
    galileo_inav_t i;
    std::memset(&i, 0, sizeof i);
    i.prn = nav.prn;
    i.week = nav.week;
    i.tow = nav.tow;
    i.iodnav = nav.iodnav;
    i.sisa = nav.sisa;
    // F/NAV tells the health of E5a only; it stands for the satellite.
    i.e1b_dvs = i.e5b_dvs = nav.e5a_dvs;
    i.e1b_hs = i.e5b_hs = nav.e5a_hs;
    i.bgd_e5a = nav.bgd_e5a;
    i.toc = nav.toc;
    i.af0 = nav.af0;
    i.af1 = nav.af1;
    i.af2 = nav.af2;
    i.toe = nav.toe;
    i.sqrt_a = nav.sqrt_a;
    i.e = nav.e;
    i.omega = nav.omega;
    i.delta_n = nav.delta_n;
    i.m0 = nav.m0;
    i.omega0 = nav.omega0;
    i.omega_dot = nav.omega_dot;
    i.i0 = nav.i0;
    i.idot = nav.idot;
    i.cuc = nav.cuc;
    i.cus = nav.cus;
    i.crc = nav.crc;
    i.crs = nav.crs;
    i.cic = nav.cic;
    i.cis = nav.cis;
    i.week_of_toe = nav.week_of_toe;
    add(i);
}

void EphemerisStore::add(const bd2_nav_t &nav)
{
    Ephemeris e;
    std::memset(&e, 0, sizeof e);
    e.system = 'C';
    e.prn = nav.prn;
    e.bds = nav;
    e.reference = referenceTime(nav.week + kBdsWeekOffset, nav.toe, nav.tow, nav.week_of_toe) - kBdsMinusGps;
    insert(e);
}

void EphemerisStore::add(const glonass_nav_t &nav)
{
    Ephemeris e;
    std::memset(&e, 0, sizeof e);
    e.system = 'R';
    e.prn = nav.slot;
    e.glonass = nav;
    // Undated records are placed on their day when asked for a time.
    e.reference = nav.tb_time != 0 ? glonassReference(nav, m_utcMinusGps, 0) : NAN;
    insert(e);
}

void EphemerisStore::setUtcMinusGps(double seconds)
{
    // Dated GLONASS records were placed with the old value.
    for (Ephemeris &e : m_records)
        if (e.system == 'R' && e.glonass.tb_time != 0) e.reference += m_utcMinusGps - seconds;
    m_utcMinusGps = seconds;
}

bool EphemerisStore::empty() const { return m_records.empty(); }

const Ephemeris *EphemerisStore::find(char system, int prn, GpsSeconds t) const
{
    auto it = m_index.find(keyOf(system, prn));
    if (it == m_index.end() || !std::isfinite(t)) return nullptr;
    const double fit = fitOf(system), rollover = rolloverOf(system);
    const Ephemeris *best = nullptr;
    double bestDt = 0;
    for (size_t i : it->second) {
        const Ephemeris &e = m_records[i];
        if (!healthy(e)) continue;
        double ref = e.reference;
        if (system == 'R' && !std::isfinite(ref)) ref = glonassReference(e.glonass, m_utcMinusGps, t);
        double dt = t - ref;
        // A week number that rolled over (or was resolved into the wrong
        // era) still names the right week modulo its period.
        if (!(std::fabs(dt) < 0.5 * rollover)) dt -= std::round(dt / rollover) * rollover;
        if (std::fabs(dt) > fit) continue;
        if (!best || std::fabs(dt) < std::fabs(bestDt)) {
            best = &e;
            bestDt = dt;
        }
    }
    return best;
}

bool EphemerisStore::state(char system, int prn, GpsSeconds t, SatelliteState *out) const
{
    const Ephemeris *e = find(system, prn, t);
    if (!e) return false;
    switch (system) {
    case 'G':
    case 'J': return gpsState(e->gps, t, out);
    case 'E': return galileoState(e->galileo, t, out);
    case 'C': return bdsState(e->bds, t, out);
    case 'R': break;
    default: return false;
    }
    // GLONASS: from the state last integrated for this record when that is
    // nearer than tb (the step is then usually one epoch's interval).
    const glonass_nav_t &nav = e->glonass;
    if (!glonassUsable(nav) || !std::isfinite(t)) return false;
    const GpsSeconds tb = glonassReference(nav, m_utcMinusGps, t);
    if (std::fabs(t - tb) > kDay) return false;
    Integrated &c = m_integrated[(size_t)(e - m_records.data())];
    if (c.tb != tb || !(std::fabs(t - c.t) < std::fabs(t - tb))) {
        c.tb = c.t = tb;
        glonassInitial(nav, c.s);
    }
    glonassIntegrate(nav, c.s, t - c.t);
    c.t = t;
    for (int k = 0; k < 3; k++) out->position[k] = c.s[k];
    out->clock = -nav.tau + nav.gamma * (t - tb);
    return std::isfinite(c.s[0]) && std::isfinite(out->clock);
}

} // namespace qc
