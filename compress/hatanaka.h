// Streaming Compact RINEX (Hatanaka) encoder for RINEX 2 observation files
// (Compact RINEX 1.0) and RINEX 3 observation files (Compact RINEX 3.0).
//
// The encoder takes the RINEX file line by line (without line ends) and
// produces the compact text, one "\n"-terminated line per compact line:
// epoch lines are sent as the differences of their text from the previous
// epoch line, the receiver clock offset and every observable as arcs of
// integer differences (up to the third order) opened by "3&value", and the
// loss-of-lock and signal-strength flags of a satellite as the differences
// of their text from the satellite's previous flags (in 1.0 those of an
// observable whose arc opens are taken against blanks).
//
// Only what the decoding side can restore is accepted: a record it could not
// rebuild byte for byte (a value that is not a plain F14.3 number, an epoch
// or observation line with trailing blanks, in 1.0 flags without a value)
// stops the encoder with an error, so that a caller can keep the
// uncompressed file instead. The one exception is a negative zero
// ("-0.000"), which comes back as "0.000".
#ifndef QUORVANE_COMPRESS_HATANAKA_H
#define QUORVANE_COMPRESS_HATANAKA_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace compression {

class HatanakaEncoder
{
public:
    // `program` and `date` fill the "CRINEX PROG / DATE" line (the date as
    // "dd-Mon-yy hh:mm"); they are not part of the restored RINEX file.
    HatanakaEncoder(const std::string &program, const std::string &date);

    // One line of the RINEX file without its line end; false (and every
    // later call false) when the line cannot be carried exactly.
    bool line(const char *text, size_t length);
    // Checks that the input ended after a whole record.
    bool finish();

    // Compact text produced so far; the caller may take and clear it.
    std::string &output() { return out; }
    const std::string &error() const { return failure; }

    // Largest magnitude of a difference kept in an arc: the value range of
    // an F14.3 field. Beyond it the arc is opened again.
    static constexpr int64_t kDifferenceLimit = 9999999999999LL;
    static constexpr int kOrder = 3;

private:
    struct Arc {
        int count = 0; // values in the arc so far, 0: no arc
        int64_t d[kOrder + 1] = {0, 0, 0, 0};
    };
    struct Satellite {
        uint64_t lastEpoch = 0;
        std::vector<Arc> arcs;
        std::string flags;
    };

    bool fail(const std::string &why);
    bool headerLine(const std::string &l);
    bool recordLine(const std::string &l);
    bool encodeEpoch();
    bool encodeEvent();
    void putArc(Arc &arc, int64_t value, bool reopen);
    int typesOf(char system) const;
    // One satellite's observations: RINEX 3 from the fields after its
    // name, RINEX 2 from its `lines`, `perLine` fields to a line.
    bool satelliteLine(const char *id, const char *fields, size_t length, int types, int perLine,
                       const std::string *lines);

    std::string out;
    std::string failure;
    std::string program, date;
    bool header = true;
    bool firstLine = true;
    int version = 0; // 2 or 3
    // Observation types: RINEX 2 one count, RINEX 3 per system letter.
    int types2 = 0;
    int types3[128] = {0};
    char lastSystem = 0;

    // The record being collected.
    std::vector<std::string> record; // the first recordLines are in use
    size_t recordLines = 0;
    size_t recordExpected = 0;
    bool eventRecord = false; // the record being collected is an event

    std::string lastEpochLine; // empty: the next epoch line is sent whole
    bool wholeEpoch = false;
    Arc clock;
    bool clockSeen = false;
    uint64_t epochIndex = 0;
    std::unordered_map<uint32_t, Satellite> satellites;
    std::string scratch, flagText, flagWhole;
};

// The text of a value in units of the field's last decimal: the digits of
// an F14.3 (or the clock's F12.9 / F15.12) field without its point. False
// when the text is not what a fixed-point field of `decimals` decimals
// would print for that value (a negative zero is taken as zero).
bool parseFixed(const char *text, size_t width, int decimals, int64_t *value);

} // namespace compression

#endif
