// What the RINEX readers share: a line reader that takes plain and gzipped
// files alike, fixed-column field parsing, calendar time on the GPS scale,
// leap seconds, and the carrier frequencies of each system's bands.
#ifndef QC_RINEX_TEXT_H
#define QC_RINEX_TEXT_H

#include <string>

#include "orbit.h"

namespace qc {

// Reads a text file line by line, without the line end ("\n" or "\r\n");
// a gzip file is decompressed on the fly. Lines of any length.
class LineReader {
public:
    LineReader() = default;
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;
    bool open(const std::string &path, std::string *error);
    // Reads lines from text held in memory (not copied: it must outlive the
    // reader), such as records a writer has just produced.
    void openText(const char *data, size_t size);
    // False at the end of the file or on a read error (then `failed()`).
    bool next(std::string *line);
    bool failed() const { return m_failed; }
    long lineNumber() const { return m_line; }
private:
    void *m_file = nullptr; // gzFile
    const char *m_text = nullptr;
    size_t m_textSize = 0, m_textAt = 0;
    long m_line = 0;
    bool m_failed = false;
};

// The columns [from, from + width) of a line, blanks trimmed at both ends;
// empty past the line's end.
std::string field(const std::string &line, size_t from, size_t width);
// The header label (columns 61-80), trimmed.
std::string headerLabel(const std::string &line);
// A number in columns [from, from + width); FORTRAN "D" exponents accepted.
// False when the field is blank or not a number.
bool number(const std::string &line, size_t from, size_t width, double *out);
bool integer(const std::string &line, size_t from, size_t width, int *out);

// Seconds since 1980-01-06 00:00:00 of a calendar date and time (no leap
// seconds: the calendar is read on the scale it is written on).
GpsSeconds calendarSeconds(int year, int month, int day, int hour, int minute, double second);
// The calendar date and time of `t`, seconds rounded to `decimals`.
void calendarOf(GpsSeconds t, int *year, int *month, int *day, int *hour, int *minute, double *second);
// "2023-01-08 09:45:28.000".
std::string formatTime(GpsSeconds t);
// GPS - UTC in seconds at GPS time t (the leap seconds since 1980; 0 before).
int leapSecondsAt(GpsSeconds t);
// What to add to the count of a "LEAP SECONDS" header line to get GPS - UTC:
// 14 when the line names BDS time (columns 25-27, RINEX 3), whose count
// starts in 2006, 14 s after GPS time's; 0 otherwise.
int leapSecondsBase(const std::string &line);

// Carrier frequency in Hz of band `band` ('1'..'9') of a system, 0 when
// unknown; GLONASS FDMA bands 1 and 2 need the frequency channel (-7..+6,
// anything else: unknown). BDS band 2 is B1I, band 1 B1C (RINEX 3.03 on).
double carrierFrequency(char system, char band, int glonassChannel);

} // namespace qc

#endif
