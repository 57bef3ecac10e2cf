#include "signal/Trials.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <exception>
#include <new>
#include <numbers>
#include <numeric>
#include <system_error>
#include <thread>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/Noise.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"

namespace sonavir {

namespace {

// ---------------------------------------------------------------------------
// The noise of one record, as AddNormalNoise draws it: column c takes draws
// 4c+1 .. 4c+4 of the generator (row 0 from the first two, row 1 from the
// last two), each sample sqrt(-2 ln U1) cos(2 pi U2) sigma. The library's
// logarithm and cosine cost some 40 ns a sample, four times the transforms of
// a trial, so four columns go at a time through vector code of our own.

// The vector helpers are always inlined: no vector value crosses a call
// boundary whose convention AVX would change.
#pragma GCC diagnostic ignored "-Wpsabi"

typedef double V4d __attribute__((vector_size(32), aligned(8), may_alias));
typedef std::uint64_t V4q __attribute__((vector_size(32)));
typedef std::int64_t V4l __attribute__((vector_size(32)));
typedef std::uint32_t V4u __attribute__((vector_size(16)));

// s_{j+n} = mul[n] s_j + add[n] (mod 2^32).
struct LcgJumps {
    std::uint32_t mul[17], add[17];
};
constexpr LcgJumps MakeJumps()
{
    LcgJumps j{};
    j.mul[0] = 1;
    j.add[0] = 0;
    for (int n = 1; n <= 16; ++n) {
        j.mul[n] = j.mul[n - 1] * 134775813u;
        j.add[n] = j.add[n - 1] * 134775813u + 1u;
    }
    return j;
}
constexpr LcgJumps kJumps = MakeJumps();

constexpr double kTwo52 = 4503599627370496.0;

// k 2^-32 for a 32-bit k, exactly: k is placed in the low bits of 2^52.
[[gnu::always_inline]] inline V4d ToUnit(V4u k)
{
    const V4q w = __builtin_convertvector(k, V4q) | 0x4330000000000000ull;
    return (std::bit_cast<V4d>(w) - kTwo52) * (1.0 / 4294967296.0);
}

// ln u for normal u > 0. u = 2^e m with m in [sqrt(1/2), sqrt(2)); with
// f = m - 1 (exact) and s = f / (2 + f), ln m = 2 atanh s = f - s (f - T(s^2)),
// T(z) = sum_{k >= 1} 2 z^k / (2k + 1); |s| < 0.172 so ten terms leave less
// than 1e-18. e ln 2 is added in two parts, the first exact.
[[gnu::always_inline]] inline V4d Log(V4d u)
{
    const V4q bits = std::bit_cast<V4q>(u);
    V4d e = std::bit_cast<V4d>((bits >> 52) | 0x4330000000000000ull) - (kTwo52 + 1023.0);
    V4d m = std::bit_cast<V4d>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    const V4l high = m > std::numbers::sqrt2;
    m = high ? m * 0.5 : m;
    e = high ? e + 1.0 : e;
    const V4d f = m - 1.0;
    const V4d s = f / (2.0 + f);
    const V4d z = s * s;
    V4d t = z * (2.0 / 21);
    // Unrolled, so the coefficients fold into constants (-O2 keeps short loops).
#pragma GCC unroll 16
    for (int k = 9; k >= 1; --k) t = (t + 2.0 / (2 * k + 1)) * z;
    constexpr double ln2Hi = 6.93147180369123816490e-01;  // 0x1.62e42feep-1: e ln2Hi is exact
    constexpr double ln2Lo = static_cast<double>(std::numbers::ln2_v<long double> - ln2Hi);
    return e * ln2Hi + ((f - s * (f - t)) + e * ln2Lo);
}

// cos(2 pi u) for u in [0, 1) of 32 bits: u = q/4 + r with q whole and
// |r| <= 1/8 (both exact), so cos(2 pi u) is +-cos or +-sin of x = 2 pi r,
// |x| <= pi/4, where their Taylor series to x^16 and x^17 leave < 1e-17.
[[gnu::always_inline]] inline V4d Cos2Pi(V4d u)
{
    constexpr double round = 1.5 * kTwo52;  // adding it rounds to a whole number
    const V4d t = u * 4.0 + round;
    const V4q q = std::bit_cast<V4q>(t);
    const V4d r = u - (t - round) * 0.25;
    const V4d x = r * (2 * std::numbers::pi);
    const V4d x2 = x * x;
    // 1/(2k)! and 1/(2k+1)!, k = 8 down to 1.
    constexpr double fc[] = {1.0 / 20922789888000.0, 1.0 / 87178291200.0, 1.0 / 479001600.0, 1.0 / 3628800.0,
                             1.0 / 40320.0,          1.0 / 720.0,         1.0 / 24.0,        1.0 / 2.0};
    constexpr double fs[] = {1.0 / 355687428096000.0, 1.0 / 1307674368000.0, 1.0 / 6227020800.0, 1.0 / 39916800.0,
                             1.0 / 362880.0,          1.0 / 5040.0,          1.0 / 120.0,        1.0 / 6.0};
    // c = sum_{k=1}^{8} (-1)^{k+1} x^{2k} / (2k)!, s likewise with (2k+1)!.
    V4d c = -(x2 * fc[0]), s = -(x2 * fs[0]);
#pragma GCC unroll 16
    for (int k = 1; k < 8; ++k) {
        const double sign = k % 2 ? 1.0 : -1.0;
        c = (c + sign * fc[k]) * x2;
        s = (s + sign * fs[k]) * x2;
    }
    c = 1.0 - c;
    s = x - s * x;
    // Quarter turns q: cos, -sin, -cos, sin.
    const V4l odd = (q & 1u) != 0;
    const V4d v = odd ? s : c;
    const V4q negate = ((q + 1u) & 2u) << 62;
    return std::bit_cast<V4d>(std::bit_cast<V4q>(v) ^ negate);
}

[[gnu::always_inline]] inline V4d Sqrt(V4d v)
{
    V4d r;
#pragma GCC unroll 4
    for (int l = 0; l < 4; ++l) r[l] = std::sqrt(v[l]);
    return r;
}

// The noise of N columns (a multiple of 4) from `seed`. False when a first
// draw of a sample meets the zero state: AddNormalNoise then draws again,
// which shifts the rest, so the caller takes the sequential path instead.
// FMA, where the machine has it, changes only the rounding.
__attribute__((target_clones("arch=x86-64-v3", "default")))
bool FillNoiseVector(double* r0, double* r1, int N, std::uint32_t seed, double sigma)
{
    V4u mul[4], add[4];
    for (int d = 0; d < 4; ++d)
        for (int l = 0; l < 4; ++l) {
            mul[d][l] = kJumps.mul[4 * l + d + 1];
            add[d][l] = kJumps.add[4 * l + d + 1];
        }
    V4u zero = {0, 0, 0, 0};
    std::uint32_t s = seed;
    for (int c = 0; c < N; c += 4) {
        const V4u k1 = mul[0] * s + add[0], k2 = mul[1] * s + add[1];
        const V4u k3 = mul[2] * s + add[2], k4 = mul[3] * s + add[3];
        s = kJumps.mul[16] * s + kJumps.add[16];
        zero |= (V4u)(k1 == 0) | (V4u)(k3 == 0);
        *reinterpret_cast<V4d*>(r0 + c) = Sqrt(-2.0 * Log(ToUnit(k1))) * Cos2Pi(ToUnit(k2)) * sigma;
        *reinterpret_cast<V4d*>(r1 + c) = Sqrt(-2.0 * Log(ToUnit(k3))) * Cos2Pi(ToUnit(k4)) * sigma;
    }
    return (zero[0] | zero[1] | zero[2] | zero[3]) == 0;
}

// AddNormalNoise's own sequence on an empty record.
void FillNoiseSequential(double* r0, double* r1, int N, std::uint32_t seed, long double sigma)
{
    constexpr long double twoPi = 2 * std::numbers::pi_v<long double>;
    LcgSource source(seed);
    for (int i = 0; i < N; ++i)
        for (double* x : {r0 + i, r1 + i}) {
            long double u1 = source.Next();
            while (u1 == 0) u1 = source.Next();
            const double shape = std::sqrt(-2 * std::log(static_cast<double>(u1))) *
                                 std::cos(static_cast<double>(twoPi * source.Next()));
            *x = detail::ToStored(shape * sigma);
        }
}

void FillNoise(TSignalData& x, int N, std::uint32_t seed, long double sigma)
{
    if (N % 4 == 0 && FillNoiseVector(x[0].data(), x[1].data(), N, seed, static_cast<double>(sigma))) return;
    FillNoiseSequential(x[0].data(), x[1].data(), N, seed, sigma);
}

// ---------------------------------------------------------------------------
// The filter output's analytic signal from its spectrum Y (spectrum layout):
//   z[m] = Z_0 + Z_N (-1)^m + sum_{k=1}^{N-1} 2 Y_k e^{-j pi m k / N},
// Z_0 and Z_N the zero frequency and the Nyquist value of column 0. Its even
// samples z[2p] are the N-point transform of Z_k (Z_k = 2 Y_k, k >= 1) plus
// Z_N, its odd ones that of Z_k e^{-j pi k / N} minus Z_N: two transforms of
// N points instead of one of 2N, and the samples come out in waveform layout.

// The filter as the trials use it: 2 H_k and 2 H_k e^{-j pi k / N}.
struct PreparedFilter {
    std::vector<double> ar, ai, br, bi;
    double h0r = 0, h0i = 0;
};

template <typename T>
void Assign(std::vector<T>& v, std::size_t n)
{
    try {
        v.assign(n, T{});
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
}

PreparedFilter PrepareFilter(const TSignalData& filter, int N)
{
    PreparedFilter p;
    for (auto* v : {&p.ar, &p.ai, &p.br, &p.bi}) Assign(*v, static_cast<std::size_t>(N));
    const double* hr = filter[0].data();
    const double* hi = filter[1].data();
    p.h0r = hr[0];
    p.h0i = hi[0];
    const long double step = std::numbers::pi_v<long double> / N;
    const auto phase = [step](int k) { return k * step; };
    const detail::PhaseRamp<decltype(phase)> ramp(phase);
    detail::ForColumns(1, N, [&](int b, int e) {
        auto r = ramp;
        r.Anchor(b);
        for (int k = b; k < e; ++k) {
            if (k % detail::kPhaseBlock == 0) r.Anchor(k);
            long double c, s;
            r.At(k, c, s);
            const long double a = 2.0L * hr[k], bb = 2.0L * hi[k];
            p.ar[k] = detail::ToStored(a);
            p.ai[k] = detail::ToStored(bb);
            // (a + j b)(c - j s)
            p.br[k] = detail::ToStored(a * c + bb * s);
            p.bi[k] = detail::ToStored(bb * c - a * s);
        }
    });
    return p;
}

// One thread's buffers.
struct Workspace {
    explicit Workspace(int N)
    {
        AllocateSignal(x, N);
        for (auto* v : {&ar, &ai, &br, &bi}) Assign(*v, static_cast<std::size_t>(N));
    }
    TSignalData x;
    std::vector<double> ar, ai, br, bi;
    double nyquist = 0;
};

[[gnu::always_inline]] inline V4d Load(const double* p) { return *reinterpret_cast<const V4d*>(p); }
[[gnu::always_inline]] inline void Store(double* p, V4d v) { *reinterpret_cast<V4d*>(p) = v; }

// The noise's spectrum plus the echo's (when there is one), times the two
// prepared filters, for columns [0, N), N a multiple of 4; column 0 is
// finished by the caller.
__attribute__((target_clones("arch=x86-64-v3", "default")))
void FilterColumns(int N, const double* xr, const double* xi, const double* er, const double* ei,
                   const PreparedFilter& f, Workspace& w)
{
    double* ar = w.ar.data();
    double* ai = w.ai.data();
    double* br = w.br.data();
    double* bi = w.bi.data();
    for (int k = 0; k < N; k += 4) {
        V4d a = Load(xr + k), b = Load(xi + k);
        if (er != nullptr) {
            a += Load(er + k);
            b += Load(ei + k);
        }
        const V4d hr = Load(f.ar.data() + k), hi = Load(f.ai.data() + k);
        const V4d gr = Load(f.br.data() + k), gi = Load(f.bi.data() + k);
        Store(ar + k, a * hr - b * hi);
        Store(ai + k, a * hi + b * hr);
        Store(br + k, a * gr - b * gi);
        Store(bi + k, a * gi + b * gr);
    }
}

// Trial i: on return ar/ai hold the even samples of the analytic signal and
// br/bi the odd ones, each real part still without +-nyquist.
void AnalyticSignal(const TrialSetup& s, const PreparedFilter& f, long long i, Workspace& w)
{
    const int N = s.N;
    FillNoise(w.x, N, TrialSeed(s.seed, N, i), s.sigma);
    FFT(w.x, N, +1);
    // The transforms have no checkpoints of their own: a long record is seen
    // between them too.
    Checkpoint();
    double* xr = w.x[0].data();
    double* xi = w.x[1].data();
    const double* er = s.echo != nullptr ? (*s.echo)[0].data() : nullptr;
    const double* ei = s.echo != nullptr ? (*s.echo)[1].data() : nullptr;
    if (N >= 4) {
        FilterColumns(N, xr, xi, er, ei, f, w);
    } else {
        for (int k = 1; k < N; ++k) {
            const double a = xr[k] + (er ? er[k] : 0), b = xi[k] + (ei ? ei[k] : 0);
            w.ar[k] = a * f.ar[k] - b * f.ai[k];
            w.ai[k] = a * f.ai[k] + b * f.ar[k];
            w.br[k] = a * f.br[k] - b * f.bi[k];
            w.bi[k] = a * f.bi[k] + b * f.br[k];
        }
    }
    // Column 0 as ApplyMatchedFilter multiplies it: one complex product.
    const double x0r = xr[0] + (er ? er[0] : 0), x0i = xi[0] + (ei ? ei[0] : 0);
    const double y0r = x0r * f.h0r - x0i * f.h0i;
    const double y0i = x0r * f.h0i + x0i * f.h0r;
    w.ar[0] = w.br[0] = y0r;
    w.ai[0] = w.bi[0] = 0;
    w.nyquist = -y0i;
    ComplexFFT(w.ar.data(), w.ai.data(), N, +1);
    ComplexFFT(w.br.data(), w.bi.data(), N, +1);
}

// |z|^2 into ar (even samples) and br (odd ones); returns their sum, taken
// in four running parts for speed, always in the same order.
__attribute__((target_clones("arch=x86-64-v3", "default")))
double SquaredEnvelope(int N, Workspace& w)
{
    double* ar = w.ar.data();
    const double* ai = w.ai.data();
    double* br = w.br.data();
    const double* bi = w.bi.data();
    const double nyq = w.nyquist;
    int p = 0;
    V4d acc = {0, 0, 0, 0};
    for (; p + 4 <= N; p += 4) {
        const V4d a = Load(ar + p) + nyq, b = Load(br + p) - nyq, c = Load(ai + p), d = Load(bi + p);
        const V4d e0 = a * a + c * c, e1 = b * b + d * d;
        Store(ar + p, e0);
        Store(br + p, e1);
        acc += e0 + e1;
    }
    double sum = (acc[0] + acc[1]) + (acc[2] + acc[3]);
    for (; p < N; ++p) {
        const double a = ar[p] + nyq, b = br[p] - nyq;
        ar[p] = a * a + ai[p] * ai[p];
        br[p] = b * b + bi[p] * bi[p];
        sum += ar[p] + br[p];
    }
    return sum;
}

// Cells of the whole record above `levels` (ascending) into bins: bin j
// counts the levels above levels[j] but not levels[j + 1]. Blocks whose
// largest level lies below the lowest threshold, most of them, are passed by
// at vector speed.
__attribute__((target_clones("arch=x86-64-v3", "default")))
void CountCells(int N, const Workspace& w, const std::vector<double>& levels, std::vector<long long>& bins)
{
    constexpr int kBlock = 64;
    const double lowest = levels[0];
    const std::size_t J = levels.size();
    const double* ar = w.ar.data();
    const double* br = w.br.data();
    const auto cell = [&](double v) {
        if (!(v > lowest)) return;
        std::size_t j = 1;
        while (j < J && v > levels[j]) ++j;
        ++bins[j - 1];
    };
    for (int b = 0; b < N; b += kBlock) {
        const int e = std::min(N, b + kBlock);
        if (e - b == kBlock) {
            V4d top = Load(ar + b);
            for (int p = b; p < e; p += 4) {
                const V4d u = Load(ar + p), v = Load(br + p);
                top = u > top ? u : top;
                top = v > top ? v : top;
            }
            if (!(std::max(std::max(top[0], top[1]), std::max(top[2], top[3])) > lowest)) continue;
        }
        for (int p = b; p < e; ++p) {
            cell(ar[p]);
            cell(br[p]);
        }
    }
}

void Validate(const TrialSetup& s)
{
    const int N = s.N;
    if (N < 1 || N > kMaxSignalSize || (N & (N - 1)) != 0) RaiseInvalidOp();
    const auto holds = [N](const TSignalData* d) {
        return d != nullptr && (*d)[0].size() >= static_cast<std::size_t>(N) &&
               (*d)[1].size() >= static_cast<std::size_t>(N);
    };
    if (!holds(s.filter) || (s.echo != nullptr && !holds(s.echo))) RaiseInvalidOp();
    if (!std::isfinite(s.sigma) || s.sigma < 0) RaiseInvalidOp();
    if (s.gateFirst < 0 || s.gateFirst >= s.gateLast || s.gateLast > 2LL * N) RaiseInvalidOp();
    for (long double t : s.thresholds)
        if (!std::isfinite(t) || t < 0) RaiseInvalidOp();
}

// What one thread gathers beside the per-trial values: per sorted threshold
// j, the cells whose level lies above thresholds j but not j + 1.
struct CellCounts {
    std::vector<long long> bins;
};

}  // namespace

std::uint32_t TrialSeed(std::uint32_t base, int N, long long i)
{
    return LcgAdvance(base, 4ULL * static_cast<std::uint64_t>(N) * static_cast<std::uint64_t>(i));
}

long long MaxTrials(int N) { return N < 1 ? 0 : (1LL << 30) / N; }

long double FilteredNoiseSigma(const TSignalData& filter, int N, long double sigma)
{
    if (N < 1 || filter[0].size() < static_cast<std::size_t>(N) || filter[1].size() < static_cast<std::size_t>(N))
        RaiseInvalidOp();
    if (!std::isfinite(sigma) || sigma < 0) RaiseInvalidOp();
    long double sum = 0;
    for (int k = 0; k < N; ++k) {
        const long double r = filter[0][k], i = filter[1][k];
        sum += (k == 0 ? 1 : 2) * (r * r + i * i);
    }
    return CheckedSqrt(CheckFinite(sigma * sigma * sum / (2.0L * N)));
}

long long CountAbove(const std::vector<double>& values, long double threshold)
{
    return std::count_if(values.begin(), values.end(), [threshold](double v) { return v > threshold; });
}

void TrialEnvelope(const TrialSetup& setup, long long i, TSignalData& envelope)
{
    Validate(setup);
    if (i < 0 || i >= MaxTrials(setup.N)) RaiseInvalidOp();
    const int N = setup.N;
    const PreparedFilter filter = PrepareFilter(*setup.filter, N);
    Workspace w(N);
    const FpFlagGuard guard;
    AnalyticSignal(setup, filter, i, w);
    SquaredEnvelope(N, w);
    guard.Check();
    AllocateSignal(envelope, N);
    for (int p = 0; p < N; ++p) {
        envelope[0][p] = std::sqrt(w.ar[p]);
        envelope[1][p] = std::sqrt(w.br[p]);
    }
}

TrialResults RunTrials(const TrialSetup& setup)
{
    Validate(setup);
    const long long K = setup.trials;
    if (K < 1 || K > MaxTrials(setup.N)) RaiseInvalidOp();
    const int N = setup.N;
    const long long cells = 2LL * N;
    const int m0 = setup.gateFirst, m1 = setup.gateLast;

    // Thresholds ascending, as squared levels; order[j] is the caller's index.
    const std::size_t J = setup.thresholds.size();
    std::vector<std::size_t> order(J);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return setup.thresholds[a] < setup.thresholds[b]; });
    std::vector<double> levels(J);
    for (std::size_t j = 0; j < J; ++j) {
        const long double t = setup.thresholds[order[j]];
        levels[j] = static_cast<double>(t * t);
    }
    const double lowest = J > 0 ? levels[0] : 0;

    TrialResults r;
    Assign(r.gateMax, static_cast<std::size_t>(K));
    Assign(r.gateArgMax, static_cast<std::size_t>(K));
    std::vector<double> power;
    const bool noiseOnly = setup.echo == nullptr;
    if (noiseOnly) Assign(power, static_cast<std::size_t>(K));
    const PreparedFilter filter = PrepareFilter(*setup.filter, N);

    const unsigned workers = static_cast<unsigned>(std::clamp<long long>(WorkThreads(), 1, K));
    std::atomic<long long> next{0}, done{0};
    std::atomic<bool> abandon{false};
    RunControl* const control = CurrentRun();
    const bool reports = ReportsProgress();
    std::vector<CellCounts> counts(workers);
    std::vector<std::exception_ptr> errors(workers);

    const auto work = [&](unsigned id) {
        try {
            const RunScope scope(control, reports && id == 0);
            const WorkThreadsScope one(1);
            Workspace w(N);
            std::vector<long long>& bins = counts[id].bins;
            Assign(bins, J);
            // Gate cells are counted with the rest and taken out again.
            const auto uncount = [&](double v) {
                if (!(v > lowest)) return;
                std::size_t j = 1;
                while (j < J && v > levels[j]) ++j;
                --bins[j - 1];
            };
            const FpFlagGuard guard;
            while (!abandon.load(std::memory_order_relaxed)) {
                const long long i = next.fetch_add(1, std::memory_order_relaxed);
                if (i >= K) break;
                AnalyticSignal(setup, filter, i, w);
                const double sum = SquaredEnvelope(N, w);
                guard.Check();
                if (noiseOnly) power[static_cast<std::size_t>(i)] = sum;
                int best = m0;
                double top = -1;
                for (int m = m0; m < m1; ++m) {
                    const double v = (m & 1 ? w.br : w.ar)[static_cast<std::size_t>(m >> 1)];
                    if (v > top) top = v, best = m;
                }
                r.gateMax[static_cast<std::size_t>(i)] = std::sqrt(top);
                r.gateArgMax[static_cast<std::size_t>(i)] = best;
                if (J > 0) {
                    CountCells(N, w, levels, bins);
                    for (int m = m0; m < m1; ++m) uncount((m & 1 ? w.br : w.ar)[static_cast<std::size_t>(m >> 1)]);
                }
                const long long finished = done.fetch_add(1, std::memory_order_relaxed) + 1;
                if (id == 0) StepProgress(finished, K);
                else Checkpoint();
            }
        } catch (...) {
            errors[id] = std::current_exception();
            abandon.store(true, std::memory_order_relaxed);
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(workers - 1);
    try {
        for (unsigned id = 1; id < workers; ++id) threads.push_back(StartThread(work, id));
    } catch (const std::system_error&) {
        // No thread to be had: the caller takes every trial left.
    }
    work(0);
    for (auto& t : threads) t.join();
    RethrowWorkerErrors(errors);

    // Bins to counts at or above each threshold, in the caller's order.
    r.cellsAbove.assign(J, 0);
    long long above = 0;
    for (std::size_t j = J; j-- > 0;) {
        for (const CellCounts& c : counts)
            if (!c.bins.empty()) above += c.bins[j];
        r.cellsAbove[order[j]] = above;
    }
    r.cellsOutside = K * (cells - (m1 - m0));
    if (noiseOnly) {
        // Summed in trial order, so the thread count cannot change the bits.
        long double total = 0;
        for (double p : power) total += p;
        r.sigmaEnvMeasured = std::sqrt(total / (2.0L * static_cast<long double>(K) * cells));
    }
    return r;
}

}  // namespace sonavir
