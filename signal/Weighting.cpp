#include "signal/Weighting.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <numbers>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/RunControl.h"

namespace sonavir {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;
// Harmonics 0 .. 3 of theta are enough for every window here.
using CosineSum = std::array<long double, 4>;

// Taylor's window for nbar and a sidelobe level: w(x) = 1 + 2 sum F_m cos(2 pi m x),
// x in [-1/2, 1/2], with
//   A = acosh(10^(-SLL/20)) / pi,  sigma^2 = nbar^2 / (A^2 + (nbar - 1/2)^2),
//   F_m = (-1)^(m+1) / 2 * prod_n (1 - m^2 / (sigma^2 (A^2 + (n - 1/2)^2)))
//                         / prod_{n != m} (1 - m^2 / n^2),  n, m = 1 .. nbar-1.
// With x = theta / (2 pi) - 1/2, cos(2 pi m x) = (-1)^m cos(m theta); divided by
// w(0) so that it peaks at 1 like the others.
CosineSum TaylorCoefficients()
{
    static_assert(kTaylorNbar - 1 < static_cast<int>(std::tuple_size_v<CosineSum>));
    const long double A = std::acosh(std::pow(10.0L, -kTaylorSidelobeDb / 20)) / kPi;
    const long double nbar = kTaylorNbar;
    const long double sigma2 = nbar * nbar / (A * A + (nbar - 0.5L) * (nbar - 0.5L));
    CosineSum a{1, 0, 0, 0};
    long double peak = 1;
    for (int m = 1; m < kTaylorNbar; ++m) {
        long double num = 1, den = 1;
        for (int n = 1; n < kTaylorNbar; ++n) {
            num *= 1 - m * m / (sigma2 * (A * A + (n - 0.5L) * (n - 0.5L)));
            if (n != m) den *= 1 - static_cast<long double>(m * m) / (n * n);
        }
        const long double F = (m % 2 ? 0.5L : -0.5L) * num / den;
        a[m] = 2 * F * (m % 2 ? -1 : 1);
        peak += 2 * F;
    }
    for (long double& v : a) v /= peak;
    return a;
}

CosineSum Coefficients(WindowKind kind)
{
    switch (kind) {
    case WindowKind::Hamming:
        return {0.54L, -0.46L, 0, 0};
    case WindowKind::Hann:
        return {0.5L, -0.5L, 0, 0};
    case WindowKind::Blackman:
        return {0.42L, -0.5L, 0.08L, 0};
    case WindowKind::Taylor: {
        static const CosineSum taylor = TaylorCoefficients();
        return taylor;
    }
    case WindowKind::None:
        break;
    }
    return {1, 0, 0, 0};
}

// body(m, w) for the window's samples m = 0 .. L-1 in order, with a checkpoint
// every few thousand. cos theta comes from an anchored phase ramp (a few units
// in the last place of a double), the harmonics from Chebyshev's recurrence.
template <typename Body>
void ForWindow(WindowKind kind, long long L, Body body)
{
    // A buffer holds at most 2^29 samples; the ramp counts in int.
    if (L > (1LL << 30)) RaiseOutOfMemory();
    const CosineSum a = Coefficients(kind);
    const long double step = 2 * kPi / static_cast<long double>(L);
    // theta_m = step m + step / 2: the ramp is the part linear in m.
    const long double c0 = std::cos(step / 2), s0 = std::sin(step / 2);
    const auto phase = [step](int j) { return step * j; };
    const detail::PhaseRampD<decltype(phase)> ramp(phase);
    double c[detail::kPhaseBlock], s[detail::kPhaseBlock];
    const int count = static_cast<int>(L);
    for (int b = 0; b < count; b += detail::kPhaseBlock) {
        const int e = std::min(count, b + detail::kPhaseBlock);
        ramp.Fill(b, e, c, s);
        for (int i = b; i < e; ++i) {
            const long double ct = c[i - b] * c0 - s[i - b] * s0;
            long double tPrev = 1, t = ct, w = a[0] + a[1] * ct;
            for (std::size_t k = 2; k < a.size(); ++k) {
                const long double next = 2 * ct * t - tPrev;
                tPrev = t;
                t = next;
                w += a[k] * t;
            }
            body(i, w);
        }
        if (e % detail::kCheckColumns == 0 || e == count) StepProgress(e, count);
    }
}

}  // namespace

WindowKind WindowFromItem(int item)
{
    if (item < 0 || item >= kWindowKinds) RaiseInvalidOp();
    return static_cast<WindowKind>(item);
}

std::vector<double> WindowSamples(WindowKind kind, long long L)
{
    std::vector<double> w;
    try {
        w.resize(static_cast<std::size_t>(std::max(0LL, L)));
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
    if (L > 0) ForWindow(kind, L, [&w](long long m, long double v) { w[m] = static_cast<double>(v); });
    return w;
}

void ApplyWindow(TSignalData& wave, int N, int M, WindowKind kind)
{
    if (kind == WindowKind::None) return;
    const long long L = 2LL * std::clamp(M, 0, N);
    if (L == 0) return;
    double* rows[2] = {wave[0].data(), wave[1].data()};
    FpFlagGuard guard;
    ForWindow(kind, L, [&rows](long long m, long double w) {
        double& x = rows[m & 1][m >> 1];
        x = static_cast<double>(x * w);
    });
    guard.Check();
}

long double WeightingLossDb(WindowKind kind, long long L)
{
    if (L <= 0) RaiseDivByZero();
    if (kind == WindowKind::None) return 0;
    long double sum = 0, squares = 0;
    ForWindow(kind, L, [&](long long, long double w) {
        const double d = static_cast<double>(w);  // as the buffer holds it
        sum += d;
        squares += static_cast<long double>(d) * d;
    });
    return CheckFinite(10 * std::log10(CheckedDiv(sum * sum, static_cast<long double>(L) * squares)));
}

}  // namespace sonavir
