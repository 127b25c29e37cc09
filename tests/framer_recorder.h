// Records every callback of a framer, in order, with the bytes delivered and
// the positions the framer reports during the call.
#ifndef QUORVANE_TESTS_FRAMER_RECORDER_H
#define QUORVANE_TESTS_FRAMER_RECORDER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "gnssparser.h"

enum RecFormat {
    R_LINE, R_CRACK, R_LCGX, R_KALX, R_RTCM2, R_RTCM3, R_UBLOX, R_NOVATEL, R_NOVATELX, R_UNICORE,
    R_HEMISPHERE, R_SEPTENTRIO, R_TRIMBLE, R_GSOF, R_SINO, R_CSHG, R_HCI, R_FMI, R_OTHER, R_COUNT
};

struct RecEvent {
    int format;
    std::vector<uint8_t> bytes;
    uint64_t frame_position;
    uint64_t position;
    bool operator==(const RecEvent &o) const
    {
        return format == o.format && bytes == o.bytes && frame_position == o.frame_position &&
               position == o.position;
    }
};

struct Recorder {
    gnssparser_s *parser = nullptr;
    std::vector<RecEvent> events;
    bool keep_crack = true;

    size_t count(int format) const
    {
        size_t n = 0;
        for (const RecEvent &e : events) n += e.format == format;
        return n;
    }
    std::vector<RecEvent> only(int format) const
    {
        std::vector<RecEvent> out;
        for (const RecEvent &e : events)
            if (e.format == format) out.push_back(e);
        return out;
    }
    // The bytes of every callback of one format, joined in order.
    std::vector<uint8_t> joined(int format) const
    {
        std::vector<uint8_t> out;
        for (const RecEvent &e : events)
            if (e.format == format) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
        return out;
    }
};

template <int F> void rec_callback(const uint8_t *data, uint32_t length, void *user)
{
    Recorder *r = static_cast<Recorder *>(user);
    if (F == R_CRACK && !r->keep_crack) return;
    RecEvent e;
    e.format = F;
    e.bytes.assign(data, data + length);
    gnssparser_get_position(r->parser, &e.frame_position, &e.position);
    r->events.push_back(e);
}

// Registers the four formats a conversion reads (and the discarded data).
inline void rec_register_conversion(gnssparser_s *p)
{
    gnssparser_callback_crack(p, rec_callback<R_CRACK>);
    gnssparser_callback_line(p, rec_callback<R_LINE>);
    gnssparser_callback_rtcm3(p, rec_callback<R_RTCM3>);
    gnssparser_callback_novatel(p, rec_callback<R_NOVATEL>);
    gnssparser_callback_hemisphere(p, rec_callback<R_HEMISPHERE>);
}

inline void rec_register_all(gnssparser_s *p, uint8_t *gsof, uint32_t gsof_size)
{
    rec_register_conversion(p);
    gnssparser_callback_lcgx(p, rec_callback<R_LCGX>);
    gnssparser_callback_kalx(p, rec_callback<R_KALX>, 1, 2);
    gnssparser_callback_rtcm2(p, rec_callback<R_RTCM2>);
    gnssparser_callback_ublox(p, rec_callback<R_UBLOX>);
    gnssparser_callback_novatelx(p, rec_callback<R_NOVATELX>);
    gnssparser_callback_unicore(p, rec_callback<R_UNICORE>);
    gnssparser_callback_septentrio(p, rec_callback<R_SEPTENTRIO>);
    gnssparser_callback_trimble(p, rec_callback<R_TRIMBLE>);
    gnssparser_callback_trimble_gsof(p, rec_callback<R_GSOF>, gsof, gsof_size);
    gnssparser_callback_sino(p, rec_callback<R_SINO>);
    gnssparser_callback_cshg(p, rec_callback<R_CSHG>);
    gnssparser_callback_hci(p, rec_callback<R_HCI>);
    gnssparser_callback_fmi(p, rec_callback<R_FMI>);
}

#endif
