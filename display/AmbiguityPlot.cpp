#include "display/AmbiguityPlot.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

#include "display/TickLabels.h"
#include "display/VectorCanvas.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

constexpr int kTick = 4;           // tick marks, pixels outside the frame
constexpr int kLabelGap = 3;       // between a frame and its labels
constexpr TColor kContourColor = kBlack;
constexpr TColor kMarkerColor = kWhite;

// Which points pixel p of a span shows: where the points are denser than
// the pixels, those whose centres fall in it (the largest of them is shown);
// where they are sparser, the two around the pixel's centre and how far it
// lies between them (shown linearly between).
struct Pick {
    bool dense = true;
    long long first = 0, last = 0;  // dense
    long long i0 = 0, i1 = 0;       // sparse
    double f = 0;
};

Pick PickPoints(int p, long long count, int pixels)
{
    Pick k;
    if (count <= 1 || pixels <= 1) return k;
    const long double per = static_cast<long double>(count - 1) / (pixels - 1);
    p = std::clamp(p, 0, pixels - 1);
    if (per < 1) {
        const long double u = p * per;
        k.dense = false;
        k.i0 = std::min(static_cast<long long>(u), count - 1);
        k.i1 = std::min(k.i0 + 1, count - 1);
        k.f = static_cast<double>(u - k.i0);
        return k;
    }
    k.first = std::max(0LL, static_cast<long long>(std::ceil((p - 0.5L) * per)));
    k.last = std::min(count - 1, static_cast<long long>(std::ceil((p + 0.5L) * per)) - 1);
    if (k.first > k.last) k.first = k.last = std::clamp(std::llround(p * per), 0LL, count - 1);
    return k;
}

// The value a pick shows of value(i).
template <typename Value>
double Picked(const Pick& k, Value value)
{
    if (!k.dense) return value(k.i0) + k.f * (value(k.i1) - value(k.i0));
    double best = value(k.first);
    for (long long i = k.first + 1; i <= k.last; ++i) best = std::max(best, value(i));
    return best;
}

double CutLevel(const std::vector<double>& cut, int p, int pixels)
{
    if (cut.empty()) return kAmbiguityFloorDb;
    return Picked(PickPoints(p, static_cast<long long>(cut.size()), pixels),
                  [&](long long i) { return cut[static_cast<std::size_t>(i)]; });
}

// Where a value lies along a span of `pixels` pixels from `from` (evenly
// from lo at the first pixel's centre to hi at the last one's).
double PixelAt(long double value, long double lo, long double hi, int from, int pixels)
{
    if (!(hi > lo)) return from + pixels / 2.0;
    return from + 0.5 + static_cast<double>((value - lo) / (hi - lo)) * (pixels - 1);
}

long double ValueAtPixel(int p, long double lo, long double hi, int pixels)
{
    if (pixels <= 1) return (lo + hi) / 2;
    return lo + (hi - lo) * p / (pixels - 1);
}

// Round values for an axis from lo to hi: steps of 1, 2 or 5 times a power
// of ten, about `count` of them.
std::vector<long double> NiceTicks(long double lo, long double hi, int count)
{
    if (!(hi > lo)) return {lo};
    const long double rough = (hi - lo) / count;
    const long double power = std::pow(10.0L, std::floor(std::log10(rough)));
    long double step = power;
    for (const long double m : {1.0L, 2.0L, 5.0L, 10.0L})
        if (m * power >= rough) {
            step = m * power;
            break;
        }
    std::vector<long double> ticks;
    for (long double k = std::ceil(lo / step - 1e-9L); k * step <= hi + step * 1e-9L; k += 1)
        ticks.push_back(std::fabs(k) < 1e-9L ? 0 : k * step);
    return ticks;
}

class Drawer {
public:
    Drawer(VectorCanvas& c, const PictureSettings& s, const AmbiguityPlotData& d)
        : c_(c), fore_(s.PlotForeColor), back_(s.PlotBackColor), d_(d),
          layout_(LayoutAmbiguity(c.Width(), c.Height()))
    {
    }

    void Draw()
    {
        c_.Fill(back_);
        c_.SetBrushColor(back_);
        c_.SetFontColor(fore_);
        c_.TextOut(6, layout_.titleY, d_.title);
        Map();
        Bar();
        const QRect& dc = layout_.delayCut;
        Cut(dc, d_.delayCut, "при нулевом доплеровском сдвиге");
        TimeAxis(dc);
        const QRect& fc = layout_.dopplerCut;
        Cut(fc, d_.dopplerCut, "при нулевой задержке");
        BottomAxis(fc, d_.dopplerLow, d_.dopplerHigh, 1, "доплер, Гц");
        Text();
    }

private:
    void Frame(const QRect& r)
    {
        c_.SetPen(fore_);
        c_.SetBrushColor(back_);
        c_.MoveTo(r.left() - 1, r.top() - 1);
        c_.LineTo(r.right() + 1, r.top() - 1);
        c_.LineTo(r.right() + 1, r.bottom() + 1);
        c_.LineTo(r.left() - 1, r.bottom() + 1);
        c_.LineTo(r.left() - 1, r.top() - 1);
    }

    // Ticks and labels under a plot for values lo .. hi shown in `unit`
    // (scale: the unit per second or hertz), the caption at the right end.
    void BottomAxis(const QRect& r, long double lo, long double hi, long double scale, const char* caption)
    {
        const int y = r.bottom() + 2 + kLabelGap;
        const int captionWidth = c_.TextWidth(caption);
        c_.TextOut(r.right() + 1 - captionWidth, y, caption);
        std::vector<int> xs;
        std::vector<std::string> labels;
        c_.SetPen(fore_);
        for (const long double v : NiceTicks(lo * scale, hi * scale, std::max(2, r.width() / 90))) {
            const int x = static_cast<int>(std::floor(PixelAt(v / scale, lo, hi, r.left(), r.width())));
            c_.MoveTo(x, r.bottom() + 2);
            c_.LineTo(x, r.bottom() + 2 + kTick);
            const std::string label = FormatPicture(v);
            if (x + c_.TextWidth(label) / 2 + 8 >= r.right() + 1 - captionWidth) continue;
            xs.push_back(x);
            labels.push_back(label);
        }
        c_.SetBrushColor(back_);
        DrawLabelsCentred(c_, xs, labels, y + kTick);
    }

    void TimeAxis(const QRect& r) { BottomAxis(r, d_.delayLow, d_.delayHigh, 1000, "задержка, мс"); }

    // Ticks and labels left of a plot.
    void LeftAxis(const QRect& r, long double lo, long double hi, int count, const char* caption)
    {
        std::vector<int> ys;
        std::vector<std::string> labels;
        c_.SetPen(fore_);
        for (const long double v : NiceTicks(lo, hi, count)) {
            const int y = static_cast<int>(std::floor(PixelAt(hi - (v - lo), lo, hi, r.top(), r.height())));
            c_.MoveTo(r.left() - 2, y);
            c_.LineTo(r.left() - 2 - kTick, y);
            ys.push_back(y);
            labels.push_back(FormatPicture(v));
        }
        c_.SetBrushColor(back_);
        DrawLabelsLeftOf(c_, r.left() - 3 - kTick, ys, labels, c_.TextHeight() / 2);
        c_.TextOut(4, r.top() - c_.TextHeight() - 4, caption);
    }

    void Map()
    {
        const QRect& m = layout_.map;
        if (d_.rows > 0 && d_.columns > 0) {
            QImage image(m.width(), m.height(), QImage::Format_RGB32);
            for (int y = 0; y < m.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < m.width(); ++x) {
                    const TColor c = AmbiguityColor(MapLevelAt(d_, m, m.left() + x, m.top() + y));
                    line[x] = qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
                }
            }
            c_.DrawImage(m, image);
            c_.Segments(Contour(), kContourColor);
            Marker();
        }
        Frame(m);
        TimeAxis(m);
        LeftAxis(m, d_.dopplerLow, d_.dopplerHigh, std::max(2, m.height() / 45), "доплер, Гц");
    }

    // The -3 dB contour by marching squares between the cells' centres.
    std::vector<QLineF> Contour() const
    {
        std::vector<QLineF> lines;
        const QRect& m = layout_.map;
        const int R = d_.rows, C = d_.columns;
        if (R < 2 || C < 2) return lines;
        const double level = kAmbiguityContourDb;
        const auto px = [&](double j) { return m.left() + j * (m.width() - 1) / (C - 1) + 0.5; };
        const auto py = [&](double i) { return m.top() + (R - 1 - i) * (m.height() - 1) / (R - 1) + 0.5; };
        for (int i = 0; i + 1 < R; ++i)
            for (int j = 0; j + 1 < C; ++j) {
                // Corners counter-clockwise from (i, j): values and places.
                const double v[4] = {d_.At(i, j), d_.At(i, j + 1), d_.At(i + 1, j + 1), d_.At(i + 1, j)};
                const double ci[4] = {double(i), double(i), double(i + 1), double(i + 1)};
                const double cj[4] = {double(j), double(j + 1), double(j + 1), double(j)};
                int mask = 0;
                for (int k = 0; k < 4; ++k) mask |= (v[k] >= level) << k;
                if (mask == 0 || mask == 15) continue;
                // The crossings on the four edges k -> k+1.
                QPointF cross[4];
                bool has[4] = {};
                for (int k = 0; k < 4; ++k) {
                    const int n = (k + 1) % 4;
                    if ((v[k] >= level) == (v[n] >= level)) continue;
                    const double t = (level - v[k]) / (v[n] - v[k]);
                    cross[k] = QPointF(px(cj[k] + t * (cj[n] - cj[k])), py(ci[k] + t * (ci[n] - ci[k])));
                    has[k] = true;
                }
                std::vector<QPointF> points;
                for (int k = 0; k < 4; ++k)
                    if (has[k]) points.push_back(cross[k]);
                if (points.size() == 2) {
                    lines.emplace_back(points[0], points[1]);
                } else if (points.size() == 4) {
                    // A saddle: the centre's value tells which corners join.
                    const bool centreIn = (v[0] + v[1] + v[2] + v[3]) / 4 >= level;
                    const bool firstIn = v[0] >= level;
                    if (centreIn == firstIn) {
                        lines.emplace_back(cross[0], cross[1]);
                        lines.emplace_back(cross[2], cross[3]);
                    } else {
                        lines.emplace_back(cross[3], cross[0]);
                        lines.emplace_back(cross[1], cross[2]);
                    }
                }
            }
        return lines;
    }

    void Marker()
    {
        if (!d_.marker) return;
        const QRect& m = layout_.map;
        const double x = PixelAt((*d_.marker)[0], d_.delayLow, d_.delayHigh, m.left(), m.width());
        const double y = PixelAt(d_.dopplerHigh - ((*d_.marker)[1] - d_.dopplerLow), d_.dopplerLow, d_.dopplerHigh,
                                 m.top(), m.height());
        const double r = 9, g = 3;
        // A cross with a gap at its centre, outlined so it shows on any colour.
        std::vector<QLineF> arms = {{x - r, y, x - g, y}, {x + g, y, x + r, y}, {x, y - r, x, y - g},
                                    {x, y + g, x, y + r}};
        std::vector<QLineF> outline;
        for (const QLineF& a : arms)
            for (const double o : {-1.0, 1.0})
                outline.push_back(a.dy() == 0 ? a.translated(0, o) : a.translated(o, 0));
        c_.Segments(outline, kBlack);
        c_.Segments(arms, kMarkerColor);
    }

    void Bar()
    {
        const QRect& b = layout_.bar;
        QImage image(1, b.height(), QImage::Format_RGB32);
        for (int y = 0; y < b.height(); ++y) {
            const double db = kAmbiguityFloorDb * y / std::max(1, b.height() - 1);
            const TColor c = AmbiguityColor(db);
            image.setPixel(0, y, qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)));
        }
        c_.DrawImage(b, image);
        Frame(b);
        std::vector<int> ys;
        std::vector<std::string> labels;
        c_.SetPen(fore_);
        for (int db = 0; db >= kAmbiguityFloorDb; db -= 10) {
            const int y = static_cast<int>(std::floor(PixelAt(-db, 0, -kAmbiguityFloorDb, b.top(), b.height())));
            c_.MoveTo(b.right() + 2, y);
            c_.LineTo(b.right() + 2 + kTick, y);
            ys.push_back(y);
            labels.push_back(FormatPicture(db));
        }
        // The -3 dB of the contour, beside the bar.
        const int y3 = static_cast<int>(std::floor(PixelAt(3, 0, -kAmbiguityFloorDb, b.top(), b.height())));
        c_.Segments({QLineF(b.left() - 0.5, y3 + 0.5, b.right() + 1.5, y3 + 0.5)}, kContourColor);
        c_.SetBrushColor(back_);
        const int h = c_.TextHeight();
        for (std::size_t k = 0; k < ys.size(); ++k) c_.TextOut(b.right() + 4 + kTick, ys[k] - h / 2, labels[k]);
        c_.TextOut(b.left(), b.top() - h - 4, "дБ");
    }

    void Cut(const QRect& r, const std::vector<double>& cut, const char* caption)
    {
        Frame(r);
        LeftAxis(r, kAmbiguityFloorDb, 0, 4, "дБ");
        c_.SetBrushColor(back_);
        c_.TextOut(r.left() + 6, r.top() + 3, caption);
        if (cut.empty()) return;
        c_.SetPen(fore_);
        c_.SetClip(r.left(), r.top(), r.right(), r.bottom());
        const auto yOf = [&](double db) {
            return static_cast<int>(std::floor(PixelAt(-db, 0, -kAmbiguityFloorDb, r.top(), r.height())));
        };
        for (int x = 0; x < r.width(); ++x) {
            const int y = yOf(CutLevel(cut, x, r.width()));
            if (x == 0)
                c_.MoveTo(r.left(), y);
            else
                c_.LineTo(r.left() + x, y);
        }
        c_.LineTo(r.right() + 1, c_.PenY());
        c_.ClearClip();
    }

    void Text()
    {
        const QRect& t = layout_.text;
        c_.SetBrushColor(back_);
        c_.SetFontColor(fore_);
        c_.SetClip(t.left(), t.top(), t.right(), t.bottom());
        int y = t.top();
        for (const std::string& line : d_.lines) {
            c_.TextOut(t.left(), y, line);
            y += c_.TextHeight() + 3;
        }
        c_.ClearClip();
    }

    VectorCanvas& c_;
    TColor fore_, back_;
    const AmbiguityPlotData& d_;
    AmbiguityLayout layout_;
};

}  // namespace

AmbiguityLayout LayoutAmbiguity(int width, int height)
{
    const int W = std::max(width, kAmbiguityMinWidth), H = std::max(height, kAmbiguityMinHeight);
    AmbiguityLayout l;
    l.titleY = 4;
    const int left = 72, right = 260, top = 44, bottom = 36, between = 40;
    const int mapWidth = W - left - right;
    const int plots = H - top - bottom - 2 * between;
    const int mapHeight = plots / 2, cutHeight = (plots - mapHeight) / 2;
    l.map = QRect(left, top, mapWidth, mapHeight);
    l.bar = QRect(l.map.right() + 22, top, 14, mapHeight);
    l.delayCut = QRect(left, l.map.bottom() + 1 + between, mapWidth, cutHeight);
    l.dopplerCut = QRect(left, l.delayCut.bottom() + 1 + between, mapWidth, cutHeight);
    const int textLeft = l.map.right() + 22;
    l.text = QRect(textLeft, l.delayCut.top(), W - textLeft - 6, l.dopplerCut.bottom() - l.delayCut.top() + 1);
    return l;
}

long double DelayAtPixel(const AmbiguityPlotData& d, const QRect& map, int x)
{
    return ValueAtPixel(x - map.left(), d.delayLow, d.delayHigh, map.width());
}

long double DopplerAtPixel(const AmbiguityPlotData& d, const QRect& map, int y)
{
    return ValueAtPixel(map.bottom() - y, d.dopplerLow, d.dopplerHigh, map.height());
}

long double DopplerCutAtPixel(const AmbiguityPlotData& d, const QRect& cut, int x)
{
    return ValueAtPixel(x - cut.left(), d.dopplerLow, d.dopplerHigh, cut.width());
}

double MapLevelAt(const AmbiguityPlotData& d, const QRect& map, int x, int y)
{
    if (d.rows == 0 || d.columns == 0) return kAmbiguityFloorDb;
    const Pick cols = PickPoints(x - map.left(), d.columns, map.width());
    const Pick rows = PickPoints(map.bottom() - y, d.rows, map.height());
    return Picked(rows, [&](long long i) {
        return Picked(cols, [&](long long j) { return d.At(static_cast<int>(i), static_cast<int>(j)); });
    });
}

double DelayCutLevelAt(const AmbiguityPlotData& d, const QRect& cut, int x)
{
    return CutLevel(d.delayCut, x - cut.left(), cut.width());
}

double DopplerCutLevelAt(const AmbiguityPlotData& d, const QRect& cut, int x)
{
    return CutLevel(d.dopplerCut, x - cut.left(), cut.width());
}

TColor AmbiguityColor(double db)
{
    // A dark-to-light ramp through blue, teal and green to yellow, whose
    // lightness rises steadily, so that it reads in grey too.
    static constexpr int kStops[5][3] = {{48, 18, 59}, {40, 90, 160}, {32, 150, 140}, {110, 200, 90}, {250, 230, 40}};
    double t = std::clamp((db - kAmbiguityFloorDb) / -kAmbiguityFloorDb, 0.0, 1.0) * 4;
    const int k = std::min(3, static_cast<int>(t));
    const double f = t - k;
    int c[3];
    for (int i = 0; i < 3; ++i) c[i] = static_cast<int>(std::lround(kStops[k][i] + f * (kStops[k + 1][i] - kStops[k][i])));
    return TColor(c[0]) | (TColor(c[1]) << 8) | (TColor(c[2]) << 16);
}

void DrawAmbiguity(VectorCanvas& canvas, const PictureSettings& settings, const AmbiguityPlotData& d)
{
    Drawer(canvas, settings, d).Draw();
}

QImage AmbiguityImage(const AmbiguityPlotData& d, const PictureSettings& settings, int width, int height)
{
    return CanvasBitmap(width, height, [&](VectorCanvas& c) { DrawAmbiguity(c, settings, d); });
}

void WriteAmbiguityPicture(const AmbiguityPlotData& d, const PictureSettings& settings, int width, int height,
                           PictureFormat format, OutputFile& file)
{
    WriteCanvasDrawing(width, height, format, file, [&](VectorCanvas& c) { DrawAmbiguity(c, settings, d); });
}

}  // namespace sonavir
