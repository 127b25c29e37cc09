// Feeding writers in tests: a writer hooked to its framer, a one-cell MSM
// built with the test encoder, and checksummed text lines.
#ifndef QUORVANE_TESTS_WRITER_FEED_H
#define QUORVANE_TESTS_WRITER_FEED_H

#include <gtest/gtest.h>

#include <QString>

#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gnssparser.h"
#include "rtcm3_encoder.h"

namespace feed {

// Thursday 00:00 of GPS week 2290 (2023-11-30), in ms of week.
const uint32_t kTow = 345600000;

// One satellite with one signal id 2 cell; the range in ms of light travel.
inline rtcm3enc::Msm msm(int number, uint32_t epoch, int multiple, int sat, double range_ms)
{
    rtcm3enc::Msm m;
    m.number = number;
    m.epoch = epoch;
    m.multiple = multiple;
    m.signal_ids = {2};
    rtcm3enc::MsmSat s;
    s.id = sat;
    s.rough_ms = floor(range_ms * 1024) / 1024;
    rtcm3enc::MsmCell c;
    c.pr_ms = range_ms;
    c.ph_ms = range_ms;
    c.cnr = 45;
    c.lock = 500;
    s.cells = {c};
    m.sats = {s};
    return m;
}

// "$" + body + "*" + XOR checksum + CR LF.
inline std::vector<uint8_t> nmea(const std::string &body)
{
    uint8_t x = 0;
    for (char c : body) x ^= (uint8_t)c;
    char tail[8];
    snprintf(tail, sizeof tail, "*%02X\r\n", x);
    std::string s = "$" + body + tail;
    return std::vector<uint8_t>(s.begin(), s.end());
}

// A writer fed through its own framer, as a conversion feeds it.
template <typename Writer> struct Run {
    Writer w;
    uint8_t buffer[16384];
    gnssparser_s parser;
    void start(const QString &name, int naming = 2)
    {
        ASSERT_TRUE(w.setFileName(name, naming));
        ASSERT_GT(w.open(0), 0);
        w.gnssparserInit(&parser, buffer, sizeof buffer);
    }
    void in(const std::vector<uint8_t> &b) { gnssparser_input(&parser, b.data(), (uint32_t)b.size()); }
    void in(const rtcm3enc::Msm &m) { in(rtcm3enc::encode_msm(m)); }
};

// Converts a whole log as the conversion task does: the writer opened on
// `name`, "Time Start" when given, a prescan pass when asked, then the
// conversion pass, each from the framer's start; the writer closed. Returns
// the observation file's name.
template <typename Writer>
QString convertLog(Writer &w, const QString &name, const std::vector<uint8_t> &data, qint64 timeStartMs = 0,
                   bool prescan = true)
{
    w.setFileName(name, 2);
    if (timeStartMs) w.setRtcm3Epoch(timeStartMs);
    EXPECT_GT(w.open(0), 0);
    static uint8_t buffer[16384];
    gnssparser_s parser;
    w.gnssparserInit(&parser, buffer, sizeof buffer);
    for (int pass = prescan ? 0 : 1; pass < 2; pass++) {
        w.setPrescan(pass == 0);
        gnssparser_reset(&parser);
        for (size_t i = 0; i < data.size(); i += 1 << 20)
            gnssparser_input(&parser, data.data() + i, (uint32_t)std::min(data.size() - i, (size_t)1 << 20));
    }
    w.finishInput();
    const QString observation = w.observationFinalName();
    w.close();
    return observation;
}

} // namespace feed

#endif
