// Single-point positioning from one epoch's pseudoranges, and the robust
// mean of the solutions over a file.
#include "spp.h"

#include <algorithm>
#include <cmath>

namespace qc {

namespace {

const double kLight = 299792458.0;
const double kOmegaE = 7.2921151467e-5;
const double kCutoff = 10.0 * NAV_PI / 180.0;
// A residual beyond this after the fit marks a wrong pseudorange (or a wrong
// record): the broadcast models leave a few metres, an uncorrected
// ionosphere a few tens.
const double kOutlier = 30.0;
const int kMaxUnknowns = 3 + 5;

struct Satellite {
    char system;
    double range;
    double position[3];
    double clock;       // s, group delay of the first civil signal applied
    double ionoScale;   // (f L1 / f)^2
    bool used;
};

int systemSlot(char system)
{
    switch (system) {
    case 'G': return 0;
    case 'E': return 1;
    case 'C': return 2;
    case 'R': return 3;
    case 'J': return 4;
    }
    return -1;
}

// Delay of the first civil signal relative to the ionosphere-free clock of
// the record (the clock the broadcast polynomial gives).
double groupDelay(const Ephemeris &e)
{
    switch (e.system) {
    case 'G':
    case 'J': return e.gps.tgd;
    case 'E': return e.galileo.bgd_e5b != 0 ? e.galileo.bgd_e5b : e.galileo.bgd_e5a;
    case 'C': return e.bds.tgd1;
    }
    return 0;
}

double ionoScaleOf(char system)
{
    const double l1 = 1575.42e6;
    switch (system) {
    case 'C': return std::pow(l1 / 1561.098e6, 2);
    case 'R': return std::pow(l1 / 1602.0e6, 2);
    }
    return 1.0;
}

// Broadcast ionosphere delay on L1 in metres (IS-GPS-200, 20.3.3.5.2.5).
double klobucharDelay(const Klobuchar &k, GpsSeconds t, double lat, double lon, double el, double az)
{
    const double pi = NAV_PI;
    const double e = el / pi, phiU = lat / pi, lamU = lon / pi; // semicircles
    const double psi = 0.0137 / (e + 0.11) - 0.022;
    double phiI = phiU + psi * std::cos(az);
    if (phiI > 0.416) phiI = 0.416;
    if (phiI < -0.416) phiI = -0.416;
    const double lamI = lamU + psi * std::sin(az) / std::cos(phiI * pi);
    const double phiM = phiI + 0.064 * std::cos((lamI - 1.617) * pi);
    double tLocal = std::fmod(4.32e4 * lamI + t, 86400.0);
    if (tLocal < 0) tLocal += 86400.0;
    const double f = 1.0 + 16.0 * std::pow(0.53 - e, 3);
    double amp = k.alpha[0] + phiM * (k.alpha[1] + phiM * (k.alpha[2] + phiM * k.alpha[3]));
    double per = k.beta[0] + phiM * (k.beta[1] + phiM * (k.beta[2] + phiM * k.beta[3]));
    if (amp < 0) amp = 0;
    if (per < 72000.0) per = 72000.0;
    const double x = 2.0 * pi * (tLocal - 50400.0) / per;
    double delay = 5e-9;
    if (std::fabs(x) < 1.57) delay += amp * (1.0 - x * x / 2.0 + x * x * x * x / 24.0);
    return kLight * f * delay;
}

// Saastamoinen's zenith delays with a standard atmosphere at the receiver's
// height, mapped with 1 / sin(elevation).
double troposphereDelay(double height, double el)
{
    if (height < -500.0 || height > 1e4 || el <= 0) return 0;
    const double p = 1013.25 * std::pow(1.0 - 2.2557e-5 * height, 5.2568);
    const double t = 15.0 - 6.5e-3 * height + 273.15;
    const double e = 0.5 * 6.108 * std::exp((17.15 * t - 4684.0) / (t - 38.45));
    const double z = NAV_PI / 2 - el;
    return 0.002277 / std::cos(z) * (p + (1255.0 / t + 0.05) * e - std::pow(std::tan(z), 2));
}

// Solves the n x n system a x = b in place (Gaussian elimination with
// partial pivoting); false when singular.
bool solveLinear(double a[kMaxUnknowns][kMaxUnknowns], double b[kMaxUnknowns], int n)
{
    for (int c = 0; c < n; c++) {
        int p = c;
        for (int r = c + 1; r < n; r++)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        if (!(std::fabs(a[p][c]) > 1e-12)) return false;
        if (p != c) {
            for (int k = 0; k < n; k++) std::swap(a[p][k], a[c][k]);
            std::swap(b[p], b[c]);
        }
        for (int r = c + 1; r < n; r++) {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < n; k++) a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    for (int c = n - 1; c >= 0; c--) {
        double s = b[c];
        for (int k = c + 1; k < n; k++) s -= a[c][k] * b[k];
        b[c] = s / a[c][c];
    }
    return true;
}

struct Fit {
    double x[kMaxUnknowns];   // position, then one clock (m) per system in use
    int clockOf[5];           // system slot -> unknown index, -1 unused
    int unknowns;
    int used;
    double pdop;
};

// Geometric range from the receiver to the satellite as it was at
// transmission, the satellite turned with the Earth during the flight.
double geometry(const double rx[3], const double sat[3], double unit[3])
{
    double d[3] = {sat[0] - rx[0], sat[1] - rx[1], sat[2] - rx[2]};
    const double rho0 = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const double w = kOmegaE * rho0 / kLight;
    const double x = std::cos(w) * sat[0] + std::sin(w) * sat[1];
    const double y = -std::sin(w) * sat[0] + std::cos(w) * sat[1];
    d[0] = x - rx[0];
    d[1] = y - rx[1];
    d[2] = sat[2] - rx[2];
    const double rho = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int k = 0; k < 3; k++) unit[k] = d[k] / rho;
    return rho;
}

// Iterated least squares over the satellites marked used; residuals of every
// satellite (used or not) left in `residual`. False without convergence.
bool leastSquares(std::vector<Satellite> &sats, GpsSeconds t, const Klobuchar &iono, Fit *fit,
                  std::vector<double> &residual, const double *start)
{
    for (int k = 0; k < 5; k++) fit->clockOf[k] = -1;
    fit->unknowns = 3;
    for (const Satellite &s : sats) {
        const int slot = systemSlot(s.system);
        if (s.used && fit->clockOf[slot] < 0) fit->clockOf[slot] = fit->unknowns++;
    }
    int used = 0;
    for (const Satellite &s : sats) used += s.used;
    fit->used = used;
    if (used < fit->unknowns) return false;
    for (int k = 0; k < kMaxUnknowns; k++) fit->x[k] = 0;
    for (int k = 0; k < 3 && start; k++) fit->x[k] = start[k];

    residual.assign(sats.size(), 0.0);
    for (int iteration = 0; iteration < 12; iteration++) {
        // Near the Earth's surface the corrections that need a place apply.
        const double r = std::sqrt(fit->x[0] * fit->x[0] + fit->x[1] * fit->x[1] + fit->x[2] * fit->x[2]);
        const bool located = r > 6.0e6 && r < 7.0e6;
        double lat = 0, lon = 0, h = 0;
        if (located) ecefToGeodetic(fit->x, &lat, &lon, &h);
        double n[kMaxUnknowns][kMaxUnknowns] = {};
        double g[kMaxUnknowns][kMaxUnknowns] = {}; // unweighted, for the PDOP
        double b[kMaxUnknowns] = {};
        int rows = 0;
        for (size_t i = 0; i < sats.size(); i++) {
            const Satellite &s = sats[i];
            double unit[3];
            const double rho = geometry(fit->x, s.position, unit);
            double model = rho - kLight * s.clock;
            const int slot = systemSlot(s.system);
            if (fit->clockOf[slot] >= 0) model += fit->x[fit->clockOf[slot]];
            bool row = s.used;
            double weight = 1.0;
            if (located) {
                double el, az;
                elevationAzimuth(fit->x, s.position, &el, &az);
                if (el < kCutoff) row = false;
                // Low satellites carry the largest atmospheric errors.
                weight = std::sin(el) * std::sin(el);
                model += troposphereDelay(h, el);
                if (iono.known) model += s.ionoScale * klobucharDelay(iono, t, lat, lon, el, az);
            }
            residual[i] = s.range - model;
            if (!row || fit->clockOf[slot] < 0) continue;
            rows++;
            double hrow[kMaxUnknowns] = {-unit[0], -unit[1], -unit[2]};
            hrow[fit->clockOf[slot]] = 1.0;
            for (int a = 0; a < fit->unknowns; a++) {
                b[a] += weight * hrow[a] * residual[i];
                for (int c = 0; c < fit->unknowns; c++) {
                    n[a][c] += weight * hrow[a] * hrow[c];
                    g[a][c] += hrow[a] * hrow[c];
                }
            }
        }
        // A system whose satellites all sank below the cut-off keeps its clock.
        int estimated = 3;
        for (int a = 3; a < fit->unknowns; a++) {
            if (n[a][a] == 0)
                n[a][a] = g[a][a] = 1.0;
            else
                estimated++;
        }
        if (rows < estimated) return false;
        double q[kMaxUnknowns][kMaxUnknowns];
        for (int a = 0; a < fit->unknowns; a++)
            for (int c = 0; c < fit->unknowns; c++) q[a][c] = n[a][c];
        if (!solveLinear(q, b, fit->unknowns)) return false;
        double step = 0;
        for (int a = 0; a < fit->unknowns; a++) {
            fit->x[a] += b[a];
            step += b[a] * b[a];
        }
        fit->used = rows;
        if (std::sqrt(step) < 1e-3 && located) {
            // PDOP from the diagonal of the inverse normal matrix.
            double pdop = 0;
            for (int k = 0; k < 3; k++) {
                double a2[kMaxUnknowns][kMaxUnknowns], e[kMaxUnknowns] = {};
                for (int i = 0; i < fit->unknowns; i++)
                    for (int c = 0; c < fit->unknowns; c++) a2[i][c] = g[i][c];
                e[k] = 1.0;
                if (!solveLinear(a2, e, fit->unknowns)) return false;
                pdop += e[k];
            }
            fit->pdop = std::sqrt(pdop);
            // Residuals at the solution.
            for (size_t i = 0; i < sats.size(); i++) {
                const Satellite &s = sats[i];
                double unit[3];
                const int slot = systemSlot(s.system);
                double model = geometry(fit->x, s.position, unit) - kLight * s.clock;
                if (fit->clockOf[slot] >= 0) model += fit->x[fit->clockOf[slot]];
                double el, az;
                elevationAzimuth(fit->x, s.position, &el, &az);
                model += troposphereDelay(h, el);
                if (iono.known) model += s.ionoScale * klobucharDelay(iono, t, lat, lon, el, az);
                residual[i] = s.range - model;
                if (el < kCutoff) sats[i].used = false;
            }
            return true;
        }
    }
    return false;
}

} // namespace

bool solvePosition(const EphemerisStore &store, GpsSeconds t, const std::vector<Pseudorange> &ranges,
                   const Klobuchar &iono, Position *out)
{
    std::vector<Satellite> sats;
    sats.reserve(ranges.size());
    for (const Pseudorange &p : ranges) {
        if (systemSlot(p.system) < 0 || !(p.range > 1.5e7 && p.range < 5e7)) continue;
        const Ephemeris *e = store.find(p.system, p.prn, t);
        if (!e) continue;
        // The satellite's clock at transmission: the pseudorange is the
        // receiver's reading minus the satellite's, times c.
        const double sent = t - p.range / kLight;
        SatelliteState st;
        if (!store.state(p.system, p.prn, sent, &st)) continue;
        if (!store.state(p.system, p.prn, sent - st.clock, &st)) continue;
        Satellite s;
        s.system = p.system;
        s.range = p.range;
        for (int k = 0; k < 3; k++) s.position[k] = st.position[k];
        s.clock = st.clock - groupDelay(*e);
        s.ionoScale = ionoScaleOf(p.system);
        s.used = true;
        sats.push_back(s);
    }
    Fit fit;
    std::vector<double> residual;
    if (!leastSquares(sats, t, iono, &fit, residual, nullptr)) return false;
    // Drop the worst pseudorange while one stands out and redundancy allows.
    for (;;) {
        if (!leastSquares(sats, t, iono, &fit, residual, fit.x)) return false;
        int worst = -1;
        for (size_t i = 0; i < sats.size(); i++)
            if (sats[i].used && (worst < 0 || std::fabs(residual[i]) > std::fabs(residual[worst]))) worst = (int)i;
        if (worst < 0 || std::fabs(residual[worst]) <= kOutlier) break;
        if (fit.used <= fit.unknowns + 1) return false;
        sats[worst].used = false;
    }
    double lat, lon, h;
    ecefToGeodetic(fit.x, &lat, &lon, &h);
    if (!(h > -1000.0 && h < 1e5) || !(fit.pdop < 30.0)) return false;
    for (int k = 0; k < 3; k++) out->xyz[k] = fit.x[k];
    out->clock = 0;
    for (int slot = 0; slot < 5; slot++)
        if (fit.clockOf[slot] >= 0) {
            out->clock = fit.x[fit.clockOf[slot]]; // GPS first, else the next system
            break;
        }
    out->satellites = fit.used;
    out->pdop = fit.pdop;
    return true;
}

// ---- PositionAverage ---------------------------------------------------------------

namespace {
const size_t kKeep = 2048;
}

void PositionAverage::add(const Position &p)
{
    const int n = m_count++;
    if (n % m_stride) return;
    m_solutions.push_back(p);
    if (m_solutions.size() >= kKeep) {
        // Keep every other solution and take every other one from now on.
        size_t w = 0;
        for (size_t r = 0; r < m_solutions.size(); r += 2) m_solutions[w++] = m_solutions[r];
        m_solutions.resize(w);
        m_stride *= 2;
    }
}

bool PositionAverage::valid() const { return !m_solutions.empty(); }

void PositionAverage::mean(double xyz[3]) const
{
    std::vector<double> v(m_solutions.size());
    for (int k = 0; k < 3; k++) {
        xyz[k] = 0;
        if (v.empty()) continue;
        for (size_t i = 0; i < v.size(); i++) v[i] = m_solutions[i].xyz[k];
        const size_t mid = v.size() / 2;
        std::nth_element(v.begin(), v.begin() + mid, v.end());
        double m = v[mid];
        if (v.size() % 2 == 0) m = 0.5 * (m + *std::max_element(v.begin(), v.begin() + mid));
        xyz[k] = m;
    }
}

double PositionAverage::spread() const
{
    if (m_solutions.empty()) return NAN;
    double m[3];
    mean(m);
    double s = 0;
    for (const Position &p : m_solutions)
        for (int k = 0; k < 3; k++) s += (p.xyz[k] - m[k]) * (p.xyz[k] - m[k]);
    return std::sqrt(s / m_solutions.size());
}

int PositionAverage::solutions() const { return m_count; }

} // namespace qc
