#include "signal/Detection.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "signal/Errors.h"

namespace sonavir {

namespace {

bool Finite(long double x) { return std::isfinite(x); }

// A probability strictly inside (0, 1); NaN is not.
void RequireOpenProbability(long double p)
{
    if (!(p > 0 && p < 1)) RaiseInvalidOp();
}

void RequirePulses(int pulses)
{
    if (pulses < 1) RaiseInvalidOp();
}

// (a - b)^2 / 2 beyond this puts e^{-(a-b)^2/2} below the smallest long double.
constexpr long double kUnderflowExponent = 11400;
// a b beyond this would need millions of Bessel ratios.
constexpr long double kLargestProduct = 1e10L;

// Ratios r_k = I_k(x) / I_{k-1}(x), k = 1 .. K, with K large enough that
// I_K(x) / I_0(x) is below e^-80 and K > lowest. The continued fraction
// r_k = x / (2k + x r_{k+1}) run downwards from r_{K+1} = 0 is stable: each
// step damps the error of the one before by r_k^2, and the error of the start
// only touches ratios whose products are already negligible.
std::vector<long double> BesselRatios(long double x, int lowest)
{
    // ln(I_k / I_0) is about -sum_{j <= k} asinh(j / x).
    long double decay = 0;
    long long cut = 0;
    while (decay <= 80) decay += std::asinh(static_cast<long double>(++cut) / x);
    const long long K = std::max<long long>(cut, lowest) + 16;
    std::vector<long double> r;
    try {
        r.assign(static_cast<std::size_t>(K) + 1, 0);
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
    long double next = 0;
    for (long long k = K; k >= 1; --k) {
        next = x / (2 * static_cast<long double>(k) + x * next);
        r[static_cast<std::size_t>(k)] = next;
    }
    return r;
}

}  // namespace

long double ErlangTail(int pulses, long double t)
{
    RequirePulses(pulses);
    if (!Finite(t) || t < 0) RaiseInvalidOp();
    if (t == 0) return 1;
    const long double n = pulses;
    if (t >= n) {
        // Terms t^k / k! grow up to the last one: sum them from there down.
        long double u = 1, s = 1;
        for (int k = pulses - 1; k >= 1; --k) {
            u *= k / t;
            s += u;
        }
        return std::exp(-t + (n - 1) * std::log(t) - std::lgamma(n)) * s;
    }
    // Below the mode the complement, e^{-t} sum_{k >= n} t^k / k!, is the
    // smaller part and its terms fall from the first.
    long double u = 1, s = 1;
    for (long double k = n + 1; u > 1e-22L * s; ++k) {
        u *= t / k;
        s += u;
    }
    const long double c = std::exp(-t + n * std::log(t) - std::lgamma(n + 1)) * s;
    return std::clamp(1 - c, 0.0L, 1.0L);
}

long double ErlangThreshold(int pulses, long double pfa)
{
    RequirePulses(pulses);
    RequireOpenProbability(pfa);
    const long double lnPfa = CheckedLn(pfa);
    if (pulses == 1) return -lnPfa;
    long double lo = 0, hi = pulses - lnPfa;
    while (ErlangTail(pulses, hi) >= pfa) {
        lo = hi;
        hi *= 2;
    }
    for (int i = 0; i < 200 && hi - lo > 1e-18L * hi; ++i) {
        const long double mid = (lo + hi) / 2;
        (ErlangTail(pulses, mid) >= pfa ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

long double MarcumQ(int M, long double a, long double b)
{
    RequirePulses(M);
    if (!Finite(a) || !Finite(b) || a < 0 || b < 0) RaiseInvalidOp();
    if (b == 0) return 1;
    if (a == 0) return ErlangTail(M, b * b / 2);
    const long double d = a - b;
    // e^{-(a^2+b^2)/2} I_k(ab) = e^{-(a-b)^2/2} [e^{-ab} I_k(ab)]: the scaled
    // Bessel values stay within range whatever the size of ab.
    if (d * d / 2 > kUnderflowExponent) return a < b ? 0 : 1;
    const long double x = a * b;
    if (x > kLargestProduct) RaiseOverflow();
    const std::vector<long double> r = BesselRatios(x, M);
    const std::size_t K = r.size() - 1;
    // P_k = I_k / I_0; e^{-x} I_0(x) from sum_{k in Z} I_k(x) = e^x.
    long double norm = 1, p = 1;
    for (std::size_t k = 1; k <= K; ++k) {
        p *= r[k];
        norm += 2 * p;
    }
    const long double scale = std::exp(-d * d / 2) / norm;
    if (a < b) {
        // Q_M = e^{-(a^2+b^2)/2} sum_{k >= 1-M} (a/b)^k I_k(ab): positive
        // terms only, so a small Q keeps its relative accuracy.
        const long double q = a / b;
        long double s = 1, term = 1;
        for (std::size_t k = 1; k <= K; ++k) {
            term *= q * r[k];
            s += term;
        }
        term = 1;
        for (int j = 1; j < M; ++j) {
            term *= r[static_cast<std::size_t>(j)] / q;
            s += term;
        }
        return std::clamp(scale * s, 0.0L, 1.0L);
    }
    // 1 - Q_M = e^{-(a^2+b^2)/2} sum_{k >= M} (b/a)^k I_k(ab).
    const long double q = b / a;
    long double s = 0, term = 1;
    for (std::size_t k = 1; k <= K; ++k) {
        term *= q * r[k];
        if (k >= static_cast<std::size_t>(M)) s += term;
    }
    return std::clamp(1 - scale * s, 0.0L, 1.0L);
}

long double FalseAlarmProbability(long double threshold, long double sigmaEnv)
{
    if (!Finite(threshold) || threshold < 0 || !Finite(sigmaEnv) || sigmaEnv < 0) RaiseInvalidOp();
    const long double ratio = CheckedDiv(threshold, sigmaEnv);
    return std::exp(-ratio * ratio / 2);
}

long double RayleighThreshold(long double sigmaEnv, long double pfa)
{
    if (!Finite(sigmaEnv) || sigmaEnv < 0) RaiseInvalidOp();
    RequireOpenProbability(pfa);
    return sigmaEnv * CheckedSqrt(-2 * CheckedLn(pfa));
}

long double DetectionProbability(long double snr, long double pfa, int pulses)
{
    if (!Finite(snr) || snr < 0) RaiseInvalidOp();
    RequireOpenProbability(pfa);
    RequirePulses(pulses);
    const long double b = CheckedSqrt(2 * ErlangThreshold(pulses, pfa));
    const long double a = CheckedSqrt(2 * static_cast<long double>(pulses) * snr);
    return MarcumQ(pulses, a, b);
}

long double RequiredSnrDb(long double pd, long double pfa, int pulses)
{
    RequireOpenProbability(pd);
    RequireOpenProbability(pfa);
    RequirePulses(pulses);
    if (pd <= pfa) RaiseInvalidOp();  // even no echo at all detects that often
    const auto pdAt = [pfa, pulses](long double db) {
        return DetectionProbability(std::pow(10.0L, db / 10), pfa, pulses);
    };
    long double lo = -40, hi = 40;
    // Pd falls to pfa as the snr goes to 0, so a low end always exists.
    while (pdAt(lo) >= pd) lo -= 40;
    while (pdAt(hi) <= pd) {
        hi += 20;
        if (hi > 100) RaiseOverflow();
    }
    while (hi - lo > 1e-10L) {
        const long double mid = (lo + hi) / 2;
        (pdAt(mid) < pd ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

long double AlbersheimSnrDb(long double pd, long double pfa, int pulses)
{
    RequireOpenProbability(pd);
    RequireOpenProbability(pfa);
    RequirePulses(pulses);
    const long double ln10 = std::log(10.0L);
    const long double A = CheckedLn(0.62L / pfa);
    const long double B = CheckedLn(pd / (1 - pd));
    const long double n = pulses;
    const long double lgZ = CheckedLn(A + 0.12L * A * B + 1.7L * B) / ln10;
    return -5 * std::log10(n) + (6.2L + 4.54L / std::sqrt(n + 0.44L)) * lgZ;
}

ProbabilityInterval WilsonInterval(long long k, long long n, long double z)
{
    if (n < 1 || k < 0 || k > n || !Finite(z) || !(z > 0)) RaiseInvalidOp();
    const long double K = static_cast<long double>(k), N = static_cast<long double>(n);
    const long double z2 = z * z;
    // (2k + z^2 -+ z sqrt(z^2 + 4k(n-k)/n)) / (2(n + z^2)).
    const long double root = z * std::sqrt(z2 + 4 * K * (N - K) / N);
    const long double den = 2 * (N + z2);
    ProbabilityInterval r;
    r.low = k == 0 ? 0 : std::max(0.0L, (2 * K + z2 - root) / den);
    r.high = k == n ? 1 : std::min(1.0L, (2 * K + z2 + root) / den);
    return r;
}

}  // namespace sonavir
