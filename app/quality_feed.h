// The quality check of `quorvane-convert --qc`, fed by the writer while it
// writes: the epochs, the navigation records and the headers come from the
// writer as the files hold them, so the summary is that of the finished files
// without reading them back (and a compressed file is checked all the same).
#ifndef QUORVANE_APP_QUALITY_FEED_H
#define QUORVANE_APP_QUALITY_FEED_H

#include <map>
#include <string>

#include "quality.h"
#include "rinexxxx_observer.h"

class QualityFeed : public RinexObserver
{
public:
    QualityFeed();
    ~QualityFeed() override;

    void observationTypes(char system, const std::vector<std::string> &types) override;
    void glonassChannel(int slot, int channel) override;
    void observationEpoch(const Epoch &epoch) override;
    void observationEvent(int flag) override;
    void navigationText(char file, const char *data, size_t size) override;
    void headerFinished(char file, bool observation, const char *data, size_t size) override;

    // Whether the writer finished an observation header: there is a file to
    // report on.
    bool fed() const { return !m_obsHeader.empty(); }
    // Once the writer has closed: the report of the observation file, with
    // every navigation file the writer wrote; false with `error` set when
    // its headers cannot be read. Call once.
    bool finish(qc::Report *report, std::string *error);

private:
    void checkPending();

    qc::QualityCheck m_check;
    qc::ObsEpoch m_epoch; // reused, so that an epoch allocates nothing
    // The epoch told last, checked once the next record shows it stands: the
    // writer rewrites the file's last epoch record when the same epoch comes
    // again (merged), and tells it again.
    qc::ObsEpoch m_pending;
    bool m_hasPending = false;
    std::map<char, size_t> m_typeCount; // the types each system now has
    bool m_anyRecord = false;
    double m_firstTime = 0;
    std::string m_obsHeader;
    std::map<char, std::string> m_navHeaders, m_navRecords;
};

#endif
