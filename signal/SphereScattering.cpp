#include "signal/SphereScattering.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

// The last order the sum may need at x: beyond x + 8 x^(1/3) the terms are
// below 1e-18 of the sum (the count x + 4 x^(1/3) + 10 of the Mie codes still
// leaves 1e-9 at x = 2000). The sums stop earlier once the terms are
// negligible.
int LastOrder(long double x) { return static_cast<int>(x + 8 * std::cbrt(x) + 8); }

// f for 0 < x <= kRigidSphereSeriesKa from the standard library's functions.
std::complex<long double> ReferenceSeries(long double x)
{
    const int last = LastOrder(x);
    long double sr = 0, si = 0;
    long double jPrev = 0, yPrev = 0;
    for (int n = 0; n <= last; ++n) {
        const auto un = static_cast<unsigned>(n);
        const long double j = std::sph_bessel(un, x), y = std::sph_neumann(un, x);
        // j_0' = -j_1; otherwise from the order below.
        const long double jd = n == 0 ? -std::sph_bessel(1u, x) : jPrev - (n + 1) / x * j;
        const long double yd = n == 0 ? -std::sph_neumann(1u, x) : yPrev - (n + 1) / x * y;
        jPrev = j;
        yPrev = y;
        // j' / (j' + i y'), scaled by the larger part so nothing overflows.
        long double tr, ti;
        if (std::fabs(jd) < std::fabs(yd)) {
            const long double u = jd / yd, d = 1 / (1 + u * u);
            tr = u * u * d;
            ti = -u * d;
        } else {
            const long double v = yd / jd, d = 1 / (1 + v * v);
            tr = d;
            ti = -v * d;
        }
        const long double w = (n % 2 ? -1 : 1) * static_cast<long double>(2 * n + 1);
        sr += w * tr;
        si += w * ti;
        if (n > x && std::fabs(w) * (std::fabs(tr) + std::fabs(ti)) < 1e-21L * (std::fabs(sr) + std::fabs(si)))
            break;
    }
    // (2i / x) (sr + i si)
    return {-2 * si / x, 2 * sr / x};
}

}  // namespace

std::complex<long double> RigidSphereFormFunction(long double ka)
{
    CheckFinite(ka);
    if (ka < 0) return std::conj(RigidSphereFormFunction(-ka));
    if (ka == 0) return 0;
    // The next term is (ka)^2 smaller: below 1e-10 it is lost in rounding.
    if (ka < 1e-10L) return -(5.0L / 3) * ka * ka;
    if (ka > kRigidSphereSeriesKa) return std::polar(1.0L, -2 * ka);
    return ReferenceSeries(ka);
}

long double RigidSphereTs(long double f, long double a, long double c)
{
    const long double ka = CheckedDiv(2 * kPi * CheckFinite(f) * CheckFinite(a), CheckFinite(c));
    const long double amplitude = std::abs(RigidSphereFormFunction(ka)) * a / 2;
    return 20 * CheckedLn(amplitude) / std::numbers::ln10_v<long double>;
}

namespace detail {

std::complex<double> RigidSphereSeries(double x, std::vector<double>& J)
{
    const int last = LastOrder(x);
    // Miller: j_n is the solution of the recurrence that falls with n, so it
    // is run downward from well beyond the last order, from an arbitrary
    // start, and normalised at the bottom on j_0 or j_1, whichever is larger.
    const int top = last + 8;
    J.assign(static_cast<std::size_t>(top) + 2, 0.0);
    J[static_cast<std::size_t>(top)] = 1e-300;
    const double ix = 1 / x;
    for (int n = top; n >= 1; --n) {
        double v = (2 * n + 1) * ix * J[n] - J[n + 1];
        if (std::fabs(v) > 1e250) {
            for (int m = n; m <= top; ++m) J[m] *= 1e-250;
            v *= 1e-250;
        }
        J[n - 1] = v;
    }
    const double s = std::sin(x), c = std::cos(x);
    const double j0 = s * ix, j1 = (s * ix - c) * ix;
    const double norm = std::fabs(j0) > std::fabs(j1) ? j0 / J[0] : j1 / J[1];
    const double y0 = -c * ix, y1 = (-c * ix - s) * ix;
    double sr = 0, si = 0;
    double jPrev = j0, yPrev = y0, y = y1;
    for (int n = 0; n <= last; ++n) {
        double jd, yd;
        if (n == 0) {
            jd = -J[1] * norm;
            yd = -y1;
        } else {
            const double j = J[n] * norm;
            jd = jPrev - (n + 1) * ix * j;
            yd = yPrev - (n + 1) * ix * y;
            jPrev = j;
            // Neumann functions grow with n: upward is the stable way.
            const double next = (2 * n + 1) * ix * y - yPrev;
            yPrev = y;
            y = next;
        }
        // j' / (j' + i y') with one division; within the orders summed here
        // y'^2 stays far inside the range.
        const double d = 1 / (jd * jd + yd * yd);
        const double tr = jd * jd * d, ti = -jd * yd * d;
        const double w = (n % 2 ? -1 : 1) * static_cast<double>(2 * n + 1);
        sr += w * tr;
        si += w * ti;
        if (n > x && std::fabs(w) * (std::fabs(tr) + std::fabs(ti)) < 1e-18 * (std::fabs(sr) + std::fabs(si)))
            break;
    }
    return {-2 * si * ix, 2 * sr * ix};
}

}  // namespace detail

namespace {

// Panels in ka: of width 1/8 below 4 (where the poles of f at the zeros of
// h_0' and h_1', ka = -i and +-1 - i, lie nearest the real axis) and 1/4
// beyond (binary fractions, so a panel's bounds and the panel of an x are
// exact); a fit of degree kDegree keeps within about 3e-12 of the series on
// both. Each holds q(x) = (a/2) f(x) / x^2 (analytic at 0, so small ka keeps
// its relative accuracy) as a polynomial in t in [-1, 1].
constexpr int kDegree = 8;
constexpr int kNodes = kDegree + 1;
constexpr double kEdge = 4;
constexpr long long kNarrowPanels = 32;

void PanelBounds(long long p, double& lo, double& hi)
{
    if (p < kNarrowPanels) {
        lo = p * 0.125;
        hi = lo + 0.125;
    } else {
        lo = kEdge + (p - kNarrowPanels) * 0.25;
        hi = lo + 0.25;
    }
}

long long PanelOf(double x)
{
    if (x < kEdge) return static_cast<long long>(x * 8);
    return kNarrowPanels + static_cast<long long>((x - kEdge) * 4);
}

struct Panel {
    double t1 = 0, t0 = 0;  // t = x t1 + t0
    double cr[kNodes] = {}, ci[kNodes] = {};
};

// Chebyshev interpolation at the points of the first kind, then the
// polynomial in monomial form (in extended precision: the conversion adds
// and subtracts coefficients of T_k as large as 2^(k-1)).
void BuildPanel(long long p, double scale, Panel& panel, std::vector<double>& scratch)
{
    double lo, hi;
    PanelBounds(p, lo, hi);
    const long double mid = (static_cast<long double>(lo) + hi) / 2, half = (static_cast<long double>(hi) - lo) / 2;
    panel.t1 = static_cast<double>(1 / half);
    panel.t0 = static_cast<double>(-mid / half);
    // cos(pi k (i + 1/2) / kNodes), row k = 1 the nodes themselves.
    static const auto kCos = [] {
        std::array<std::array<long double, kNodes>, kNodes> w{};
        for (int k = 0; k < kNodes; ++k)
            for (int i = 0; i < kNodes; ++i) w[k][i] = std::cos(kPi * k * (i + 0.5L) / kNodes);
        return w;
    }();
    long double vr[kNodes], vi[kNodes];
    for (int i = 0; i < kNodes; ++i) {
        const double x = static_cast<double>(mid + half * kCos[1][i]);
        const std::complex<double> f = detail::RigidSphereSeries(x, scratch);
        vr[i] = f.real() * scale / (static_cast<long double>(x) * x);
        vi[i] = f.imag() * scale / (static_cast<long double>(x) * x);
    }
    long double ar[kNodes] = {}, ai[kNodes] = {};
    // T_k as monomials, two rows at a time.
    long double tPrev[kNodes] = {1}, tCur[kNodes] = {0, 1};
    for (int k = 0; k < kNodes; ++k) {
        long double cr = 0, cim = 0;
        for (int i = 0; i < kNodes; ++i) {
            cr += vr[i] * kCos[k][i];
            cim += vi[i] * kCos[k][i];
        }
        const long double g = (k == 0 ? 1.0L : 2.0L) / kNodes;
        const long double* T = k == 0 ? tPrev : tCur;
        for (int m = 0; m <= k; ++m) {
            ar[m] += g * cr * T[m];
            ai[m] += g * cim * T[m];
        }
        if (k >= 1) {
            long double tNext[kNodes] = {};
            for (int m = 0; m + 1 < kNodes; ++m) tNext[m + 1] = 2 * tCur[m];
            for (int m = 0; m < kNodes; ++m) tNext[m] -= tPrev[m];
            std::copy(tCur, tCur + kNodes, tPrev);
            std::copy(tNext, tNext + kNodes, tCur);
        }
    }
    for (int m = 0; m < kNodes; ++m) {
        panel.cr[m] = static_cast<double>(ar[m]);
        panel.ci[m] = static_cast<double>(ai[m]);
    }
}

using V2 = double __attribute__((vector_size(16)));

// Columns [b, e) of one panel, four at a time in two vectors (independent
// chains to overlap): every column goes through the same lane arithmetic
// whatever its neighbours, so the values do not depend on where a run starts.
void EvaluatePanel(const Panel& panel, double dx, int b, int e, double* re, double* im)
{
    for (int k = b; k < e; k += 4) {
        const V2 x0 = V2{static_cast<double>(k), static_cast<double>(k + 1)} * dx;
        const V2 x1 = V2{static_cast<double>(k + 2), static_cast<double>(k + 3)} * dx;
        const V2 t0 = x0 * panel.t1 + panel.t0, t1 = x1 * panel.t1 + panel.t0;
        V2 r0 = V2{} + panel.cr[kDegree], i0 = V2{} + panel.ci[kDegree];
        V2 r1 = r0, i1 = i0;
        for (int m = kDegree - 1; m >= 0; --m) {
            r0 = r0 * t0 + panel.cr[m];
            i0 = i0 * t0 + panel.ci[m];
            r1 = r1 * t1 + panel.cr[m];
            i1 = i1 * t1 + panel.ci[m];
        }
        const V2 s0 = x0 * x0, s1 = x1 * x1;
        r0 *= s0;
        i0 *= s0;
        r1 *= s1;
        i1 *= s1;
        const double out[2][4] = {{r0[0], r0[1], r1[0], r1[1]}, {i0[0], i0[1], i1[0], i1[1]}};
        const int n = std::min(4, e - k);
        for (int j = 0; j < n; ++j) {
            re[k + j] = out[0][j];
            im[k + j] = out[1][j];
        }
    }
}

// The first column at or beyond x = bound, or N when none is.
long long FirstColumnFrom(double bound, double dx, int N)
{
    const double q = std::ceil(bound / dx);
    if (q >= N) return N;
    long long k = static_cast<long long>(q);
    while (k > 0 && (k - 1) * dx >= bound) --k;
    while (k * dx < bound) ++k;
    return std::min<long long>(k, N);
}

// Each worker keeps the panel it built last: consecutive blocks of its
// columns mostly share one. The key holds the call, so a panel never passes
// from one call (one scale) to the next.
struct PanelCache {
    std::uint64_t call = 0;
    long long index = -1;
    Panel panel;
    std::vector<double> scratch;
};
thread_local PanelCache tCache;
std::atomic<std::uint64_t> gCalls{0};

}  // namespace

void RigidSphereColumns(int N, long double Dt, long double a, long double c, double* re, double* im)
{
    if (N <= 0) return;
    CheckFinite(a);
    // ka per column: 2 pi (k / (2 N Dt)) a / c.
    const long double step = CheckedDiv(kPi * a, CheckFinite(static_cast<long double>(N) * CheckFinite(Dt) * CheckFinite(c)));
    re[0] = 0;
    im[0] = 0;
    // The conjugate for a negative step, the sign of a in the scale.
    const bool conjugate = step < 0;
    const long double stepAbs = std::fabs(step);
    const long double top = stepAbs * (N - 1);
    if (!detail::FitsDouble(2 * top)) RaiseOverflow();
    const long double scaleL = a / 2;
    if (std::fabs(scaleL) * 2 > DBL_MAX) RaiseOverflow();
    const double scale = static_cast<double>(scaleL), dx = static_cast<double>(stepAbs);
    if (N == 1) return;
    if (dx == 0 || scale == 0) {
        std::fill(re + 1, re + N, 0.0);
        std::fill(im + 1, im + N, 0.0);
        return;
    }
    const std::uint64_t call = ++gCalls;
    detail::ForColumns(1, N, [&](int b, int e) {
        PanelCache& cache = tCache;
        for (int k = b; k < e;) {
            const double x = k * dx;
            if (x >= static_cast<double>(kRigidSphereSeriesKa)) {
                // The geometric limit; the series is not summed up here.
                for (; k < e; ++k) {
                    const long double phase = -2 * (k * stepAbs);
                    re[k] = static_cast<double>(scaleL * std::cos(phase));
                    im[k] = static_cast<double>(scaleL * std::sin(phase));
                }
                break;
            }
            const long long p = PanelOf(x);
            double lo, hi;
            PanelBounds(p, lo, hi);
            const long long first = FirstColumnFrom(lo, dx, N);
            const long long after = FirstColumnFrom(hi, dx, N);
            const int end = static_cast<int>(std::min<long long>(e, after));
            if (after - first <= kNodes) {
                // Fewer columns than the fit would need points: each its own sum.
                for (; k < end; ++k) {
                    const std::complex<double> f = detail::RigidSphereSeries(k * dx, cache.scratch);
                    re[k] = scale * f.real();
                    im[k] = scale * f.imag();
                }
                continue;
            }
            if (cache.call != call || cache.index != p) {
                BuildPanel(p, scale, cache.panel, cache.scratch);
                cache.call = call;
                cache.index = p;
            }
            EvaluatePanel(cache.panel, dx, k, end, re, im);
            k = end;
        }
        if (conjugate)
            for (int k = b; k < e; ++k) im[k] = -im[k];
    });
}

}  // namespace sonavir
