// Reads RINEX navigation files, versions 2.10, 2.11 and 3.02 to 3.05 of any
// producer: the GPS, QZSS, Galileo, BDS and GLONASS records as the common
// broadcast records of the decoders, the GPS ionosphere parameters and the
// leap seconds.
#ifndef QC_RINEX_NAV_READER_H
#define QC_RINEX_NAV_READER_H

#include <string>
#include <utility>
#include <vector>

#include "navigation.h"
#include "orbit.h"
#include "spp.h"

namespace qc {

struct NavRecords {
    std::vector<std::pair<char, gps_nav_t>> gps; // 'G' or 'J'
    std::vector<galileo_inav_t> galileo_inav;
    std::vector<galileo_fnav_t> galileo_fnav;
    std::vector<bd2_nav_t> bds;
    std::vector<glonass_nav_t> glonass;
    Klobuchar iono = Klobuchar(); // "GPSA"/"GPSB" or "ION ALPHA"/"ION BETA"
    int leap_seconds = -1;        // "LEAP SECONDS", -1 when absent
    long skipped_records = 0;     // records of other systems or unreadable
    // Of those, the records of the systems read that could not be read or
    // were cut short, and lines that belong to no record.
    long unread_records = 0;
    size_t count() const
    {
        return gps.size() + galileo_inav.size() + galileo_fnav.size() + bds.size() + glonass.size();
    }
};

// Adds the records of one file to `out` (so that several files gather in
// one); false with `error` set when the file cannot be read or is not a
// RINEX navigation file.
bool readNavigation(const std::string &path, NavRecords *out, std::string *error);
// The same from a navigation file's text held in memory (header and records),
// `name` standing for the file in the messages.
bool readNavigationText(const std::string &text, const std::string &name, NavRecords *out, std::string *error);

// Whether a file is a RINEX observation ('O') or navigation ('N') file,
// from its first line; 0 when neither or unreadable.
char rinexFileKind(const std::string &path);

// SV accuracy in metres to the GPS/BDS URA index, SISA in metres to the
// Galileo SISA index (the inverses of the tables the writers print from).
int uraIndex(double metres);
int sisaIndex(double metres);

} // namespace qc

#endif
