// A station position for logs that carry none: single-point solutions from
// the written epochs' pseudoranges and the log's broadcast records, whose
// median goes into "APPROX POSITION XYZ" instead of zeros.
#include <string.h>

#include "orbit.h"
#include "rinexxxx.h"
#include "spp.h"
#include "util.h"

namespace {

// Solutions are tried once a second until this many are found, then once
// per kSolveSpacingMs of epoch time, so that a long log costs little and the
// solutions of a short one are not all of the same instant.
const int kEagerSolutions = 10;
const qint64 kEagerSpacingMs = 1000;
const qint64 kSolveSpacingMs = 120000;
// Broadcast records kept per satellite: new ones come every 10 min
// (Galileo) to 2 h (GPS), so the nearest to an epoch of the log is always
// among the last few received; older ones would only make the store grow
// with the log.
const size_t kRecordsPerSatellite = 16;

} // namespace

struct Rinexxxx::PositionSolver {
    qc::EphemerisStore store;
    qc::PositionAverage average;
    qint64 lastAttemptMs = 0;
    std::vector<qc::Pseudorange> ranges;
};

Rinexxxx::PositionSolver *Rinexxxx::positionSolverForInput()
{
    if (!positionSolver) {
        positionSolver = std::make_shared<PositionSolver>();
        positionSolver->store.setRecordsPerSatellite(kRecordsPerSatellite);
    }
    return positionSolver.get();
}

void Rinexxxx::resetPositionSolver() { positionSolver.reset(); }

void Rinexxxx::notePositionNavigation(const gps_nav_t &nav, char system)
{
    if (!prescan) positionSolverForInput()->store.add(nav, system);
}

void Rinexxxx::notePositionNavigation(const bd2_nav_t &nav)
{
    if (!prescan) positionSolverForInput()->store.add(nav);
}

void Rinexxxx::notePositionNavigation(const galileo_inav_t &nav)
{
    if (!prescan) positionSolverForInput()->store.add(nav);
}

void Rinexxxx::notePositionNavigation(const galileo_fnav_t &nav)
{
    if (!prescan) positionSolverForInput()->store.add(nav);
}

void Rinexxxx::notePositionNavigation(const glonass_nav_t &nav)
{
    if (!prescan) positionSolverForInput()->store.add(nav);
}

namespace {

// The first civil signal of each system, whose pseudorange the broadcast
// clock (with its group delay) describes.
bool firstCivil(const gnss_signal_t *signal, char *letter)
{
    const char *code = signal->code;
    switch (signal->system) {
    case GNSS_SYSTEM_GPS: *letter = 'G'; return strcmp(code, "1C") == 0;
    case GNSS_SYSTEM_QZSS: *letter = 'J'; return strcmp(code, "1C") == 0;
    case GNSS_SYSTEM_GLONASS: *letter = 'R'; return strcmp(code, "1C") == 0;
    case GNSS_SYSTEM_GALILEO: *letter = 'E'; return strcmp(code, "1C") == 0 || strcmp(code, "1X") == 0;
    case GNSS_SYSTEM_BDS: *letter = 'C'; return strcmp(code, "2I") == 0;
    }
    return false;
}

} // namespace

void Rinexxxx::notePositionEpoch(const std::vector<Obs> &obs, int week, int msOfWeek)
{
    // A position given by the log or the user makes the solutions needless.
    if (phaseCenterGiven || approxBlh[0] != 0 || approxBlh[1] != 0) return;
    if (!positionSolver || positionSolver->store.empty() || week <= 0) return;
    PositionSolver &s = *positionSolver;
    const qint64 t = (qint64)week * 604800000LL + msOfWeek;
    const qint64 spacing = s.average.solutions() < kEagerSolutions ? kEagerSpacingMs : kSolveSpacingMs;
    if (s.lastAttemptMs > 0 && t - s.lastAttemptMs < spacing && t >= s.lastAttemptMs) return;
    s.lastAttemptMs = t;
    s.ranges.clear();
    for (const Obs &o : obs) {
        char letter;
        if (!o.isValid() || !o.pseudorangeValid || !firstCivil(o.signal, &letter)) continue;
        s.ranges.push_back({letter, o.prn, o.pseudorange});
    }
    if (s.ranges.size() < 4) return;
    const int leap = leapSeconds != 99 ? leapSeconds : leapSecondsAt(util_gps_time_to_epoch(week, msOfWeek));
    s.store.setUtcMinusGps(-leap);
    qc::Klobuchar iono;
    const double *alpha = nullptr, *beta = nullptr;
    if (gpsIonUtc.header.id != 0) {
        alpha = gpsIonUtc.alpha;
        beta = gpsIonUtc.beta;
    } else if (hemisphereIonUtc.dtls != 0) {
        alpha = hemisphereIonUtc.alpha;
        beta = hemisphereIonUtc.beta;
    }
    if (alpha) {
        iono.known = true;
        for (int k = 0; k < 4; k++) {
            iono.alpha[k] = alpha[k];
            iono.beta[k] = beta[k];
        }
    }
    qc::Position p;
    if (qc::solvePosition(s.store, t / 1000.0, s.ranges, iono, &p)) s.average.add(p);
}

bool Rinexxxx::computedPosition(double xyz[3], double *spread, int *solutions) const
{
    if (!positionSolver || !positionSolver->average.valid()) return false;
    positionSolver->average.mean(xyz);
    if (spread) *spread = positionSolver->average.spread();
    if (solutions) *solutions = positionSolver->average.solutions();
    return true;
}

bool Rinexxxx::computedMarkerPosition(double xyz[3]) const
{
    if (!computedPosition(xyz)) return false;
    if (antennaHen[0] != 0) {
        // The solutions place the antenna; the header names the marker
        // below it, as it does for a position the log gives.
        double latitude, longitude, height;
        qc::ecefToGeodetic(xyz, &latitude, &longitude, &height);
        setXyzByBlh(xyz, latitude * 180.0 / NAV_PI, longitude * 180.0 / NAV_PI, height - antennaHen[0]);
    }
    return true;
}
