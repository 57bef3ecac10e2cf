#include "display/PlotSpan.h"

#include <algorithm>
#include <cmath>

#include "signal/NumberText.h"

namespace sonavir {

long double PointAxis::At(long double i) const
{
    if (kind == Kind::Time) return t0 == 0 ? i * Dt : t0 + i * Dt;
    return i / (static_cast<long double>(2LL * N) * Dt);
}

long double PointAxis::IndexOf(long double position) const
{
    if (!(Dt > 0)) return 0;
    if (kind == Kind::Time) return (position - t0) / Dt;
    return position * (static_cast<long double>(2LL * N) * Dt);
}

PlotSpan PlotSpan::Within(long long total) const
{
    if (total <= 0) return {0, 0};
    if (count <= 0 || (first <= 0 && first + count >= total)) return {0, total};
    const long long f = std::clamp(first, 0LL, total - 1);
    return {f, std::min(count, total - f)};
}

namespace {

// A rounded estimate of a point index, held to lo .. hi (NaN to lo).
long long HeldIndex(long double v, long long lo, long long hi)
{
    if (!(v >= static_cast<long double>(lo))) return lo;
    if (v >= static_cast<long double>(hi)) return hi;
    return static_cast<long long>(v);
}

}  // namespace

PlotRange ClampRange(const PointAxis& axis, PlotRange range)
{
    const long long total = axis.Count();
    if (total <= 0) return range;
    const long double lo = axis.At(0), hi = axis.At(static_cast<long double>(total - 1));
    return {std::clamp(range.from, lo, hi), std::clamp(range.to, lo, hi)};
}

PlotSpan PointsWithin(const PointAxis& axis, PlotRange range)
{
    const long long total = axis.Count();
    if (total <= 0) return {0, 0};
    // The inverse gives the ends to within a point; the positions themselves,
    // worked exactly as a reader of the run would (m·Dt, k/(2N·Dt)), decide.
    auto at = [&](long long i) { return axis.At(static_cast<long double>(i)); };
    long long first = HeldIndex(std::ceil(axis.IndexOf(range.from)), 0, total);
    while (first > 0 && at(first - 1) >= range.from) --first;
    while (first < total && at(first) < range.from) ++first;
    long long last = HeldIndex(std::floor(axis.IndexOf(range.to)), -1, total - 1);
    while (last + 1 < total && at(last + 1) <= range.to) ++last;
    while (last >= 0 && at(last) > range.to) --last;
    return {first, std::max(0LL, last - first + 1)};
}

PlotSpan PlotPoints(const PointAxis& axis, PlotRange range)
{
    const long long total = axis.Count();
    if (total <= 2) return {0, total};
    const PlotSpan within = PointsWithin(axis, range);
    if (within.count >= 2) return within.Within(total);
    // The segment across the range: the point before it and the one after.
    return PlotSpan{std::clamp(within.first - 1, 0LL, total - 2), 2}.Within(total);
}

long double PointAtColumn(const PlotSpan& span, int X0, int Wp, int x)
{
    if (Wp <= 0) return static_cast<long double>(span.first);
    const long long c = std::clamp<long long>(x, X0, static_cast<long long>(X0) + Wp) - X0;
    return static_cast<long double>(span.first) +
           static_cast<long double>(c) * static_cast<long double>(span.count) / Wp;
}

PlotSpan PointsInColumn(const PlotSpan& span, int X0, int Wp, int x)
{
    const long long c = static_cast<long long>(x) - X0;
    if (Wp <= 0 || c < 0 || c >= Wp || span.count <= 0) return {span.first, 0};
    // Point j lies in column c when c·count <= j·Wp < (c + 1)·count.
    const long long a = (c * span.count + Wp - 1) / Wp;
    const long long b = std::min(((c + 1) * span.count + Wp - 1) / Wp, span.count);
    return {span.first + a, std::max(0LL, b - a)};
}

long long NearestPoint(const PlotSpan& span, int X0, int Wp, int x)
{
    const long double j = std::floor(PointAtColumn(span, X0, Wp, x) - span.first + 0.5L);
    return span.first + HeldIndex(j, 0, std::max(0LL, span.count - 1));
}

PlotRange RangeOfColumns(const PointAxis& axis, const PlotSpan& span, int X0, int Wp, int x1, int x2)
{
    if (x2 < x1) std::swap(x1, x2);
    return {axis.At(PointAtColumn(span, X0, Wp, x1)), axis.At(PointAtColumn(span, X0, Wp, x2))};
}

ForeignPoints ForeignPoints::On(const PointAxis& record, const PointAxis& plot)
{
    ForeignPoints points;
    points.count = record.Count();
    const long double step = plot.At(1) - plot.At(0);
    points.ratio = step > 0 ? (record.At(1) - record.At(0)) / step : 0;
    if (step > 0 && record.At(0) != plot.At(0)) points.offset = (record.At(0) - plot.At(0)) / step;
    return points;
}

long double ForeignPoints::Column(const PlotSpan& span, int Wp, long long i) const
{
    return ((long double)i * ratio + offset - (long double)span.first) * Wp / span.count;
}

long long ForeignPoints::FirstFrom(const PlotSpan& span, int Wp, long long c) const
{
    if (!(ratio > 0) || !std::isfinite(ratio) || Wp <= 0 || span.count <= 0) return count;
    auto from = [&](long long i) { return Column(span, Wp, i) >= (long double)c; };
    const long double guess =
        std::ceil(((long double)span.first + (long double)c * span.count / Wp - offset) / ratio);
    long long i = HeldIndex(guess, 0, count);
    while (i > 0 && from(i - 1)) --i;
    while (i < count && !from(i)) ++i;
    return i;
}

PlotSpan ForeignPoints::InColumn(const PlotSpan& span, int X0, int Wp, int x) const
{
    const long long c = static_cast<long long>(x) - X0;
    if (c < 0 || c >= Wp) return {0, 0};
    const long long a = FirstFrom(span, Wp, c);
    return {a, std::max(0LL, FirstFrom(span, Wp, c + 1) - a)};
}

long long ForeignPoints::Nearest(long double at) const
{
    if (!(ratio > 0) || !std::isfinite(ratio) || count <= 0) return -1;
    const long double i = std::floor((at - offset) / ratio + 0.5L);
    if (!(i >= 0) || i > count - 1) return -1;
    return static_cast<long long>(i);
}

namespace {

// The general format with p digits, but with every whole digit of a value
// from 1 on (the exponent form only for what the digits cannot show).
std::string NumberText(long double v, int p)
{
    std::string text = FormatGeneral(v, p);
    if (std::fabs(v) >= 1 && text.find('E') != std::string::npos) text = FormatGeneral(v, p + 1);
    return text;
}

int WholeDigits(long double v)
{
    const long double a = std::fabs(v);
    if (!(a >= 1) || !std::isfinite(a)) return 0;
    return static_cast<int>(std::floor(std::log10(a))) + 1;
}

}  // namespace

std::vector<std::string> DistinctNumberTexts(const std::vector<long double>& values, int minDigits)
{
    std::vector<std::string> texts(values.size());
    constexpr int kMostDigits = 18;  // what the extended type carries
    for (int extra = 0;; ++extra) {
        bool apart = true;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int p = std::min(kMostDigits, std::max(minDigits, WholeDigits(values[i])) + extra);
            texts[i] = NumberText(values[i], p);
            if (i > 0 && texts[i] == texts[i - 1] && values[i] != values[i - 1]) apart = false;
        }
        if (apart || minDigits + extra >= kMostDigits) return texts;
    }
}

}  // namespace sonavir
