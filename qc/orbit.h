// Satellite positions and clocks from broadcast navigation records, for every
// system: the Keplerian model of the interface documents for GPS, QZSS,
// Galileo and BDS (with the BDS GEO rotation), numerical integration of the
// GLONASS state vector. Plain C++, no Qt.
//
// Time is one continuous scale throughout: GPS seconds, counted from
// 1980-01-06 00:00:00 GPS time (`GpsSeconds`). BDS time is GPS time - 14 s,
// Galileo system time is GPS time; GLONASS records carry UTC-based times that
// the store turns into this scale with the leap seconds it is given.
#ifndef QC_ORBIT_H
#define QC_ORBIT_H

#include <cstddef>
#include <map>
#include <vector>

#include "navigation.h"

namespace qc {

typedef double GpsSeconds;

// A satellite's state at one instant, ECEF metres (WGS-84 / PZ-90 as broadcast,
// no frame transformation), clock offset in seconds (broadcast polynomial plus
// the relativistic correction; group delays not applied).
struct SatelliteState {
    double position[3];
    double clock;
};

// One record of one system, held by the store as given.
struct Ephemeris {
    char system;              // RINEX letter: 'G', 'J', 'E', 'C', 'R'
    int prn;
    GpsSeconds reference;     // toe (GLONASS: tb) on the GPS time scale
    gps_nav_t gps;            // 'G' and 'J'
    galileo_inav_t galileo;   // 'E' (F/NAV records are converted on entry)
    bd2_nav_t bds;            // 'C'
    glonass_nav_t glonass;    // 'R'
};

// Keplerian orbit of a GPS/QZSS record at time t (toe and toc taken in the
// week nearest to t). Returns false for a record that cannot give a position.
bool gpsState(const gps_nav_t &nav, GpsSeconds t, SatelliteState *out);
bool galileoState(const galileo_inav_t &nav, GpsSeconds t, SatelliteState *out);
bool bdsState(const bd2_nav_t &nav, GpsSeconds t, SatelliteState *out);
// GLONASS: fourth-order Runge-Kutta integration of the PZ-90 equations of
// motion from tb to t; `utcMinusGps` is UTC - GPS time in seconds (-18 since
// 2017).
bool glonassState(const glonass_nav_t &nav, GpsSeconds t, double utcMinusGps, SatelliteState *out);

// Elevation and azimuth (radians, azimuth clockwise from north, 0..2pi) of a
// satellite seen from a receiver, both ECEF metres.
void elevationAzimuth(const double receiver[3], const double satellite[3], double *elevation, double *azimuth);
// ECEF to WGS-84 latitude, longitude (radians) and ellipsoidal height (m).
void ecefToGeodetic(const double xyz[3], double *latitude, double *longitude, double *height);

// All records of a file or a log; picks for each satellite and time the
// healthy record whose reference time is nearest (within the system's fit
// interval: 4 h GPS/QZSS, 4 h Galileo, 2 h BDS, 30 min GLONASS).
class EphemerisStore {
public:
    void add(const gps_nav_t &nav, char system /* 'G' or 'J' */);
    void add(const galileo_inav_t &nav);
    void add(const galileo_fnav_t &nav);
    void add(const bd2_nav_t &nav);
    void add(const glonass_nav_t &nav);
    void setUtcMinusGps(double seconds);
    // A store fed from a log as it streams keeps, per satellite, only the
    // `n` records received last (0: all, for whole navigation files), so
    // that its size depends on the satellites, not on the log's length.
    void setRecordsPerSatellite(size_t n);
    bool empty() const;
    bool state(char system, int prn, GpsSeconds t, SatelliteState *out) const;
    // The record `state` would use; null when none.
    const Ephemeris *find(char system, int prn, GpsSeconds t) const;
    // `state` keeps the last integrated GLONASS state of each record, so a
    // store is not for calls from several threads at once.
private:
    void insert(const Ephemeris &e);
    std::vector<Ephemeris> m_records;
    std::map<int, std::vector<size_t>> m_index; // system and PRN -> records
    // GLONASS: the state last integrated from each record (by index), so
    // that a run of nearby times integrates only the step between them.
    struct Integrated {
        GpsSeconds tb;
        GpsSeconds t;
        double s[6];
    };
    mutable std::map<size_t, Integrated> m_integrated;
    double m_utcMinusGps = -18.0;
    size_t m_perSatellite = 0;
};

} // namespace qc

#endif
