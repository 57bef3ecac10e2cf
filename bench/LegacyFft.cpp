// The transform as it stood before it was threaded and retuned, kept word for
// word (only its namespace differs) so that the benchmarks can check that
// every output bit of the current one is still the same.

#include "bench/LegacyFft.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "signal/Errors.h"

namespace sonavir::legacy {

namespace {

int Log2(int n)
{
    int m = 0;
    while ((1 << m) < n) ++m;
    return m;
}

// The vector helpers below are always inlined, so no vector value crosses a
// call boundary whose convention AVX would change.
#pragma GCC diagnostic ignored "-Wpsabi"

// Four doubles at a time; without AVX the compiler splits them into SSE2
// pairs, so one source serves both clones below.
typedef double V4 __attribute__((vector_size(32), aligned(8), may_alias));

inline V4 Load(const double* p) { return *reinterpret_cast<const V4*>(p); }
inline void Store(double* p, V4 v) { *reinterpret_cast<V4*>(p) = v; }

// e^{j pi i / N} for 0 <= i < N from two short tables in extended precision:
// fine[i mod F] times coarse[i div F]. Both are built by doubling from the
// half-angle values, so each entry carries only a few roundings however large
// N is, where a running rotor would drift over millions of steps.
class UnitRoots {
public:
    explicit UnitRoots(int n) : n_(n), f_((n + 1) / 2)
    {
        // c[k] = cos(pi / 2^k), s[k] = sin(pi / 2^k).
        std::vector<long double> c(n + 1), s(n + 1);
        c[0] = -1;
        s[0] = 0;
        for (int k = 1; k <= n; ++k) {
            c[k] = std::sqrt((c[k - 1] + 1) / 2);
            // sqrt((1 - c) / 2) rewritten as s / 2c': 1 - c cancels for
            // small angles and would cost half the digits at large N.
            s[k] = k == 1 ? std::sqrt((1 - c[0]) / 2) : s[k - 1] / (2 * c[k]);
        }
        Build(fineRe_, fineIm_, f_, 0, c, s);
        Build(coarseRe_, coarseIm_, n - f_, f_, c, s);
    }

    // e^{j pi i / N}.
    void At(long long i, long double& re, long double& im) const
    {
        const long long lo = i & ((1LL << f_) - 1), hi = i >> f_;
        const long double ar = fineRe_[lo], ai = fineIm_[lo], br = coarseRe_[hi], bi = coarseIm_[hi];
        re = ar * br - ai * bi;
        im = ar * bi + ai * br;
    }

private:
    // Entries e^{j pi (i << shift) / N} for i < 2^bits.
    void Build(std::vector<long double>& re, std::vector<long double>& im, int bits, int shift,
               const std::vector<long double>& c, const std::vector<long double>& s)
    {
        re.assign(std::size_t{1} << bits, 0);
        im.assign(std::size_t{1} << bits, 0);
        re[0] = 1;
        for (int k = 0; k < bits; ++k) {
            // e^{j pi 2^(k+shift) / N}: the angle pi / 2^(n-k-shift).
            const long double sr = c[n_ - k - shift], si = s[n_ - k - shift];
            const std::size_t half = std::size_t{1} << k;
            for (std::size_t i = 0; i < half; ++i) {
                re[half + i] = re[i] * sr - im[i] * si;
                im[half + i] = re[i] * si + im[i] * sr;
            }
        }
    }

    int n_, f_;
    std::vector<long double> fineRe_, fineIm_, coarseRe_, coarseIm_;
};

// Scratch space that only lives for one transform. Small sizes reuse a
// per-thread block so that a transform does not pay for fresh pages on every
// call; large ones take memory for the call and give it back. Each user
// holds its own slot.
enum class ScratchSlot { Roots, Twiddles };

class Scratch {
public:
    Scratch() = default;
    Scratch(ScratchSlot slot, std::size_t count) { Acquire(slot, count); }

    void Acquire(ScratchSlot slot, std::size_t count)
    {
        constexpr std::size_t kKept = std::size_t{1} << 17;
        thread_local std::vector<double> kept[2];
        std::vector<double>& mine = kept[static_cast<int>(slot)];
        try {
            if (count <= kKept) {
                if (mine.size() < count) mine.resize(count);
                data_ = mine.data();
            } else {
                own_.reset(new double[count]);
                data_ = own_.get();
            }
        } catch (const std::bad_alloc&) {
            RaiseOutOfMemory();
        }
    }
    double* data() const { return data_; }

private:
    std::unique_ptr<double[]> own_;
    double* data_ = nullptr;
};

// Sizes up to this keep e^{j pi i / N} for the quarter turn i < N/2 in a
// table (8N bytes); larger ones work each value out when needed, so that
// the largest buffers do not need half as much again in scratch space.
constexpr int kTableBits = 22;
// Up to this size (1 MiB of roots) the table of the last size used is kept.
constexpr int kKeptTableBits = 17;

// The roots e^{j pi i / N}, 0 <= i < N, rounded to double once.
class RootTable {
public:
    explicit RootTable(int n) : half_(std::size_t{1} << n >> 1)
    {
        if (n < 2) return;  // two points need no roots
        if (n > kTableBits) {
            exact_ = std::make_unique<UnitRoots>(n);
            return;
        }
        if (n <= kKeptTableBits) {
            // The same size again reuses the same (deterministic) values,
            // which is most of the work for small transforms.
            thread_local int keptBits = -1;
            thread_local std::vector<double> kept;
            if (keptBits != n) {
                keptBits = -1;
                try {
                    kept.resize(2 * half_);
                } catch (const std::bad_alloc&) {
                    RaiseOutOfMemory();
                }
                Build(n, kept.data());
                keptBits = n;
            }
            re_ = kept.data();
        } else {
            space_.Acquire(ScratchSlot::Roots, 2 * half_);
            re_ = space_.data();
            Build(n, re_);
        }
        im_ = re_ + half_;
    }

    // re[k] + j im[k] = e^{j pi (first + k stride) / N} for k < count.
    void Fill(std::size_t first, std::size_t stride, std::size_t count, double* re, double* im) const
    {
        for (std::size_t k = 0, i = first; k < count; ++k, i += stride) {
            if (re_ == nullptr) {
                long double cr, ci;
                exact_->At(static_cast<long long>(i), cr, ci);
                re[k] = static_cast<double>(cr);
                im[k] = static_cast<double>(ci);
            } else if (i < half_) {
                re[k] = re_[i];
                im[k] = im_[i];
            } else {
                // A quarter turn further: multiply by j, exactly.
                re[k] = -im_[i - half_];
                im[k] = re_[i - half_];
            }
        }
    }

    // Twiddles of positions q0 .. q0+count of a stage of half-span 2^logL:
    // W = e^{-j dir pi q / L}, at index q N / L.
    void Twiddles(int n, int logL, int dir, std::size_t q0, std::size_t count, double* re, double* im) const
    {
        Fill(q0 << (n - logL), std::size_t{1} << (n - logL), count, re, im);
        if (dir == 1)
            for (std::size_t k = 0; k < count; ++k) im[k] = -im[k];
    }

private:
    // Rows re = out[0 .. N/2), im = out[N/2 .. N).
    void Build(int n, double* out) const
    {
        const UnitRoots exact(n);
        double* re = out;
        double* im = out + half_;
        // i <= N/4 from the extended tables; the rest of the quadrant
        // mirrors: e^{j pi (N/2 - i) / N} = (sin, cos) of pi i / N.
        const std::size_t quarter = half_ / 2;
        for (std::size_t i = 0; i <= quarter; ++i) {
            long double cr, ci;
            exact.At(static_cast<long long>(i), cr, ci);
            re[i] = static_cast<double>(cr);
            im[i] = static_cast<double>(ci);
        }
        for (std::size_t i = quarter + 1; i < half_; ++i) {
            re[i] = im[half_ - i];
            im[i] = re[half_ - i];
        }
    }

    std::size_t half_;
    std::unique_ptr<UnitRoots> exact_;
    Scratch space_;
    double* re_ = nullptr;
    double* im_ = nullptr;
};

// In-place bit reversal of both rows, each value multiplied by scale (exact:
// scale is a power of two). Large sizes move 16 x 16 tiles: index
// (a, b, c) goes to (rev c, rev b, rev a), so every cache line read or
// written is used whole.
void BitReverse(double* re, double* im, int n, double scale)
{
    auto rev = [](std::uint32_t x, int bits) {
        std::uint32_t r = 0;
        for (int i = 0; i < bits; ++i, x >>= 1) r = (r << 1) | (x & 1);
        return r;
    };
    constexpr int t = 4, T = 1 << t;
    if (n < 2 * t + 2) {
        const std::uint32_t N = 1u << n;
        for (std::uint32_t i = 0; i < N; ++i) {
            const std::uint32_t j = rev(i, n);
            if (i < j) {
                std::swap(re[i], re[j]);
                std::swap(im[i], im[j]);
            }
        }
        if (scale != 1.0)
            for (std::uint32_t i = 0; i < N; ++i) {
                re[i] *= scale;
                im[i] *= scale;
            }
        return;
    }
    const int mid = n - 2 * t;
    std::uint32_t revT[T];
    for (int i = 0; i < T; ++i) revT[i] = rev(i, t);
    double tile[2][2][T][T];  // [which tile][row][a][c]
    for (std::uint32_t b = 0; b < (1u << mid); ++b) {
        const std::uint32_t rb = rev(b, mid);
        if (rb < b) continue;
        const std::uint32_t bases[2] = {b << t, rb << t};
        const int tiles = rb == b ? 1 : 2;
        for (int w = 0; w < tiles; ++w)
            for (int a = 0; a < T; ++a) {
                const std::size_t src = (std::size_t{static_cast<std::uint32_t>(a)} << (n - t)) | bases[w];
                for (int c = 0; c < T; ++c) {
                    tile[w][0][a][c] = re[src + c];
                    tile[w][1][a][c] = im[src + c];
                }
            }
        // Tile w lands in the place of the other one (or its own).
        for (int w = 0; w < tiles; ++w) {
            const std::uint32_t dstBase = bases[tiles == 1 ? 0 : 1 - w];
            for (int c = 0; c < T; ++c) {
                const std::size_t dst = (std::size_t{revT[c]} << (n - t)) | dstBase;
                for (int a = 0; a < T; ++a) {
                    re[dst + revT[a]] = tile[w][0][a][c] * scale;
                    im[dst + revT[a]] = tile[w][1][a][c] * scale;
                }
            }
        }
    }
}

// Stages 0 and 1 at once: every twiddle is 1 or -j dir.
template <int Dir>
void FirstRadix4(double* re, double* im, std::size_t from, std::size_t to)
{
    for (std::size_t p = from; p < to; p += 4) {
        const double a0r = re[p] + re[p + 1], a0i = im[p] + im[p + 1];
        const double a1r = re[p] - re[p + 1], a1i = im[p] - im[p + 1];
        const double a2r = re[p + 2] + re[p + 3], a2i = im[p + 2] + im[p + 3];
        const double a3r = re[p + 2] - re[p + 3], a3i = im[p + 2] - im[p + 3];
        // (-j dir) * a3
        const double vr = Dir * a3i, vi = -Dir * a3r;
        re[p] = a0r + a2r;
        im[p] = a0i + a2i;
        re[p + 2] = a0r - a2r;
        im[p + 2] = a0i - a2i;
        re[p + 1] = a1r + vr;
        im[p + 1] = a1i + vi;
        re[p + 3] = a1r - vr;
        im[p + 3] = a1i - vi;
    }
}

// Two radix-2 stages fused (half-spans L and 2L) for positions q0 .. q0+count
// of the group at base; w1 and w2 hold the twiddles of the two stages for
// those positions. count is a multiple of 4.
template <int Dir>
__attribute__((target_clones("avx2", "default")))
void Radix4(double* __restrict re, double* __restrict im, std::size_t base, std::size_t L, std::size_t q0,
            std::size_t count, const double* w1r, const double* w1i, const double* w2r, const double* w2i)
{
    double* r0 = re + base + q0;
    double* i0 = im + base + q0;
    for (std::size_t q = 0; q < count; q += 4) {
        const V4 x0r = Load(r0 + q), x0i = Load(i0 + q);
        const V4 x1r = Load(r0 + q + L), x1i = Load(i0 + q + L);
        const V4 x2r = Load(r0 + q + 2 * L), x2i = Load(i0 + q + 2 * L);
        const V4 x3r = Load(r0 + q + 3 * L), x3i = Load(i0 + q + 3 * L);
        const V4 ar = Load(w1r + q), ai = Load(w1i + q);
        const V4 br = Load(w2r + q), bi = Load(w2i + q);
        const V4 t1r = ar * x1r - ai * x1i, t1i = ar * x1i + ai * x1r;
        const V4 t3r = ar * x3r - ai * x3i, t3i = ar * x3i + ai * x3r;
        const V4 a0r = x0r + t1r, a0i = x0i + t1i, a1r = x0r - t1r, a1i = x0i - t1i;
        const V4 a2r = x2r + t3r, a2i = x2i + t3i, a3r = x2r - t3r, a3i = x2i - t3i;
        const V4 u2r = br * a2r - bi * a2i, u2i = br * a2i + bi * a2r;
        const V4 u3r = br * a3r - bi * a3i, u3i = br * a3i + bi * a3r;
        // Position q + L of the second stage: its twiddle is w2 times -j dir.
        const V4 vr = Dir * u3i, vi = -Dir * u3r;
        Store(r0 + q, a0r + u2r);
        Store(i0 + q, a0i + u2i);
        Store(r0 + q + 2 * L, a0r - u2r);
        Store(i0 + q + 2 * L, a0i - u2i);
        Store(r0 + q + L, a1r + vr);
        Store(i0 + q + L, a1i + vi);
        Store(r0 + q + 3 * L, a1r - vr);
        Store(i0 + q + 3 * L, a1i - vi);
    }
}

// One radix-2 stage of half-span L for positions q0 .. q0+count of the group
// at base (count a multiple of 4).
__attribute__((target_clones("avx2", "default")))
void Radix2(double* __restrict re, double* __restrict im, std::size_t base, std::size_t L, std::size_t q0,
            std::size_t count, const double* wr, const double* wi)
{
    double* r0 = re + base + q0;
    double* i0 = im + base + q0;
    for (std::size_t q = 0; q < count; q += 4) {
        const V4 x0r = Load(r0 + q), x0i = Load(i0 + q);
        const V4 x1r = Load(r0 + q + L), x1i = Load(i0 + q + L);
        const V4 ar = Load(wr + q), ai = Load(wi + q);
        const V4 tr = ar * x1r - ai * x1i, ti = ar * x1i + ai * x1r;
        Store(r0 + q, x0r + tr);
        Store(i0 + q, x0i + ti);
        Store(r0 + q + L, x0r - tr);
        Store(i0 + q + L, x0i - ti);
    }
}

// A block of 2^13 points (128 KiB in two rows) stays in the second-level
// cache while all of its own stages run.
constexpr int kBlockBits = 13;
// Positions whose twiddles are worked out together in the large stages.
constexpr std::size_t kChunk = 1024;

// Stages [from, to) of every block of 2^to points in [begin, end).
template <int Dir>
void CacheStages(double* re, double* im, std::size_t begin, std::size_t end, int from, int to,
                 const double* twr, const double* twi)
{
    const std::size_t B = std::size_t{1} << to;
    for (std::size_t blk = begin; blk < end; blk += B) {
        int st = from;
        if (st == 0 && to >= 2) {
            FirstRadix4<Dir>(re, im, blk, blk + B);
            st = 2;
        }
        for (; st < to; st += 2) {
            const std::size_t L = std::size_t{1} << st;
            if (st + 1 < to) {
                for (std::size_t g = blk; g < blk + B; g += 4 * L)
                    Radix4<Dir>(re, im, g, L, 0, L, &twr[L], &twi[L], &twr[2 * L], &twi[2 * L]);
            } else {
                for (std::size_t g = blk; g < blk + B; g += 2 * L)
                    Radix2(re, im, g, L, 0, L, &twr[L], &twi[L]);
            }
        }
    }
}

template <int Dir>
void ComplexTransform(double* re, double* im, int n, double scale, const RootTable& roots)
{
    const std::size_t N = std::size_t{1} << n;
    BitReverse(re, im, n, scale);
    if (n == 1) {
        const double ar = re[0], ai = im[0];
        re[0] = ar + re[1];
        im[0] = ai + im[1];
        re[1] = ar - re[1];
        im[1] = ai - im[1];
        return;
    }
    const int small = std::min(n, kBlockBits);
    // Twiddles of the in-cache stages: half-span L at [L, 2L).
    const std::size_t S = std::size_t{1} << small;
    const Scratch space(ScratchSlot::Twiddles, 2 * S + 4 * kChunk);
    double* const twr = space.data();
    double* const twi = twr + S;
    for (int logL = 2; logL < small; ++logL) {
        const std::size_t L = std::size_t{1} << logL;
        roots.Twiddles(n, logL, Dir, 0, L, twr + L, twi + L);
    }
    if (small == 2 || small == 3) {
        // Too short for the vector kernels past the first pair of stages.
        FirstRadix4<Dir>(re, im, 0, N);
        if (small == 3) {
            double w4r[4], w4i[4];
            roots.Twiddles(n, 2, Dir, 0, 4, w4r, w4i);
            for (std::size_t q = 0; q < 4; ++q) {
                const double wr = w4r[q], wi = w4i[q];
                for (std::size_t g = 0; g < N; g += 8) {
                    const std::size_t a = g + q, b = a + 4;
                    const double tr = re[b] * wr - im[b] * wi, ti = re[b] * wi + im[b] * wr;
                    re[b] = re[a] - tr;
                    im[b] = im[a] - ti;
                    re[a] += tr;
                    im[a] += ti;
                }
            }
        }
    } else {
        CacheStages<Dir>(re, im, 0, N, 0, small, twr, twi);
    }
    // Stages too wide for the cache: whole passes, two stages at a time.
    double* w1r = twi + S;
    double* w1i = w1r + kChunk;
    double* w2r = w1i + kChunk;
    double* w2i = w2r + kChunk;
    for (int st = small; st < n; st += 2) {
        const std::size_t L = std::size_t{1} << st;
        const bool pair = st + 1 < n;
        const std::size_t span = pair ? 4 * L : 2 * L;
        for (std::size_t q0 = 0; q0 < L; q0 += kChunk) {
            const std::size_t count = std::min(kChunk, L);
            roots.Twiddles(n, st, Dir, q0, count, w1r, w1i);
            if (pair) roots.Twiddles(n, st + 1, Dir, q0, count, w2r, w2i);
            for (std::size_t g = 0; g < N; g += span) {
                if (pair)
                    Radix4<Dir>(re, im, g, L, q0, count, w1r, w1i, w2r, w2i);
                else
                    Radix2(re, im, g, L, q0, count, w1r, w1i);
            }
        }
    }
}

// Converts between the complex transform of the packed points z[j] =
// x[2j] + j x[2j+1] and the spectrum of the 2N real samples, in one pass.
// The row-1 negations on the way in (inverse) and out (forward) are folded
// into the reads and writes.
template <int Dir>
void RealSpectrumStep(double* r0, double* r1, int n, const RootTable& roots)
{
    const std::size_t N = std::size_t{1} << n;
    const double inSign = Dir == -1 ? -1.0 : 1.0;
    const double outSign = Dir == 1 ? -1.0 : 1.0;
    constexpr std::size_t C = 1024;
    double cw[C], sw[C];
    for (std::size_t i0 = 1; i0 < N / 2; i0 += C) {
        const std::size_t count = std::min(C, N / 2 - i0);
        // w_i = Dir e^{j Dir pi i / N} = (Dir cos, sin).
        roots.Fill(i0, 1, count, cw, sw);
        if (Dir == -1)
            for (std::size_t k = 0; k < count; ++k) cw[k] = -cw[k];
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t i = i0 + k, j = N - i;
            const double a = r0[i], b = inSign * r1[i], c = r0[j], d = inSign * r1[j];
            const double h1r = a + c, h1i = b - d, h2r = b + d, h2i = c - a;
            const double wr = cw[k], wi = sw[k];
            const double tr = h2r * wr + h2i * wi, ti = h2i * wr - h2r * wi;
            r0[i] = h1r + tr;
            r1[i] = outSign * (h1i + ti);
            r0[j] = h1r - tr;
            r1[j] = outSign * (ti - h1i);
        }
    }
    const double e = r0[0], f = inSign * r1[0];
    double z0 = e + f, z1 = e - f;
    if (Dir == 1) {
        z0 *= 2;
        z1 *= 2;
    }
    r0[0] = z0;
    r1[0] = outSign * z1;
    r0[N / 2] = 2 * r0[N / 2];
    r1[N / 2] = outSign * (-2 * (inSign * r1[N / 2]));
}


// The transform has no test per value: a spectrum large enough to overflow on
// the way back is caught by the sticky flags, before anyone reads the samples.
// Flags already raised by the caller are kept as they were.
class TransformFaults {
public:
    TransformFaults()
    {
        std::fegetexceptflag(&saved_, kFlags);
        std::feclearexcept(kFlags);
    }
    ~TransformFaults() { std::fesetexceptflag(&saved_, kFlags); }
    void Check() const
    {
        const int raised = std::fetestexcept(kFlags);
        // An overflow comes first: the infinities it leaves are what make the
        // later differences invalid.
        if (raised & FE_OVERFLOW) RaiseOverflow();
        if (raised & FE_INVALID) RaiseInvalidOp();
        if (raised & FE_DIVBYZERO) RaiseDivByZero();
    }

private:
    static constexpr int kFlags = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;
    std::fexcept_t saved_;
};

void Transform(TSignalData& data, int N, std::int8_t direction);

}  // namespace

void ComplexFFT(double* re, double* im, int N, std::int8_t direction)
{
    if (N < 1 || N > kMaxSignalSize || (N & (N - 1)) != 0) RaiseInvalidOp();
    if (N == 1) return;
    const TransformFaults faults;
    const int n = Log2(N);
    const RootTable roots(n);
    if (direction == 1)
        ComplexTransform<1>(re, im, n, 1.0, roots);
    else
        ComplexTransform<-1>(re, im, n, 1.0, roots);
    faults.Check();
}

bool FFT(TSignalData& data, int N, std::int8_t direction)
{
    const TransformFaults faults;
    Transform(data, N, direction);
    faults.Check();
    return true;
}

namespace {

void Transform(TSignalData& data, int N, std::int8_t direction)
{
    if (N == 1) {
        // Two samples: the table values directly.
        const long double x0 = data[0][0], x1 = data[1][0];
        if (direction == 1) {
            data[0][0] = static_cast<double>((x0 + x1) / 2);
            data[1][0] = static_cast<double>(-(x0 - x1) / 2);
        } else {
            data[0][0] = static_cast<double>(x0 - x1);
            data[1][0] = static_cast<double>(x0 + x1);
        }
        return;
    }
    const int n = Log2(N);
    const RootTable roots(n);
    double* re = data[0].data();
    double* im = data[1].data();
    if (direction == 1) {
        // Dividing by 4N is exact, so it rides along with the reordering.
        ComplexTransform<1>(re, im, n, 1.0 / (4.0 * N), roots);
        RealSpectrumStep<1>(re, im, n, roots);
    } else {
        RealSpectrumStep<-1>(re, im, n, roots);
        ComplexTransform<-1>(re, im, n, 1.0, roots);
    }
}

}  // namespace

}  // namespace sonavir::legacy
