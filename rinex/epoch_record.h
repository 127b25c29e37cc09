// An observation epoch record as a writer has decided it (its satellites,
// their fields with values and flags, the time of its epoch line) before any
// of it is printed. Printing the fields is about half the work of a
// conversion and needs nothing else of the writer, so it may run on a thread
// of its own while the next epochs are decoded; the text is the same either
// way, since this one printer serves both.
#ifndef QUORVANE_RINEX_EPOCH_RECORD_H
#define QUORVANE_RINEX_EPOCH_RECORD_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

struct EpochRecord {
    // One 16-character field (F14.3, LLI, signal strength).
    // Sixteen bytes: an epoch of a few thousand fields is written by one
    // thread and read by another, and the bytes crossing are the cost.
    struct Field {
        double value = 0;
        uint32_t at = 0; // offset in its satellite's field area
        char lli = ' ';
        char strength = ' ';
        // Only the LLI is set, the value stays blank (a phase never
        // measured still tells of its lost lock).
        bool lliOnly = false;

        Field() = default;
        // Built in place (emplace_back): a field assembled elsewhere and
        // copied in whole stalls on its own freshly written bytes.
        Field(double v, uint32_t offset, char l, char s, bool only = false)
            : value(v), at(offset), lli(l), strength(s), lliOnly(only)
        {
        }
    };
    struct Satellite {
        char name[3] = {' ', ' ', ' '};
        char system = ' ';
        int prn = 0;
        // Bytes of its field area: columns × 64 (RINEX 3), types × 16 (RINEX 2).
        uint32_t width = 0;
        uint32_t first = 0, end = 0; // its fields in `fields`
        // RINEX 3: where the observer's values of this satellite begin, and
        // (set by the printer) whether its line was printed: a line with
        // every field blank is left out.
        size_t told = 0;
        bool printed = false;

        Satellite() = default;
        // "G05"; a number above 99 keeps its first two digits (never taken).
        Satellite(char letter, int number);
    };

    bool rinex2 = false;
    // The epoch line: calendar time on the GPS scale (full year).
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    std::vector<Satellite> satellites;
    std::vector<Field> fields;

    void clear()
    {
        satellites.clear();
        fields.clear();
    }
};

// The text of a record, kept and reused by its printing thread: a long
// conversion does not allocate per epoch.
class RecordText
{
public:
    // Prints `record` (its satellites' `printed` set); the text stays valid
    // until the next call.
    const char *print(EpochRecord &record, size_t *length);

private:
    char *reserve(size_t used, size_t more);
    const char *printRinex3(EpochRecord &record, size_t *length);
    const char *printRinex2(EpochRecord &record, size_t *length);

    std::unique_ptr<char[]> data;
    size_t capacity = 0;
    std::vector<char> fields;
    std::string lines, names, whole;
};

#endif
