#include "quality_feed.h"

#include <cmath>
#include <utility>

#include "rinex_nav_reader.h"
#include "rinex_obs_reader.h"
#include "rinex_text.h"

namespace {

// A header as the writer finished it ends with the placeholder lines still
// in the file; the readers want its end line.
std::string withEnd(const std::string &header)
{
    if (header.find("END OF HEADER") != std::string::npos) return header;
    std::string end(60, ' ');
    end += "END OF HEADER\r\n";
    return header + end;
}

} // namespace

QualityFeed::QualityFeed() : m_check(qc::ObsHeader()) {}

QualityFeed::~QualityFeed() = default;

void QualityFeed::observationTypes(char system, const std::vector<std::string> &types)
{
    if (system != kEverySystem) {
        m_typeCount[system] = types.size();
        m_check.setTypes(system, types);
        return;
    }
    // RINEX 2: every system reads the one list, each type named as the
    // reader of the finished file names it for that system.
    for (const char *s = qc::RinexObsReader::kRinex2Systems; *s; s++) {
        m_typeCount[*s] = types.size();
        m_check.setTypes(*s, qc::RinexObsReader::rinex3Codes(*s, types));
    }
}

void QualityFeed::checkPending()
{
    if (!m_hasPending) return;
    m_hasPending = false;
    // Types added since the epoch was told come after its values: blank.
    for (qc::ObsSatellite &sat : m_pending.satellites) {
        const auto count = m_typeCount.find(sat.system);
        if (count != m_typeCount.end() && sat.values.size() < count->second) sat.values.resize(count->second);
    }
    m_check.addEpoch(m_pending);
}

void QualityFeed::glonassChannel(int slot, int channel)
{
    m_check.setGlonassChannel(slot, channel);
}

void QualityFeed::observationEpoch(const Epoch &epoch)
{
    qc::ObsEpoch &e = m_epoch;
    // The time as a reader finds it on the epoch line: the seconds with
    // their decimals make one number, divided once.
    e.time = qc::calendarSeconds(epoch.year, epoch.month, epoch.day, epoch.hour, epoch.minute,
                                 epoch.millisecond / 1000.0);
    e.flag = epoch.flag;
    if (!m_anyRecord) m_firstTime = e.time;
    m_anyRecord = true;
    e.satellites.resize(epoch.satellites.size());
    for (size_t i = 0; i < epoch.satellites.size(); i++) {
        const Satellite &from = epoch.satellites[i];
        qc::ObsSatellite &to = e.satellites[i];
        to.system = from.system;
        to.prn = from.prn;
        to.values.resize(from.count);
        for (size_t k = 0; k < from.count; k++) {
            const Value &v = epoch.values[from.first + k];
            to.values[k].value = v.value;
            to.values[k].lli = v.lli;
            to.values[k].strength = v.strength;
        }
    }
    // The same epoch again is the writer's rewrite of the record it told
    // last: it takes that one's place.
    const bool rewrite = m_hasPending && m_pending.time == e.time;
    if (!rewrite) checkPending();
    std::swap(m_pending, m_epoch);
    m_hasPending = true;
}

void QualityFeed::observationEvent(int flag)
{
    // An epoch record followed by an event is not rewritten any more.
    checkPending();
    // Events carry no time here, as on their record.
    qc::ObsEpoch event;
    event.time = 0;
    event.flag = flag;
    m_anyRecord = true;
    m_check.addEpoch(event);
}

void QualityFeed::navigationText(char file, const char *data, size_t size)
{
    m_navRecords[file].append(data, size);
}

void QualityFeed::headerFinished(char file, bool observation, const char *data, size_t size)
{
    if (observation) m_obsHeader.assign(data, size);
    else m_navHeaders[file].assign(data, size);
}

bool QualityFeed::finish(qc::Report *report, std::string *error)
{
    checkPending();
    qc::RinexObsReader header;
    const std::string obsText = withEnd(m_obsHeader);
    if (!header.openText(obsText, error)) return false;
    qc::NavRecords nav;
    for (const auto &h : m_navHeaders) {
        const std::string text = withEnd(h.second) + m_navRecords[h.first];
        if (!qc::readNavigationText(text, std::string("navigation file ") + h.first, &nav, error)) return false;
    }
    m_check.setHeader(header.header());
    for (const glonass_nav_t &g : nav.glonass) m_check.setGlonassChannel(g.slot, g.frequency_channel);
    qc::EphemerisStore store;
#ifdef QC_HAVE_ORBIT
    for (const auto &g : nav.gps) store.add(g.second, g.first);
    for (const auto &g : nav.galileo_inav) store.add(g);
    for (const auto &g : nav.galileo_fnav) store.add(g);
    for (const auto &b : nav.bds) store.add(b);
    for (const auto &g : nav.glonass) store.add(g);
    const int leap = nav.leap_seconds >= 0 ? nav.leap_seconds : header.header().leap_seconds;
    if (leap >= 0) store.setUtcMinusGps(-leap);
    else if (m_firstTime > 0) store.setUtcMinusGps(-qc::leapSecondsAt(m_firstTime));
#endif
    m_check.setNavigation(&store, nav.iono);
    *report = m_check.finish();
    return true;
}
