#include "evaluation/XYChart.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/PictureSizing.h"
#include "display/Plotter.h"
#include "display/TickLabels.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

constexpr int kLeft = 70, kRight = 18, kTop = 20, kBottom = 44, kSecondRow = 16, kPanelGap = 30;
constexpr int kMarker = 3;  // half the marker's size
constexpr int kLegendRow = 14;

// Pixel coordinates far outside any picture are held where nothing visible changes.
int Pixel(long double v)
{
    if (!(v == v)) return 0;
    return static_cast<int>(std::clamp(v, -1e6L, 1e6L));
}

long double U(long double v, bool log) { return log ? std::log10(v) : v; }
bool Usable(long double v, bool log) { return std::isfinite(v) && (!log || v > 0); }

struct Extent {
    long double lo = std::numeric_limits<long double>::infinity();
    long double hi = -std::numeric_limits<long double>::infinity();
    void Add(long double v)
    {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    bool Empty() const { return !(lo <= hi); }
};

// The range shown on an axis, in its own terms: a little wider than the
// data on a linear axis, whole decades on a log one; a single value gets
// room around it.
void Span(const Extent& e, bool log, bool pad, long double& u0, long double& u1)
{
    if (e.Empty()) {
        u0 = 0;
        u1 = 1;
        return;
    }
    u0 = U(e.lo, log);
    u1 = U(e.hi, log);
    if (log && u1 <= u0) {
        u0 -= 0.5L;
        u1 += 0.5L;
        return;
    }
    if (u1 <= u0) {
        const long double d = u0 == 0 ? 1 : std::fabs(u0) * 0.1L;
        u0 -= d;
        u1 += d;
        return;
    }
    if (pad) {
        const long double d = (u1 - u0) * (log ? 0.03L : 0.05L);
        u0 -= d;
        u1 += d;
    }
}

// Tick positions (axis terms) within [u0, u1]: steps of 1, 2 or 5 times a
// power of ten, about one per `room` pixels; decades on a log axis, with 2
// and 5 between when there are few.
std::vector<long double> Ticks(long double u0, long double u1, bool log, int pixels, int room)
{
    std::vector<long double> ticks;
    if (log) {
        const long double decades = u1 - u0;
        const int every = std::max(1, static_cast<int>(std::ceil(decades / std::max(1, pixels / room))));
        std::vector<long double> multiples = {1};
        if (decades <= 2) multiples = {1, 2, 5};
        if (decades <= 0.7L) multiples = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        for (long double d = std::floor(u0); d <= u1 + 1e-9L; d += (multiples.size() > 1 ? 1 : every))
            for (long double m : multiples) {
                const long double t = d + std::log10(m);
                if (t >= u0 - 1e-9L && t <= u1 + 1e-9L) ticks.push_back(t);
            }
        if (ticks.size() >= 2) return ticks;
        // Less than a few steps of a decade: even steps of the value itself.
        ticks.clear();
        for (long double v : Ticks(std::pow(10.0L, u0), std::pow(10.0L, u1), false, pixels, room))
            if (v > 0) ticks.push_back(std::log10(v));
        return ticks;
    }
    const long double raw = (u1 - u0) / std::max(4, pixels / room);
    const long double p = std::pow(10.0L, std::floor(std::log10(raw)));
    long double step = p;
    for (long double m : {1.0L, 2.0L, 5.0L, 10.0L})
        if (m * p >= raw) {
            step = m * p;
            break;
        }
    for (long double k = std::ceil(u0 / step - 1e-9L); k * step <= u1 + step * 1e-9L; k += 1) {
        const long double v = k * step;
        ticks.push_back(std::fabs(v) < step * 1e-9L ? 0 : v);
    }
    return ticks;
}

std::vector<std::string> TickTexts(const std::vector<long double>& ticks, bool log)
{
    if (!log) return DistinctNumberTexts(ticks, 3);
    std::vector<std::string> texts;
    for (long double t : ticks) texts.push_back(FormatPicture(std::pow(10.0L, t)));
    return texts;
}

void Marker(Canvas& c, int kind, int x, int y)
{
    const int m = kMarker;
    switch (kind) {
    case 0:
        DrawLine(c, x - m, y - m, x + m, y - m);
        DrawLine(c, x + m, y - m, x + m, y + m);
        DrawLine(c, x + m, y + m, x - m, y + m);
        DrawLine(c, x - m, y + m, x - m, y - m);
        break;
    case 1:
        DrawLine(c, x - m, y - m, x + m + 1, y + m + 1);
        DrawLine(c, x - m, y + m, x + m + 1, y - m - 1);
        break;
    case 2:
        DrawLine(c, x - m - 1, y, x + m + 2, y);
        DrawLine(c, x, y - m - 1, x, y + m + 2);
        break;
    case 3:
        DrawLine(c, x, y - m - 1, x + m + 1, y + m);
        DrawLine(c, x + m + 1, y + m, x - m - 1, y + m);
        DrawLine(c, x - m - 1, y + m, x, y - m - 1);
        break;
    case 4:
        DrawLine(c, x, y - m - 1, x + m + 1, y);
        DrawLine(c, x + m + 1, y, x, y + m + 1);
        DrawLine(c, x, y + m + 1, x - m - 1, y);
        DrawLine(c, x - m - 1, y, x, y - m - 1);
        break;
    case 5:
        c.Rectangle(x - 1, y - 1, x + 2, y + 2);
        break;
    default:
        break;
    }
}

bool Valid(const ChartSeries& s, std::size_t i, bool xLog, bool yLog)
{
    return i < s.y.size() && s.y[i] && Usable(s.x[i], xLog) && Usable(*s.y[i], yLog);
}

void DrawSeries(Canvas& c, const ChartPanelPlace& p, const ChartSeries& s, PenStyle pen, bool marks)
{
    c.SetPenStyle(pen);
    bool drawing = false;
    for (std::size_t i = 0; i < s.x.size(); ++i) {
        if (!Valid(s, i, p.xLog, p.yLog)) {
            drawing = false;
            continue;
        }
        const int x = p.PixelX(s.x[i]), y = p.PixelY(*s.y[i]);
        if (drawing) c.LineTo(x, y);
        else c.MoveTo(x, y);
        drawing = true;
    }
    c.SetPenStyle(PenStyle::Solid);
    for (std::size_t i = 0; i < s.x.size(); ++i) {
        if (!Valid(s, i, p.xLog, p.yLog)) continue;
        const int x = p.PixelX(s.x[i]), y = p.PixelY(*s.y[i]);
        if (marks && s.marker >= 0) Marker(c, s.marker, x, y);
        if (i < s.bars.size() && Usable(s.bars[i].from, p.yLog) && Usable(s.bars[i].to, p.yLog)) {
            const int y0 = p.PixelY(s.bars[i].from), y1 = p.PixelY(s.bars[i].to);
            DrawLine(c, x, y0, x, y1);
            DrawLine(c, x - 2, y0, x + 3, y0);
            DrawLine(c, x - 2, y1, x + 3, y1);
        }
    }
}

void Legend(Canvas& c, const ChartPanelPlace& p, const ChartPanel& panel, const PictureSettings& settings)
{
    std::vector<const ChartSeries*> named;
    for (const auto& s : panel.series)
        if (!s.name.empty() && s.legend) named.push_back(&s);
    const bool reference = !panel.reference.empty();
    const int rows = static_cast<int>(named.size()) + (reference ? 1 : 0);
    if (rows == 0) return;
    int width = 0;
    for (const auto* s : named) width = std::max(width, c.TextWidth(s->name));
    if (reference) width = std::max(width, c.TextWidth("эталон"));
    const int boxW = width + 44, boxH = rows * kLegendRow + 6;
    const int x1 = p.right - boxW - 4, y1 = p.top + 4;
    if (x1 < p.left) return;  // no room for it: the curves come first
    c.SetBrushColor(settings.PlotBackColor);
    c.Rectangle(x1, y1, x1 + boxW, y1 + boxH);
    int y = y1 + 3;
    for (const auto* s : named) {
        const int mid = y + kLegendRow / 2;
        c.SetPenStyle(s->pen);
        DrawLine(c, x1 + 4, mid, x1 + 34, mid);
        c.SetPenStyle(PenStyle::Solid);
        if (s->marker >= 0) Marker(c, s->marker, x1 + 19, mid);
        c.TextOut(x1 + 40, y, s->name);
        y += kLegendRow;
    }
    if (reference) {
        const int mid = y + kLegendRow / 2;
        c.SetPenStyle(PenStyle::Dot);
        DrawLine(c, x1 + 4, mid, x1 + 34, mid);
        c.SetPenStyle(PenStyle::Solid);
        c.TextOut(x1 + 40, y, "эталон");
    }
}

// The value of a point, as the readout tells it.
std::string Number(long double v) { return FormatGeneral(v, 4); }

std::string XText(const ChartAxis& axis, long double x)
{
    const long double r = std::nearbyint(x);
    if (!axis.categories.empty() && r == x && r >= 0 && r < static_cast<long double>(axis.categories.size()))
        return axis.categories[static_cast<std::size_t>(r)];
    return FormatGeneral(x, 6);
}

// The point of a curve whose column is nearest to px, or -1.
long long NearestPoint(const ChartSeries& s, const ChartPanelPlace& p, int px)
{
    long long best = -1;
    int distance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < s.x.size(); ++i) {
        if (!Valid(s, i, p.xLog, p.yLog)) continue;
        const int d = std::abs(p.PixelX(s.x[i]) - px);
        if (d < distance) distance = d, best = static_cast<long long>(i);
    }
    return best;
}

}  // namespace

int ChartPanelPlace::PixelX(long double x) const
{
    return left + Pixel((U(x, xLog) - u0) / (u1 - u0) * (right - left));
}

int ChartPanelPlace::PixelY(long double y) const
{
    return bottom - Pixel((U(y, yLog) - v0) / (v1 - v0) * (bottom - top));
}

long double ChartPanelPlace::ValueX(int px) const
{
    const long double u = u0 + (u1 - u0) * (px - left) / std::max(1, right - left);
    return xLog ? std::pow(10.0L, u) : u;
}

std::optional<PlotRange> ChartXRange(const XYChart& chart)
{
    const bool log = chart.x.scale == AxisScale::Log;
    Extent e;
    for (const auto& panel : chart.panels)
        for (const auto* list : {&panel.series, &panel.reference})
            for (const auto& s : *list)
                for (long double x : s.x)
                    if (Usable(x, log)) e.Add(x);
    if (e.Empty()) return std::nullopt;
    return PlotRange{e.lo, e.hi};
}

ChartLayout DrawChart(Canvas& c, const PictureSettings& settings, const XYChart& chart,
                      const std::optional<PlotRange>& zoom)
{
    c.Fill(settings.PlotBackColor);
    ChartLayout layout;
    const int n = static_cast<int>(chart.panels.size());
    if (n == 0) return layout;
    const int W = std::max(c.Width(), kMinPictureWidth), H = std::max(c.Height(), kMinPictureHeight);
    const bool xLog = chart.x.scale == AxisScale::Log;
    const bool second = chart.x.secondFactor > 0;

    // The horizontal range: the zoom, or every point of every panel.
    Extent ex;
    if (zoom && zoom->from < zoom->to && Usable(zoom->from, xLog) && Usable(zoom->to, xLog)) {
        ex.Add(zoom->from);
        ex.Add(zoom->to);
    } else if (chart.x.fixed) {
        ex.Add(chart.x.fixed->from);
        ex.Add(chart.x.fixed->to);
    } else if (const auto whole = ChartXRange(chart)) {
        ex.Add(whole->from);
        ex.Add(whole->to);
    }
    long double u0 = 0, u1 = 1;
    Span(ex, xLog, !zoom, u0, u1);
    if (!chart.x.categories.empty() && !xLog && !zoom) {
        u0 = std::min(u0, ex.lo - 0.25L);
        u1 = std::max(u1, ex.hi + 0.25L);
    }

    const int bottomRoom = kBottom + (second ? kSecondRow : 0);
    const int panelH = std::max(40, (H - kTop - bottomRoom - (n - 1) * kPanelGap) / n);
    c.SetPen(settings.PlotForeColor, 1, PenStyle::Solid);
    c.SetFontColor(settings.PlotForeColor);
    for (int k = 0; k < n; ++k) {
        const ChartPanel& panel = chart.panels[static_cast<std::size_t>(k)];
        ChartPanelPlace p;
        p.left = kLeft;
        p.right = W - kRight;
        p.top = kTop + k * (panelH + kPanelGap);
        p.bottom = p.top + panelH;
        p.xLog = xLog;
        p.yLog = panel.y.scale == AxisScale::Log;
        p.u0 = u0;
        p.u1 = u1;
        Extent ey;
        if (panel.y.fixed) {
            ey.Add(panel.y.fixed->from);
            ey.Add(panel.y.fixed->to);
        } else {
            for (const auto* list : {&panel.series, &panel.reference})
                for (const auto& s : *list)
                    for (std::size_t i = 0; i < s.x.size(); ++i) {
                        if (!Valid(s, i, false, p.yLog)) continue;
                        // Only the points within the horizontal range set the scale.
                        if (!Usable(s.x[i], xLog) || U(s.x[i], xLog) < u0 || U(s.x[i], xLog) > u1) continue;
                        ey.Add(*s.y[i]);
                    }
        }
        // Padded also when fixed, so that a curve along an end stays in sight.
        Span(ey, p.yLog, true, p.v0, p.v1);
        layout.panels.push_back(p);

        // Frame, ticks and labels.
        c.SetBrushColor(settings.PlotBackColor);
        c.SetPenStyle(PenStyle::Solid);
        c.Rectangle(p.left, p.top, p.right + 1, p.bottom + 1);
        const auto yt = Ticks(p.v0, p.v1, p.yLog, p.bottom - p.top, 40);
        std::vector<int> ys;
        for (long double t : yt) {
            const int y = p.bottom - Pixel((t - p.v0) / (p.v1 - p.v0) * (p.bottom - p.top));
            DrawLine(c, p.left, y, p.left + 5, y);
            DrawLine(c, p.right, y, p.right - 5, y);
            ys.push_back(y);
        }
        DrawLabelsLeftOf(c, p.left - 5, ys, TickTexts(yt, p.yLog), 6);
        std::vector<long double> xt;
        std::vector<std::string> xl;
        if (!chart.x.categories.empty() && !xLog) {
            for (std::size_t i = 0; i < chart.x.categories.size(); ++i)
                if (i >= u0 && i <= u1) {
                    xt.push_back(static_cast<long double>(i));
                    xl.push_back(chart.x.categories[i]);
                }
        } else {
            xt = Ticks(u0, u1, xLog, p.right - p.left, 90);
            xl = TickTexts(xt, xLog);
        }
        std::vector<int> xs;
        for (long double t : xt) {
            const int x = p.left + Pixel((t - u0) / (u1 - u0) * (p.right - p.left));
            DrawLine(c, x, p.bottom, x, p.bottom - 5);
            DrawLine(c, x, p.top, x, p.top + 5);
            xs.push_back(x);
        }
        c.TextOut(p.left, p.top - 15, panel.y.title);
        if (k == n - 1) {
            DrawLabelsCentred(c, xs, xl, p.bottom + 4);
            if (second) {
                std::vector<std::string> sl;
                for (long double t : xt) {
                    const long double v = xLog ? std::pow(10.0L, t) : t;
                    sl.push_back(FormatPicture(chart.x.secondFactor * std::pow(10.0L, v / 20)));
                }
                DrawLabelsCentred(c, xs, sl, p.bottom + 4 + kSecondRow);
                c.TextOut(p.left, p.bottom + 22 + kSecondRow, chart.x.secondTitle);
            }
            c.TextOut(p.right - c.TextWidth(chart.x.title), p.bottom + 22 + (second ? kSecondRow : 0),
                      chart.x.title);
        }

        // The reference under the curves, the curves, then the legend over them.
        c.SetClip(p.left + 1, p.top + 1, p.right - 1, p.bottom - 1);
        for (const auto& s : panel.reference) DrawSeries(c, p, s, PenStyle::Dot, false);
        for (const auto& s : panel.series) DrawSeries(c, p, s, s.pen, true);
        Legend(c, p, panel, settings);
        c.ClearClip();
    }
    c.SetPenStyle(PenStyle::Solid);
    return layout;
}

int ChartPanelAt(const ChartLayout& layout, int x, int y)
{
    for (std::size_t k = 0; k < layout.panels.size(); ++k) {
        const auto& p = layout.panels[k];
        if (x >= p.left && x <= p.right && y >= p.top && y <= p.bottom) return static_cast<int>(k);
    }
    return -1;
}

std::string ChartReadout(const XYChart& chart, const ChartLayout& layout, int x, int y)
{
    const int k = ChartPanelAt(layout, x, y);
    if (k < 0 || k >= static_cast<int>(chart.panels.size())) return {};
    const ChartPanel& panel = chart.panels[static_cast<std::size_t>(k)];
    const ChartPanelPlace& p = layout.panels[static_cast<std::size_t>(k)];
    std::string text;
    std::string values;
    long double shownX = 0;
    const auto add = [&](const std::vector<ChartSeries>& list, bool reference) {
        for (const auto& s : list) {
            const long long i = NearestPoint(s, p, x);
            if (i < 0) continue;
            const auto at = static_cast<std::size_t>(i);
            if (text.empty()) {
                text = chart.x.title + " = " + XText(chart.x, s.x[at]);
                shownX = s.x[at];
            }
            const std::string name = reference ? "эталон" : s.name.empty() ? panel.key : s.name;
            values += "   " + name + " = " + Number(*s.y[at]);
            // A point of another abscissa says where it lies.
            if (s.x[at] != shownX) values += " (" + chart.x.title + " = " + XText(chart.x, s.x[at]) + ")";
            if (at < s.bars.size()) values += " (" + Number(s.bars[at].from) + " .. " + Number(s.bars[at].to) + ")";
        }
    };
    add(panel.series, false);
    add(panel.reference, true);
    return text + values;
}

PlotRange ChartRangeOfColumns(const ChartLayout& layout, int panel, int x1, int x2)
{
    const ChartPanelPlace& p = layout.panels.at(static_cast<std::size_t>(panel));
    const int a = std::clamp(std::min(x1, x2), p.left, p.right), b = std::clamp(std::max(x1, x2), p.left, p.right);
    return {p.ValueX(a), p.ValueX(b)};
}

void ChartScene::Draw(Canvas& picture, const PictureSettings& settings)
{
    layout_ = DrawChart(picture, settings, chart, zoom);
}

void ChartScene::ZoomToColumns(int panel, int x1, int x2)
{
    if (panel < 0 || panel >= static_cast<int>(layout_.panels.size()) || std::abs(x1 - x2) < 3) return;
    const PlotRange range = ChartRangeOfColumns(layout_, panel, x1, x2);
    if (range.from < range.to) zoom = range;
}

}  // namespace sonavir
