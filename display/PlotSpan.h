#pragma once
// The part of a plot that is shown. A zoom is kept as a range of time or
// frequency, so that it outlives the run it was chosen on; each drawing turns
// it into the run's points that fall in it, and a point of the picture back
// into a point of the run or a time or frequency. Plain arithmetic, tested on
// its own; the plotter, the model run, the readout and the command line share
// it.

#include <string>
#include <vector>

namespace sonavir {

// A range along a plot's axis, ends included: seconds or hertz.
struct PlotRange {
    long double from = 0;
    long double to = 0;
    bool operator==(const PlotRange&) const = default;
};

// Where a plot's points lie along its axis: waveform sample m at t0 + m·Dt
// seconds (2N of them; t0, the time of the record's first sample, is 0 but
// for a time-gated record), spectrum column k at k/(2N·Dt) hertz (N of them).
struct PointAxis {
    enum class Kind { Time, Frequency };
    Kind kind = Kind::Time;
    long double Dt = 0;
    int N = 0;
    long double t0 = 0;

    static PointAxis Time(long double Dt, int N, long double t0 = 0) { return {Kind::Time, Dt, N, t0}; }
    static PointAxis Frequency(long double Dt, int N) { return {Kind::Frequency, Dt, N, 0}; }
    long long Count() const { return kind == Kind::Time ? 2LL * N : N; }
    // The position of point i; fractional points lie between their neighbours.
    long double At(long double i) const;
    // The (fractional) point at a position: the inverse of At.
    long double IndexOf(long double position) const;
};

// Points first .. first + count - 1 of a plot. The default, count 0, stands
// for every point, as does any span that covers them all.
struct PlotSpan {
    long long first = 0;
    long long count = 0;
    bool operator==(const PlotSpan&) const = default;

    // Every point of `total` as {0, total}; otherwise the span as it is.
    PlotSpan Within(long long total) const;
    bool Whole(long long total) const { return Within(total).count == total; }
};

// The range held within the run's points, from the first point's position
// to the last one's. Expects from <= to.
PlotRange ClampRange(const PointAxis& axis, PlotRange range);
// Exactly the points whose positions p satisfy from <= p <= to (none when
// the range falls between two points or outside the run).
PlotSpan PointsWithin(const PointAxis& axis, PlotRange range);
// The points a plot of the range draws: those within it, but never fewer
// than two (one segment), taken around the range when it holds fewer.
PlotSpan PlotPoints(const PointAxis& axis, PlotRange range);

// Pixel columns of a plot whose `count` points spread over Wp pixels from
// X0, point j at X0 + trunc(j·Wp/count). The (fractional) point under column
// x, x held within X0 .. X0 + Wp.
long double PointAtColumn(const PlotSpan& span, int X0, int Wp, int x);
// The points drawn in column x: [first, end) of the span's points (empty
// beside the last point or outside the plot).
PlotSpan PointsInColumn(const PlotSpan& span, int X0, int Wp, int x);
// The point nearest to column x.
long long NearestPoint(const PlotSpan& span, int X0, int Wp, int x);
// The range that columns x1 .. x2 of a plot showing `span` cover (either
// order), for zooming into them.
PlotRange RangeOfColumns(const PointAxis& axis, const PlotSpan& span, int X0, int Wp, int x1, int x2);

// Another record's points on a plot's axis (a held reference drawn under the
// plot, at its own sample times or frequencies): its point i lies at the
// plot's fractional point i·ratio + offset (the offset parts two records
// whose first samples lie at different times). Its point lies in relative
// column floor((i·ratio + offset - first)·Wp/count) of a plot showing points
// first .. first + count - 1 over Wp pixels; those in columns 0 .. Wp - 1
// are drawn.
struct ForeignPoints {
    long double ratio = 1;
    long long count = 0;
    long double offset = 0;

    // The points of a record on a plot of the same kind of axis.
    static ForeignPoints On(const PointAxis& record, const PointAxis& plot);
    // The relative column of point i, before rounding down.
    long double Column(const PlotSpan& span, int Wp, long long i) const;
    // The first point in relative column c or right of it (count if none).
    long long FirstFrom(const PlotSpan& span, int Wp, long long c) const;
    // Its points drawn in column x (empty outside the plot or between them).
    PlotSpan InColumn(const PlotSpan& span, int X0, int Wp, int x) const;
    // Its point nearest to the plot's fractional point `at`; -1 when `at`
    // lies more than half a step outside its record.
    long long Nearest(long double at) const;
};

// Numbers along an axis written in the general format with at least
// `minDigits` significant digits, never fewer than the value's whole digits
// (so 10300 reads 10300, not 1,03E4), and as many more as it takes for every
// two neighbours to read differently (up to what the extended type holds).
std::vector<std::string> DistinctNumberTexts(const std::vector<long double>& values, int minDigits);

}  // namespace sonavir
