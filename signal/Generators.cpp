#include "signal/Generators.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <type_traits>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

// The phase of every generator is a quadratic in m. Evaluating cos per sample
// in extended precision costs far too much at 2^25 samples, so each block
// starts from the direct formula and rotates on from there; the block is short
// enough that the rotation error stays around 1e-16 (the step rotor's own
// drift compounds quadratically into the sample rotor).
constexpr std::int64_t kBlock = 128;
// Pulses of this many samples and more start afresh at their middle.
constexpr std::int64_t kThreadedSamples = std::int64_t{1} << 20;

struct PhaseLaw {
    // phase(m) = quad * j^2 + W0 Dt * j, with j = m - centre, evaluated as
    // the generators' formulas write them.
    long double quad = 0;   // Dt^2 2 pi FD / Tc for the chirp
    std::int64_t centre = 0;
    bool chirp = false;     // the LFM formula, (j Dt)^2 2 pi FD / Tc
    long double dt = 0, twoPiFd = 0, tc = 1, w0 = 0;

    long double At(std::int64_t m) const
    {
        const long double j = static_cast<long double>(m - centre);
        if (chirp) {
            const long double t = j * dt;
            return t * t * twoPiFd / tc + j * w0 * dt;
        }
        // cos(m W0 Dt): left to right, as written.
        return j * w0 * dt;
    }

    // phase(m + 1) - phase(m), worked out rather than subtracted: the
    // difference of two large phases would lose the digits the rotation needs.
    long double Step(std::int64_t m) const
    {
        const long double j = static_cast<long double>(m - centre);
        return quad * (2 * j + 1) + w0 * dt;
    }
};

// The first block boundary after m. Boundaries sit on the law's centre, so
// the sample of phase 0 comes from the direct formula and is exactly 1.
std::int64_t NextAnchor(std::int64_t m, const PhaseLaw& law)
{
    const std::int64_t offset = ((m - law.centre) % kBlock + kBlock) % kBlock;
    return m + (kBlock - offset);
}

// Sign of the pulse at sample m: +1 throughout, or the Barker chip's sign.
struct NoSign {
    explicit NoSign(std::int64_t) {}
    int At(std::int64_t) const { return 1; }
};

struct BarkerSign {
    long double scale;  // 13 / (2M)
    explicit BarkerSign(std::int64_t pulse) : scale(13.0L / static_cast<long double>(pulse)) {}
    int Chip(std::int64_t m) const
    {
        return std::clamp(static_cast<int>(scale * static_cast<long double>(m)), 0, 12);
    }
    int At(std::int64_t m) const { return BarkerCode[static_cast<std::size_t>(Chip(m))]; }
};

// Writes samples [from, to) of the pulse. Anchors depend only on m, never on
// how the range is split, so the result does not depend on the threads.
template <class Sign>
void FillPulse(double* r0, double* r1, std::int64_t from, std::int64_t to, const PhaseLaw& law,
               const Sign& sign)
{
    // The second difference of the phase is constant: 2 * quad.
    const long double curve = 2 * law.quad;
    const long double er = std::cos(curve), ei = std::sin(curve);
    for (std::int64_t start = from; start < to;) {
        const std::int64_t end = std::min(NextAnchor(start, law), to);
        const long double p0 = law.At(start);
        const long double step = law.Step(start);
        long double zr = std::cos(p0), zi = std::sin(p0);
        long double dr = std::cos(step), di = std::sin(step);
        // The chip index never falls as m grows: equal chips at both ends of
        // a block mean one sign for all of it.
        const int s0 = sign.At(start);
        bool constant = true;
        if constexpr (!std::is_same_v<Sign, NoSign>) constant = sign.Chip(start) == sign.Chip(end - 1);
        for (std::int64_t m = start; m < end; ++m) {
            const long double v = constant ? zr * s0 : zr * sign.At(m);
            if (m & 1)
                r1[m >> 1] = static_cast<double>(v);
            else
                r0[m >> 1] = static_cast<double>(v);
            const long double nr = zr * dr - zi * di;
            zi = zr * di + zi * dr;
            zr = nr;
            if (law.chirp) {
                const long double ndr = dr * er - di * ei;
                di = dr * ei + di * er;
                dr = ndr;
            }
        }
        start = end;
    }
}

template <class Sign>
void Generate(TSignalData& data, int N, int M, const PhaseLaw& law)
{
    double* r0 = data[0].data();
    double* r1 = data[1].data();
    const std::int64_t total = 2 * static_cast<std::int64_t>(N);
    const std::int64_t pulse = std::clamp<std::int64_t>(2 * static_cast<std::int64_t>(M), 0, total);

    if (pulse > 0) {
        const Sign sign(2 * static_cast<std::int64_t>(M));  // chips span the whole pulse
        // The extreme phases bound every other one: if they are finite, no
        // sample can become NaN, and the worker threads have nothing to throw.
        CheckFinite(law.At(0));
        CheckFinite(law.At(pulse));
        // Workers and checkpoints cut the pulse on anchors only, so they
        // change no sample. Long pulses have always started afresh at their
        // middle too (where the first two threads once met), and keep doing
        // so for the same bits.
        const std::int64_t restart = pulse >= kThreadedSamples ? pulse / 2 : -1;
        detail::LoopCuts cuts;
        cuts.unit = kBlock;
        cuts.check = 128 * kBlock;
        cuts.parallel = kThreadedColumns;
        cuts.origin = law.centre;
        cuts.watchFlags = false;
        detail::ForCuts(0, pulse, cuts, [&](long long b, long long e) {
            if (b < restart && restart < e) {
                FillPulse(r0, r1, b, restart, law, sign);
                FillPulse(r0, r1, restart, e, law, sign);
            } else {
                FillPulse(r0, r1, b, e, law, sign);
            }
        });
    }
    // The pulse is a whole number of sample pairs; the rest is padding.
    detail::LoopCuts cuts;
    cuts.unit = 1;
    cuts.parallel = kThreadedColumns;
    cuts.watchFlags = false;
    detail::ForCuts(pulse / 2, N, cuts, [&](long long b, long long e) {
        std::fill(r0 + b, r0 + e, 0.0);
        std::fill(r1 + b, r1 + e, 0.0);
    });
}

PhaseLaw CarrierLaw(const TModelParams& p)
{
    PhaseLaw law;
    law.w0 = p.W0;
    law.dt = p.Dt;
    return law;
}

}  // namespace

void RadioPulse(TSignalData& data, int N, int M, const TModelParams& p)
{
    Generate<NoSign>(data, N, M, CarrierLaw(p));
}

void LfmPulse(TSignalData& data, int N, int M, const TModelParams& p)
{
    PhaseLaw law = CarrierLaw(p);
    law.chirp = true;
    law.centre = M;
    law.twoPiFd = 2 * std::numbers::pi_v<long double> * p.FD;
    law.tc = p.Tc;
    if (M > 0) {
        // The pulse is only computed when it has samples, so Tc = 0 with an
        // empty pulse stays silent.
        law.quad = CheckedDiv(p.Dt * p.Dt * law.twoPiFd, p.Tc);
    }
    Generate<NoSign>(data, N, M, law);
}

void BarkerPulse(TSignalData& data, int N, int M, const TModelParams& p)
{
    Generate<BarkerSign>(data, N, M, CarrierLaw(p));
}

}  // namespace sonavir
