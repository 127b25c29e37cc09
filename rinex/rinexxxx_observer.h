// What a writer hands on as it writes, for a reader in the same process (the
// quality check of `quorvane-convert --qc`): the epoch records as the file
// will hold them, the text of the navigation records and the finished
// headers, so that nothing needs reading back once the files are closed,
// compressed or not. Plain C++: an observer needs no part of the writer.
#ifndef QUORVANE_RINEX_RINEXXXX_OBSERVER_H
#define QUORVANE_RINEX_RINEXXXX_OBSERVER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class RinexObserver
{
public:
    // One field of an epoch record as written: the value as the file holds it
    // (rounded to its printed decimals), NaN when blank.
    struct Value {
        double value;
        uint8_t lli;      // 0 when blank
        uint8_t strength; // 0 when blank
    };
    // One satellite line: `count` values from `first` in `Epoch::values`, in
    // the order of its system's types (`values` may hold more, unused).
    struct Satellite {
        char system;
        int prn;
        size_t first;
        size_t count;
    };
    // An epoch record: the calendar time of its line (GPS time scale),
    // milliseconds of the minute, and its satellites.
    struct Epoch {
        int year = 0, month = 0, day = 0, hour = 0, minute = 0;
        int millisecond = 0; // of the minute
        int flag = 0;
        std::vector<Satellite> satellites;
        std::vector<Value> values;
    };

    // The system of a list of types that every system shares (RINEX 2).
    static constexpr char kEverySystem = ' ';

    virtual ~RinexObserver() = default;
    // The observation types of a system as the header will list them, each
    // time a type is added (types are only ever added after the others);
    // `kEverySystem` for the one list of a RINEX 2 file.
    virtual void observationTypes(char system, const std::vector<std::string> &types) = 0;
    // A GLONASS slot's frequency channel, when the writer learns it.
    virtual void glonassChannel(int slot, int channel) = 0;
    virtual void observationEpoch(const Epoch &epoch) = 0;
    // An event record (epoch flag 2 to 6) in the observation file.
    virtual void observationEvent(int flag) = 0;
    // Records written to the navigation file of letter `file`.
    virtual void navigationText(char file, const char *data, size_t size) = 0;
    // The finished header of the file of letter `file` (the observation
    // file's or a navigation file's), at close.
    virtual void headerFinished(char file, bool observation, const char *data, size_t size) = 0;
};

#endif
