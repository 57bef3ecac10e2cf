#include "signal/Ambiguity.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <new>
#include <numbers>
#include <system_error>
#include <thread>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"

namespace sonavir {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;
constexpr int kBlock = detail::kPhaseBlock;

std::vector<double> Zeros(std::size_t count)
{
    try {
        return std::vector<double>(count, 0.0);
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
}

// cos and sin of 2 pi f j: at each block's start the phase is reduced to a
// fraction of a turn in extended precision, so the double sine and cosine
// only ever see angles below a turn (a long double one of a large angle
// costs fifty times as much), and a table of the block's first kBlock steps
// carries it on; each value within a few units in the last place.
class TurnRamp {
public:
    explicit TurnRamp(long double turnsPerStep) : f_(turnsPerStep)
    {
        for (int k = 0; k < kBlock; ++k) {
            const double a = Angle(k);
            c_[k] = std::cos(a);
            s_[k] = std::sin(a);
        }
    }
    // Values j = b .. e-1 (at most kBlock of them) into c and s.
    void Fill(int b, int e, double* c, double* s) const
    {
        const double a = Angle(b), ca = std::cos(a), sa = std::sin(a);
        for (int k = 0; k < e - b; ++k) {
            c[k] = ca * c_[k] - sa * s_[k];
            s[k] = sa * c_[k] + ca * s_[k];
        }
    }

private:
    double Angle(long long j) const
    {
        long double t = f_ * j;
        t -= std::floor(t);
        return static_cast<double>(2 * kPi * t);
    }
    long double f_;
    double c_[kBlock], s_[kBlock];
};

// body(b, e, c, s) over [0, count) one block at a time, with c and s the
// cosine and sine of 2 pi f j for j in [b, e); a checkpoint every few
// thousand values.
template <typename Body>
void WithRamp(long double turnsPerStep, int count, Body body)
{
    const TurnRamp ramp(turnsPerStep);
    double c[kBlock], s[kBlock];
    for (int b = 0; b < count; b += kBlock) {
        const int e = std::min(count, b + kBlock);
        ramp.Fill(b, e, c, s);
        body(b, e, c, s);
        if (e % detail::kCheckColumns == 0) Checkpoint();
    }
}

// out[i] = |re[i] + j im[i]| for i < count, two at a time where the machine
// has it (a scalar square root must keep errno, which stops the compiler from
// pairing them, and a map takes millions); returns the largest.
double Moduli(const double* re, const double* im, int count, double* out)
{
    int i = 0;
    double largest = 0;
#if defined(__SSE2__)
    __m128d top = _mm_setzero_pd();
    for (; i + 2 <= count; i += 2) {
        const __m128d a = _mm_loadu_pd(re + i), b = _mm_loadu_pd(im + i);
        const __m128d v = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(a, a), _mm_mul_pd(b, b)));
        _mm_storeu_pd(out + i, v);
        top = _mm_max_pd(top, v);
    }
    double pair[2];
    _mm_storeu_pd(pair, top);
    largest = std::max(pair[0], pair[1]);
#endif
    for (; i < count; ++i) {
        out[i] = std::sqrt(re[i] * re[i] + im[i] * im[i]);
        largest = std::max(largest, out[i]);
    }
    return largest;
}

// The vertex of a parabola through (-1, a), (0, b), (1, c), as an offset
// from the middle; 0 where b is no maximum.
double Vertex(double a, double b, double c)
{
    const double den = a - 2 * b + c;
    return den < 0 ? std::clamp(0.5 * (a - c) / den, -0.5, 0.5) : 0.0;
}

// The x in [a, b] where f is largest, for f unimodal there, to within tol.
template <typename F>
long double GoldenMax(F f, long double a, long double b, long double tol)
{
    const long double g = (std::sqrt(5.0L) - 1) / 2;
    long double x1 = b - g * (b - a), x2 = a + g * (b - a);
    long double f1 = f(x1), f2 = f(x2);
    while (b - a > tol) {
        if (f1 < f2) {
            a = x1;
            x1 = x2;
            f1 = f2;
            x2 = a + g * (b - a);
            f2 = f(x2);
        } else {
            b = x2;
            x2 = x1;
            f2 = f1;
            x1 = b - g * (b - a);
            f1 = f(x1);
        }
    }
    return (a + b) / 2;
}

}  // namespace

// One row: chi over the 2N lags (lag n at index n mod 2N) and its spectrum,
// kept when values between the samples are wanted.
struct Ambiguity::Row {
    std::vector<double> re, im, sr, si;
    bool keepSpectrum = false;

    // |chi| at lags -span .. span into out[0 .. 2 span], lag n at index n mod
    // 2N: two straight passes. |chi| stays below about 1, so the plain square
    // root is safe (hypot costs ten times as much).
    // Returns the index of the first largest value.
    int Magnitudes(int span, double* out) const
    {
        const int L = static_cast<int>(re.size());
        const double top = std::max(Moduli(re.data() + (L - span), im.data() + (L - span), span, out),
                                    Moduli(re.data(), im.data(), span + 1, out + span));
        int at = 0;
        while (at < 2 * span && out[at] != top) ++at;
        return at;
    }
};

Ambiguity::Ambiguity(const TSignalData& probe, const TSignalData& reference, int N, int M, long double Dt)
    : N_(N), M_(M), Dt_(Dt)
{
    if (N < 2 || (N & (N - 1)) != 0 || M < 1 || 2LL * M > N || !(std::isfinite(Dt) && Dt > 0)) RaiseInvalidOp();
    if (2LL * N > kMaxSignalSize) RaiseOutOfMemory();
    for (const TSignalData* d : {&probe, &reference})
        if (d->at(0).size() < static_cast<std::size_t>(N) || d->at(1).size() < static_cast<std::size_t>(N))
            RaiseInvalidOp();
    const long double norm =
        CheckedDiv(1, std::sqrt(BufferEnergy(probe, N)) * std::sqrt(BufferEnergy(reference, N)));
    const int L = 2 * N;

    TSignalData S, R;
    AllocateSignal(probe_, N);
    AllocateSignal(S, N);
    AllocateSignal(R, N);
    for (int r = 0; r < 2; ++r) {
        std::copy(probe[r].begin(), probe[r].begin() + N, probe_[r].begin());
        std::copy(probe[r].begin(), probe[r].begin() + N, S[r].begin());
        std::copy(reference[r].begin(), reference[r].begin() + N, R[r].begin());
    }
    FFT(S, N, 1);
    FFT(R, N, 1);

    // The layout's S_k is conj(X_k) / 2N of the plain transform X; the
    // analytic signal keeps X_0 and X_N once and doubles X_1 .. X_{N-1}.
    zr_ = Zeros(L);
    zi_ = Zeros(L);
    zr_[0] = S[0][0];
    for (int k = 1; k < N; ++k) {
        zr_[k] = 2 * S[0][k];
        zi_[k] = -2 * S[1][k];
    }
    zr_[N] = -S[1][0];
    ComplexFFT(zr_.data(), zi_.data(), L, -1);

    // conj(R_k) / 2N is the layout's value itself below N, its conjugate
    // mirror above; 1 / sqrt(E_s E_r) rides along.
    rr_ = Zeros(L);
    ri_ = Zeros(L);
    rr_[0] = static_cast<double>(norm * R[0][0]);
    for (int k = 1; k < N; ++k) {
        rr_[k] = static_cast<double>(norm * R[0][k]);
        ri_[k] = static_cast<double>(norm * R[1][k]);
        rr_[L - k] = rr_[k];
        ri_[L - k] = -ri_[k];
    }
    rr_[N] = static_cast<double>(-norm * R[1][0]);

    // The zero-delay products, in order of time from the pulse's centre:
    // index j = (m - M + N) mod 2N.
    const auto sampleAt = [&](int j) { return (j + M + N) & (L - 1); };
    const auto r = [&](int m) { return reference[m & 1][m >> 1]; };
    int first = 0, last = L - 1;
    while (first < L && r(sampleAt(first)) == 0) ++first;
    while (last > first && r(sampleAt(last)) == 0) --last;
    if (first == L) RaiseDivByZero();  // unreachable: the energy was checked
    zeroFirst_ = first;
    pr_ = Zeros(static_cast<std::size_t>(last - first + 1));
    pi_ = Zeros(pr_.size());
    for (int j = first; j <= last; ++j) {
        const int m = sampleAt(j);
        const long double v = norm * r(m);
        pr_[j - first] = static_cast<double>(zr_[m] * v);
        pi_[j - first] = static_cast<double>(zi_[m] * v);
    }
}

void Ambiguity::NarrowbandRow(long double doppler, Row& row) const
{
    const int L = 2 * N_;
    if (row.re.size() != static_cast<std::size_t>(L)) row.re = Zeros(L), row.im = Zeros(L);
    double* re = row.re.data();
    double* im = row.im.data();
    // s_a[m] e^{j 2 pi nu t_m}, t_m = (j - N) Dt: the constant e^{-j 2 pi nu N Dt}
    // is left out, since only magnitudes are read.
    const int shift = M_ + N_;
    WithRamp(doppler * Dt_, L, [&](int b, int e, const double* c, const double* s) {
        // Sample m = (j + shift) mod 2N: at most one wrap in a block.
        for (int j = b; j < e;) {
            const int m0 = (j + shift) & (L - 1), n = std::min(e - j, L - m0);
            const double* cj = c + (j - b);
            const double* sj = s + (j - b);
            for (int i = 0; i < n; ++i) {
                const double zr = zr_[m0 + i], zi = zi_[m0 + i];
                re[m0 + i] = zr * cj[i] - zi * sj[i];
                im[m0 + i] = zr * sj[i] + zi * cj[i];
            }
            j += n;
        }
    });
    ComplexFFT(re, im, L, 1);
    for (int k = 0; k < L; ++k) {
        const double a = re[k], b = im[k];
        re[k] = a * rr_[k] - b * ri_[k];
        im[k] = a * ri_[k] + b * rr_[k];
    }
    if (row.keepSpectrum) row.sr = row.re, row.si = row.im;
    ComplexFFT(re, im, L, -1);
}

void Ambiguity::WidebandRow(long double eta, Row& row) const
{
    const int L = 2 * N_;
    if (row.re.size() != static_cast<std::size_t>(L)) row.re = Zeros(L), row.im = Zeros(L);
    double* re = row.re.data();
    double* im = row.im.data();
    std::fill(re, re + L, 0.0);
    std::fill(im, im + L, 0.0);
    // y(t) = s(eta t), moved by M (1 - 1/eta) samples so that the pulse's
    // centre stays at sample M: the scaling about the centre, with the start
    // of a stretched pulse going round the circle instead of being cut.
    TSignalData Y;
    TimeScaledSpectrum(probe_, N_, eta, 0, Y);
    const long double d = M_ * (1 - 1 / eta);
    const long double gain = std::sqrt(eta) * L;
    // The plain transform of y_a: 2N w_k conj(Y_k e^{j pi d k / N}).
    WithRamp(d / L, N_, [&](int b, int e, const double* c, const double* s) {
        for (int k = b; k < e; ++k) {
            // Column 0's second row is the Nyquist value, not a part of the
            // zero frequency's.
            const long double w = k == 0 ? gain : 2 * gain, im0 = k == 0 ? 0 : Y[1][k];
            const long double yr = Y[0][k] * c[k - b] - im0 * s[k - b];
            const long double yi = Y[0][k] * s[k - b] + im0 * c[k - b];
            re[k] = static_cast<double>(w * yr);
            im[k] = static_cast<double>(-w * yi);
        }
    });
    // The Nyquist value carries only the cosine of its shift.
    re[N_] = static_cast<double>(-gain * Y[1][0] * std::cos(kPi * d));
    for (int k = 0; k <= N_; ++k) {
        const double a = re[k], b = im[k];
        re[k] = a * rr_[k] - b * ri_[k];
        im[k] = a * ri_[k] + b * rr_[k];
    }
    if (row.keepSpectrum) row.sr = row.re, row.si = row.im;
    ComplexFFT(re, im, L, -1);
}

AmbiguityMap Ambiguity::Map(const AmbiguityGrid& grid) const
{
    const auto low = [](const std::optional<long double>& min, long double max) {
        return min ? *min : -max;
    };
    const long double lowDoppler = low(grid.minDoppler, grid.maxDoppler);
    const long double lowVelocity = low(grid.minVelocity, grid.maxVelocity);
    const auto finite = [](long double v) { return std::isfinite(v); };
    if (grid.rows < 1 || grid.delayColumns < 0 || !finite(grid.maxDoppler) || !finite(lowDoppler) ||
        !(lowDoppler <= grid.maxDoppler) || !finite(grid.maxVelocity) || !finite(lowVelocity) ||
        !(lowVelocity <= grid.maxVelocity) || (!grid.minDoppler && grid.maxDoppler < 0) ||
        (!grid.minVelocity && grid.maxVelocity < 0))
        RaiseInvalidOp();
    const int span = 2 * M_;
    // The span of lags, held within -2M .. 2M.
    const long double lagLow = std::max<long double>(-span, grid.minDelay ? *grid.minDelay / Dt_ : -span);
    const long double lagHigh = std::min<long double>(span, grid.maxDelay ? *grid.maxDelay / Dt_ : span);
    if (!finite(lagLow) || !finite(lagHigh) || std::ceil(lagLow) > std::floor(lagHigh)) RaiseInvalidOp();
    const int firstLag = static_cast<int>(std::ceil(lagLow)), lastLag = static_cast<int>(std::floor(lagHigh));
    AmbiguityMap map;
    map.rows = grid.rows;
    map.Dt = Dt_;
    map.wideband = grid.wideband;
    map.columns = grid.delayColumns == 0 ? lastLag - firstLag + 1 : grid.delayColumns;
    try {
        map.lags.resize(static_cast<std::size_t>(map.columns));
        map.values.resize(static_cast<std::size_t>(map.rows) * static_cast<std::size_t>(map.columns));
        map.zeroDelay.resize(static_cast<std::size_t>(map.rows));
        map.rowPeakDelay.resize(map.zeroDelay.size());
        map.rowPeak.resize(map.zeroDelay.size());
        map.zeroDoppler.resize(static_cast<std::size_t>(2 * span + 1));
        (grid.wideband ? map.velocity : map.doppler).resize(map.zeroDelay.size());
        if (grid.wideband) map.eta.resize(map.zeroDelay.size());
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
    const bool wholeSpan = !grid.minDelay && !grid.maxDelay;
    for (int j = 0; j < map.columns; ++j) {
        if (grid.delayColumns == 0)
            map.lags[j] = firstLag + j;
        else if (map.columns == 1)
            map.lags[j] = wholeSpan ? 0 : static_cast<int>(std::nearbyint((lagLow + lagHigh) / 2));
        else if (wholeSpan)
            map.lags[j] = static_cast<int>(std::nearbyint(-span + 2.0L * span * j / (map.columns - 1)));
        else
            map.lags[j] = static_cast<int>(std::clamp<long double>(
                std::nearbyint(lagLow + (lagHigh - lagLow) * j / (map.columns - 1)), firstLag, lastLag));
    }
    // Rows evenly from the low end to the high one; the symmetric default
    // keeps its own formula, so that its middle row is exactly zero.
    const auto rowValue = [&](int i, const std::optional<long double>& min, long double lo, long double hi) {
        if (!min) return map.rows == 1 ? 0 : (-1 + 2.0L * i / (map.rows - 1)) * hi;
        return map.rows == 1 ? (lo + hi) / 2 : lo + (hi - lo) * i / (map.rows - 1);
    };
    for (int i = 0; i < map.rows; ++i) {
        if (grid.wideband) {
            map.velocity[i] = rowValue(i, grid.minVelocity, lowVelocity, grid.maxVelocity);
            map.eta[i] = DopplerScale(map.velocity[i], grid.soundSpeed);
        } else {
            map.doppler[i] = rowValue(i, grid.minDoppler, lowDoppler, grid.maxDoppler);
        }
    }

    // Task i < rows is row i; task `rows` is the zero-Doppler cut.
    const int tasks = map.rows + 1;
    std::atomic<int> next{0}, done{0};
    std::atomic<bool> failed{false};
    RunControl* const control = CurrentRun();
    const bool reports = ReportsProgress();
    auto work = [&](bool lead, std::exception_ptr& error) {
        try {
            const RunScope scope(control, reports && lead);
            const WorkThreadsScope one(1);
            FpFlagGuard guard;
            Row row;
            std::vector<double> mags = Zeros(static_cast<std::size_t>(2 * span + 1));
            while (!failed.load(std::memory_order_relaxed)) {
                const int t = next.fetch_add(1);
                if (t >= tasks) break;
                if (t == map.rows) {
                    NarrowbandRow(0, row);
                    row.Magnitudes(span, map.zeroDoppler.data());
                } else {
                    if (grid.wideband)
                        WidebandRow(map.eta[t], row);
                    else
                        NarrowbandRow(map.doppler[t], row);
                    const int best = row.Magnitudes(span, mags.data()) - span;
                    double* out = map.values.data() + static_cast<std::size_t>(t) * map.columns;
                    for (int j = 0; j < map.columns; ++j) out[j] = mags[map.lags[j] + span];
                    const double b = mags[best + span];
                    double offset = 0, peak = b;
                    if (best > -span && best < span) {
                        const double a = mags[best + span - 1], c = mags[best + span + 1];
                        offset = Vertex(a, b, c);
                        peak = b - 0.25 * (a - c) * offset;
                    }
                    map.rowPeakDelay[t] = (best + offset) * Dt_;
                    map.rowPeak[t] = peak;
                    map.zeroDelay[t] = mags[span];
                }
                const int finished = done.fetch_add(1) + 1;
                if (lead)
                    StepProgress(finished, tasks);
                else
                    Checkpoint();
            }
            guard.Check();
        } catch (...) {
            failed.store(true, std::memory_order_relaxed);
            error = std::current_exception();
        }
    };

    const int workers = std::max(1, std::min(WorkThreads(), tasks));
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(workers));
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(workers - 1));
    try {
        for (int w = 1; w < workers; ++w) threads.push_back(StartThread(work, false, std::ref(errors[w])));
    } catch (const std::system_error&) {
        // No thread to be had: the caller's own worker takes every row left.
    }
    work(true, errors[0]);
    for (auto& t : threads) t.join();
    RethrowWorkerErrors(errors);
    return map;
}

std::vector<double> Ambiguity::ZeroDopplerCut() const
{
    Row row;
    NarrowbandRow(0, row);
    const int span = 2 * M_;
    std::vector<double> cut = Zeros(static_cast<std::size_t>(2 * span + 1));
    row.Magnitudes(span, cut.data());
    return cut;
}

double Ambiguity::ZeroDelay(long double doppler) const
{
    // Each phase block sums in double (a few hundred terms), the blocks in
    // extended precision.
    long double sr = 0, si = 0;
    WithRamp(doppler * Dt_, static_cast<int>(pr_.size()),
             [&](int b, int e, const double* c, const double* s) {
                 double br = 0, bi = 0;
                 for (int j = b; j < e; ++j) {
                     br += pr_[j] * c[j - b] - pi_[j] * s[j - b];
                     bi += pr_[j] * s[j - b] + pi_[j] * c[j - b];
                 }
                 sr += br;
                 si += bi;
             });
    return static_cast<double>(std::hypot(sr, si));
}

AmbiguityPoint Ambiguity::Point(long double delay, Row& row) const
{
    const int L = 2 * N_, span = 2 * M_;
    // The band-limited value at a lag x between samples: sum_k P_k e^{j 2 pi k' x / 2N}
    // with the frequencies k' = k - 2N of the upper half taken as negative.
    const auto between = [&](long double x) {
        const long double turn = 2 * kPi * (x - std::floor(x));
        const double hr = static_cast<double>(std::cos(turn)), hi = static_cast<double>(-std::sin(turn));
        long double ar = 0, ai = 0;
        WithRamp(x / L, L, [&](int b, int e, const double* c, const double* s) {
            for (int k = b; k < e; ++k) {
                double cr = c[k - b], ci = s[k - b];
                if (k >= N_) {
                    const double t = cr * hr - ci * hi;
                    ci = cr * hi + ci * hr;
                    cr = t;
                }
                ar += static_cast<long double>(row.sr[k]) * cr - static_cast<long double>(row.si[k]) * ci;
                ai += static_cast<long double>(row.sr[k]) * ci + static_cast<long double>(row.si[k]) * cr;
            }
        });
        return static_cast<double>(std::hypot(ar, ai));
    };
    int best = -span;
    double bestSq = -1;
    for (int n = -span; n <= span; ++n) {
        const int m = n & (L - 1);
        const double sq = row.re[m] * row.re[m] + row.im[m] * row.im[m];
        if (sq > bestSq) bestSq = sq, best = n;
    }
    AmbiguityPoint p;
    const long double x = GoldenMax(between, best - 1.0L, best + 1.0L, 1e-5L);
    p.peakDelay = x * Dt_;
    p.peakLevel = between(x);
    p.level = between(delay / Dt_);
    return p;
}

AmbiguityPoint Ambiguity::At(long double delay, long double doppler) const
{
    if (!std::isfinite(delay) || !std::isfinite(doppler)) RaiseInvalidOp();
    Row row;
    row.keepSpectrum = true;
    NarrowbandRow(doppler, row);
    return Point(delay, row);
}

AmbiguityPoint Ambiguity::AtVelocity(long double delay, long double velocity, long double soundSpeed) const
{
    if (!std::isfinite(delay)) RaiseInvalidOp();
    Row row;
    row.keepSpectrum = true;
    WidebandRow(DopplerScale(velocity, soundSpeed), row);
    return Point(delay, row);
}

AmbiguityMeasures Ambiguity::Measure(const AmbiguityMap& map) const
{
    AmbiguityMeasures r;
    const double f0 = ZeroDelay(0);
    if (!(f0 > 0)) RaiseDivByZero();
    r.peakDb = CheckFinite(20 * std::log10(static_cast<long double>(f0)));

    // Delay: the crossings of peak / sqrt(2) nearest the zero-Doppler peak.
    const std::vector<double>& z = map.zeroDoppler;
    if (!z.empty()) {
        const long long count = static_cast<long long>(z.size());
        const long long p = std::max_element(z.begin(), z.end()) - z.begin();
        const double level = z[p] / std::sqrt(2.0);
        long long left = p - 1, right = p + 1;
        while (left >= 0 && z[left] > level) --left;
        while (right < count && z[right] > level) ++right;
        if (left >= 0 && right < count) {
            const long double tl = left + (level - z[left]) / (z[left + 1] - z[left]);
            const long double tr = right - 1 + (z[right - 1] - level) / (z[right - 1] - z[right]);
            r.delayWidth3db = (tr - tl) * Dt_;
        }
    }

    // Doppler: on a grid of 1/16 of 1 / Tc out to 16 / Tc, then refined.
    const long double Tc = 2 * M_ * Dt_, step = 1 / (16 * Tc);
    const int steps = static_cast<int>(std::min<long double>(256, 0.25L / (Dt_ * step)));
    const double level = f0 / std::sqrt(2.0);
    const auto fall = [&](long double sign) -> std::optional<long double> {
        for (int i = 1; i <= steps; ++i) {
            if (ZeroDelay(sign * i * step) >= level) continue;
            long double a = (i - 1) * step, b = i * step;
            while (b - a > step * 1e-9L) {
                const long double mid = (a + b) / 2;
                (ZeroDelay(sign * mid) >= level ? a : b) = mid;
            }
            return sign * (a + b) / 2;
        }
        return std::nullopt;
    };
    const auto up = fall(1), down = fall(-1);
    if (up && down) r.dopplerWidth3db = *up - *down;
    double before = f0, here = ZeroDelay(step);
    for (int i = 1; i < steps; ++i) {
        const double after = ZeroDelay((i + 1) * step);
        if (here < before && here <= after) {
            r.firstNullDoppler = GoldenMax([&](long double nu) { return -ZeroDelay(nu); }, (i - 1) * step,
                                           (i + 1) * step, step * 1e-7L);
            break;
        }
        before = here;
        here = after;
    }

    // The ridge: tau = a + b nu through the rows' peaks inside the span.
    if (!map.wideband && map.rows >= 2) {
        long double sn = 0, st = 0, snn = 0, snt = 0, lo = 0, hi = 0;
        int count = 0;
        for (int i = 0; i < map.rows; ++i) {
            const long double t = map.rowPeakDelay[i], nu = map.doppler[i];
            if (std::fabs(t) >= (2 * M_ - 1) * Dt_) continue;
            if (count == 0) lo = hi = nu;
            lo = std::min(lo, nu);
            hi = std::max(hi, nu);
            sn += nu;
            st += t;
            snn += nu * nu;
            snt += nu * t;
            ++count;
        }
        const long double den = count * snn - sn * sn;
        if (count >= 2 && den > 0) {
            const long double b = (count * snt - sn * st) / den;
            // Peaks that move less than a sample over the rows make no ridge.
            if (std::fabs(b) * (hi - lo) >= Dt_) r.ridgeSlope = 1 / b;
        }
    }
    return r;
}

double AmbiguityDb(double linear, double floorDb)
{
    if (!(linear > 0)) return floorDb;
    return std::max(floorDb, 20 * std::log10(linear));
}

std::vector<double> AmbiguityDb(const std::vector<double>& linear, double floorDb)
{
    std::vector<double> db = Zeros(linear.size());
    for (std::size_t i = 0; i < linear.size(); ++i) {
        db[i] = AmbiguityDb(linear[i], floorDb);
        if (i % detail::kCheckColumns == 0) Checkpoint();
    }
    return db;
}

}  // namespace sonavir
