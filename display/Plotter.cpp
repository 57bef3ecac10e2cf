#include "display/Plotter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "display/PictureSizing.h"
#include "display/TickLabels.h"
#include "signal/Envelope.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

// trunc toward zero into a pixel coordinate; values beyond any bitmap are
// held at a distance where no visible pixel changes.
int Trunc(long double v)
{
    if (v > 1e9L) return 1000000000;
    if (v < -1e9L) return -1000000000;
    return static_cast<int>(v);
}

// x of point m of `count` points spread over the plot width: trunc(m·Wp/count)
// with count a power of two, exact in integers.
struct PointColumns {
    long long Wp;
    long long count;
    long long At(long long m) const
    {
        const long long p = m * Wp;
        return p >= 0 ? p / count : -((-p) / count);
    }
};

struct Counts {
    int NA, NT, NF;
};

Counts CountsOf(const PictureSettings& s)
{
    return {PictureSettings::ClampCount(s.amplitudeCount), PictureSettings::ClampCount(s.tcCount),
            PictureSettings::ClampCount(s.fCount)};
}

// The geometry of a plot follows the bitmap's size, but never below the
// smallest picture: a smaller bitmap shows the top-left part of a plot of
// that size instead of a plot with a negative scale, drawn upside down.
int PlotWidth(const Canvas& picture) { return std::max(picture.Width(), kMinPictureWidth); }
int PlotHeight(const Canvas& picture) { return std::max(picture.Height(), kMinPictureHeight); }

void PrepareSurface(Canvas& picture, const PictureSettings& settings)
{
    picture.SetPen(settings.PlotForeColor, 1, picture.Style());
    picture.SetBrushColor(settings.PlotBackColor);
    picture.SetFontColor(settings.PlotForeColor);
}

double Modulus(double re, double im) { return std::sqrt(re * re + im * im); }

// Pixel offsets trunc(ky·v) from the reference line. Double products serve
// every ordinary level; a scale factor beyond the double range (a peak of a
// few 1E-307) is kept in extended precision, so any finite signal draws.
struct YScale {
    int Y0;
    long double kyWide;
    double ky;
    bool wide;
    YScale(int y0, long double k) : Y0(y0), kyWide(k), ky(double(k)), wide(!std::isfinite(ky)) {}
    long double Ky() const { return wide ? kyWide : (long double)ky; }
    int Offset(long double v) const { return wide ? Trunc(kyWide * v) : int(ky * double(v)); }
    int Y(long double v) const { return Y0 - Offset(v); }
};

// Largest and smallest of r[i] over [from, to), four lanes at a time.
void RowRange(const double* r, long long from, long long to, double& lo, double& hi)
{
    double l[4] = {lo, lo, lo, lo}, h[4] = {hi, hi, hi, hi};
    long long i = from;
    for (; i + 4 <= to; i += 4)
        for (int k = 0; k < 4; ++k) {
            const double v = r[i + k];
            l[k] = v < l[k] ? v : l[k];
            h[k] = v > h[k] ? v : h[k];
        }
    for (; i < to; ++i) {
        l[0] = r[i] < l[0] ? r[i] : l[0];
        h[0] = r[i] > h[0] ? r[i] : h[0];
    }
    lo = std::min(std::min(l[0], l[1]), std::min(l[2], l[3]));
    hi = std::max(std::max(h[0], h[1]), std::max(h[2], h[3]));
}

// The waveform's points: sample m in row m % 2, column m / 2.
struct WaveSource {
    const double* row0;
    const double* row1;
    long double Value(long long m) const { return (m & 1) ? row1[m >> 1] : row0[m >> 1]; }
    void Range(long long a, long long b, long double& lo, long double& hi) const
    {
        double l, h;
        l = h = (a & 1) ? row1[a >> 1] : row0[a >> 1];
        RowRange(row0, (a + 1) / 2, (b + 1) / 2, l, h);
        RowRange(row1, a / 2, b / 2, l, h);
        lo = l;
        hi = h;
    }
};

// The spectrum's points: the modulus of column k. sqrt is monotonic and
// correctly rounded, so the extremes of the squared moduli give exactly the
// extremes of the moduli. Squares of columns beyond about 1E154, or of a
// whole spectrum below about 1E-146, leave the double range: such a spectrum
// is worked in extended precision (`wide`), which holds every square.
struct SpectrumSource {
    const double* re;
    const double* im;
    bool wide = false;
    long double Value(long long k) const
    {
        if (!wide) return Modulus(re[k], im[k]);
        const long double r = re[k], i = im[k];
        return std::sqrt(r * r + i * i);
    }
    void Range(long long a, long long b, long double& lo, long double& hi) const
    {
        if (wide) {
            lo = hi = Value(a);
            for (long long k = a + 1; k < b; ++k) {
                const long double v = Value(k);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            return;
        }
        double l[4], h[4];
        for (int k = 0; k < 4; ++k) l[k] = h[k] = re[a] * re[a] + im[a] * im[a];
        long long i = a;
        for (; i + 4 <= b; i += 4)
            for (int k = 0; k < 4; ++k) {
                const double v = re[i + k] * re[i + k] + im[i + k] * im[i + k];
                l[k] = v < l[k] ? v : l[k];
                h[k] = v > h[k] ? v : h[k];
            }
        for (; i < b; ++i) {
            const double v = re[i] * re[i] + im[i] * im[i];
            l[0] = v < l[0] ? v : l[0];
            h[0] = v > h[0] ? v : h[0];
        }
        lo = std::sqrt(std::min(std::min(l[0], l[1]), std::min(l[2], l[3])));
        hi = std::sqrt(std::max(std::max(h[0], h[1]), std::max(h[2], h[3])));
    }
};

// The points of a span of a source: point j is the source's point first + j.
template <typename Source>
struct SpanOf {
    const Source& src;
    long long first;
    long double Value(long long j) const { return src.Value(first + j); }
    void Range(long long a, long long b, long double& lo, long double& hi) const
    {
        src.Range(first + a, first + b, lo, hi);
    }
};

template <typename Source>
SpanOf<Source> Span(const Source& src, const PlotSpan& span)
{
    return {src, span.first};
}

// The spectrum's points with its peak; squares that leave the double range
// switch the source to extended precision.
SpectrumSource SpectrumOf(const TSignalData& spectrum, int N, long double& peak)
{
    SpectrumSource source{spectrum[0].data(), spectrum[1].data()};
    long double lowest;
    source.Range(0, N, lowest, peak);
    if (!(peak <= DBL_MAX) || peak < 0x1p-480) {
        source.wide = true;
        source.Range(0, N, lowest, peak);
    }
    return source;
}

// A source's values (from 0 up to `peak`) as levels in dB of the peak, held
// at the floor. The log is monotonic, so a column's extremes are the levels
// of the source's extremes: a few logs per pixel column, however many points
// fall in it. Values at or below the floor's own value never reach the log.
template <typename Source>
struct LevelSource {
    const Source& src;
    long double peak;
    long double floor;
    long double threshold;
    LevelSource(const Source& source, long double p, int floorDb)
        : src(source), peak(p), floor(floorDb), threshold(p * std::pow(10.0L, floorDb / 20.0L))
    {
    }
    long double Level(long double v) const
    {
        return v > threshold ? std::max(floor, 20 * std::log10(v / peak)) : floor;
    }
    long double Value(long long i) const { return Level(src.Value(i)); }
    void Range(long long a, long long b, long double& lo, long double& hi) const
    {
        src.Range(a, b, lo, hi);
        lo = Level(lo);
        hi = Level(hi);
    }
};

// Levels from 0 dB at row `top` down to the floor `span` rows lower; both
// ends land exactly on their rows.
struct DbScale {
    int top;
    int span;
    long double floor;
    int Y(long double level) const { return top + Trunc(level / floor * span); }
};

// Amplitude ticks of the dB view at k·span/NA below the top, labelled
// 0, floor/NA, ... floor.
void DbTicks(const DbScale& scale, int NA, std::vector<int>& ys, std::vector<std::string>& labels)
{
    for (int k = 0; k <= NA; ++k) {
        ys.push_back(scale.top + Trunc((long double)k * scale.span / NA));
        labels.push_back(FormatPicture((long double)k * scale.floor / NA + 0.0L));  // "0", not "-0"
    }
}

// The caption with its unit, ", дБ". Where it is too wide for the margin
// left of the frame, it starts at the picture's left edge above the frame's
// top edge instead of running into it.
void DrawDbCaption(Canvas& picture, int X0, int y, int frameTop, const std::string& caption)
{
    if (caption.empty()) return;
    const std::string text = caption + ", дБ";
    int x = X0 - picture.TextWidth(text) - 6;
    if (x < X0 - 50) {
        x = X0 - 50;
        y = std::min(y, frameTop - picture.TextHeight());
    }
    picture.TextOut(x, y, text);
}

// Tick labels of a zoomed axis: the span's start and each of `intervals`
// parts of its length on, in as many digits as tell them apart; times times
// `scale` (c/2 for ranges).
std::vector<std::string> SpanTickLabels(const PointAxis& axis, const PlotSpan& span, int intervals,
                                        long double scale = 1)
{
    std::vector<long double> values;
    for (int k = 0; k <= intervals; ++k)
        values.push_back(axis.At(span.first + (long double)k * span.count / intervals) * scale);
    return DistinctNumberTexts(values, 3);
}

// The waveform band's time ticks on the frame's lower and upper edges
// (Y0 ± A ± 5 .. 10), their labels under the frame: times from 0, or for a
// time-gated record its true times, or the ranges c·t/2 they stand for.
void TimeTicks(Canvas& picture, const Counts& c, const PlotAxes& axes, bool ranges, int N, const PlotSpan& shown,
               bool whole, int X0, int Wp, int Y0, int A)
{
    const long double sx = (long double)Wp / c.NT;
    const long double st = (long double)N * axes.Dt * 2 / c.NT;
    std::vector<int> xs;
    std::vector<std::string> labels;
    for (int k = 0; k <= c.NT; ++k) {
        const int x = X0 + Trunc(k * sx);
        DrawLine(picture, x, Y0 + A + 5, x, Y0 + A + 10);
        DrawLine(picture, x, Y0 - A - 5, x, Y0 - A - 10);
        xs.push_back(x);
        labels.push_back(FormatPicture(k * st));
    }
    if (!whole || axes.t0 != 0 || ranges)
        labels = SpanTickLabels(axes.TimeAxis(N), shown, c.NT, ranges ? axes.soundSpeed / 2 : 1);
    DrawLabelsCentred(picture, xs, labels, Y0 + A + 15);
}

// The spectrum band's frequency ticks on the frame's upper and lower edges
// (base line Y0), their labels under the frame.
void FrequencyTicks(Canvas& picture, const Counts& c, const PlotAxes& axes, int N, const PlotSpan& shown,
                    bool whole, int X0, int Wp, int Y0, int A)
{
    const long double sx = (long double)(Wp - 1) / c.NF;
    const long double halfRate = (long double)axes.KofDiscret * axes.Fmax / 2;
    // The origin "0" has no tick of its own but is spaced like a label.
    std::vector<int> xs = {X0};
    std::vector<std::string> labels = {"0"};
    for (int k = 1; k <= c.NF; ++k) {
        const int x = X0 + Trunc(k * sx);
        DrawLine(picture, x, Y0 - A - 10, x, Y0 - A - 5);
        DrawLine(picture, x, Y0 + 9, x, Y0 + 4);
        // k·rate/NF with one rounding, so a whole number of hertz
        // prints whole instead of 1 Hz short.
        const long double hz = std::clamp(std::trunc(k * halfRate / c.NF), -9.0e18L, 9.0e18L);
        xs.push_back(x);
        labels.push_back(std::to_string(static_cast<long long>(hz)));
    }
    if (!whole) labels = SpanTickLabels(PointAxis::Frequency(axes.Dt, N), shown, c.NF);
    DrawLabelsCentred(picture, xs, labels, Y0 + 15);
}

// Amplitude ticks at rows ys, 5 pixels in from the frame's left edge X0 and
// its right edge, labelled to the left of the frame.
void AmplitudeTicks(Canvas& picture, int X0, int right, const std::vector<int>& ys,
                    const std::vector<std::string>& labels, int rise)
{
    for (const int y : ys) {
        DrawLine(picture, X0, y, X0 + 5, y);
        DrawLine(picture, right, y, right - 5, y);
    }
    DrawLabelsLeftOf(picture, X0 - 6, ys, labels, rise);
}

// The curve through `count` points spread over Wp pixels from X0: point m at
// x = X0 + trunc(m·Wp/count), y = Y0 - trunc(ky·v(m)), one LineTo per point.
// With more points than pixel columns, a column's pixels are worked out from
// the extremes of its points: its vertical segments together with the start
// of the segment leaving it cover exactly the span between its highest and
// lowest point. The last column has no leaving segment, so its points are
// drawn one by one.
template <typename Source, typename Scale>
void DrawCurve(Canvas& picture, int X0, int Wp, long long count, const Scale& scale,
               const Source& src)
{
    auto Y = [&](long double v) { return scale.Y(v); };
    if (Wp <= 0 || X0 < 0 || count <= Wp || picture.Style() != PenStyle::Solid) {
        const PointColumns columns{Wp, count};
        const long long xMax = (long long)X0 + Wp;
        ColumnPolyline line(picture, X0, Y(src.Value(0)));
        for (long long m = 1; m < count; ++m) {
            const long long x = X0 + columns.At(m);
            if (x < 0 || x > xMax) continue;
            line.LineTo(int(x), Y(src.Value(m)));
        }
        return;
    }
    long long a = 0;  // first point of column c
    int prevY = 0;
    for (int c = 0; c < Wp; ++c) {
        const int x = X0 + c;
        const int yFirst = Y(src.Value(a));
        if (c > 0) DrawLine(picture, x - 1, prevY, x, yFirst);
        if (c == Wp - 1) {
            ColumnPolyline line(picture, x, yFirst);
            for (long long m = a + 1; m < count; ++m) line.LineTo(x, Y(src.Value(m)));
            return;
        }
        const long long b = ((c + 1) * count + Wp - 1) / Wp;  // first point of column c + 1
        long double lo, hi;
        src.Range(a, b, lo, hi);
        picture.PenColumn(x, Y(lo), Y(hi));
        prevY = Y(src.Value(b - 1));
        a = b;
    }
}

// A reference's points over the plot with the dotted pen, clipped to the
// shown span. A column of one point is a vertex of the line; a column of
// many is one stroke over their extremes, entered at the end nearer the
// line's last point: at most two segments per column, so a dense record
// makes a small vector file too.
template <typename Source, typename Scale>
void DrawReference(Canvas& picture, int X0, int Wp, const PlotSpan& shown, const ForeignPoints& points,
                   const Scale& scale, const Source& src)
{
    long long a = points.FirstFrom(shown, Wp, 0);
    const long long end = points.FirstFrom(shown, Wp, Wp);
    if (a >= end) return;
    const PenStyle style = picture.Style();
    picture.SetPenStyle(PenStyle::Dot);
    bool started = false;
    while (a < end) {
        const long long c = static_cast<long long>(std::floor(points.Column(shown, Wp, a)));
        const long long b = std::min(end, std::max(a + 1, points.FirstFrom(shown, Wp, c + 1)));
        const int x = X0 + static_cast<int>(c);
        int yNear = scale.Y(src.Value(a)), yFar = yNear;
        if (b - a > 1) {
            long double lo, hi;
            src.Range(a, b, lo, hi);
            yNear = scale.Y(hi);
            yFar = scale.Y(lo);
            if (started && std::abs(picture.PenY() - yFar) < std::abs(picture.PenY() - yNear)) std::swap(yNear, yFar);
        }
        if (started)
            picture.LineTo(x, yNear);
        else
            picture.MoveTo(x, yNear);
        started = true;
        if (yFar != yNear) picture.LineTo(x, yFar);
        a = b;
    }
    picture.SetPenStyle(style);
}

// Where a reference's points lie on the plot of N points at step Dt.
ForeignPoints ReferencePoints(const PlotReference& ref, PlotKind plot, const PlotAxes& axes, int N)
{
    return plot == PlotKind::Time
               ? ForeignPoints::On(PointAxis::Time(ref.Dt, ref.N, ref.t0), axes.TimeAxis(N))
               : ForeignPoints::On(PointAxis::Frequency(ref.Dt, ref.N), PointAxis::Frequency(axes.Dt, N));
}

}  // namespace

ColumnPolyline::ColumnPolyline(Canvas& picture, int x, int y)
    : picture_(picture), fast_(picture.Style() == PenStyle::Solid), x_(x), last_(y)
{
    picture_.MoveTo(x, y);
}

void ColumnPolyline::LineTo(int x, int y)
{
    if (!fast_) {
        picture_.LineTo(x, y);
        return;
    }
    if (x == x_) {
        if (y == last_) return;  // a zero-length segment draws nothing
        if (hull_) {
            lo_ = std::min(lo_, last_);
            hi_ = std::max(hi_, last_);
        } else {
            lo_ = hi_ = last_;
            hull_ = true;
        }
        last_ = y;
        return;
    }
    FlushColumn();
    picture_.MoveTo(x_, last_);
    picture_.LineTo(x, y);
    x_ = x;
    last_ = y;
}

// The vertical segments q0 -> q1 -> ... -> qm of one column (no repeats)
// cover the span of q0 .. q(m-1) (each of them starts a segment, everything
// between is crossed) plus the last segment up to, not including, qm.
void ColumnPolyline::FlushColumn()
{
    if (!hull_) return;
    if (last_ > hi_)
        picture_.PenColumn(x_, lo_, last_ - 1);
    else if (last_ < lo_)
        picture_.PenColumn(x_, last_ + 1, hi_);
    else
        picture_.PenColumn(x_, lo_, hi_);
    hull_ = false;
}

void ColumnPolyline::Finish()
{
    if (!fast_) return;
    FlushColumn();
    picture_.MoveTo(x_, last_);
}

void DrawLine(Canvas& picture, int x1, int y1, int x2, int y2)
{
    picture.MoveTo(x1, y1);
    picture.LineTo(x2, y2);
}

long double SpectrumPeak(const TSignalData& spectrum, int N)
{
    long double peak;
    SpectrumOf(spectrum, N, peak);
    return peak;
}

namespace {

// The one drawing of a plot, whatever its kind and view: frame, ticks and
// labels, caption, axis name, the held reference and the curve. What differs
// (the scale, the amplitude ticks and the sources) the callers below work out.
// The cursors' lines go under the curve (a dashed pen paints its gaps in the
// background), their markers over it. Lines and markers stay within the frame.
struct CursorColumns {
    const PlotCursorMarks* marks;
    int X0, Wp, top, bottom;
    const PlotSpan& shown;
    // The column of a mark's point, or -1 outside the span shown.
    int Column(const PlotCursorMark& m) const
    {
        const long long j = m.point - shown.first;
        if (j < 0 || j >= shown.count || shown.count <= 0) return -1;
        return X0 + static_cast<int>(j * Wp / shown.count);
    }
};

void DrawCursorLines(Canvas& picture, const PlotLayout& L, const CursorColumns& c, int axisNameY)
{
    if (!c.marks->summary.empty()) picture.TextOut(L.X0, axisNameY, c.marks->summary);
    const PenStyle style = picture.Style();
    for (const PlotCursorMark& m : c.marks->marks) {
        const int x = c.Column(m);
        if (x < 0) continue;
        const int w = picture.TextWidth(m.label);
        picture.TextOut(std::clamp(x - w / 2, L.X0, L.X0 + L.Wp - w), c.top - picture.TextHeight() - 1, m.label);
        picture.SetPenStyle(PenStyle::Dash);
        DrawLine(picture, x, c.top + 1, x, c.bottom);
        picture.SetPenStyle(style);
    }
}

template <typename RowOf>
void DrawCursorMarkers(Canvas& picture, const CursorColumns& c, const RowOf& rowOf)
{
    picture.SetClip(c.X0, c.top, c.X0 + c.Wp, c.bottom);
    for (const PlotCursorMark& m : c.marks->marks) {
        const int x = c.Column(m);
        if (x < 0 || !m.hasValue) continue;
        const int y = rowOf(m.value);
        picture.MoveTo(x - 3, y - 3);
        picture.LineTo(x + 3, y - 3);
        picture.LineTo(x + 3, y + 3);
        picture.LineTo(x - 3, y + 3);
        picture.LineTo(x - 3, y - 3);
    }
    picture.ClearClip();
}

template <typename Scale, typename Source, typename RefSource, typename RowOf>
void DrawPlotBody(Canvas& picture, const PictureSettings& settings, const PlotAxes& axes, const PlotLayout& L, int A,
                  const std::vector<int>& ys, const std::vector<std::string>& labels, bool db,
                  const std::string& caption, int N, const PlotSpan& shown, bool whole, const Scale& scale,
                  const Source& source, const PlotReference* ref, const RefSource& refSource,
                  const PlotCursorMarks* cursors, const RowOf& rowOf)
{
    const bool time = L.kind == PlotKind::Time;
    const Counts c = CountsOf(settings);
    PrepareSurface(picture, settings);
    if (settings.scale) {
        if (time)
            picture.Rectangle(L.X0, L.Y0 - A - 10, L.X0 + L.Wp + 1, L.Y0 + A + 10);
        else
            picture.Rectangle(L.X0, L.Y0 + 10, L.X0 + L.Wp, L.Y0 - A - 10);
        if (time && settings.tc)
            TimeTicks(picture, c, axes, axes.Ranges(settings), N, shown, whole, L.X0, L.Wp, L.Y0, A);
        if (!time && settings.f) FrequencyTicks(picture, c, axes, N, shown, whole, L.X0, L.Wp, L.Y0, A);
        if (settings.amplitude) AmplitudeTicks(picture, L.X0, L.AmplitudeRight(), ys, labels, L.LabelRise());
        if (db)
            DrawDbCaption(picture, L.X0, L.Y0 - A - 20, L.Y0 - A - 10, caption);
        else
            picture.TextOut(L.X0 - picture.TextWidth(caption) - 6, L.Y0 - A - 20, caption);
        const std::string axis = time ? (axes.Ranges(settings) ? "r, м" : "t, с") : "f, Гц";
        picture.TextOut(L.X0 + L.Wp - picture.TextWidth(axis), time ? L.Y0 + A + 28 : L.Y0 + 28, axis);
    }
    if (ref) DrawReference(picture, L.X0, L.Wp, shown, ReferencePoints(*ref, L.kind, axes, N), scale, refSource);
    if (!cursors) {
        DrawCurve(picture, L.X0, L.Wp, shown.count, scale, Span(source, shown));
        return;
    }
    const int top = L.Y0 - A - 10;
    const int bottom = time ? L.Y0 + A + 9 : L.Y0 + 9;
    const CursorColumns columns{cursors, L.X0, L.Wp, top, bottom, shown};
    DrawCursorLines(picture, L, columns, time ? L.Y0 + A + 28 : L.Y0 + 28);
    DrawCurve(picture, L.X0, L.Wp, shown.count, scale, Span(source, shown));
    DrawCursorMarkers(picture, columns, rowOf);
}

// The dB view: levels from 0 dB at the frame's top to the floor at its
// bottom (the waveform's frame spans 2A, the spectrum's A), at the nominal A.
template <typename Source, typename RefSource>
long double DrawDbPlot(Canvas& picture, const PictureSettings& settings, const PlotAxes& axes, const PlotLayout& L,
                       const std::string& caption, int N, const PlotSpan& shown, bool whole, long double peak,
                       int floorDb, const Source& source, const PlotReference* ref, const RefSource& refSource,
                       const PlotCursorMarks* cursors)
{
    const int A = L.A;
    const DbScale scale{L.Y0 - A, L.kind == PlotKind::Time ? 2 * A : A, static_cast<long double>(floorDb)};
    std::vector<int> ys;
    std::vector<std::string> labels;
    DbTicks(scale, CountsOf(settings).NA, ys, labels);
    const LevelSource levels(source, peak, floorDb);
    DrawPlotBody(picture, settings, axes, L, A, ys, labels, true, caption, N, shown, whole, scale, levels, ref,
                 LevelSource(refSource, peak, floorDb), cursors,
                 [&](long double v) { return scale.Y(levels.Level(std::fabs(v))); });
    return peak;
}

// The linear view: the peak at A pixels from the base line, the frame's A and
// the curve from the same products, so the peak lands exactly on it.
template <typename Source, typename RefSource>
long double DrawLinearPlot(Canvas& picture, const PictureSettings& settings, const PlotAxes& axes, const PlotLayout& L,
                           const std::string& caption, int N, const PlotSpan& shown, bool whole, long double peak,
                           const Source& source, const PlotReference* ref, const RefSource& refSource,
                           const PlotCursorMarks* cursors)
{
    const bool time = L.kind == PlotKind::Time;
    const YScale scale(L.Y0, CheckedDiv(time ? (L.H - 150) / 4.0L : (L.H - 150) / 2.0L, peak));
    const int A = scale.Offset(peak);
    const Counts c = CountsOf(settings);
    // The waveform's ticks run from +1 to -1, the spectrum's from 1 to 0.
    const long double sy = time ? (scale.Ky() * peak * 2) / c.NA : (long double)A / c.NA;
    const long double sa = (time ? 2.0L : 1.0L) / c.NA;
    std::vector<int> ys;
    std::vector<std::string> labels;
    for (int k = 0; k <= c.NA; ++k) {
        ys.push_back(L.Y0 - A + Trunc(k * sy));
        labels.push_back(FormatPicture(time ? (c.NA * sa) / 2 - k * sa : (c.NA - k) * sa));
    }
    DrawPlotBody(picture, settings, axes, L, A, ys, labels, false, caption, N, shown, whole, scale, source, ref,
                 refSource, cursors, [&](long double v) { return scale.Y(v); });
    return peak;
}

WaveSource WaveOf(const TSignalData& d) { return {d[0].data(), d[1].data()}; }

}  // namespace

PlotLayout LayoutOf(const Canvas& picture, const PlotAxes& axes, PlotKind plot)
{
    PlotLayout L;
    L.kind = plot;
    L.W = PlotWidth(picture);
    L.H = PlotHeight(picture);
    L.X0 = 50 + axes.imageLeft;
    L.Wp = L.W - 75;
    // Everything of the waveform ends above the middle (its axis name, H/2
    // minus a text cell and a few pixels), the spectrum's caption starts below it.
    if (plot == PlotKind::Time) {
        L.Y0 = L.H / 4 - 10;
        L.A = Trunc((L.H - 150) / 4.0L);
        L.bandTop = 0;
        L.bandBottom = L.H / 2 - 1;
    } else {
        L.Y0 = L.H - 50;
        L.A = Trunc((L.H - 150) / 2.0L);
        L.bandTop = L.H / 2;
        L.bandBottom = L.H - 1;
    }
    return L;
}

long double DrawTimePlot(Canvas& picture, const PictureSettings& settings, const PlotAxes& axes,
                         const TSignalData& samples, int N, const std::string& caption, const PlotSpan& span,
                         const PlotExtras& extras)
{
    const PlotLayout L = LayoutOf(picture, axes, PlotKind::Time);
    const PlotSpan shown = span.Within(2LL * N);
    const bool whole = shown.count == 2LL * N;
    const PlotReference* ref = extras.reference;
    if (settings.db) {
        // The envelope's levels; worked out here when the caller keeps none.
        TSignalData ownEnvelope, ownRefEnvelope;
        const TSignalData* envelope = extras.envelope;
        if (!envelope) {
            Envelope(samples, N, ownEnvelope);
            envelope = &ownEnvelope;
        }
        long double peak = SamplePeak(*envelope, N);
        CheckFinite(peak);
        if (!(peak > 0)) RaiseDivByZero();  // a silent waveform has no level to refer to
        const TSignalData* refEnvelope = ref ? ref->envelope : nullptr;
        if (ref && !refEnvelope) {
            Envelope(*ref->data, ref->N, ownRefEnvelope);
            refEnvelope = &ownRefEnvelope;
        }
        if (ref) peak = std::max(peak, CheckFinite(SamplePeak(*refEnvelope, ref->N)));
        return DrawDbPlot(picture, settings, axes, L, caption, N, shown, whole, peak, kWaveFloorDb, WaveOf(*envelope),
                          ref, refEnvelope ? WaveOf(*refEnvelope) : WaveSource{}, extras.cursors);
    }
    double peak = static_cast<double>(SamplePeak(samples, N));
    CheckFinite(peak);
    if (ref) {
        if (!(peak > 0)) RaiseDivByZero();
        peak = std::max(peak, static_cast<double>(CheckFinite(SamplePeak(*ref->data, ref->N))));
    }
    return DrawLinearPlot(picture, settings, axes, L, caption, N, shown, whole, peak, WaveOf(samples), ref,
                          ref ? WaveOf(*ref->data) : WaveSource{}, extras.cursors);
}

long double DrawSpectrumPlot(Canvas& picture, const PictureSettings& settings, const PlotAxes& axes,
                             const TSignalData& spectrum, int N, const std::string& caption, const PlotSpan& span,
                             const PlotExtras& extras)
{
    const PlotLayout L = LayoutOf(picture, axes, PlotKind::Spectrum);
    const PlotSpan shown = span.Within(N);
    const bool whole = shown.count == N;
    const PlotReference* ref = extras.reference;
    long double peak;
    const SpectrumSource source = SpectrumOf(spectrum, N, peak);
    CheckFinite(peak);
    long double refPeak = 0;
    SpectrumSource refSource{};
    if (ref) {
        // The dB view needs a level to refer to before it looks at the reference.
        if (!settings.db && !(peak > 0)) RaiseDivByZero();
        refSource = SpectrumOf(*ref->data, ref->N, refPeak);
    }
    if (settings.db) {
        if (!(peak > 0)) RaiseDivByZero();
        peak = std::max(peak, CheckFinite(refPeak));
        return DrawDbPlot(picture, settings, axes, L, caption, N, shown, whole, peak, kSpectrumFloorDb, source, ref,
                          refSource, extras.cursors);
    }
    if (ref) peak = std::max(peak, CheckFinite(refPeak));
    return DrawLinearPlot(picture, settings, axes, L, caption, N, shown, whole, peak, source, ref, refSource,
                          extras.cursors);
}

PlotPlace PlaceOfPlot(const Canvas& picture, const PlotAxes& axes, PlotKind plot)
{
    // The frame at the nominal A (a linear plot's own A may differ by the
    // pixel its peak's last bit decides).
    const PlotLayout L = LayoutOf(picture, axes, plot);
    PlotPlace place;
    place.X0 = L.X0;
    place.Wp = L.Wp;
    place.frameTop = L.Y0 - L.A - 10;
    place.frameBottom = plot == PlotKind::Time ? L.Y0 + L.A + 9 : L.Y0 + 9;
    place.bandTop = L.bandTop;
    place.bandBottom = L.bandBottom;
    return place;
}

PlotKind PlotAt(const Canvas& picture, const PlotAxes& axes, int x, int y)
{
    for (const PlotKind plot : {PlotKind::Time, PlotKind::Spectrum}) {
        const PlotPlace p = PlaceOfPlot(picture, axes, plot);
        if (x >= p.X0 && x <= p.X0 + p.Wp && y >= p.frameTop && y <= p.frameBottom) return plot;
    }
    return PlotKind::None;
}

void ClearPlotBand(Canvas& picture, const PictureSettings& settings, PlotKind plot)
{
    if (plot == PlotKind::None) return;
    const PlotPlace p = PlaceOfPlot(picture, PlotAxes{}, plot);
    picture.SetPen(settings.PlotBackColor, 1, picture.Style());
    picture.SetBrushColor(settings.PlotBackColor);
    // The band across the whole bitmap, its larger corner exclusive.
    if (p.bandTop < picture.Height())
        picture.Rectangle(0, p.bandTop, picture.Width(), std::min(p.bandBottom + 1, picture.Height()));
}

}  // namespace sonavir
