// Compact RINEX (Hatanaka) and gzip compression: hand-built observation
// files with the cases that trip differencing compressors, compressed and
// restored with the tests' own decoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "crinex_decoder.h"
#include "hatanaka.h"

namespace {

std::string pad80(const std::string &text, const std::string &label)
{
    std::string l = text;
    l.resize(60, ' ');
    l += label;
    l.resize(80, ' ');
    return l + "\r\n";
}

std::string field(const char *value, char lli = ' ', char ssi = ' ')
{
    char b[32];
    snprintf(b, sizeof b, "%14s%c%c", value, lli, ssi);
    return b;
}

std::string trimmed(std::string l)
{
    while (!l.empty() && l.back() == ' ') l.pop_back();
    return l + "\r\n";
}

// Observations of one satellite at one epoch: one text per type ("" blank).
struct Sat {
    std::string id;
    std::vector<std::string> fields;
};
struct Epoch {
    int second = 0;
    std::string clock;              // "" none, else the field text
    std::vector<Sat> sats;
    std::vector<std::string> event; // an event record instead: its lines
};

// A RINEX 3.04 or 2.11 file in the writer's layout (trailing blanks cut);
// RINEX 2: twelve satellites per epoch line, five fields per observation line.
std::string rinexText(const std::vector<Epoch> &epochs, int types, int version)
{
    const bool v3 = version == 3;
    std::string t = pad80(v3 ? "     3.04           OBSERVATION DATA    M" : "     2.11           OBSERVATION DATA    M",
                          "RINEX VERSION / TYPE");
    t += pad80("test", "PGM / RUN BY / DATE");
    char count[8];
    snprintf(count, sizeof count, v3 ? "%3d" : "%6d", types);
    std::string codes;
    for (int i = 0; i < types; i++) {
        codes += v3 ? " C1C" : i < 9 ? "    C1" : "    L1";
        if (!v3 && (i % 9 == 8 || i == types - 1)) {
            t += pad80((i < 9 ? std::string(count) : std::string(6, ' ')) + codes, "# / TYPES OF OBSERV");
            codes.clear();
        }
    }
    if (v3)
        for (const char *sys : {"G", "R"}) t += pad80(std::string(sys) + "  " + count + codes, "SYS / # / OBS TYPES");
    t += pad80("", "END OF HEADER");
    for (const Epoch &e : epochs) {
        if (!e.event.empty()) {
            for (const std::string &l : e.event) t += l + "\r\n";
            continue;
        }
        char head[80];
        snprintf(head, sizeof head, v3 ? "> 2023 12 01 00 00 %2d.0000000  0%3d" : " 23 12  1  0  0 %2d.0000000  0%3d",
                 e.second, (int)e.sats.size());
        std::string h = head;
        for (size_t i = 0; !v3 && i < e.sats.size() && i < 12; i++) h += e.sats[i].id;
        if (!e.clock.empty()) {
            h.resize(v3 ? h.size() + 6 : 68, ' ');
            char c[20];
            snprintf(c, sizeof c, v3 ? "%15s" : "%12s", e.clock.c_str());
            h += c;
        }
        t += h + "\r\n";
        for (size_t i = 12; !v3 && i < e.sats.size(); i += 12) {
            std::string c(32, ' ');
            for (size_t j = i; j < e.sats.size() && j < i + 12; j++) c += e.sats[j].id;
            t += c + "\r\n";
        }
        for (const Sat &s : e.sats) {
            std::string l = v3 ? s.id : "";
            for (size_t i = 0; i < s.fields.size(); i++) {
                l += s.fields[i].empty() ? std::string(16, ' ') : s.fields[i];
                if (!v3 && (i % 5 == 4 || i + 1 == s.fields.size())) {
                    t += trimmed(l);
                    l.clear();
                }
            }
            if (v3) t += trimmed(l);
        }
    }
    return t;
}
// Compresses RINEX text line by line; "" when the encoder refuses it.
std::string encode(const std::string &rinex, std::string *error = nullptr)
{
    compression::HatanakaEncoder e("test", "01-Dec-23 00:00");
    std::istringstream in(rinex);
    std::string l;
    bool ok = true;
    while (ok && std::getline(in, l)) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        ok = e.line(l.data(), l.size());
    }
    if (ok && e.finish()) return e.output();
    if (error) *error = e.error();
    return "";
}

std::string decode(const std::string &compact)
{
    std::string out, error;
    EXPECT_TRUE(crinex::decode(compact, &out, &error)) << error;
    return out;
}

// The compact lines after the header.
std::vector<std::string> body(const std::string &compact)
{
    std::vector<std::string> lines;
    std::istringstream in(compact);
    std::string l;
    bool data = false;
    while (std::getline(in, l)) {
        if (data) lines.push_back(l);
        if (l.find("END OF HEADER") == 60) data = true;
    }
    return lines;
}

std::vector<std::string> values(std::initializer_list<const char *> v)
{
    std::vector<std::string> f;
    for (const char *x : v) f.push_back(*x ? field(x) : std::string());
    return f;
}

} // namespace

// Two short files and their compact text worked out column by column from
// the format's rules, without the tests' decoder: the two lines in front of
// the header; an epoch line sent whole ("&" in column 1 for 1.0, ">" kept for
// 3.0) with the satellite list joined into it, then sent as the changes of
// its text ("&" where a character becomes blank, past the end of a shorter
// line too); the clock offset line (empty without one); a satellite's
// observations in one line, blank ones empty between their separators, the
// flags after one more blank as text changes; a satellite found by its name
// when the order changes; an event passed through as it stands (its header
// line keeps its trailing blanks), and after it every arc opened again.
TEST(Hatanaka, CompactTextWorkedByHand)
{
    auto h = [](const char *text, const char *label) { return pad80(text, label).substr(0, 80); };
    auto row = [](std::string l) { return l.erase(l.find_last_not_of(' ') + 1); };
    const std::string site = h("SITE2", "MARKER NAME"), blank(16, ' ');
    const std::string prog =
        "test" + std::string(36, ' ') + "01-Dec-23 00:00" + std::string(5, ' ') + "CRINEX PROG / DATE  ";
    struct Case {
        std::vector<std::string> rinex, compact;
    };
    Case v2{{h("     2.11           OBSERVATION DATA    G", "RINEX VERSION / TYPE"),
             h("     6    C1    L1    L2    P2    S1    S2", "# / TYPES OF OBSERV"), h("", "END OF HEADER"),
             " 23 12  1  0  0  0.0000000  0 13G01G02G03G04G05G06G07G08G09G10G11G12", std::string(32, ' ') + "G13",
             row(field("23456789.123") + field("123456789.012", ' ', '7') + blank + field("23456790.456") +
                 field("45.000")),
             row(field("40.250"))},
            {"1.0                 COMPACT RINEX FORMAT                    CRINEX VERS   / TYPE", prog}};
    for (size_t i = 0; i < 3; i++) v2.compact.push_back(v2.rinex[i]);
    v2.compact.insert(v2.compact.end(), {"&23 12  1  0  0  0.0000000  0 13G01G02G03G04G05G06G07G08G09G10G11G12G13", "",
                                         "3&23456789123 3&123456789012  3&23456790456 3&45000 3&40250    7"});
    for (int s = 2; s <= 13; s++) {
        v2.rinex.insert(v2.rinex.end(), {"  20000000.000", ""});
        v2.compact.push_back("3&20000000000");
    }
    // G13 leaves, G02 moves in front of G01; L1 gets loss-of-lock "4" and
    // loses its strength "7", L2 appears, S1 goes.
    v2.rinex.insert(v2.rinex.end(), {" 23 12  1  0  0  1.0000000  0 12G02G01G03G04G05G06G07G08G09G10G11G12",
                                     "  20000000.000", "",
                                     row(field("23456789.623") + field("123456791.639", '4') +
                                         field("100000000.000") + field("23456790.956")),
                                     row(field("40.250"))});
    v2.compact.insert(v2.compact.end(),
                      {std::string(17, ' ') + "1" + std::string(13, ' ') + "2  2  1" + std::string(30, ' ') + "&&&", "",
                       "0", "500 2627 3&100000000000 500  0   4&"});
    for (int s = 3; s <= 12; s++) {
        v2.rinex.insert(v2.rinex.end(), {"  20000000.000", ""});
        v2.compact.push_back("0");
    }
    v2.rinex.insert(v2.rinex.end(), {std::string(28, ' ') + "3  1", site, " 23 12  1  0  0  3.0000000  0  1G01",
                                     row(field("23456790.123") + field("123456793.000", '4')), ""});
    v2.compact.insert(v2.compact.end(), {"&" + std::string(27, ' ') + "3  1", site,
                                         "&23 12  1  0  0  3.0000000  0  1G01", "", "3&23456790123 3&123456793000       4"});
    // Loss of lock on L1 in two epochs in a row: 1.0 starts an observable's
    // flags again from blanks with its arc, so the second "1" is sent too.
    for (int s = 4; s <= 5; s++) {
        const std::string second = std::to_string(s);
        v2.rinex.insert(v2.rinex.end(), {" 23 12  1  0  0  " + second + ".0000000  0  1G01",
                                         row(field(s == 4 ? "23456790.323" : "23456790.623") +
                                             field(s == 4 ? "123456794.000" : "123456795.000", '1')),
                                         ""});
        v2.compact.insert(v2.compact.end(), {std::string(17, ' ') + second, "",
                                             (s == 4 ? "200 3&123456794000" : "100 3&123456795000") + std::string(7, ' ') + "1"});
    }

    const std::string e1 = "> 2023 12 01 00 00  0.0000000  0  2", e2 = "> 2023 12 01 00 00  1.0000000  0  2";
    Case v3{{h("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE"),
             h("G    3 C1C L1C S1C", "SYS / # / OBS TYPES"), h("R    2 C1C L1C", "SYS / # / OBS TYPES"),
             h("", "END OF HEADER"), e1 + "      -0.000123456789",
             row("G05" + field("21000000.000") + field("110000000.250", ' ', '7') + field("45.000")),
             row("R10" + field("19000000.500")), e2 + "      -0.000123456689",
             row("R10" + field("19000000.750") + field("100000000.000")),
             row("G05" + field("21000000.100") + field("110000000.250")), ">" + std::string(30, ' ') + "3  1", site,
             "> 2023 12 01 00 00  2.0000000  0  1", row("G05" + field("21000000.200"))},
            {"3.0                 COMPACT RINEX FORMAT                    CRINEX VERS   / TYPE", prog}};
    for (size_t i = 0; i < 4; i++) v3.compact.push_back(v3.rinex[i]);
    v3.compact.insert(v3.compact.end(),
                      {e1 + "      G05R10", "3&-123456789", "3&21000000000 3&110000000250 3&45000    7", "3&19000000500",
                       std::string(20, ' ') + "1" + std::string(20, ' ') + "R10G05", "100", "250 3&100000000000",
                       "100 0     &", ">" + std::string(30, ' ') + "3  1", site,
                       "> 2023 12 01 00 00  2.0000000  0  1      G05", "", "3&21000000200"});

    for (const Case *c : {&v2, &v3}) {
        std::string rinex, compact;
        for (const std::string &l : c->rinex) rinex += l + "\r\n";
        for (const std::string &l : c->compact) compact += l + "\n";
        std::string error;
        EXPECT_EQ(encode(rinex, &error), compact) << error;
        EXPECT_EQ(decode(compact), rinex);
    }
}

// The hard cases, each restored exactly in both RINEX versions, and what the
// compact text must show for them.
TEST(Hatanaka, HardCasesRestoreExactly)
{
    auto sats = [](int n, const char *c1, const char *l1 = "21000000.125") {
        std::vector<Sat> s;
        for (int i = 1; i <= n; i++) {
            char id[16];
            snprintf(id, sizeof id, "G%02d", i);
            s.push_back({id, values({c1, l1, "-1234.567"})});
        }
        return s;
    };
    struct Case {
        const char *name;
        std::vector<Epoch> epochs;
        // What the compact text of the RINEX 3 file must show: a line after
        // the header, then "=" the whole line, "^" its start, "*" a part of it.
        std::vector<std::pair<size_t, std::string>> shows;
    };
    std::vector<Case> cases;
    // Values 1.000, 1.010, 1.030, 1.070, 1.150: the arc opens with the value
    // in thousandths, then the first, second and third differences; from
    // the second epoch line on only the changed second is sent.
    cases.push_back({"third differences", {},
                     {{0, "=> 2023 12 01 00 00  0.0000000  0  1      G01"}, {1, "=3&0"}, {2, "^3&1000 "},
                      {3, "=" + std::string(20, ' ') + "1"}, {4, "=0"}, {5, "^10 "}, {8, "^10 "}, {11, "^10 "}, {14, "^20 "}}});
    const char *third[] = {"1.000", "1.010", "1.030", "1.070", "1.150"};
    for (int i = 0; i < 5; i++) cases.back().epochs.push_back({i, "0.000000000", {{"G01", values({third[i]})}}, {}});
    // G02 disappears for two epochs and comes back: its arcs start again
    // (epoch 4 starts at line 5 + 5 + 4 + 4; G02 is its second satellite).
    cases.push_back({"satellite comes and goes", {}, {{21, "=3&20000000500 3&21000000125 3&-1234567"}}});
    for (int i = 0; i < 6; i++) {
        std::vector<Sat> s = sats(3, i == 0 ? "20000000.000" : "20000000.500");
        if (i == 2 || i == 3) s.erase(s.begin() + 1);
        cases.back().epochs.push_back({i, "", s, {}});
    }
    // A blank phase at epoch 2, and a loss of lock at epoch 4: both open a
    // new arc for that observable only.
    cases.push_back({"gap and loss of lock", {}, {{11, "* 3&115000000250 "}, {14, "* 3&115000100750 "}, {17, "* -100500 "}}});
    for (int i = 0; i < 6; i++) {
        Sat s{"G07", values({"22000000.100", "115000000.250", "-1000.000"})};
        s.fields[1] = i == 2 ? "" : field(i == 4 ? "115000100.750" : "115000000.250", i == 4 ? '1' : ' ', '7');
        cases.back().epochs.push_back({i, "", {s}, {}});
    }
    // PPK events between epochs: a start-moving record without a time and a
    // new-site record with its header lines; the next epoch line is sent
    // whole after an event.
    cases.push_back({"events",
                     {{0, "", sats(2, "20000000.000"), {}},
                      {1, "", sats(2, "20000001.000"), {}},
                      {0, "", {}, {"@2"}},
                      {2, "", sats(2, "20000002.000"), {}},
                      {0, "", {}, {"@3", pad80("SITE2", "MARKER NAME").substr(0, 80)}},
                      {3, "", sats(2, "20000003.000"), {}}},
                     {{8, "=>                              2  0"}, {9, "=> 2023 12 01 00 00  2.0000000  0  2      G01G02"}}});
    // A receiver clock offset, present, then absent, then back.
    cases.push_back({"clock offset", {}, {{1, "=3&123456789000"}, {5, "=-135802467000"}, {9, "="}, {13, "=3&1000"}, {17, "=2000"}}});
    const char *clocks[] = {"0.123456789", "-0.012345678", "", "0.000000001", "0.000000003"};
    for (int i = 0; i < 5; i++) cases.back().epochs.push_back({i, clocks[i], sats(2, "20000000.000"), {}});
    // Fifteen satellites: RINEX 2 needs a continuation line for the list; and
    // twelve types: three observation lines per satellite.
    cases.push_back({"many satellites", {}, {{0, "=> 2023 12 01 00 00  0.0000000  0 15      G01G02G03G04G05G06G07G08G09G10G11G12G13G14G15"}}});
    for (int i = 0; i < 3; i++) {
        std::vector<Sat> s = sats(15, "20000000.000");
        if (i == 1) s.erase(s.begin() + 12); // one leaves the continuation line
        cases.back().epochs.push_back({i, "", s, {}});
    }
    // Values jumping across the whole F14.3 range: a third difference beyond
    // it opens the arc again (not -19999999999998).
    cases.push_back({"overflow", {}, {{5, "^9999999999999 "}, {8, "^3&0 "}}});
    const char *v[] = {"0.000", "9999999999.999", "0.000", "9999999999.999", "0.000"};
    for (int i = 0; i < 5; i++)
        cases.back().epochs.push_back({i, "", {{"G03", values({v[i], "-999999999.999", "0.001"})}}, {}});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (int version : {2, 3}) {
            SCOPED_TRACE(version);
            std::vector<Epoch> epochs = c.epochs;
            const int types = std::string(c.name) == "many satellites" ? 12 : 3;
            for (Epoch &e : epochs) {
                if (version == 3 && !e.clock.empty()) e.clock += "000"; // F15.12 instead of F12.9
                for (Sat &s : e.sats) s.fields.resize((size_t)types, field("5.000", ' ', '5'));
                if (e.event.empty()) continue;
                // "@flag": the event line of this version, without a time.
                char l[64];
                snprintf(l, sizeof l, version == 2 ? "%28s%1d%3d" : ">%30s%1d%3d", "", e.event[0][1] - '0',
                         (int)e.event.size() - 1);
                e.event[0] = l;
            }
            const std::string rinex = rinexText(epochs, types, version);
            std::string error;
            const std::string compact = encode(rinex, &error);
            ASSERT_FALSE(compact.empty()) << error;
            EXPECT_EQ(decode(compact), rinex);
            if (version == 2) continue;
            const std::vector<std::string> b = body(compact);
            for (const auto &x : c.shows) {
                const std::string &l = b.at(x.first), t = x.second.substr(1);
                const size_t at = l.find(t);
                EXPECT_TRUE(x.second[0] == '=' ? l == t : x.second[0] == '^' ? at == 0 : at != std::string::npos)
                    << x.first << ": " << l;
            }
        }
    }
}

TEST(Hatanaka, RefusesWhatCannotBeRestored)
{
    // Each would come back different: a line with a trailing blank, a value
    // with a leading zero, a value without its third decimal; in RINEX 2, a
    // loss of lock without a value (1.0 has no flags without a value).
    for (const std::string &bad : {field("5.000") + " ", field("05.000"), field("5.00"), field("", '1')}) {
        std::vector<Epoch> epochs = {{0, "", {{"G01", {field("1.000")}}}, {}}, {1, "", {{"G01", {bad}}}, {}}};
        std::string rinex = rinexText(epochs, 1, bad[13] == ' ' ? 2 : 3);
        if (bad.size() > 16) rinex.insert(rinex.size() - 2, " "); // trimmed() took it away
        std::string error;
        EXPECT_EQ(encode(rinex, &error), "") << bad;
        EXPECT_FALSE(error.empty());
    }
}
