// Reads RINEX observation files, versions 2.10, 2.11 and 3.02 to 3.05 of any
// producer, one epoch at a time so that a file of any length needs little
// memory. RINEX 2 observation types are handed on as the RINEX 3 codes of
// the same band (C1 -> C1C, P2 -> C2W, L2 -> L2W ...), so that the check sees
// one kind of file.
#ifndef QC_RINEX_OBS_READER_H
#define QC_RINEX_OBS_READER_H

#include <map>
#include <string>
#include <vector>

#include "quality.h"
#include "rinex_text.h"

namespace qc {

class RinexObsReader {
public:
    // Opens the file and reads its header; false with `error` set when the
    // file cannot be read or is not a RINEX observation file.
    bool open(const std::string &path, std::string *error);
    // The same from text held in memory (not copied: it must outlive the
    // reader), e.g. a header a writer has just finished.
    bool openText(const std::string &text, std::string *error);
    // The header; types an event adds come at the end of its lists.
    const ObsHeader &header() const { return m_header; }
    double version() const { return m_version; }
    // The next epoch, times on the GPS time scale. Events (flags 2 to 6)
    // come as epochs without satellites; their header and comment records
    // are read (a change of the observation types is followed). False at
    // the end of the file, and on a read error with `error` set.
    bool next(ObsEpoch *epoch, std::string *error);
    // Lines that could not be read as what they should have been, skipped.
    long skippedLines() const { return m_skipped; }
    // Whether an event has added types (or a system) to `header()` since
    // the last call; they come after those already there.
    bool takeTypesGrown()
    {
        const bool grown = m_typesGrown;
        m_typesGrown = false;
        return grown;
    }
    // Whether the file ended before all the records its last epoch
    // announced (that epoch comes with what it had).
    bool endsInsideEpoch() const { return m_cut; }

    // The RINEX 3 code ("C1C") of a RINEX 2 type ("C1") of a system, given
    // all the types of the header (the band's phase follows its code).
    static std::string rinex3Code(char system, const std::string &type, const std::vector<std::string> &all);
    // The codes of a whole RINEX 2 type list, each code once.
    static std::vector<std::string> rinex3Codes(char system, const std::vector<std::string> &types);
    // The systems a mixed RINEX 2 file may hold.
    static constexpr const char *kRinex2Systems = "GRECJS";

private:
    bool readHeader(std::string *error);
    void headerRecord(const std::string &line, bool inEvent);
    void finishTypes();
    bool nextRinex3(ObsEpoch *epoch);
    bool nextRinex2(ObsEpoch *epoch);
    static ObsValue readValue(const std::string &line, size_t at);
    int systemIndex(char system) const;
    GpsSeconds toGps(GpsSeconds t) const;
    void skipEventRecords(int count);
    bool nextLine(std::string *line);
    bool readLine(std::string *line);

    LineReader m_in;
    ObsHeader m_header;
    double m_version = 0;
    char m_fileSystem = 'G';
    std::string m_line;
    long m_skipped = 0;
    bool m_cut = false;
    bool m_pendingLine = false;
    bool m_typesGrown = false;
    // RINEX 3: types as they stand in the file now, per system, and their
    // columns in the header's list (-1: not there). A change of the types
    // in an event keeps the header's order for the values handed on.
    std::map<char, std::vector<std::string>> m_current;
    std::map<char, std::vector<int>> m_columns;
    std::map<char, std::vector<double>> m_scale;
    // RINEX 2: the types now and at the header.
    std::vector<std::string> m_types2;
    std::vector<std::string> m_types2Header;
    // While reading "SYS / # / OBS TYPES" or "# / TYPES OF OBSERV".
    char m_typesSystem = 0;
    int m_typesLeft = 0;
    std::map<char, std::vector<std::string>> m_readTypes;
    std::vector<std::string> m_readTypes2;
    std::map<char, std::map<std::string, double>> m_readScale; // "": every type
    // While reading "SYS / SCALE FACTOR": its system, factor and the types
    // still to come on continuation lines.
    char m_scaleSystem = 0;
    int m_scaleFactor = 1;
    int m_scaleLeft = 0;
};

} // namespace qc

#endif
