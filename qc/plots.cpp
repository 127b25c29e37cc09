#include "plots.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>

namespace qc {

namespace {

const QColor kInk(0x20, 0x20, 0x20);       // text, axes, slip marks
const QColor kGrid(0xdc, 0xdc, 0xdc);
const QColor kNoStrength(0xa0, 0xa0, 0xa0); // tracked, strength blank
const QColor kGap(0xff, 0xc0, 0xc0);        // receiver-wide gap, under the rows

// Satellite systems in the order of the timeline's rows and the legends.
int systemRank(char system)
{
    static const char order[] = "GRECJIS";
    const char *p = std::find(order, order + 7, system);
    return int(p - order);
}

QString systemName(char system)
{
    switch (system) {
    case 'G': return "GPS";
    case 'R': return "GLONASS";
    case 'E': return "Galileo";
    case 'C': return "BDS";
    case 'J': return "QZSS";
    case 'I': return "IRNSS";
    case 'S': return "SBAS";
    default: return QString("System %1").arg(QChar::fromLatin1(system));
    }
}

QString satelliteName(char system, int prn)
{
    return QString("%1%2").arg(QChar::fromLatin1(system)).arg(prn, 2, 10, QChar('0'));
}

typedef std::pair<char, int> SatKey;

bool satBefore(const SatKey &a, const SatKey &b)
{
    if (systemRank(a.first) != systemRank(b.first)) return systemRank(a.first) < systemRank(b.first);
    if (a.first != b.first) return a.first < b.first;
    return a.second < b.second;
}

uint32_t signalKey(char system, int prn, int signal)
{
    return uint32_t(uint8_t(system)) << 16 | uint32_t(prn & 0xff) << 8 | uint32_t(signal & 0xff);
}

uint32_t signalKey(const PlotSample &s)
{
    return signalKey(s.system, s.prn, s.signal);
}

// "G 1C": the system and the signal's band and attribute, the name of a
// series in the strength and multipath plots, for every signal of the report.
std::unordered_map<uint32_t, QString> signalLabels(const Report &report)
{
    std::unordered_map<uint32_t, QString> labels;
    for (const SatelliteStats &sat : report.satellites)
        for (size_t i = 0; i < sat.signals.size() && i < 256; i++)
            labels[signalKey(sat.system, sat.prn, int(i))] =
                QString("%1 %2").arg(QChar::fromLatin1(sat.system)).arg(QString::fromStdString(sat.signals[i].code));
    return labels;
}

QString signalLabel(const std::unordered_map<uint32_t, QString> &labels, const PlotSample &s)
{
    const auto it = labels.find(signalKey(s));
    if (it != labels.end()) return it->second;
    return QString("%1 #%2").arg(QChar::fromLatin1(s.system)).arg(s.signal + 1);
}

// The series of the strength and multipath plots: every signal with a
// value, ordered by system then code.
std::vector<std::pair<QString, char>> seriesOf(const Report &report, PlotKind kind)
{
    const auto labels = signalLabels(report);
    std::set<uint32_t> seen;
    std::set<std::pair<std::pair<int, QString>, char>> keys;
    for (const PlotSample &s : report.samples) {
        const float value = kind == PlotKind::Snr ? s.snr : s.multipath;
        if (std::isnan(value) || std::isnan(s.elevation) || !seen.insert(signalKey(s)).second) continue;
        keys.insert({{systemRank(s.system), signalLabel(labels, s)}, s.system});
    }
    std::vector<std::pair<QString, char>> out;
    for (const auto &k : keys) out.push_back({k.first.second, k.second});
    return out;
}

bool anyElevation(const Report &report)
{
    for (const PlotSample &s : report.samples)
        if (!std::isnan(s.elevation)) return true;
    return false;
}

double spanOf(const Report &report)
{
    double span = report.last - report.first;
    for (const PlotSample &s : report.samples) span = std::max(span, double(s.t));
    if (!(span > 0)) span = report.interval > 0 ? report.interval : 1;
    return span;
}

// The usual distance between sampled epochs: the interval, or the thinning
// step of a long file.
double stepOf(const Report &report)
{
    std::vector<float> times;
    times.reserve(report.samples.size());
    for (const PlotSample &s : report.samples) times.push_back(s.t);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    std::vector<double> steps;
    for (size_t i = 1; i < times.size(); i++) steps.push_back(times[i] - times[i - 1]);
    if (steps.empty()) return report.interval > 0 ? report.interval : 1;
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    return std::max(steps[steps.size() / 2], 1e-3);
}

// Multipath axis: a round half-range holding nearly every value.
double multipathRange(const Report &report)
{
    std::vector<double> values;
    for (const PlotSample &s : report.samples)
        if (!std::isnan(s.multipath) && !std::isnan(s.elevation)) values.push_back(std::fabs(s.multipath));
    double range = 0.5;
    if (values.empty()) return range;
    const size_t k = std::min(values.size() - 1, size_t(values.size() * 0.99));
    std::nth_element(values.begin(), values.begin() + k, values.end());
    for (double r : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0}) {
        range = r;
        if (values[k] <= r) break;
    }
    return range;
}

std::pair<double, double> snrRange(const Report &report)
{
    double lo = 10, hi = 60;
    for (const PlotSample &s : report.samples) {
        if (std::isnan(s.snr) || std::isnan(s.elevation)) continue;
        lo = std::min(lo, std::floor(s.snr / 10.0) * 10);
        hi = std::max(hi, std::ceil(s.snr / 10.0) * 10);
    }
    return {lo, hi};
}

struct Legend {
    QString title;
    std::vector<std::pair<QString, QColor>> entries;
};

Legend legendOf(const Report &report, PlotKind kind)
{
    Legend legend;
    switch (kind) {
    case PlotKind::Timeline:
        legend.title = "Strength (dB-Hz)";
        legend.entries = {{"\u2265 45", strengthColour(50)},
                          {"35 \u2013 45", strengthColour(40)},
                          {"25 \u2013 35", strengthColour(30)},
                          {"< 25", strengthColour(20)},
                          {"blank", kNoStrength},
                          {"slip", kInk},
                          {"gap", kGap}};
        break;
    case PlotKind::Sky: {
        legend.title = "System";
        std::set<std::pair<int, char>> systems;
        for (const PlotSample &s : report.samples)
            if (!std::isnan(s.elevation)) systems.insert({systemRank(s.system), s.system});
        for (const auto &s : systems) legend.entries.push_back({systemName(s.second), systemColour(s.second)});
        break;
    }
    case PlotKind::Snr:
    case PlotKind::Multipath: {
        legend.title = "Signal";
        const auto series = seriesOf(report, kind);
        for (size_t i = 0; i < series.size(); i++) {
            QString label = series[i].first;
            // The multipath legend carries each signal's RMS over the file.
            for (const SystemStats &system : report.systems)
                for (const auto &code : system.multipath_rms)
                    if (kind == PlotKind::Multipath && system.system == series[i].second && !std::isnan(code.second) &&
                        label == QString("%1 %2").arg(QChar::fromLatin1(system.system)).arg(QString::fromStdString(code.first)))
                        label += QString("  %1 m").arg(code.second, 0, 'f', 2);
            legend.entries.push_back({label, seriesColour(int(i))});
        }
        break;
    }
    }
    return legend;
}

QString fileLabel(const Report &report)
{
    return QFileInfo(QString::fromStdString(report.file)).fileName();
}

// Every part of a plot's area, from the area's size and the font it gives.
struct Layout {
    QFont font;
    int line = 0;     // font height
    QRect title;
    QRect frame;      // the data
    QRect legend;
};

Layout layoutOf(const Report &report, PlotKind kind, const QRect &area)
{
    Layout l;
    l.font = QFont("DejaVu Sans");
    l.font.setPixelSize(std::max(9, std::min(16, std::min(area.width(), area.height()) / 45)));
    const QFontMetrics fm(l.font);
    l.line = fm.height();
    const int pad = l.line / 2 + 2;
    l.title = QRect(area.left() + pad, area.top() + pad / 2, area.width() - 2 * pad, l.line + pad / 2);

    const Legend legend = legendOf(report, kind);
    QFont bold = l.font;
    bold.setBold(true);
    int legendWidth = QFontMetrics(bold).horizontalAdvance(legend.title);
    for (const auto &e : legend.entries) legendWidth = std::max(legendWidth, l.line + 6 + fm.horizontalAdvance(e.first));
    legendWidth += 2 * pad;

    int left, bottom;
    if (kind == PlotKind::Timeline) {
        left = fm.horizontalAdvance("G00") + pad + 6;
        bottom = 2 * l.line + pad;
    } else if (kind == PlotKind::Sky) {
        left = l.line + pad;
        bottom = l.line + pad;
    } else {
        left = fm.horizontalAdvance("-10.0") + l.line + pad + 10;
        bottom = 2 * l.line + pad;
    }
    const int top = l.title.bottom() + 1 + l.line;
    QRect frame(area.left() + left, top, area.width() - left - legendWidth - 2 * pad,
                area.bottom() + 1 - bottom - top);
    if (kind == PlotKind::Sky) {
        // A circle: the square inside, centred, with room for the N/E/S/W marks.
        const int side = std::max(10, std::min(frame.width(), frame.height()) - 2 * l.line);
        frame = QRect(frame.left() + (frame.width() - side) / 2, frame.top() + (frame.height() - side) / 2, side, side);
    }
    l.frame = frame;
    l.legend = QRect(area.right() + 1 - legendWidth - pad, top, legendWidth, area.bottom() + 1 - top - bottom);
    return l;
}

void drawLegend(QPainter *p, const Layout &l, const Legend &legend)
{
    const int pad = l.line / 2;
    int y = l.legend.top();
    QFont bold = l.font;
    bold.setBold(true);
    p->setFont(bold);
    p->setPen(kInk);
    p->drawText(QRect(l.legend.left() + pad, y, l.legend.width() - pad, l.line), Qt::AlignLeft | Qt::AlignVCenter,
                legend.title);
    p->setFont(l.font);
    y += l.line + pad;
    for (size_t i = 0; i < legend.entries.size(); i++) {
        if (y + 2 * l.line > l.legend.bottom() && i + 1 < legend.entries.size()) {
            p->setPen(kInk);
            p->drawText(QRect(l.legend.left() + pad, y, l.legend.width() - pad, l.line),
                        Qt::AlignLeft | Qt::AlignVCenter, QString("+%1 more").arg(legend.entries.size() - i));
            break;
        }
        const QRect swatch(l.legend.left() + pad, y + l.line / 4, l.line - 2, l.line / 2);
        p->fillRect(swatch, legend.entries[i].second);
        p->setPen(kInk);
        p->drawText(QRect(swatch.right() + 6, y, l.legend.width(), l.line), Qt::AlignLeft | Qt::AlignVCenter,
                    legend.entries[i].first);
        y += l.line + 2;
    }
}

void drawNotice(QPainter *p, const QRect &frame, const QString &text)
{
    p->setPen(kInk);
    p->drawText(frame.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, text);
}

// Cartesian axes: x from x0 to x1 with ticks every xStep, y likewise.
void drawAxes(QPainter *p, const Layout &l, double x0, double x1, double xStep, double y0, double y1, double yStep,
              const QString &xTitle, const QString &yTitle, int yDecimals)
{
    const QRect &f = l.frame;
    p->setFont(l.font);
    for (double v = x0; v <= x1 + 1e-9; v += xStep) {
        const int x = f.left() + int(std::lround((v - x0) / (x1 - x0) * f.width()));
        p->setPen(kGrid);
        p->drawLine(x, f.top(), x, f.bottom());
        p->setPen(kInk);
        p->drawText(QRect(x - 40, f.bottom() + 4, 80, l.line), Qt::AlignHCenter | Qt::AlignTop, QString::number(v));
    }
    for (double v = y0; v <= y1 + 1e-9; v += yStep) {
        const int y = f.bottom() - int(std::lround((v - y0) / (y1 - y0) * f.height()));
        p->setPen(kGrid);
        p->drawLine(f.left(), y, f.right(), y);
        p->setPen(kInk);
        p->drawText(QRect(f.left() - 86, y - l.line / 2, 80, l.line), Qt::AlignRight | Qt::AlignVCenter,
                    QString::number(v, 'f', yDecimals));
    }
    p->setPen(kInk);
    p->drawRect(f.adjusted(0, 0, -1, -1));
    p->drawText(QRect(f.left(), f.bottom() + 4 + l.line, f.width(), l.line), Qt::AlignCenter, xTitle);
    p->save();
    p->translate(f.left() - l.line * 3 - 10, f.center().y());
    p->rotate(-90);
    p->drawText(QRect(-f.height() / 2, -l.line, f.height(), l.line * 2), Qt::AlignCenter, yTitle);
    p->restore();
}

int pointSize(const QRect &frame)
{
    return std::max(3, std::min(frame.width(), frame.height()) / 200);
}

void paintTimeline(const Report &report, QPainter *p, const Layout &l)
{
    const QRect &f = l.frame;
    std::map<SatKey, std::vector<const PlotSample *>, bool (*)(const SatKey &, const SatKey &)> rows(satBefore);
    for (const PlotSample &s : report.samples) rows[{s.system, s.prn}].push_back(&s);
    const double span = spanOf(report), step = stepOf(report);
    auto xOf = [&](double t) { return f.left() + int(std::lround(t / span * f.width())); };

    // Time axis: hours and minutes of the GPS day.
    static const double steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200};
    double tick = steps[0];
    for (double s : steps) {
        tick = s;
        if (span / s <= 8) break;
    }
    const double first = report.first;
    p->setFont(l.font);
    for (double t = std::ceil(first / tick) * tick - first; t <= span + 1e-6; t += tick) {
        const int x = xOf(t);
        p->setPen(kGrid);
        p->drawLine(x, f.top(), x, f.bottom());
        const double day = std::fmod(first + t, 86400.0);
        const int sec = int(std::lround(day));
        QString text = QString("%1:%2").arg(sec / 3600 % 24, 2, 10, QChar('0')).arg(sec / 60 % 60, 2, 10, QChar('0'));
        if (tick < 60) text += QString(":%1").arg(sec % 60, 2, 10, QChar('0'));
        p->setPen(kInk);
        p->drawText(QRect(x - 50, f.bottom() + 4, 100, l.line), Qt::AlignHCenter | Qt::AlignTop, text);
    }
    p->drawText(QRect(f.left(), f.bottom() + 4 + l.line, f.width(), l.line), Qt::AlignCenter,
                tick < 60 ? "GPS time (hh:mm:ss)" : "GPS time (hh:mm)");

    const QString notice = QString::fromStdString(plotNotice(report, PlotKind::Timeline));
    if (!notice.isEmpty()) {
        p->setPen(kInk);
        p->drawRect(f.adjusted(0, 0, -1, -1));
        drawNotice(p, f, notice);
        return;
    }

    // Receiver-wide gaps: no satellite at all between two sampled epochs.
    std::vector<float> times;
    for (const PlotSample &s : report.samples) times.push_back(s.t);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    for (size_t i = 1; i < times.size(); i++)
        if (times[i] - times[i - 1] > 1.5 * step)
            p->fillRect(QRect(QPoint(xOf(times[i - 1] + step), f.top()), QPoint(xOf(times[i]) - 1, f.bottom())), kGap);

    const int n = int(rows.size());
    auto rowTop = [&](int i) { return f.top() + int(std::lround(double(i) * f.height() / n)); };
    const int labelEvery = std::max(1, int(std::ceil(l.line / (double(f.height()) / n))));
    int i = 0;
    for (auto &row : rows) {
        std::vector<const PlotSample *> &v = row.second;
        std::stable_sort(v.begin(), v.end(), [](const PlotSample *a, const PlotSample *b) { return a->t < b->t; });
        const int top = rowTop(i), bottom = rowTop(i + 1) - 1;
        const int h = bottom - top + 1;
        const int barTop = top + (h > 4 ? h / 8 : 0), barBottom = bottom - (h > 4 ? h / 8 : 0);
        std::vector<double> slips;
        for (size_t k = 0; k < v.size();) {
            // All signals of one epoch: the strongest gives the colour.
            const double t = v[k]->t;
            double snr = NAN;
            for (; k < v.size() && v[k]->t == t; k++) {
                if (!std::isnan(v[k]->snr) && !(v[k]->snr <= snr)) snr = v[k]->snr;
                if (v[k]->slip) slips.push_back(t);
            }
            double end = t + step;
            if (k < v.size() && v[k]->t - t <= 1.5 * step) end = v[k]->t;
            const int x0 = xOf(t), x1 = std::max(x0 + 1, xOf(std::min(end, span)));
            p->fillRect(QRect(QPoint(x0, barTop), QPoint(x1 - 1, barBottom)),
                        std::isnan(snr) ? kNoStrength : strengthColour(snr));
        }
        for (double t : slips) p->fillRect(QRect(xOf(t) - 1, top, 3, h), kInk);
        if (i % labelEvery == 0) {
            p->setPen(kInk);
            p->drawText(QRect(f.left() - 200, top + h / 2 - l.line / 2, 194, l.line), Qt::AlignRight | Qt::AlignVCenter,
                        satelliteName(row.first.first, row.first.second));
        }
        i++;
    }
    p->setPen(kInk);
    p->drawRect(f.adjusted(0, 0, -1, -1));
}

void paintSky(const Report &report, QPainter *p, const Layout &l)
{
    const QRect &f = l.frame;
    const QPointF c = QRectF(f).center();
    const double r = f.width() / 2.0;
    p->setFont(l.font);
    p->setRenderHint(QPainter::Antialiasing, true);
    for (int el : {0, 30, 60}) {
        const double rr = r * (90 - el) / 90.0;
        p->setPen(el == 0 ? kInk : kGrid);
        p->drawEllipse(c, rr, rr);
    }
    p->setPen(kGrid);
    for (int az = 0; az < 360; az += 30) {
        const double a = az * M_PI / 180;
        p->drawLine(c, c + QPointF(r * std::sin(a), -r * std::cos(a)));
    }
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(kInk);
    const int w = l.line * 2;
    p->drawText(QRectF(c.x() - w / 2, f.top() - l.line - 2, w, l.line), Qt::AlignCenter, "N");
    p->drawText(QRectF(c.x() - w / 2, f.bottom() + 2, w, l.line), Qt::AlignCenter, "S");
    p->drawText(QRectF(f.right() + 4, c.y() - l.line / 2, w, l.line), Qt::AlignLeft | Qt::AlignVCenter, "E");
    p->drawText(QRectF(f.left() - w - 4, c.y() - l.line / 2, w, l.line), Qt::AlignRight | Qt::AlignVCenter, "W");
    for (int el : {30, 60})
        p->drawText(QRectF(c.x() + 3, c.y() - r * (90 - el) / 90.0, 4 * l.line, l.line), Qt::AlignLeft | Qt::AlignTop,
                    QString("%1\u00b0").arg(el));

    const QString notice = QString::fromStdString(plotNotice(report, PlotKind::Sky));
    if (!notice.isEmpty()) return drawNotice(p, QRect(f.left(), int(c.y()) + l.line, f.width(), 4 * l.line), notice);

    auto at = [&](const PlotSample &s) {
        const double rr = r * (90 - std::max(0.0f, std::min(90.0f, s.elevation))) / 90.0;
        const double a = s.azimuth * M_PI / 180;
        return c + QPointF(rr * std::sin(a), -rr * std::cos(a));
    };
    const int d = pointSize(f);
    std::map<SatKey, const PlotSample *> lastOf;
    for (const PlotSample &s : report.samples) {
        if (std::isnan(s.elevation) || std::isnan(s.azimuth)) continue;
        const QPointF q = at(s);
        p->fillRect(QRect(int(std::lround(q.x())) - d / 2, int(std::lround(q.y())) - d / 2, d, d), systemColour(s.system));
        const SatKey key(s.system, s.prn);
        if (!lastOf.count(key) || lastOf[key]->t <= s.t) lastOf[key] = &s;
    }
    p->setPen(kInk);
    for (const auto &e : lastOf) {
        const QPointF q = at(*e.second);
        p->drawText(QPointF(q.x() + d, q.y() - d), satelliteName(e.first.first, e.first.second));
    }
}

void paintScatter(const Report &report, PlotKind kind, QPainter *p, const Layout &l)
{
    const QRect &f = l.frame;
    const bool snr = kind == PlotKind::Snr;
    double y0, y1, yStep;
    if (snr) {
        std::tie(y0, y1) = snrRange(report);
        yStep = 10;
    } else {
        y1 = multipathRange(report);
        y0 = -y1;
        yStep = y1 / 2;
    }
    drawAxes(p, l, 0, 90, 15, y0, y1, yStep, "Elevation (\u00b0)", snr ? "Signal strength (dB-Hz)" : "Multipath MP (m)",
             snr ? 0 : (yStep < 1 ? 2 : 1));
    const QString notice = QString::fromStdString(plotNotice(report, kind));
    if (!notice.isEmpty()) return drawNotice(p, f, notice);
    const auto series = seriesOf(report, kind);
    std::map<QString, QColor> byLabel;
    for (size_t i = 0; i < series.size(); i++) byLabel[series[i].first] = seriesColour(int(i));
    const auto labels = signalLabels(report);
    std::unordered_map<uint32_t, QColor> colours;
    const int d = pointSize(f);
    p->setClipRect(f);
    for (const PlotSample &s : report.samples) {
        const float value = snr ? s.snr : s.multipath;
        if (std::isnan(value) || std::isnan(s.elevation)) continue;
        const int x = f.left() + int(std::lround(std::max(0.0f, s.elevation) / 90.0 * f.width()));
        const int y = f.bottom() - int(std::lround((value - y0) / (y1 - y0) * f.height()));
        auto it = colours.find(signalKey(s));
        if (it == colours.end()) it = colours.emplace(signalKey(s), byLabel[signalLabel(labels, s)]).first;
        p->fillRect(QRect(x - d / 2, y - d / 2, d, d), it->second);
    }
    p->setClipping(false);
}

} // namespace

const std::vector<PlotKind> &allPlots()
{
    static const std::vector<PlotKind> kinds = {PlotKind::Timeline, PlotKind::Sky, PlotKind::Snr, PlotKind::Multipath};
    return kinds;
}

const char *plotName(PlotKind kind)
{
    switch (kind) {
    case PlotKind::Timeline: return "timeline";
    case PlotKind::Sky: return "sky";
    case PlotKind::Snr: return "snr";
    case PlotKind::Multipath: return "multipath";
    }
    return "";
}

const char *plotTitle(PlotKind kind)
{
    switch (kind) {
    case PlotKind::Timeline: return "Tracking timeline";
    case PlotKind::Sky: return "Sky plot";
    case PlotKind::Snr: return "Signal strength";
    case PlotKind::Multipath: return "Multipath";
    }
    return "";
}

std::string plotNotice(const Report &report, PlotKind kind)
{
    if (report.samples.empty()) return "No observations in this file";
    if (kind == PlotKind::Timeline) return "";
    if (!anyElevation(report)) return "No elevations: no navigation data or no receiver position for this file";
    if (kind == PlotKind::Sky || !seriesOf(report, kind).empty()) return "";
    return kind == PlotKind::Snr ? "No signal strength in this file"
                                 : "No multipath: it needs two carrier frequencies of a satellite";
}

QColor strengthColour(double snr)
{
    if (snr >= 45) return QColor(0x1a, 0x98, 0x50);
    if (snr >= 35) return QColor(0x91, 0xcf, 0x60);
    if (snr >= 25) return QColor(0xfc, 0x8d, 0x59);
    return QColor(0xd7, 0x30, 0x27);
}

QColor systemColour(char system)
{
    switch (system) {
    case 'G': return QColor(0x1f, 0x77, 0xb4);
    case 'R': return QColor(0xd6, 0x27, 0x28);
    case 'E': return QColor(0x2c, 0xa0, 0x2c);
    case 'C': return QColor(0xff, 0x7f, 0x0e);
    case 'J': return QColor(0x94, 0x67, 0xbd);
    case 'I': return QColor(0x8c, 0x56, 0x4b);
    case 'S': return QColor(0x7f, 0x7f, 0x7f);
    default: return QColor(0xe3, 0x77, 0xc2);
    }
}

QColor seriesColour(int index)
{
    // Twenty colours that stay apart: the dark row first, then the light.
    static const QColor palette[] = {
        QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28),
        QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
        QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf), QColor(0x00, 0x00, 0x80), QColor(0x80, 0x00, 0x00),
        QColor(0xae, 0xc7, 0xe8), QColor(0xff, 0xbb, 0x78), QColor(0x98, 0xdf, 0x8a), QColor(0xff, 0x98, 0x96),
        QColor(0xc5, 0xb0, 0xd5), QColor(0x00, 0x80, 0x80), QColor(0x55, 0x6b, 0x2f), QColor(0xf7, 0xb6, 0xd2)};
    const int n = int(sizeof palette / sizeof palette[0]);
    return palette[((index % n) + n) % n];
}

void paintPlot(const Report &report, PlotKind kind, QPainter *painter, const QRect &area)
{
    painter->save();
    painter->setClipRect(area);
    painter->fillRect(area, Qt::white);
    const Layout l = layoutOf(report, kind, area);
    QFont bold = l.font;
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(kInk);
    const QString file = fileLabel(report);
    painter->drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter,
                      file.isEmpty() ? QString(plotTitle(kind)) : QString("%1 \u2013 %2").arg(plotTitle(kind), file));
    painter->setFont(l.font);
    if (l.frame.width() > 10 && l.frame.height() > 10) {
        switch (kind) {
        case PlotKind::Timeline: paintTimeline(report, painter, l); break;
        case PlotKind::Sky: paintSky(report, painter, l); break;
        case PlotKind::Snr:
        case PlotKind::Multipath: paintScatter(report, kind, painter, l); break;
        }
    }
    painter->setClipRect(area);
    drawLegend(painter, l, legendOf(report, kind));
    painter->restore();
}

QRect plotFrame(const Report &report, PlotKind kind, const QSize &size)
{
    return layoutOf(report, kind, QRect(QPoint(0, 0), size)).frame;
}

QSize plotSize(const Report &report, PlotKind kind)
{
    if (kind == PlotKind::Sky) return QSize(1000, 800);
    if (kind != PlotKind::Timeline) return QSize(1200, 800);
    std::set<SatKey> sats;
    for (const PlotSample &s : report.samples) sats.insert({s.system, s.prn});
    return QSize(1200, std::max(480, 120 + 16 * int(sats.size())));
}

QImage renderPlot(const Report &report, PlotKind kind, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintPlot(report, kind, &painter, image.rect());
    painter.end();
    return image;
}

std::string plotPath(const Report &report, PlotKind kind, const std::string &dir)
{
    QString name = QFileInfo(QString::fromStdString(report.file)).fileName();
    for (const char *packed : {".gz", ".Z"})
        if (name.endsWith(packed)) name.chop(int(strlen(packed)));
    if (name.isEmpty()) name = "quality";
    return QDir(QString::fromStdString(dir)).filePath(QString("%1_%2.png").arg(name, plotName(kind))).toStdString();
}

bool writePlots(const Report &report, const std::string &dir, std::string *error)
{
    // Text needs the fonts of a GUI application; a program without any gets
    // one on the offscreen platform for the length of the call.
    std::unique_ptr<QGuiApplication> own;
    static int argc = 3;
    static char arg0[] = "quorvane", arg1[] = "-platform", arg2[] = "offscreen";
    static char *argv[] = {arg0, arg1, arg2, nullptr};
    if (!QCoreApplication::instance()) {
        own.reset(new QGuiApplication(argc, argv));
    } else if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        if (error) *error = "the plots need a GUI application (fonts), not a console one";
        return false;
    }
    const QString folder = QString::fromStdString(dir.empty() ? std::string(".") : dir);
    if (!QDir().mkpath(folder)) {
        if (error) *error = "cannot create the folder " + folder.toStdString();
        return false;
    }
    for (PlotKind kind : allPlots()) {
        const QString path = QString::fromStdString(plotPath(report, kind, folder.toStdString()));
        // Written whole or not at all: a failed save leaves no truncated PNG.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !renderPlot(report, kind, plotSize(report, kind)).save(&file, "PNG") ||
            !file.commit()) {
            if (error) *error = "cannot write " + path.toStdString() + ": " + file.errorString().toStdString();
            return false;
        }
    }
    return true;
}

} // namespace qc
