// Broadcast orbits against physics and published values: real records of
// every system from a log, checked by orbit radius, the vis-viva speed, the
// inclination of the orbital plane and the relativistic clock term
// -2 r.v / c^2; the GLONASS integration against the interface document's
// worked example; the store's choice of record; the geometry helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "log_frames.h"
#include "orbit.h"
#include "spp.h"
#include "rtcm3.h"
#include "testdata.h"

namespace {

const double kC = 299792458.0;
const double kOmegaE = 7.2921151467e-5;
const double kDeg = NAV_PI / 180.0;

struct Records {
    std::vector<gps_nav_t> gps, qzss;
    std::vector<bd2_nav_t> bds;
    std::vector<galileo_inav_t> galileo;
    std::vector<glonass_nav_t> glonass;
};

Records readRecords(const char *name)
{
    Records r;
    gps_nav_t g;
    bd2_nav_t b;
    galileo_inav_t e;
    glonass_nav_t n;
    for (const std::vector<uint8_t> &f : logs::rtcm3_frames(testdata::read(name))) {
        const uint8_t *d = f.data();
        const uint32_t length = (uint32_t)f.size();
        switch (rtcm3_get_message_number(d, length)) {
        case 1019: if (rtcm3_parser_1019(d, length, &g) == 0) r.gps.push_back(g); break;
        case 1044: if (rtcm3_parser_1044(d, length, &g) == 0) r.qzss.push_back(g); break;
        case 1042: if (rtcm3_parser_1042(d, length, &b) == 0) r.bds.push_back(b); break;
        case 1046: if (rtcm3_parser_1046(d, length, &e) == 0) r.galileo.push_back(e); break;
        case 1020: if (rtcm3_parser_1020(d, length, &n) == 0) r.glonass.push_back(n); break;
        }
    }
    return r;
}

double norm(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// What physics says of one satellite at time t, from positions a second
// apart: the radius, the inertial speed, the inclination of the orbital
// plane and the relativistic clock term -2 r.v / c^2.
struct Motion {
    double radius, speed, inclination, relativistic;
};

template <typename F> Motion motionAt(F state, double t)
{
    qc::SatelliteState a, b, m;
    EXPECT_TRUE(state(t - 0.5, &a) && state(t + 0.5, &b) && state(t, &m));
    double v[3];
    for (int k = 0; k < 3; k++) v[k] = b.position[k] - a.position[k];
    // Velocity in an inertial frame momentarily aligned with the Earth: add
    // the Earth's rotation, omega x r.
    v[0] -= kOmegaE * m.position[1];
    v[1] += kOmegaE * m.position[0];
    const double *r = m.position;
    const double h[3] = {r[1] * v[2] - r[2] * v[1], r[2] * v[0] - r[0] * v[2], r[0] * v[1] - r[1] * v[0]};
    Motion out;
    out.radius = norm(r);
    out.speed = norm(v);
    out.inclination = std::acos(h[2] / norm(h));
    out.relativistic = -2.0 * (r[0] * v[0] + r[1] * v[1] + r[2] * v[2]) / (kC * kC);
    return out;
}

// A Keplerian record as the checks need it: its state, its clock
// polynomial, elements, and the system's constants.
struct Kepler {
    std::function<bool(double, qc::SatelliteState *)> state;
    double toe, toc, af0, af1, sqrtA, e, i0, mu, nominal; // toe, toc on the GPS scale
    bool geo;                                             // geostationary, whatever its elements say
};

} // namespace

// One record of each system from a log of five systems (2018), at toe and
// two hours either side: radius within the eccentric orbit's bounds and
// near the system's nominal one, vis-viva, the plane's inclination, and the
// relativistic clock term against -2 r.v / c^2 (to 0.3 ns: the harmonic
// corrections move the radius by up to a kilometre, which that formula sees
// and the Keplerian term does not; the term itself reaches tens of ns).
TEST(BroadcastOrbit, EverySystemObeysKeplerAndVisViva)
{
    REQUIRE_TESTDATA();
    Records r = readRecords("gnss-converters/week-rollover-STR24.rtcm3");
    ASSERT_FALSE(r.gps.empty() || r.qzss.empty() || r.bds.empty() || r.galileo.empty() || r.glonass.empty());
    using S = qc::SatelliteState;
    const double muGps = 3.986005e14, mu = 3.986004418e14;
    std::vector<Kepler> records;
    const gps_nav_t &g = r.gps.front();
    records.push_back({[&](double t, S *s) { return qc::gpsState(g, t, s); }, 1.0 * g.toe, 1.0 * g.toc, g.af0, g.af1,
                       g.sqrt_a, g.e, g.i0, muGps, 26560e3, false});
    for (const gps_nav_t &q : r.qzss) // inclined (or geostationary) orbits of 42,164 km
        records.push_back({[&](double t, S *s) { return qc::gpsState(q, t, s); }, 1.0 * q.toe, 1.0 * q.toc, q.af0,
                           q.af1, q.sqrt_a, q.e, q.i0, muGps, 42164e3, q.i0 < 10 * kDeg});
    const galileo_inav_t &e = r.galileo.front();
    records.push_back({[&](double t, S *s) { return qc::galileoState(e, t, s); }, 1.0 * e.toe, 1.0 * e.toc, e.af0,
                       e.af1, e.sqrt_a, e.e, e.i0, mu, 29600e3, false});
    // BDS GEO (1-5, 59-63) in their tilted frame, IGSO and MEO; BDS time is
    // GPS time - 14 s.
    for (const bd2_nav_t &b : r.bds)
        records.push_back({[&](double t, S *s) { return qc::bdsState(b, t, s); }, b.toe + 14.0, b.toc + 14.0, b.a0,
                           b.a1, b.sqrt_a, b.e, b.i0, mu, b.sqrt_a > 6000 ? 42164e3 : 27900e3,
                           b.prn <= 5 || b.prn >= 59});
    int geo = 0;
    for (const Kepler &k : records) {
        SCOPED_TRACE(k.nominal);
        const double a = k.sqrtA * k.sqrtA;
        for (double dt : {-7200.0, 0.0, 7200.0}) {
            const Motion m = motionAt(k.state, k.toe + dt);
            EXPECT_TRUE(std::fabs(m.radius - k.nominal) < 0.1 * k.nominal && m.radius >= a * (1 - k.e) - 5e3 &&
                        m.radius <= a * (1 + k.e) + 5e3) << m.radius;
            EXPECT_NEAR(m.speed, std::sqrt(k.mu * (2 / m.radius - 1 / a)), 3.0); // m/s
            EXPECT_NEAR(m.inclination, k.geo ? 0 : k.i0, (k.geo ? 3 : 0.2) * kDeg);
            S s;
            ASSERT_TRUE(k.state(k.toe + dt, &s));
            EXPECT_NEAR(s.clock - k.af0 - k.af1 * (k.toe + dt - k.toc), m.relativistic, 0.3e-9) << dt;
        }
        if (!k.geo) continue;
        geo++; // and stays over one place
        S s0, s1;
        ASSERT_TRUE(k.state(k.toe, &s0) && k.state(k.toe + 3600, &s1));
        const double d[3] = {s1.position[0] - s0.position[0], s1.position[1] - s0.position[1],
                             s1.position[2] - s0.position[2]};
        EXPECT_LT(norm(d), 300e3);
    }
    EXPECT_GT(geo, 0);

    // GLONASS: 25,500 km, 64.8 degrees, and the integrated orbit's energy
    // that of a 25,500 km circle; the store, which integrates on from the
    // time last asked, agrees with an integration from tb.
    const glonass_nav_t &n = r.glonass.front();
    ASSERT_NE(n.tb_time, 0);
    const double tb = n.tb_time / 1000.0 - 315964800.0 + 18.0;
    qc::EphemerisStore store;
    store.add(n);
    for (double dt : {0.0, 900.0, 600.0, -900.0}) {
        const Motion m = motionAt([&](double t, S *s) { return store.state('R', n.slot, t, s); }, tb + dt);
        EXPECT_NEAR(m.radius, 25510e3, 150e3);
        EXPECT_NEAR(1 / (2 / m.radius - m.speed * m.speed / 3.9860044e14), 25510e3, 150e3);
        EXPECT_NEAR(m.inclination, 64.8 * kDeg, 1.0 * kDeg);
        S a, b;
        ASSERT_TRUE(store.state('R', n.slot, tb + dt + 20, &a) && qc::glonassState(n, tb + dt + 20, -18.0, &b));
        for (int k = 0; k < 3; k++) EXPECT_NEAR(a.position[k], b.position[k], 1e-3);
    }
}

// The GLONASS interface document's example (ICD edition 5.1, appendix
// A.3.1.2): the state at tb = 11700 s integrated to 12300 s.
TEST(BroadcastOrbit, GlonassIntegrationMatchesTheInterfaceDocumentExample)
{
    glonass_nav_t n = {};
    n.x = 7003.008789, n.y = -12206.626953, n.z = 21280.765625; // km
    n.vx = 0.7835417, n.vy = 2.8042530, n.vz = 1.3525150;         // km/s
    n.ax = 0, n.ay = 1.7e-9, n.az = -5.41e-9;                     // km/s^2, lunisolar
    n.tb = 11700;
    // Undated: placed on the Moscow day of the time asked for.
    const double day = 86400.0 * 10000 - 10800.0 + 18.0; // a Moscow midnight on the GPS scale
    qc::SatelliteState s;
    ASSERT_TRUE(qc::glonassState(n, day + 12300.0, -18.0, &s));
    const double expected[3] = {7523174.819, -10506961.965, 21999239.413};
    for (int k = 0; k < 3; k++) EXPECT_NEAR(s.position[k], expected[k], 1.0);
}

// The store takes the healthy record nearest in time within the fit
// interval; a week number a rollover away names the same week, and a week
// of transmission moves toe that lies past the week's end into the next.
TEST(EphemerisStore, ChoosesTheNearestHealthyRecordWithinItsFit)
{
    auto record = [](uint16_t week, uint32_t toe, double af0, uint8_t health, int32_t tow, uint8_t weekOfToe) {
        gps_nav_t n = {};
        n.prn = 5, n.week = week, n.toe = n.toc = toe, n.tow = tow, n.week_of_toe = weekOfToe;
        n.af0 = af0, n.health = health, n.sqrt_a = 5153.6, n.i0 = 0.96;
        return n;
    };
    qc::EphemerisStore store;
    const double week = 2000 * 604800.0;
    store.add(record(2000, 0, 1e-4, 0, -1, 1), 'G');
    store.add(record(2000, 7200, 2e-4, 0, -1, 1), 'G');
    store.add(record(2000, 3600, 3e-4, 1, -1, 1), 'G');      // unhealthy
    store.add(record(2000, 0, 4e-4, 0, 604000, 0), 'J');     // sent at the end of week 2000, toe in 2001
    const struct {
        char system;
        double t;
        double af0; // 0: no record
    } cases[] = {
        {'G', week + 1000, 1e-4},           {'G', week + 3700, 2e-4},
        {'G', week + 7200 + 4 * 3600 + 1, 0}, {'G', week + 1024 * 604800.0 + 100, 1e-4},
        {'G', week - 4 * 3600 - 1, 0},      {'J', week + 604800 + 100, 4e-4},
        {'J', week + 100, 0},
    };
    for (const auto &c : cases) {
        qc::SatelliteState s;
        SCOPED_TRACE(c.t - week);
        ASSERT_EQ(store.state(c.system, 5, c.t, &s), c.af0 != 0);
        if (c.af0 != 0) { EXPECT_NEAR(s.clock, c.af0, 1e-6); }
    }

    // Capped at two records per satellite, the first of three received
    // (8 h apart, beyond each other's fit) is gone; the others stay.
    qc::EphemerisStore capped;
    capped.setRecordsPerSatellite(2);
    for (int k = 0; k < 3; k++) capped.add(record(2000, 28800 * k, 1e-4 * (k + 1), 0, -1, 1), 'G');
    for (int k = 0; k < 3; k++) {
        qc::SatelliteState s;
        EXPECT_EQ(capped.state('G', 5, week + 28800 * k + 100, &s), k > 0) << k;
    }
}

// Geodetic coordinates against the closed-form forward conversion, and
// directions seen from a point of the equator at longitude 0 (east is +y,
// north +z there).
TEST(Geometry, GeodeticAndElevationAzimuth)
{
    const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
    const double lat = 45 * kDeg, lon = -120 * kDeg, h = 1000;
    const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
    const double xyz[3] = {(n + h) * std::cos(lat) * std::cos(lon), (n + h) * std::cos(lat) * std::sin(lon),
                           (n * (1 - e2) + h) * std::sin(lat)};
    double la, lo, he;
    qc::ecefToGeodetic(xyz, &la, &lo, &he);
    EXPECT_TRUE(std::fabs(la - lat) < 1e-10 && std::fabs(lo - lon) < 1e-12 && std::fabs(he - h) < 1e-4)
        << la - lat << " " << lo - lon << " " << he - h;

    const double rx[3] = {a, 0, 0};
    const struct {
        double sat[3], elevation, azimuth;
    } cases[] = {
        {{a + 2e7, 0, 0}, 90, -1}, {{a, 0, 1e7}, 0, 0}, {{a, 1e7, 1e7}, 0, 45}, {{a + 1e7, -1e7, 0}, 45, 270},
    };
    for (const auto &c : cases) {
        double el, az;
        qc::elevationAzimuth(rx, c.sat, &el, &az);
        EXPECT_TRUE(std::fabs(el / kDeg - c.elevation) < 1e-9 && (c.azimuth < 0 || std::fabs(az / kDeg - c.azimuth) < 1e-9))
            << el / kDeg << " " << az / kDeg;
    }
}

// Pseudoranges built from the light time between the satellites of real
// records and a receiver 20 km above the equator (no troposphere there, no
// ionosphere known), with a receiver clock of 100 us: the solution is that
// place and clock; a pseudorange 500 m long is rejected, not used.
TEST(PointPositioning, SolvesExactRangesAndRejectsAWrongOne)
{
    REQUIRE_TESTDATA();
    Records r = readRecords("gnss-converters/week-rollover-STR24.rtcm3");
    qc::EphemerisStore store;
    for (const gps_nav_t &g : r.gps) store.add(g, 'G');
    const double rx[3] = {(6378137.0 + 20000) * std::cos(149 * kDeg), (6378137.0 + 20000) * std::sin(149 * kDeg), 0};
    const double clock = 1e-4, t = r.gps.front().week * 604800.0 + r.gps.front().toe;
    std::vector<qc::Pseudorange> ranges;
    for (int prn = 1; prn <= 32; prn++) {
        qc::SatelliteState s;
        const qc::Ephemeris *e = store.find('G', prn, t);
        double tau = 0.075, el = 0, az;
        for (int i = 0; i < 5 && e && store.state('G', prn, t - clock - tau, &s); i++) {
            const double w = kOmegaE * tau;
            const double d[3] = {std::cos(w) * s.position[0] + std::sin(w) * s.position[1] - rx[0],
                                 -std::sin(w) * s.position[0] + std::cos(w) * s.position[1] - rx[1],
                                 s.position[2] - rx[2]};
            tau = norm(d) / kC;
            qc::elevationAzimuth(rx, s.position, &el, &az);
        }
        if (el > 15 * kDeg) ranges.push_back({'G', prn, kC * (clock + tau - (s.clock - e->gps.tgd))});
    }
    ASSERT_GE(ranges.size(), 6u);
    qc::Klobuchar none;
    for (int wrong : {0, 1}) {
        std::vector<qc::Pseudorange> in = ranges;
        in[2].range += 500.0 * wrong;
        qc::Position p;
        ASSERT_TRUE(qc::solvePosition(store, t, in, none, &p));
        for (int k = 0; k < 3; k++) EXPECT_NEAR(p.xyz[k], rx[k], 0.05);
        EXPECT_NEAR(p.clock, kC * clock, 0.05);
        EXPECT_EQ(p.satellites, (int)in.size() - wrong);
    }
    ranges.resize(3);
    qc::Position p;
    EXPECT_FALSE(qc::solvePosition(store, t, ranges, none, &p));
}
