#include "signal/Envelope.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <vector>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/RunControl.h"

namespace sonavir {

namespace {

// Sample m of a buffer in waveform layout.
inline double At(const TSignalData& d, long long m) { return d[m & 1][m >> 1]; }

// f(x[m]) for the samples m of [first, last) in order, a column (two samples)
// at a time where it can: the long passes of the measures run over hundreds
// of millions of samples.
// One thread, in order (the sums keep their order), with a checkpoint every
// few thousand columns.
template <typename F>
void ForSamples(const TSignalData& d, long long first, long long last, F f)
{
    if (first >= last) return;
    const double* r0 = d[0].data();
    const double* r1 = d[1].data();
    if (first & 1) f(r1[first++ >> 1]);
    const long long columns = (last - first) >> 1;
    for (long long j = first >> 1, end = j + columns; j < end;) {
        for (const long long stop = std::min(end, j + detail::kCheckColumns); j < stop; ++j) {
            f(r0[j]);
            f(r1[j]);
        }
        Checkpoint();
    }
    if ((last - first) & 1) f(r0[(last - 1) >> 1]);
}

// Every few thousand steps of a scan that walks sample by sample.
inline void CheckEvery(long long& steps)
{
    if (++steps % detail::kCheckColumns == 0) Checkpoint();
}

// Elementwise passes over columns [first, last): shared among threads for
// long buffers, checkpoints between stretches; the values check themselves.
template <typename Body>
void ForEachColumn(int first, int last, Body body)
{
    detail::LoopCuts cuts;
    cuts.unit = 1;
    cuts.parallel = kThreadedColumns;
    cuts.watchFlags = false;
    detail::ForCuts(first, last, cuts, [&body](long long b, long long e) {
        for (long long i = b; i < e; ++i) body(static_cast<int>(i));
    });
}

// Sum of squares of samples [first, last) in extended precision.
long double SquareSum(const TSignalData& d, long long first, long long last)
{
    long double s = 0;
    ForSamples(d, first, last, [&s](double x) { s += static_cast<long double>(x) * x; });
    return s;
}

// The Hilbert transform's spectrum in `envelope` (column k of the wave's
// spectrum times -j; the zero frequency and the Nyquist value, column 0, have
// no part in it) becomes the envelope: inverse transform, then |x + j h|.
void FinishEnvelope(const TSignalData& wave, int N, TSignalData& envelope)
{
    FFT(envelope, N, -1);
    // Each value on its own: long buffers are shared among threads. The flags
    // are not watched, since squares beyond the range of a double take the
    // careful way to a sound value.
    const double* x[2] = {wave[0].data(), wave[1].data()};
    double* h[2] = {envelope[0].data(), envelope[1].data()};
    ForEachColumn(0, N, [&](int i) {
        for (int r = 0; r < 2; ++r) {
            double v = std::sqrt(x[r][i] * x[r][i] + h[r][i] * h[r][i]);
            if (!(v <= DBL_MAX)) {
                // Squares beyond the range of a double: the slow, careful way.
                v = std::hypot(x[r][i], h[r][i]);
                if (!(v <= DBL_MAX)) RaiseOverflow();
            }
            h[r][i] = v;
        }
    });
}

// `first` and `second` (N values of each) as the two rows of `to`.
void CopyRows(const std::vector<double>& first, const std::vector<double>& second, int N, TSignalData& to)
{
    if (N < 1 || N > kMaxSignalSize) RaiseOutOfMemory();
    try {
        to[0].assign(first.begin(), first.begin() + N);
        to[1].assign(second.begin(), second.begin() + N);
    } catch (const std::bad_alloc&) {
        ReleaseSignal(to);
        RaiseOutOfMemory();
    }
}

}  // namespace

void Envelope(const TSignalData& wave, int N, TSignalData& envelope)
{
    CopyRows(wave[0], wave[1], N, envelope);
    FFT(envelope, N, +1);
    // Times -j (the sign does not matter for the magnitude).
    double* re = envelope[0].data();
    double* im = envelope[1].data();
    re[0] = im[0] = 0;
    ForEachColumn(1, N, [re, im](int k) {
        const double a = re[k];
        re[k] = im[k];
        im[k] = -a;
    });
    FinishEnvelope(wave, N, envelope);
}

void EnvelopeFromSpectrum(const TSignalData& wave, const TSignalData& spectrum, int N, TSignalData& envelope)
{
    // Times -j as it is copied: the rows change places, the new imaginary
    // part changes sign.
    CopyRows(spectrum[1], spectrum[0], N, envelope);
    double* re = envelope[0].data();
    double* im = envelope[1].data();
    re[0] = im[0] = 0;
    ForEachColumn(1, N, [im](int k) { im[k] = -im[k]; });
    FinishEnvelope(wave, N, envelope);
}

namespace {

// The first sample with the largest value, into r; its index.
long long FindPeak(const TSignalData& e, long long count, long double Dt, EnvelopeMeasures& r)
{
    long long p = 0, m = 0;
    double peak = At(e, 0);
    ForSamples(e, 0, count, [&](double x) {
        if (x > peak) peak = x, p = m;
        ++m;
    });
    if (!(peak > 0)) RaiseDivByZero();  // silent: no level to refer to
    r.peak = peak;
    r.peakTime = p * Dt;
    return p;
}

}  // namespace

EnvelopeMeasures MeasureEnvelope(const TSignalData& e, int N, long double Dt)
{
    const long long count = 2LL * N;
    EnvelopeMeasures r;
    const long long p = FindPeak(e, count, Dt, r);
    const double peak = static_cast<double>(r.peak);

    // The crossings of peak / sqrt(2) nearest the peak.
    const long double level = peak / std::sqrt(2.0L);
    long long steps = 0;
    long long left = p - 1;
    while (left >= 0 && At(e, left) > level) --left, CheckEvery(steps);
    long long right = p + 1;
    while (right < count && At(e, right) > level) ++right, CheckEvery(steps);
    if (left >= 0 && right < count) {
        const long double a = At(e, left), b = At(e, left + 1);
        const long double tl = left + (level - a) / (b - a);
        const long double c = At(e, right - 1), d = At(e, right);
        const long double tr = right - 1 + (c - level) / (c - d);
        r.width3db = (tr - tl) * Dt;
    }

    // Main lobe: downhill from the peak, across level stretches, to the first
    // sample from which the envelope rises again.
    long long first = p;
    while (first > 0 && At(e, first - 1) <= At(e, first)) --first, CheckEvery(steps);
    long long last = p;
    while (last + 1 < count && At(e, last + 1) <= At(e, last)) ++last, CheckEvery(steps);
    r.lobeFirst = static_cast<int>(first);
    r.lobeLast = static_cast<int>(last);

    double side = 0;
    const auto larger = [&side](double x) { side = x > side ? x : side; };
    ForSamples(e, 0, first, larger);
    ForSamples(e, last + 1, count, larger);
    if (side > 0) {
        r.pslDb = CheckFinite(20 * std::log10(static_cast<long double>(side) / peak));
        const long double outside = SquareSum(e, 0, first) + SquareSum(e, last + 1, count);
        const long double inside = SquareSum(e, first, last + 1);
        r.islDb = CheckFinite(10 * std::log10(outside / inside));
    }
    return r;
}

EnvelopeMeasures MeasurePulse(const TSignalData& e, int N, long double Dt)
{
    const long long count = 2LL * N;
    EnvelopeMeasures r;
    FindPeak(e, count, Dt, r);
    const long double level = r.peak / std::sqrt(2.0L);
    long long steps = 0;
    long long first = 0;
    while (At(e, first) <= level) ++first, CheckEvery(steps);  // the peak itself lies above
    long long last = count - 1;
    while (At(e, last) <= level) --last, CheckEvery(steps);
    long double tl = first;
    if (first > 0) {
        const long double a = At(e, first - 1), b = At(e, first);
        tl = first - 1 + (level - a) / (b - a);
    }
    long double tr = last;
    if (last + 1 < count) {
        const long double c = At(e, last), d = At(e, last + 1);
        tr = last + (c - level) / (c - d);
    }
    r.width3db = (tr - tl) * Dt;
    r.lobeFirst = static_cast<int>(first);
    r.lobeLast = static_cast<int>(last);
    return r;
}

}  // namespace sonavir
