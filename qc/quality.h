// The quality check of one observation file: what was tracked, for how long,
// how strongly, with how many slips, gaps and how much multipath, and where
// the receiver was. Consumes observation epochs and navigation records (from
// a RINEX reader or from a conversion); no Qt widgets.
#ifndef QC_QUALITY_H
#define QC_QUALITY_H

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orbit.h"
#include "spp.h"

namespace qc {

// ---- input --------------------------------------------------------------------

// The header facts the check reports and needs.
struct ObsHeader {
    std::string version;          // "3.04", "2.11"
    std::string program;          // "PGM / RUN BY / DATE" program
    std::string marker;
    std::string receiver;         // type and version
    std::string antenna;
    double approx[3] = {0, 0, 0}; // "APPROX POSITION XYZ"
    double interval = 0;          // "INTERVAL", 0 when absent
    // Observation types per system letter, RINEX 3 codes ("C1C", "L1C",
    // "D1C", "S1C"); RINEX 2 types are mapped to these by the reader.
    std::vector<std::pair<char, std::vector<std::string>>> types;
    std::string time_system;      // of "TIME OF FIRST OBS": "GPS", "GLO", "GAL", "BDT"...
    int leap_seconds = -1;        // "LEAP SECONDS", -1 when absent
    // "GLONASS SLOT / FRQ #": slot and frequency channel.
    std::vector<std::pair<int, int>> glonass_channels;
};

// One observation of one type; value NaN when blank.
struct ObsValue {
    double value = NAN;
    uint8_t lli = 0;      // 0 when blank
    uint8_t strength = 0; // 0 when blank
};

// One satellite's line of one epoch, values in the order of its system's
// types in the header.
struct ObsSatellite {
    char system;
    int prn;
    std::vector<ObsValue> values;
};

struct ObsEpoch {
    GpsSeconds time;      // receive time, GPS time scale
    int flag;             // epoch flag 0..6; only 0 and 1 carry observations
    std::vector<ObsSatellite> satellites;
};

// ---- results --------------------------------------------------------------------

struct SignalStats {
    std::string code;             // "1C": band and attribute
    int code_obs = 0;             // C observations present
    int phase_obs = 0;            // L
    int doppler_obs = 0;          // D
    int strength_obs = 0;         // S
    int slips_lli = 0;            // LLI bit 0 set on the phase (not on its first)
    int slips_gf = 0;             // geometry-free jumps above 1 m (0 when one band only)
    double snr_mean = NAN;        // dB-Hz
    double snr_min = NAN;
    double multipath_rms = NAN;   // m, MP of this code; NaN without a second frequency
    int expected = -1;            // epochs above the cut-off with the satellite's record; -1 unknown
    int observed_above = -1;      // of those, epochs with this signal's code; -1 unknown
};

struct SatelliteStats {
    char system;
    int prn;
    GpsSeconds first = 0;
    GpsSeconds last = 0;
    int epochs = 0;               // epochs with any observation of the satellite
    std::vector<SignalStats> signals;
};

struct SystemStats {
    char system;
    int satellites = 0;
    // Sums over every satellite and epoch: a week of 10 Hz data passes 2^31.
    long long observations = 0;   // non-blank values of all types
    long long expected = -1;      // observations expected above the cut-off (satellite epochs); -1 unknown
    long long observed_above = -1; // satellite epochs observed above the cut-off; -1 unknown
    long long slips = 0;          // LLI and geometry-free slips together (one per signal and epoch)
    double snr_mean = NAN;
    std::vector<std::pair<std::string, double>> multipath_rms; // per code: "1C" -> m
};

// Samples kept for the plots: thinned to at most `kMaxPlotEpochs` epochs over
// the file, with every slip and gap edge kept, so that memory stays bounded
// for a file of any length.
struct PlotSample {
    float t;                      // s from the first epoch
    char system;
    uint8_t prn;
    uint8_t signal;               // index into that satellite's `signals`
    float elevation;              // degrees, NaN unknown
    float azimuth;                // degrees, NaN unknown
    float snr;                    // dB-Hz, NaN blank
    float multipath;              // m, NaN unknown
    bool slip;
};

struct Report {
    std::string file;
    ObsHeader header;
    GpsSeconds first = 0;
    GpsSeconds last = 0;
    double interval = 0;          // from the header, else the most common step
    int epochs = 0;               // epochs with observations
    long long epochs_expected = 0; // from span and interval
    int gaps = 0;                 // steps longer than the interval
    double longest_gap = 0;       // s
    int events = 0;               // epoch flags 2..6
    // Of a file read: lines that could not be read (skipped), and whether
    // the file ends before the last epoch's records were all there.
    long skipped_lines = 0;
    bool ends_inside_epoch = false;
    // Records of the navigation files that could not be read (their
    // satellites may lack elevations).
    long navigation_unread = 0;
    // Epochs at or before the one before them (a repeated or misordered
    // record of another program): left out, so that nothing counts twice.
    int out_of_order = 0;
    std::vector<SystemStats> systems;
    std::vector<SatelliteStats> satellites;
    bool elevations_known = false;
    double cutoff_degrees = 10;
    // Single-point solutions over the file.
    bool position_known = false;
    double position[3] = {0, 0, 0};
    double position_spread = NAN; // m
    int position_solutions = 0;
    // How far the header's position lay from the computed one when it lay
    // too far to be trusted for elevations (m); 0 when it was used or absent.
    double header_position_off = 0;
    std::vector<PlotSample> samples;
    std::string verdict;          // one line
};

const int kMaxPlotEpochs = 2880;

// Consumes one file's epochs in order.
class QualityCheck {
public:
    explicit QualityCheck(const ObsHeader &header);
    ~QualityCheck();
    // For a check fed while a file is written, whose header is finished
    // only at its end: a system's types as they now stand (only ever
    // extended at the end), and the finished header before `finish`.
    void setTypes(char system, const std::vector<std::string> &types);
    void setHeader(const ObsHeader &header);
    // The records may still be added to `store` while epochs come in: the
    // geometry is worked out in `finish`.
    void setNavigation(const EphemerisStore *store, const Klobuchar &iono);
    // The frequency channel of a GLONASS slot, for the wavelengths of the
    // phase combinations; the header's "GLONASS SLOT / FRQ #" comes first.
    void setGlonassChannel(int slot, int channel);
    void addEpoch(const ObsEpoch &epoch);
    // What a reader could not read of the file, for the report and verdict.
    void setUnread(long skippedLines, bool endsInsideEpoch);
    void setUnreadNavigation(long records);
    Report finish();
private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Reads an observation file and navigation files (RINEX 2.10, 2.11,
// 3.02-3.05, any producer) and checks them. False with `error` set when a file
// cannot be read.
bool checkFiles(const std::string &obsPath, const std::vector<std::string> &navPaths, Report *report,
                std::string *error);
// The same, stopped between two epochs once `cancel` is set (false, with
// `error` "cancelled"), for a check that runs beside a window.
bool checkFiles(const std::string &obsPath, const std::vector<std::string> &navPaths, Report *report,
                std::string *error, const std::atomic<bool> *cancel);

// What could not be read of the file, one phrase each ("3 lines not read",
// "the file ends inside an epoch"); empty when all was read.
std::vector<std::string> unreadNotes(const Report &report);

// Text and JSON renderings of a report.
std::string formatSummary(const Report &report);
std::string formatJson(const Report &report);

} // namespace qc

#endif
