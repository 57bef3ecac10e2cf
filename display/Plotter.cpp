#include "display/Plotter.h"

#include <algorithm>
#include <cmath>

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

void PrepareSurface(Picture& picture, const PictureSettings& settings)
{
    picture.SetPen(settings.PlotForeColor, 1, picture.Style());
    picture.SetBrushColor(settings.PlotBackColor);
    picture.SetFontColor(settings.PlotForeColor);
}

double Modulus(double re, double im) { return std::sqrt(re * re + im * im); }

}  // namespace

ColumnPolyline::ColumnPolyline(Picture& picture, int x, int y)
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

void DrawLine(Picture& picture, int x1, int y1, int x2, int y2)
{
    picture.MoveTo(x1, y1);
    picture.LineTo(x2, y2);
}

void DrawTimePlot(Picture& picture, const PictureSettings& settings, const PlotAxes& axes,
                  const TSignalData& samples, int N, const std::string& caption)
{
    const int W = picture.Width(), H = picture.Height();
    const int X0 = 50 + axes.imageLeft;
    const int Wp = W - 75;
    const double* row0 = samples[0].data();
    const double* row1 = samples[1].data();

    double peak = 0;
    for (int i = 0; i < N; ++i) peak = std::max({peak, std::fabs(row0[i]), std::fabs(row1[i])});
    CheckFinite(peak);
    // Per-point products in double: the frame's A and the curve come from the
    // same ky, so the peak sample lands exactly on the frame's A.
    const double ky = double(CheckFinite(double(CheckedDiv((H - 150) / 4.0L, peak))));
    const int Y0 = H / 4 - 10;
    const int A = Trunc(ky * peak);
    const Counts c = CountsOf(settings);
    const long double sx = (long double)Wp / c.NT;
    const long double st = (long double)N * axes.Dt * 2 / c.NT;
    const long double sy = ((long double)ky * peak * 2) / c.NA;
    const long double sa = 2.0L / c.NA;

    PrepareSurface(picture, settings);
    if (settings.scale) {
        picture.Rectangle(X0, Y0 - A - 10, X0 + Wp + 1, Y0 + A + 10);
        if (settings.tc) {
            for (int k = 0; k <= c.NT; ++k) {
                const int x = X0 + Trunc(k * sx);
                DrawLine(picture, x, Y0 + A + 5, x, Y0 + A + 10);
                DrawLine(picture, x, Y0 - A - 5, x, Y0 - A - 10);
                const std::string label = FormatPicture(k * st);
                picture.TextOut(x - picture.TextWidth(label) / 2, Y0 + A + 15, label);
            }
        }
        if (settings.amplitude) {
            for (int k = 0; k <= c.NA; ++k) {
                const int y = Y0 - A + Trunc(k * sy);
                DrawLine(picture, X0, y, X0 + 5, y);
                DrawLine(picture, X0 + Wp, y, X0 + Wp - 5, y);
                const std::string label = FormatPicture((c.NA * sa) / 2 - k * sa);
                picture.TextOut(X0 - picture.TextWidth(label) - 6, y - 4, label);
            }
        }
        picture.TextOut(X0 - picture.TextWidth(caption) - 6, Y0 - A - 20, caption);
        const std::string axis = "t, с";
        picture.TextOut(X0 + Wp - picture.TextWidth(axis), Y0 + A + 28, axis);
    }

    const PointColumns columns{Wp, 2LL * N};
    const long long xMax = (long long)X0 + Wp;
    ColumnPolyline line(picture, X0, Y0 - int(ky * row0[0]));
    for (long long m = 1; m < 2LL * N; ++m) {
        const long long x = X0 + columns.At(m);
        if (x < 0 || x > xMax) continue;
        const double v = (m & 1) ? row1[m >> 1] : row0[m >> 1];
        line.LineTo(int(x), Y0 - int(ky * v));
    }
}

void DrawSpectrumPlot(Picture& picture, const PictureSettings& settings, const PlotAxes& axes,
                      const TSignalData& spectrum, int N, const std::string& caption)
{
    const int W = picture.Width(), H = picture.Height();
    const int X0 = 50 + axes.imageLeft;
    const int Wp = W - 75;
    const double* re = spectrum[0].data();
    const double* im = spectrum[1].data();

    double peak = 0;
    for (int k = 0; k < N; ++k) peak = std::max(peak, Modulus(re[k], im[k]));
    CheckFinite(peak);
    const double ky = double(CheckFinite(double(CheckedDiv((H - 150) / 2.0L, peak))));
    const int Y0 = H - 50;
    const int A = Trunc(ky * peak);
    const Counts c = CountsOf(settings);
    const long double sx = (long double)(Wp - 1) / c.NF;
    const long double sf = ((long double)axes.KofDiscret * axes.Fmax / 2) / c.NF;
    const long double sy = (long double)A / c.NA;
    const long double sa = 1.0L / c.NA;

    PrepareSurface(picture, settings);
    if (settings.scale) {
        picture.Rectangle(X0, Y0 + 10, X0 + Wp, Y0 - A - 10);
        if (settings.f) {
            const std::string zero = "0";
            picture.TextOut(X0 - picture.TextWidth(zero) / 2, Y0 + 15, zero);
            for (int k = 1; k <= c.NF; ++k) {
                const int x = X0 + Trunc(k * sx);
                DrawLine(picture, x, Y0 - A - 10, x, Y0 - A - 5);
                DrawLine(picture, x, Y0 + 9, x, Y0 + 4);
                const long double hz = std::clamp(std::trunc(k * sf), -9.0e18L, 9.0e18L);
                const std::string label = std::to_string(static_cast<long long>(hz));
                picture.TextOut(x - picture.TextWidth(label) / 2, Y0 + 15, label);
            }
        }
        if (settings.amplitude) {
            for (int k = 0; k <= c.NA; ++k) {
                const int y = Y0 - A + Trunc(k * sy);
                DrawLine(picture, X0, y, X0 + 5, y);
                DrawLine(picture, X0 + Wp - 1, y, X0 + Wp - 6, y);
                const std::string label = FormatPicture((c.NA - k) * sa);
                picture.TextOut(X0 - picture.TextWidth(label) - 6, y - 6, label);
            }
        }
        picture.TextOut(X0 - picture.TextWidth(caption) - 6, Y0 - A - 20, caption);
        const std::string axis = "f, Гц";
        picture.TextOut(X0 + Wp - picture.TextWidth(axis), Y0 + 28, axis);
    }

    const PointColumns columns{Wp, N};
    const long long xMax = (long long)X0 + Wp;
    ColumnPolyline line(picture, X0, Y0 - int(ky * Modulus(re[0], im[0])));
    for (long long k = 1; k < N; ++k) {
        const long long x = X0 + columns.At(k);
        if (x < 0 || x > xMax) continue;
        line.LineTo(int(x), Y0 - int(ky * Modulus(re[k], im[k])));
    }
}

}  // namespace sonavir
