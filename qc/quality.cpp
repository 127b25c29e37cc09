#include "quality.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "rinex_nav_reader.h"
#include "rinex_obs_reader.h"
#include "rinex_text.h"

namespace qc {

namespace {

const double kSpeedOfLight = 299792458.0;
// A jump of the geometry-free combination above this between two epochs of
// one arc is a slip (metres).
const double kGeometryFreeJump = 1.0;
// Multipath arcs shorter than this are left out: their mean would absorb the
// multipath itself.
const int kMinArcEpochs = 10;
// Elevations and point positions are computed this often (seconds of data);
// a satellite moves less than half a degree in between.
const double kGeometryStep = 30.0;
// Slip samples kept for the plots beyond the thinned epochs.
const size_t kMaxPinnedSamples = 20000;
const char kSystemOrder[] = "GRECJSI";
// Elevation cut-off of the expected observations, degrees.
const float kCutoff = 10.0f;

int systemRank(char s)
{
    const char *p = std::strchr(kSystemOrder, s);
    return p && s ? int(p - kSystemOrder) : int(sizeof kSystemOrder);
}

[[maybe_unused]] int maxPrn(char s)
{
    switch (s) {
    case 'G': return 32;
    case 'R': return 27;
    case 'E': return 36;
    case 'C': return 63;
    case 'J': return 10;
    }
    return 0;
}

char primaryBand(char system)
{
    return system == 'C' ? '2' : system == 'I' ? '5' : '1';
}

// One signal (band and attribute) of a system and the columns of its four
// kinds in the system's types.
struct SignalDef {
    std::string code;
    char band = 0;
    int c = -1, l = -1, d = -1, s = -1;
};

struct SystemDef {
    char system = 0;
    size_t types = 0;
    std::vector<SignalDef> signals;
    // The signals in the order they are taken as partners of the
    // dual-frequency combinations: the primary band first.
    std::vector<int> order;
    int rangeSignal = -1; // first civil code for point positioning
    // Totals of the system, kept here rather than in maps looked up per
    // satellite and epoch.
    long observations = 0, slips = 0, snrCount = 0;
    double snrSum = 0;
};

struct SignalState {
    SignalStats stats;
    double snrSum = 0;
    int snrCount = 0;
    double gfLast = NAN;
    GpsSeconds gfTime = -1;
    int gfPartner = -1;
    // The open multipath arc, its values taken relative to its first one.
    GpsSeconds mpTime = -1;
    double mpFirst = 0, mpSum = 0, mpSumSq = 0;
    int mpCount = 0;
    int arc = -1;
    int mpPhase = -1, mpPartner = -1;
    double residualSq = 0;
    long residualCount = 0;
    int observedAbove = 0;
    double wavelength = 0; // m, 0 until known
    int windowCodes = 0;   // epochs with this code in the open geometry window
    bool phaseSeen = false;
};

struct SatState {
    SatelliteStats stats;
    std::vector<SignalState> signals;
    int index = -1;        // in `satList`
    int window = -1;       // the geometry window the counts below are of
    int windowEpochs = 0;
};

// A stretch of epochs that share one geometry: elevations and a point
// position are computed once for its first epoch. The geometry is worked
// out when the check finishes, once every navigation record is known, so
// that a check fed during a conversion (records arriving between the
// epochs) reports what a check of the finished files reports.
struct Window {
    GpsSeconds time;
    int epochs = 0;
    size_t rangesFrom = 0, rangesTo = 0;
};

// A code of the primary band at a window's first epoch, a candidate for the
// point position (the system's range signal is chosen at the end, from all
// the types the file came to have).
struct RangeCandidate {
    char system;
    uint8_t prn;
    uint8_t signal;
    double value;
};

// What a satellite observed in one window, resolved against the window's
// elevations at the end: its epochs (signal -1), the signals whose code came
// in each of them (`full`, a bit per signal below 32), and, one entry each,
// the signals whose code came in only some (their count).
struct WindowCount {
    int window;
    int sat;     // index into `satList`
    int signal;
    int count;
    uint32_t full;
};

SystemDef buildSystem(char system, const std::vector<std::string> &types)
{
    SystemDef def;
    def.system = system;
    def.types = types.size();
    for (size_t i = 0; i < types.size(); i++) {
        const std::string &type = types[i];
        if (type.size() != 3 || !std::strchr("CLDS", type[0])) continue;
        const std::string code = type.substr(1);
        auto it = std::find_if(def.signals.begin(), def.signals.end(), [&](const SignalDef &s) { return s.code == code; });
        if (it == def.signals.end()) {
            SignalDef s;
            s.code = code;
            s.band = code[0];
            def.signals.push_back(s);
            it = def.signals.end() - 1;
        }
        int &column = type[0] == 'C' ? it->c : type[0] == 'L' ? it->l : type[0] == 'D' ? it->d : it->s;
        if (column < 0) column = int(i);
    }
    // The band whose signals come first as partners: L1/E1/G1, BDS B1I,
    // NavIC L5.
    const char primary = primaryBand(system);
    std::vector<int> &order = def.order;
    for (size_t i = 0; i < def.signals.size(); i++)
        if (def.signals[i].band == primary) order.push_back(int(i));
    for (size_t i = 0; i < def.signals.size(); i++)
        if (def.signals[i].band != primary) order.push_back(int(i));
    for (int j : order) {
        const SignalDef &s = def.signals[size_t(j)];
        if (s.band == primary && s.c >= 0) {
            if (def.rangeSignal < 0 || s.code[1] == 'C') def.rangeSignal = j;
            if (s.code[1] == 'C') break;
        }
    }
    return def;
}

struct Geometry {
    float elevation = NAN; // degrees
    float azimuth = NAN;
    int epochsAbove = 0;
    bool record = false;
};

} // namespace

struct QualityCheck::State {
    ObsHeader header;
    std::vector<SystemDef> systems;
    const EphemerisStore *store = nullptr;
    Klobuchar iono;
    std::map<int, int> glonassChannel; // slot -> channel

    std::map<std::pair<char, int>, SatState> sats;
    // The satellites in the order first seen, and a table from system
    // letter and PRN to them (PRNs 0..255), for the per-epoch look-up.
    std::vector<SatState *> satList;
    std::vector<int> satIndex;
    std::map<std::pair<char, int>, Geometry> geometry;
    std::map<char, int> aboveNow;        // satellites above the cut-off at the last geometry step
    std::map<char, long> expected, observedAbove;
    std::vector<Window> windows;
    std::vector<RangeCandidate> ranges;
    std::vector<WindowCount> counts;

    bool started = false;
    long skippedLines = 0;
    long navigationUnread = 0;
    int outOfOrder = 0;
    bool cut = false;
    GpsSeconds first = 0, last = 0;
    int epochs = 0, events = 0;
    std::map<long long, long> steps;    // ms -> count (bounded)
    long otherSteps = 0;
    double otherLongest = 0;
    double minStep = 0;
    // The step the epochs last came at three times in a row: the rate of
    // the file there. A stray epoch a moment after another is no rate, and
    // a file may change its rate (10 Hz, then 1 Hz).
    double lastStep = 0, regularStep = 0;
    int sameSteps = 0;

    bool positionKnown = false;
    double position[3] = {0, 0, 0};
    bool headerPosition = false;
    double headerOff = 0; // m, a header position found too far off to be used
    PositionAverage average;
    GpsSeconds nextGeometry = -1;
    bool anyGeometry = false;

    // Plot samples: every `keepEvery`-th epoch, plus pinned ones.
    std::vector<PlotSample> samples;
    std::vector<int> sampleEpoch;
    std::vector<int> sampleArc;
    std::vector<bool> samplePinned;
    std::vector<int> sampleWindow;
    std::vector<double> arcMean;      // per arc id; NaN for a rejected arc
    std::vector<PlotSample> previous; // the last epoch's samples, for gap edges
    std::vector<int> previousArc;
    std::vector<int> previousWindow;
    bool previousStored = false;
    int keepEvery = 1;
    size_t pinned = 0;
    // Per satellite scratch of one epoch, kept to spare allocations.
    std::vector<char> lliSlip, gfSlip;
    std::vector<int> partner, phaseOf;

    double nominalInterval() const
    {
        return header.interval > 0 ? header.interval : regularStep > 0 ? regularStep : minStep;
    }
    double arcLimit() const
    {
        double n = nominalInterval();
        return n > 0 ? 1.5 * n + 1e-3 : 1e30;
    }
    int channelOf(int slot) const
    {
        auto it = glonassChannel.find(slot);
        return it == glonassChannel.end() ? 99 : it->second;
    }
    double wavelength(char system, int prn, char band) const
    {
        double f = carrierFrequency(system, band, system == 'R' ? channelOf(prn) : 0);
        return f > 0 ? kSpeedOfLight / f : 0;
    }
    // Of a signal, found once (a GLONASS channel may become known later).
    double wavelength(SignalState &sg, char system, int prn, char band) const
    {
        if (sg.wavelength == 0) sg.wavelength = wavelength(system, prn, band);
        return sg.wavelength;
    }
    SatState &satellite(char system, int prn);
    void flushWindow(SatState &ss);
    void closeArc(SignalState &s);
    void addSample(const PlotSample &sample, int epochIndex, int arc, bool pin, int window);
    void thin();
    void openWindow(const ObsEpoch &epoch);
    void geometryStep(const Window &window);
    void resolveGeometry();
};

SatState &QualityCheck::State::satellite(char system, int prn)
{
    const bool table = prn >= 0 && prn < 256 && system > 0;
    const size_t key = table ? size_t((unsigned char)system & 0x7f) * 256 + size_t(prn) : 0;
    if (table && satIndex.size() > key && satIndex[key] >= 0) return *satList[size_t(satIndex[key])];
    auto placed = sats.try_emplace({system, prn});
    SatState &ss = placed.first->second;
    if (placed.second) {
        ss.stats.system = system;
        ss.stats.prn = prn;
        ss.index = int(satList.size());
        satList.push_back(&ss);
        if (table) {
            if (satIndex.empty()) satIndex.assign(128 * 256, -1);
            satIndex[key] = int(satList.size() - 1);
        }
    }
    return ss;
}

// The counts of a satellite's last window, kept for the end.
void QualityCheck::State::flushWindow(SatState &ss)
{
    if (ss.window < 0) return;
    uint32_t full = 0;
    for (size_t i = 0; i < ss.signals.size() && i < 32; i++)
        if (ss.signals[i].windowCodes == ss.windowEpochs) full |= uint32_t(1) << i;
    if (ss.windowEpochs > 0) counts.push_back({ss.window, ss.index, -1, ss.windowEpochs, full});
    for (size_t i = 0; i < ss.signals.size(); i++) {
        SignalState &sg = ss.signals[i];
        const bool inFull = i < 32 && (full >> i & 1);
        if (sg.windowCodes > 0 && !inFull) counts.push_back({ss.window, ss.index, int(i), sg.windowCodes, 0});
        sg.windowCodes = 0;
    }
    ss.windowEpochs = 0;
    ss.window = -1;
}

void QualityCheck::State::closeArc(SignalState &s)
{
    if (s.arc < 0) return;
    if (s.mpCount >= kMinArcEpochs) {
        double mean = s.mpSum / s.mpCount;
        s.residualSq += std::max(0.0, s.mpSumSq - s.mpSum * mean);
        s.residualCount += s.mpCount;
        arcMean[size_t(s.arc)] = mean;
    }
    s.arc = -1;
    s.mpTime = -1;
    s.mpCount = 0;
    s.mpSum = s.mpSumSq = 0;
}

void QualityCheck::State::addSample(const PlotSample &sample, int epochIndex, int arc, bool pin, int window)
{
    samples.push_back(sample);
    sampleEpoch.push_back(epochIndex);
    sampleArc.push_back(arc);
    samplePinned.push_back(pin);
    sampleWindow.push_back(window);
    if (pin) pinned++;
}

// Halves the kept epochs when there are too many: every slip and gap edge stays.
void QualityCheck::State::thin()
{
    if (epochs / keepEvery <= kMaxPlotEpochs) return;
    keepEvery *= 2;
    size_t out = 0;
    for (size_t i = 0; i < samples.size(); i++) {
        if (!samplePinned[i] && sampleEpoch[i] % keepEvery != 0) continue;
        samples[out] = samples[i];
        sampleEpoch[out] = sampleEpoch[i];
        sampleArc[out] = sampleArc[i];
        samplePinned[out] = samplePinned[i];
        sampleWindow[out] = sampleWindow[i];
        out++;
    }
    samples.resize(out);
    sampleEpoch.resize(out);
    sampleArc.resize(out);
    samplePinned.resize(out);
    sampleWindow.resize(out);
}

QualityCheck::QualityCheck(const ObsHeader &header) : m_state(new State)
{
    State &st = *m_state;
    st.header = header;
    for (const auto &entry : header.types) st.systems.push_back(buildSystem(entry.first, entry.second));
    for (const auto &c : header.glonass_channels) st.glonassChannel[c.first] = c.second;
}

QualityCheck::~QualityCheck() = default;

void QualityCheck::setTypes(char system, const std::vector<std::string> &types)
{
    State &st = *m_state;
    for (SystemDef &def : st.systems) {
        if (def.system != system) continue;
        // Types are only ever added after the ones already there, so the
        // signals seen so far keep their places; the totals stay.
        SystemDef grown = buildSystem(system, types);
        grown.observations = def.observations;
        grown.slips = def.slips;
        grown.snrCount = def.snrCount;
        grown.snrSum = def.snrSum;
        def = grown;
        return;
    }
    st.systems.push_back(buildSystem(system, types));
}

void QualityCheck::setHeader(const ObsHeader &header)
{
    State &st = *m_state;
    st.header = header;
    for (const auto &c : header.glonass_channels) setGlonassChannel(c.first, c.second);
}

void QualityCheck::setNavigation(const EphemerisStore *store, const Klobuchar &iono)
{
    m_state->store = store;
    m_state->iono = iono;
}

void QualityCheck::setUnread(long skippedLines, bool endsInsideEpoch)
{
    m_state->skippedLines = skippedLines;
    m_state->cut = endsInsideEpoch;
}

void QualityCheck::setUnreadNavigation(long records)
{
    m_state->navigationUnread = records;
}

void QualityCheck::setGlonassChannel(int slot, int channel)
{
    if (channel >= -7 && channel <= 13 && !m_state->glonassChannel.count(slot)) m_state->glonassChannel[slot] = channel;
}

// A new geometry window from this epoch on, with the codes a point position
// may take from it.
void QualityCheck::State::openWindow(const ObsEpoch &epoch)
{
    Window w;
    w.time = epoch.time;
    w.rangesFrom = ranges.size();
    for (const ObsSatellite &sat : epoch.satellites) {
        if (sat.prn < 0 || sat.prn > 255) continue;
        for (const SystemDef &def : systems) {
            if (def.system != sat.system || def.rangeSignal < 0) continue;
            // A range signal of attribute C stays the system's choice
            // whatever types come later; another one may give way.
            const bool settled = def.signals[size_t(def.rangeSignal)].code[1] == 'C';
            const char primary = primaryBand(def.system);
            for (size_t j = 0; j < def.signals.size() && j < 256; j++) {
                const SignalDef &sd = def.signals[j];
                if (sd.band != primary || sd.c < 0 || size_t(sd.c) >= sat.values.size()) continue;
                if (settled && int(j) != def.rangeSignal) continue;
                const double v = sat.values[size_t(sd.c)].value;
                if (!std::isnan(v)) ranges.push_back({sat.system, uint8_t(sat.prn), uint8_t(j), v});
            }
        }
    }
    w.rangesTo = ranges.size();
    windows.push_back(w);
}

#ifdef QC_HAVE_ORBIT
void QualityCheck::State::geometryStep(const Window &window)
{
    if (!store || store->empty()) return;
    // A point position from the window's first epoch's first civil codes.
    std::vector<Pseudorange> used;
    for (size_t i = window.rangesFrom; i < window.rangesTo; i++) {
        const RangeCandidate &r = ranges[i];
        for (const SystemDef &def : systems)
            if (def.system == r.system && def.rangeSignal == r.signal) used.push_back({r.system, r.prn, r.value});
    }
    Position fix;
    if (used.size() >= 4 && solvePosition(*store, window.time, used, iono, &fix)) {
        average.add(fix);
        if (headerPosition) {
            // A header position wrong by more than 10 km (another site's,
            // a receiver's default) turns elevations by more than a tenth of
            // a degree: the point positions know better from here on.
            double mean[3];
            average.mean(mean);
            const double off = std::hypot(mean[0] - position[0], mean[1] - position[1], mean[2] - position[2]);
            if (off > 10000.0) {
                headerPosition = false;
                headerOff = off;
            }
        }
        if (!headerPosition) {
            average.mean(position);
            positionKnown = true;
        }
    }
    if (!positionKnown) return;
    for (const SystemDef &def : systems) {
        for (int prn = 1; prn <= maxPrn(def.system); prn++) {
            SatelliteState state;
            Geometry &g = geometry[{def.system, prn}];
            if (!store->state(def.system, prn, window.time, &state)) {
                g.elevation = g.azimuth = NAN;
                continue;
            }
            double el, az;
            elevationAzimuth(position, state.position, &el, &az);
            // Elevations are known only where a record gave a satellite's
            // place: records of another day leave every one unknown.
            anyGeometry = true;
            g.record = true;
            g.elevation = float(el * 180.0 / M_PI);
            g.azimuth = float(az * 180.0 / M_PI);
        }
    }
}
#else
// Built without the broadcast orbits: no elevations, no positions.
void QualityCheck::State::geometryStep(const Window &) {}
#endif

// The geometry of every window in turn, and what depends on it: the
// expected observations, those made above the cut-off, the samples'
// elevations.
void QualityCheck::State::resolveGeometry()
{
    for (SatState *ss : satList) flushWindow(*ss);
    double r = std::sqrt(header.approx[0] * header.approx[0] + header.approx[1] * header.approx[1] +
                         header.approx[2] * header.approx[2]);
    // A position near the Earth's surface; zeros mean none was known.
    if (r > 6.0e6 && r < 7.0e6) {
        positionKnown = headerPosition = true;
        std::copy(header.approx, header.approx + 3, position);
    }
    std::stable_sort(counts.begin(), counts.end(), [](const WindowCount &a, const WindowCount &b) { return a.window < b.window; });
    std::vector<size_t> sampleOrder(samples.size());
    for (size_t i = 0; i < sampleOrder.size(); i++) sampleOrder[i] = i;
    std::stable_sort(sampleOrder.begin(), sampleOrder.end(),
                     [&](size_t a, size_t b) { return sampleWindow[a] < sampleWindow[b]; });
    size_t c = 0, k = 0;
    for (size_t w = 0; w < windows.size(); w++) {
        const Window &win = windows[w];
        geometryStep(win);
        aboveNow.clear();
        for (auto &g : geometry)
            if (g.second.elevation > kCutoff) {
                aboveNow[g.first.first]++;
                g.second.epochsAbove += win.epochs;
            }
        for (const auto &a : aboveNow) expected[a.first] += long(a.second) * win.epochs;
        for (; c < counts.size() && counts[c].window == int(w); c++) {
            const WindowCount &n = counts[c];
            SatState &ss = *satList[size_t(n.sat)];
            auto g = geometry.find({ss.stats.system, ss.stats.prn});
            if (g == geometry.end() || !(g->second.elevation > kCutoff)) continue;
            if (n.signal >= 0) {
                ss.signals[size_t(n.signal)].observedAbove += n.count;
                continue;
            }
            observedAbove[ss.stats.system] += n.count;
            for (size_t i = 0; i < ss.signals.size() && i < 32; i++)
                if (n.full >> i & 1) ss.signals[i].observedAbove += n.count;
        }
        for (; k < sampleOrder.size() && sampleWindow[sampleOrder[k]] == int(w); k++) {
            PlotSample &p = samples[sampleOrder[k]];
            auto g = geometry.find({p.system, int(p.prn)});
            p.elevation = g != geometry.end() ? g->second.elevation : NAN;
            p.azimuth = g != geometry.end() ? g->second.azimuth : NAN;
        }
    }
}

void QualityCheck::addEpoch(const ObsEpoch &epoch)
{
    State &st = *m_state;
    if (epoch.flag >= 2) {
        st.events++;
        return;
    }
    if (epoch.satellites.empty()) return;
    const GpsSeconds t = epoch.time;
    if (st.started && t <= st.last) {
        st.outOfOrder++;
        return;
    }
    bool gapBefore = false;
    if (!st.started) {
        st.started = true;
        st.first = st.last = t;
    } else {
        const double step = t - st.last;
        gapBefore = step > st.arcLimit();
        if (st.minStep == 0 || step < st.minStep) st.minStep = step;
        if (st.lastStep > 0 && std::fabs(step - st.lastStep) <= 1e-3 + 0.01 * step) st.sameSteps++;
        else st.sameSteps = 1;
        st.lastStep = step;
        if (st.sameSteps >= 3) st.regularStep = step;
        const long long ms = std::llround(step * 1000.0);
        auto it = st.steps.find(ms);
        if (it != st.steps.end()) it->second++;
        else if (st.steps.size() < 4096) st.steps[ms] = 1;
        else {
            st.otherSteps++;
            st.otherLongest = std::max(st.otherLongest, step);
        }
        st.last = t;
    }
    const int epochIndex = st.epochs++;
    const double limit = st.arcLimit();
    bool keep = epochIndex % st.keepEvery == 0 || gapBefore;

    if (gapBefore && !st.previousStored) {
        for (size_t i = 0; i < st.previous.size(); i++)
            if (!st.previous[i].slip)
                st.addSample(st.previous[i], epochIndex - 1, st.previousArc[i], true, st.previousWindow[i]);
    }
    st.previous.clear();
    st.previousArc.clear();
    st.previousWindow.clear();

    if (st.nextGeometry < 0 || t >= st.nextGeometry || t < st.nextGeometry - 2 * kGeometryStep) {
        st.openWindow(epoch);
        st.nextGeometry = t + kGeometryStep;
    }
    const int window = int(st.windows.size()) - 1;
    st.windows.back().epochs++;

    for (const ObsSatellite &sat : epoch.satellites) {
        SystemDef *def = nullptr;
        for (SystemDef &d : st.systems)
            if (d.system == sat.system) def = &d;
        if (!def || sat.values.size() != def->types) continue;
        SatState &ss = st.satellite(sat.system, sat.prn);
        if (ss.signals.size() < def->signals.size()) {
            if (ss.signals.empty()) ss.stats.first = t;
            const size_t had = ss.signals.size();
            ss.signals.resize(def->signals.size());
            for (size_t i = had; i < def->signals.size(); i++) ss.signals[i].stats.code = def->signals[i].code;
        }
        ss.stats.last = t;
        ss.stats.epochs++;
        if (ss.window != window) {
            st.flushWindow(ss);
            ss.window = window;
        }
        ss.windowEpochs++;
        long present = 0;
        for (const ObsValue &v : sat.values) present += !std::isnan(v.value);
        def->observations += present;

        auto value = [&](int column) -> const ObsValue * {
            return column >= 0 && !std::isnan(sat.values[size_t(column)].value) ? &sat.values[size_t(column)] : nullptr;
        };
        const size_t n = def->signals.size();
        std::vector<char> &lliSlip = st.lliSlip, &gfSlip = st.gfSlip;
        lliSlip.assign(n, 0);
        gfSlip.assign(n, 0);
        for (size_t i = 0; i < n; i++) {
            const SignalDef &sd = def->signals[i];
            SignalState &sg = ss.signals[i];
            if (value(sd.c)) {
                sg.stats.code_obs++;
                sg.windowCodes++;
            }
            if (value(sd.d)) sg.stats.doppler_obs++;
            if (const ObsValue *s = value(sd.s)) {
                sg.stats.strength_obs++;
                sg.snrSum += s->value;
                sg.snrCount++;
                if (std::isnan(sg.stats.snr_min) || s->value < sg.stats.snr_min) sg.stats.snr_min = s->value;
                def->snrSum += s->value;
                def->snrCount++;
            }
            if (const ObsValue *l = value(sd.l)) {
                sg.stats.phase_obs++;
                // Lock lost "between the previous and the current
                // observation": the first phase has no previous one, and
                // writers flag the start of a track so.
                if ((l->lli & 1) && sg.phaseSeen) {
                    sg.stats.slips_lli++;
                    lliSlip[i] = 1;
                }
                sg.phaseSeen = true;
            }
        }
        // Each signal's partner in this epoch: the first phase present on
        // another band; and the phase that goes with its code: its own, else
        // another one of its band. (A file may list types it never fills.)
        std::vector<int> &partner = st.partner, &phaseOf = st.phaseOf;
        partner.assign(n, -1);
        phaseOf.assign(n, -1);
        for (size_t i = 0; i < n; i++) {
            const char band = def->signals[i].band;
            if (value(def->signals[i].l)) phaseOf[i] = int(i);
            for (int j : def->order) {
                const SignalDef &o = def->signals[size_t(j)];
                if (!value(o.l)) continue;
                if (o.band != band && partner[i] < 0) partner[i] = j;
                if (o.band == band && phaseOf[i] < 0) phaseOf[i] = j;
            }
        }
        // Geometry-free combination of each phase with its partner's.
        for (size_t i = 0; i < n; i++) {
            const SignalDef &sd = def->signals[i];
            SignalState &sg = ss.signals[i];
            const ObsValue *l = value(sd.l);
            if (!l || partner[i] < 0) continue;
            const SignalDef &pd = def->signals[size_t(partner[i])];
            const ObsValue *p = value(pd.l);
            const double w1 = st.wavelength(sg, sat.system, sat.prn, sd.band);
            const double w2 = st.wavelength(ss.signals[size_t(partner[i])], sat.system, sat.prn, pd.band);
            if (w1 == 0 || w2 == 0) continue;
            if (sg.gfPartner != partner[i]) sg.gfTime = -1;
            sg.gfPartner = partner[i];
            const double gf = l->value * w1 - p->value * w2;
            if (sg.gfTime >= 0 && t - sg.gfTime <= limit && t > sg.gfTime && std::fabs(gf - sg.gfLast) > kGeometryFreeJump) {
                sg.stats.slips_gf++;
                gfSlip[i] = 1;
            }
            sg.gfLast = gf;
            sg.gfTime = t;
        }
        for (size_t i = 0; i < n; i++)
            if (lliSlip[i] || gfSlip[i]) def->slips++;
        // Code minus carrier with both carriers: the classic MP combination.
        for (size_t i = 0; i < n; i++) {
            const SignalDef &sd = def->signals[i];
            SignalState &sg = ss.signals[i];
            const ObsValue *c = value(sd.c);
            double mp = NAN;
            if (c && phaseOf[i] >= 0 && partner[size_t(phaseOf[i])] >= 0) {
                const size_t pi = size_t(phaseOf[i]), qi = size_t(partner[pi]);
                const SignalDef &pd = def->signals[pi], &qd = def->signals[qi];
                const ObsValue *l1 = value(pd.l), *l2 = value(qd.l);
                const double w1 = st.wavelength(ss.signals[pi], sat.system, sat.prn, pd.band);
                const double w2 = st.wavelength(ss.signals[qi], sat.system, sat.prn, qd.band);
                if (w1 > 0 && w2 > 0) {
                    const double alpha = (w2 / w1) * (w2 / w1); // (f1 / f2)^2
                    mp = c->value - (1 + 2 / (alpha - 1)) * l1->value * w1 + (2 / (alpha - 1)) * l2->value * w2;
                    const bool slip = lliSlip[pi] || gfSlip[pi] || lliSlip[qi];
                    const bool other = sg.mpPhase != int(pi) || sg.mpPartner != int(qi);
                    if (sg.arc >= 0 && (slip || other || t - sg.mpTime > limit || t <= sg.mpTime)) st.closeArc(sg);
                    sg.mpPhase = int(pi);
                    sg.mpPartner = int(qi);
                    if (sg.arc < 0) {
                        sg.arc = int(st.arcMean.size());
                        st.arcMean.push_back(NAN);
                        sg.mpFirst = mp;
                    }
                    const double x = mp - sg.mpFirst;
                    sg.mpSum += x;
                    sg.mpSumSq += x * x;
                    sg.mpCount++;
                    sg.mpTime = t;
                    mp = x;
                }
            }
            // The plot sample of this signal; its elevation comes with the
            // geometry at the end.
            const ObsValue *s = value(sd.s);
            if (!c && !value(sd.l) && !s) continue;
            PlotSample sample;
            sample.t = float(t - st.first);
            sample.system = sat.system;
            sample.prn = uint8_t(sat.prn);
            sample.signal = uint8_t(i);
            sample.elevation = NAN;
            sample.azimuth = NAN;
            sample.snr = s ? float(s->value) : NAN;
            sample.multipath = float(mp);
            sample.slip = lliSlip[i] || gfSlip[i];
            const int arc = std::isnan(mp) ? -1 : sg.arc;
            if (keep) st.addSample(sample, epochIndex, arc, gapBefore, window);
            else if (sample.slip && st.pinned < kMaxPinnedSamples) st.addSample(sample, epochIndex, arc, true, window);
            st.previous.push_back(sample);
            st.previousArc.push_back(arc);
            st.previousWindow.push_back(window);
        }
    }
    st.previousStored = keep;
    st.thin();
}

namespace {

std::string formatDouble(double v, const char *format)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, v);
    return buffer;
}

} // namespace

Report QualityCheck::finish()
{
    State &st = *m_state;
    st.resolveGeometry();
    Report r;
    r.header = st.header;
    r.first = st.first;
    r.last = st.last;
    r.epochs = st.epochs;
    r.events = st.events;
    r.skipped_lines = st.skippedLines;
    r.navigation_unread = st.navigationUnread;
    r.out_of_order = st.outOfOrder;
    r.ends_inside_epoch = st.cut;
    r.cutoff_degrees = kCutoff;
    // The interval: the header's, else the most common step.
    r.interval = st.header.interval;
    if (r.interval <= 0) {
        long best = 0;
        for (const auto &s : st.steps)
            if (s.second > best) {
                best = s.second;
                r.interval = s.first / 1000.0;
            }
    }
    if (r.interval > 0 && st.epochs > 0) {
        // A foreign header's INTERVAL may be tiny or wrong: the count is
        // bounded rather than converted out of range.
        const double n = std::floor((st.last - st.first) / r.interval + 0.5) + 1;
        r.epochs_expected = n < 1e15 ? (long long)n : (long long)1e15;
    }
    else r.epochs_expected = st.epochs;
    if (r.interval > 0) {
        for (const auto &s : st.steps)
            if (s.first / 1000.0 > 1.5 * r.interval) {
                r.gaps += int(s.second);
                r.longest_gap = std::max(r.longest_gap, s.first / 1000.0);
            }
        if (st.otherLongest > 1.5 * r.interval) {
            r.gaps += int(st.otherSteps);
            r.longest_gap = std::max(r.longest_gap, st.otherLongest);
        }
    }
    r.elevations_known = st.anyGeometry;
#ifdef QC_HAVE_ORBIT
    if (st.average.valid()) {
        r.position_known = true;
        st.average.mean(r.position);
        r.position_spread = st.average.spread();
        r.position_solutions = st.average.solutions();
        r.header_position_off = st.headerOff;
    }
#endif

    // Satellites in system order, each with the signals it had.
    std::map<std::pair<char, int>, std::vector<int>> remap;
    std::vector<std::pair<std::pair<char, int>, SatState *>> order;
    for (auto &s : st.sats) order.push_back({s.first, &s.second});
    std::sort(order.begin(), order.end(), [](const auto &a, const auto &b) {
        return systemRank(a.first.first) != systemRank(b.first.first) ? systemRank(a.first.first) < systemRank(b.first.first)
                                                                      : a.first.second < b.first.second;
    });
    std::map<char, SystemStats> systems;
    std::map<char, std::map<std::string, std::pair<double, long>>> multipath;
    for (auto &entry : order) {
        SatState &ss = *entry.second;
        auto geometry = st.geometry.find(entry.first);
        const bool record = st.anyGeometry && geometry != st.geometry.end() && geometry->second.record;
        std::vector<int> &indices = remap[entry.first];
        SatelliteStats out = ss.stats;
        for (SignalState &sg : ss.signals) {
            st.closeArc(sg);
            SignalStats s = sg.stats;
            if (s.code_obs + s.phase_obs + s.doppler_obs + s.strength_obs == 0) {
                indices.push_back(-1);
                continue;
            }
            if (sg.snrCount > 0) s.snr_mean = sg.snrSum / sg.snrCount;
            if (sg.residualCount > 0) {
                s.multipath_rms = std::sqrt(sg.residualSq / double(sg.residualCount));
                auto &m = multipath[entry.first.first][s.code];
                m.first += sg.residualSq;
                m.second += sg.residualCount;
            }
            if (record) {
                s.expected = geometry->second.epochsAbove;
                s.observed_above = sg.observedAbove;
            }
            indices.push_back(int(out.signals.size()));
            out.signals.push_back(s);
        }
        SystemStats &sys = systems[entry.first.first];
        sys.system = entry.first.first;
        sys.satellites++;
        r.satellites.push_back(out);
    }
    for (auto &entry : systems) {
        SystemStats &sys = entry.second;
        const char s = entry.first;
        const SystemDef *def = nullptr;
        for (const SystemDef &d : st.systems)
            if (d.system == s) def = &d;
        if (def) {
            sys.observations = def->observations;
            sys.slips = def->slips;
            if (def->snrCount > 0) sys.snr_mean = def->snrSum / double(def->snrCount);
        }
        bool records = false;
        for (const auto &g : st.geometry) records = records || (g.first.first == s && g.second.record);
        // Without any record of the system nothing can be expected of it.
        if (st.anyGeometry && records) {
            sys.expected = st.expected[s];
            sys.observed_above = st.observedAbove[s];
        }
        for (const auto &m : multipath[s])
            if (m.second.second > 0) sys.multipath_rms.push_back({m.first, std::sqrt(m.second.first / m.second.second)});
    }
    for (const char *p = kSystemOrder; *p; p++)
        if (systems.count(*p)) r.systems.push_back(systems[*p]);

    // The samples, with each arc's mean taken off and signals renumbered.
    r.samples.reserve(st.samples.size());
    for (size_t i = 0; i < st.samples.size(); i++) {
        PlotSample p = st.samples[i];
        const std::vector<int> &indices = remap[{p.system, int(p.prn)}];
        if (p.signal >= indices.size() || indices[p.signal] < 0) continue;
        p.signal = uint8_t(indices[p.signal]);
        const int arc = st.sampleArc[i];
        const double mean = arc >= 0 ? st.arcMean[size_t(arc)] : NAN;
        p.multipath = std::isnan(mean) ? NAN : float(p.multipath - mean);
        r.samples.push_back(p);
    }
    std::stable_sort(r.samples.begin(), r.samples.end(), [](const PlotSample &a, const PlotSample &b) { return a.t < b.t; });

    // The verdict: what a surveyor should look at, or that all is well.
    std::vector<std::string> issues;
    long phase = 0, slips = 0;
    for (const SystemStats &s : r.systems) slips += s.slips;
    for (const SatelliteStats &s : r.satellites)
        for (const SignalStats &g : s.signals) phase += g.phase_obs;
    if (r.epochs == 0) {
        r.verdict = "no data: the file holds no observation epochs";
        return r;
    }
    // What could not be read is named first: the numbers below miss it.
    issues = unreadNotes(r);
    if (r.epochs_expected > 0 && r.epochs < 0.95 * r.epochs_expected)
        issues.push_back(formatDouble(100.0 * r.epochs / r.epochs_expected, "%.0f") + "% of the expected epochs");
    if (r.header_position_off > 0)
        issues.push_back("header position " + formatDouble(r.header_position_off / 1000.0, "%.0f") +
                         " km from the computed one, which gave the elevations");
    if (r.gaps > 0)
        issues.push_back(std::to_string(r.gaps) + (r.gaps == 1 ? " gap" : " gaps") + " (longest " +
                         formatDouble(r.longest_gap, "%.0f") + " s)");
    if (phase > 0 && slips * 100 > phase)
        issues.push_back("many slips (" + std::to_string(slips) + " in " + std::to_string(phase) + " phases)");
    double worst = 0;
    std::string worstName;
    for (const SystemStats &s : r.systems)
        for (const auto &m : s.multipath_rms)
            if (m.second > worst) {
                worst = m.second;
                worstName = std::string(1, s.system) + " " + m.first;
            }
    if (worst > 0.8) issues.push_back("high multipath (" + formatDouble(worst, "%.2f") + " m on " + worstName + ")");
    double snr = 0;
    long snrCount = 0;
    std::vector<const SystemDef *> byLetter;
    for (const SystemDef &d : st.systems) byLetter.push_back(&d);
    std::sort(byLetter.begin(), byLetter.end(), [](const SystemDef *a, const SystemDef *b) { return a->system < b->system; });
    for (const SystemDef *d : byLetter) {
        snr += d->snrSum;
        snrCount += d->snrCount;
    }
    if (snrCount > 0 && snr / snrCount < 30) issues.push_back("weak signals (" + formatDouble(snr / snrCount, "%.1f") + " dB-Hz)");
    std::string facts = std::to_string(r.epochs) + " epochs, " + std::to_string(r.satellites.size()) + " satellites, " +
                        std::to_string(slips) + (slips == 1 ? " slip" : " slips");
    if (worst > 0) facts += ", multipath up to " + formatDouble(worst, "%.2f") + " m";
    if (issues.empty()) {
        r.verdict = "good: " + facts;
    } else {
        r.verdict = "check:";
        for (size_t i = 0; i < issues.size(); i++) r.verdict += (i ? "; " : " ") + issues[i];
    }
    return r;
}

std::vector<std::string> unreadNotes(const Report &r)
{
    std::vector<std::string> notes;
    if (r.skipped_lines > 0)
        notes.push_back(std::to_string(r.skipped_lines) + (r.skipped_lines == 1 ? " line" : " lines") + " not read");
    if (r.ends_inside_epoch) notes.push_back("the file ends inside an epoch");
    if (r.navigation_unread > 0)
        notes.push_back(std::to_string(r.navigation_unread) + " navigation " +
                        (r.navigation_unread == 1 ? "record" : "records") + " not read");
    if (r.out_of_order > 0)
        notes.push_back(std::to_string(r.out_of_order) + (r.out_of_order == 1 ? " epoch" : " epochs") +
                        " repeated or out of order, left out");
    return notes;
}

bool checkFiles(const std::string &obsPath, const std::vector<std::string> &navPaths, Report *report, std::string *error)
{
    return checkFiles(obsPath, navPaths, report, error, nullptr);
}

bool checkFiles(const std::string &obsPath, const std::vector<std::string> &navPaths, Report *report, std::string *error,
                const std::atomic<bool> *cancel)
{
    RinexObsReader reader;
    std::string why;
    if (!reader.open(obsPath, &why)) {
        *error = obsPath + ": " + why;
        return false;
    }
    NavRecords nav;
    for (const std::string &path : navPaths)
        if (!readNavigation(path, &nav, error)) return false;
    QualityCheck check(reader.header());
    for (const glonass_nav_t &g : nav.glonass) check.setGlonassChannel(g.slot, g.frequency_channel);
#ifdef QC_HAVE_ORBIT
    EphemerisStore store;
    for (const auto &g : nav.gps) store.add(g.second, g.first);
    for (const auto &g : nav.galileo_inav) store.add(g);
    for (const auto &g : nav.galileo_fnav) store.add(g);
    for (const auto &b : nav.bds) store.add(b);
    for (const auto &g : nav.glonass) store.add(g);
    int leap = nav.leap_seconds >= 0 ? nav.leap_seconds : reader.header().leap_seconds;
    if (leap >= 0) store.setUtcMinusGps(-leap);
    check.setNavigation(&store, nav.iono);
#endif
    ObsEpoch epoch;
    while (reader.next(&epoch, &why)) {
        if (cancel && *cancel) {
            *error = "cancelled";
            return false;
        }
#ifdef QC_HAVE_ORBIT
        // Without a leap second count in the files, that of the first dated
        // record; an event record whose date is left blank (legal for
        // flags 2 to 5) may come before it.
        if (leap < 0 && epoch.time > 0) {
            leap = leapSecondsAt(epoch.time);
            store.setUtcMinusGps(-leap);
        }
#endif
        if (reader.takeTypesGrown())
            for (const auto &types : reader.header().types) check.setTypes(types.first, types.second);
        check.addEpoch(epoch);
    }
    if (!why.empty()) {
        *error = obsPath + ": " + why;
        return false;
    }
    check.setUnread(reader.skippedLines(), reader.endsInsideEpoch());
    check.setUnreadNavigation(nav.unread_records);
    *report = check.finish();
    report->file = obsPath;
    return true;
}

} // namespace qc
