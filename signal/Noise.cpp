#include "signal/Noise.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

constexpr std::uint32_t kMul = 134775813u;
constexpr std::uint32_t kInc = 1u;

}  // namespace

std::uint32_t LcgAdvance(std::uint32_t state, std::uint64_t steps)
{
    std::uint32_t accMul = 1, accInc = 0, mul = kMul, inc = kInc;
    while (steps > 0) {
        if (steps & 1) {
            accMul *= mul;
            accInc = accInc * mul + inc;
        }
        inc = (mul + 1) * inc;
        mul *= mul;
        steps >>= 1;
    }
    return accMul * state + accInc;
}

namespace {

// Draws needed to go from `from` to `to`. The generator runs through all 2^32
// states, so the answer exists; it is found one bit at a time.
std::uint32_t Distance(std::uint32_t from, std::uint32_t to)
{
    std::uint32_t mul = kMul, inc = kInc, dist = 0, bit = 1;
    while (from != to) {
        if ((from & bit) != (to & bit)) {
            from = from * mul + inc;
            dist |= bit;
        }
        inc = (mul + 1) * inc;
        mul *= mul;
        bit <<= 1;
    }
    return dist;
}

// Adds noise to the samples of columns [b, e), drawing from `source`.
void AddNoiseColumns(double* row0, double* row1, int b, int e, LcgSource& source, long double sigma)
{
    constexpr long double twoPi = 2 * std::numbers::pi_v<long double>;
    for (int i = b; i < e; ++i) {
        for (double* x : {row0 + i, row1 + i}) {
            long double u1 = source.Next();
            // ln 0 does not exist; the one zero state of the cycle is skipped.
            while (u1 == 0) u1 = source.Next();
            // The shape sqrt(-2 ln U1) cos(2 pi U2) in double precision: U is
            // exact there, the extended functions would cost ten times as
            // much, and the result differs by rounding only.
            const double shape = std::sqrt(-2 * std::log(static_cast<double>(u1))) *
                                 std::cos(static_cast<double>(twoPi * source.Next()));
            *x = detail::ToStored(*x + shape * sigma);
        }
    }
}

}  // namespace

std::uint32_t ClockSeed()
{
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    return static_cast<std::uint32_t>(ticks);
}

void AddNormalNoise(TSignalData& data, int N, long double snr, std::optional<std::uint32_t> seed)
{
    const std::uint32_t start = seed ? *seed : ClockSeed();
    const long double sigma = CheckedDiv(SamplePeak(data, N), snr);
    double* row0 = data[0].data();
    double* row1 = data[1].data();
    const std::uint64_t draws = 4ULL * static_cast<std::uint64_t>(N);
    const std::uint32_t toZero = Distance(start, 0);
    if (toZero != 0 && toZero <= draws) {
        // The zero state falls inside this call: the redraw shifts every later
        // draw, so the samples are taken strictly in order.
        LcgSource source(start);
        FpFlagGuard guard;
        for (int b = 0; b < N; b += detail::kCheckColumns) {
            const int e = std::min(N, b + detail::kCheckColumns);
            AddNoiseColumns(row0, row1, b, e, source, sigma);
            StepProgress(e, N);
        }
        guard.Check();
        return;
    }
    // Column i's draws start 4i draws after the seed, so each worker jumps
    // straight to its own part of the sequence.
    detail::ForColumns(0, N, [&](int b, int e) {
        LcgSource source(LcgAdvance(start, 4ULL * static_cast<std::uint64_t>(b)));
        AddNoiseColumns(row0, row1, b, e, source, sigma);
    });
}

void NormalizeEnergy(TSignalData& data, int N, long double E)
{
    const long double energy = BufferEnergy(data, N);
    if (energy == 0) return;
    // A ratio of roots, not the root of a ratio: a tiny buffer energy must not
    // overflow on the way to a factor that is itself representable.
    const long double factor = CheckedDiv(CheckedSqrt(E), CheckedSqrt(energy));
    ScaleBuffer(data, N, factor);
}

}  // namespace sonavir
