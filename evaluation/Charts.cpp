#include "evaluation/Charts.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "display/PictureSizing.h"
#include "display/Plotter.h"
#include "display/TickLabels.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

// trunc toward zero into a pixel coordinate; values far outside any bitmap
// are held where no visible pixel changes.
int Trunc(long double v)
{
    if (std::isnan(v)) RaiseInvalidOp();
    if (v > 1e9L) return 1000000000;
    if (v < -1e9L) return -1000000000;
    return static_cast<int>(v);
}

struct ChartFrame {
    int X0, Wp, Y0, T, n;
    long double Hv, xstep;

    int PointX(long double i) const { return X0 + Trunc(i * xstep); }
    int ValueY(long double v) const { return Y0 - Trunc(v * Hv); }
    bool InRange(int x) const { return x >= 0 && x <= X0 + Wp; }
};

std::string Cell(const EvaluationState& eval, int row, int col)
{
    if (row < 0 || row >= int(eval.series.size())) return {};
    const auto& cells = eval.series[size_t(row)];
    return col >= 0 && col < int(cells.size()) ? cells[size_t(col)] : std::string();
}

std::string PointLabel(const EvaluationState& eval, int j)
{
    switch (eval.propagationItem) {
    case 0: return Cell(eval, 1, j);
    case 1: return Cell(eval, 2, j);
    default: return Cell(eval, 1, j) + " и " + Cell(eval, 2, j);
    }
}

std::string Unit(const EvaluationState& eval)
{
    switch (eval.propagationItem) {
    case 0: return "км";
    case 1: return "м";
    default: return "км и м";
    }
}

// The geometry follows the bitmap but never goes below the smallest picture
// (a smaller bitmap shows the top-left part of such a chart). The frame's top
// follows the largest value up to the top tick, labelled 1; the curves of
// larger values are clipped at the frame, which with the ticks and the
// legend stays in the picture.
ChartFrame MakeFrame(const Canvas& picture, int n, long double M, int imageLeft)
{
    const int W = std::max(picture.Width(), kMinPictureWidth);
    const int H = std::max(picture.Height(), kMinPictureHeight);
    ChartFrame f{};
    f.n = n;
    f.X0 = 50 + imageLeft;
    f.Wp = W - 75;
    f.Y0 = H - 45;
    f.Hv = H - 90;
    f.xstep = CheckedDiv(f.Wp, n >= 1 ? n - 1 : 0);  // fewer than two points cannot be spread
    f.T = Trunc(f.Hv * std::min(M, 1.0L));
    return f;
}

// Frame, point ticks and labels, value ticks and labels and the axis name;
// `legend` runs between the frame and the ticks.
template <typename Legend>
void DrawAxes(Canvas& picture, const PictureSettings& settings, const EvaluationState& eval,
              const ChartFrame& f, Legend legend)
{
    picture.SetBrushColor(settings.PlotBackColor);
    picture.SetPen(settings.PlotForeColor, 1, PenStyle::Solid);
    picture.SetFontColor(settings.PlotForeColor);
    picture.Rectangle(f.X0, f.Y0 + 7, f.X0 + f.Wp + 1, f.Y0 - f.T - 7);
    legend();
    std::vector<int> xs;
    std::vector<std::string> labels;
    for (int j = 1; j <= f.n; ++j) {
        const int x = f.PointX(j - 1);
        DrawLine(picture, x, f.Y0 - f.T - 2, x, f.Y0 - f.T - 7);
        DrawLine(picture, x, f.Y0 + 2, x, f.Y0 + 7);
        xs.push_back(x);
        labels.push_back(PointLabel(eval, j));
    }
    DrawLabelsCentred(picture, xs, labels, f.Y0 + 15);
    std::vector<int> ys;
    labels.clear();
    for (int k = 0; k <= 10; ++k) {
        const int y = f.Y0 - Trunc(k * f.Hv / 10);
        DrawLine(picture, f.X0, y, f.X0 + 5, y);
        DrawLine(picture, f.X0 + f.Wp, y, f.X0 + f.Wp - 5, y);
        ys.push_back(y);
        labels.push_back(FormatPicture(k * 0.1L));
    }
    DrawLabelsLeftOf(picture, f.X0 - 6, ys, labels, 6);
    const std::string axis = "Глубина, " + Unit(eval);
    picture.TextOut(f.X0 + f.Wp - picture.TextWidth(axis), f.Y0 + 28, axis);
}

// One curve over the n points, values taken by index from `value`, clipped
// to the inside of the frame (its left and right edges, where the first and
// last points lie, included).
template <typename Value>
void DrawCurve(Canvas& picture, const ChartFrame& f, Value value)
{
    picture.SetClip(f.X0, f.Y0 - f.T - 6, f.X0 + f.Wp, f.Y0 + 5);
    picture.MoveTo(f.X0, f.ValueY(value(0)));
    for (int i = 1; i < f.n; ++i) {
        const int x = f.PointX(i);
        if (f.InRange(x)) picture.LineTo(x, f.ValueY(value(i)));
    }
    picture.ClearClip();
}

}  // namespace

void DrawMatchedFilterChart(Canvas& picture, const PictureSettings& settings,
                            const EvaluationState& eval, const std::vector<long double>& values,
                            int lastIndex, int imageLeft)
{
    // Never read past what the run delivered, whatever the window shows now.
    const int count = std::min<long long>(lastIndex + 1LL, (long long)values.size());
    const int n = std::min(eval.pointCount, count / 2);
    long double M = values.empty() ? 0 : values[0];
    for (int i = 1; i < 2 * n; ++i)
        if (values[size_t(i)] > M) M = values[size_t(i)];
    const ChartFrame f = MakeFrame(picture, n, M, imageLeft);

    DrawAxes(picture, settings, eval, f, [] {});
    picture.SetPenStyle(PenStyle::Dot);
    DrawCurve(picture, f, [&](int i) { return values[size_t(i)]; });
    picture.SetPenStyle(PenStyle::Solid);
    DrawCurve(picture, f, [&](int i) { return values[size_t(n + i)]; });
}

void DrawEnergyRatioChart(Canvas& picture, const PictureSettings& settings,
                          const EvaluationState& eval, const DoubleArray& values, int imageLeft)
{
    int n = eval.pointCount;
    if (values.size() < 3) n = 0;
    for (size_t s = 0; s < 3 && s < values.size(); ++s) n = std::min(n, int(values[s].size()));
    long double M = n > 0 ? values[0][0] : 0;
    for (int s = 0; s < 3 && n > 0; ++s)
        for (int i = 0; i < n; ++i)
            if (values[size_t(s)][size_t(i)] > M) M = values[size_t(s)][size_t(i)];
    const ChartFrame f = MakeFrame(picture, n, M, imageLeft);

    const int Yt = f.Y0 - f.T;
    const int lineX1 = f.X0 + f.Wp - 190, lineX2 = f.X0 + f.Wp - 150, textX = f.X0 + f.Wp - 140;
    DrawAxes(picture, settings, eval, f, [&] {
        DrawLine(picture, lineX1, Yt + 9, lineX2, Yt + 9);
        picture.SetPenStyle(PenStyle::Dot);
        DrawLine(picture, lineX1, Yt + 24, lineX2, Yt + 24);
        picture.SetPenStyle(PenStyle::Dash);
        DrawLine(picture, lineX1, Yt + 39, lineX2, Yt + 39);
        picture.SetPenStyle(PenStyle::Solid);
        picture.TextOut(textX, Yt + 1, "Радиоимпульс");
        picture.TextOut(textX, Yt + 16, "ЛЧМ сигнал");
        picture.TextOut(textX, Yt + 31, "Сигнал с кодом Баркера");
    });
    const PenStyle styles[3] = {PenStyle::Solid, PenStyle::Dot, PenStyle::Dash};
    for (int s = 0; s < 3; ++s) {
        picture.SetPenStyle(styles[s]);
        DrawCurve(picture, f, [&](int i) { return values[size_t(s)][size_t(i)]; });
    }
    picture.SetPenStyle(PenStyle::Solid);
}

}  // namespace sonavir
