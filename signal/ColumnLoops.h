#pragma once
// Shared machinery of the per-column frequency models: splitting a long column
// loop across the cores, storing results without letting NaN or infinity into
// a buffer, and phase ramps without a sine and cosine per column.

#include <algorithm>
#include <bit>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "signal/Errors.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"
#include "signal/SampleBuffer.h"

namespace sonavir::detail {

// Below this many columns a second thread costs more than it saves.
inline constexpr int kParallelColumns = 1 << 15;
// Phase ramps are re-anchored on the direct formula every kPhaseBlock columns.
inline constexpr int kPhaseBlock = 256;

// Rounds to the stored type; a value that is not finite there ends the action
// with the matching message instead of reaching the buffer.
inline double ToStored(long double v)
{
    const double d = static_cast<double>(v);
    if (!std::isfinite(d)) {
        if (std::isnan(d)) RaiseInvalidOp();
        RaiseOverflow();
    }
    return d;
}

// 2^t to the accuracy of a double, for an extended t. The extended exp and
// log cost ten times the double ones, and the column loops need one or two per
// column: the whole part of t scales exactly and only the fraction, within
// half a unit, goes through the double exp2, so the result stays within a few
// units in the last place of the double that the extended formula would store.
// Beyond the range of a double it overflows loudly or underflows quietly to 0.
inline double Exp2(long double t)
{
    if (std::isnan(t)) RaiseInvalidOp();
    if (t > 1100) RaiseOverflow();
    if (t < -1200) return 0;
    // Any whole k near t will do (exp2 is accurate over (-1, 1)); the SSE
    // conversion avoids the rounding-mode round trip of nearbyint.
    const int k = static_cast<int>(static_cast<double>(t));
    const double m = std::exp2(static_cast<double>(t - k));
    // 2^k built from its bits where it is a normal double; ldexp (a library
    // call) only at the ends of the range.
    if (k > -1022 && k < 1023) return m * std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
    const double v = std::ldexp(m, k);
    if (std::isinf(v)) RaiseOverflow();
    return v;
}

// base^exponent for base > 0, through Exp2 and a double log2 of the base
// (its relative error becomes an absolute error of about 1e-16 in the log).
inline double PowerD(long double base, long double exponent)
{
    if (std::isnan(base) || base < 0) RaiseInvalidOp();
    if (base == 0) RaiseDivByZero();
    return Exp2(exponent * std::log2(static_cast<double>(base)));
}

// Columns between two checkpoints of a long loop: a stop is seen within a
// few microseconds, and the per cent moves smoothly.
inline constexpr int kCheckColumns = 32 * kPhaseBlock;

// Where a long loop may be cut: into one range per worker and, within each,
// into stretches between two checkpoints. Cuts fall on origin + k * unit
// only (or on the loop's own ends), so a body whose result depends on where
// a range starts sees the same ranges whatever the split.
struct LoopCuts {
    long long unit = kPhaseBlock;
    // Values between two checkpoints: a multiple of unit.
    long long check = kCheckColumns;
    // Loops shorter than this run on the calling thread alone.
    long long parallel = kParallelColumns;
    long long origin = 0;
    // Each worker clears its floating-point flags first and fails on the ones
    // its share raised (FpFlagGuard). Off for loops that check their values
    // themselves and may raise a flag on the way to a sound value.
    bool watchFlags = true;
};

// Runs body(begin, end) over [first, last), split into ranges cut as `cuts`
// says, one per worker for long loops (WorkThreads()). Each worker calls the
// body a stretch at a time with a checkpoint between; the first reports the
// step's progress. Floating-point flags are per thread, so each worker
// watches its own; a real failure of any worker is rethrown before a stop,
// the first worker's first.
template <typename Body>
void ForCuts(long long first, long long last, const LoopCuts& cuts, Body body)
{
    const long long count = last - first;
    if (count <= 0) return;
    unsigned workers = static_cast<unsigned>(WorkThreads());
    if (count < cuts.parallel) workers = 1;
    RunControl* const control = CurrentRun();
    const bool reports = ReportsProgress();
    // The largest cut at or below x.
    const auto cutBelow = [&cuts](long long x, long long step) {
        const long long k = x - cuts.origin;
        return cuts.origin + (k >= 0 ? k / step : -((-k + step - 1) / step)) * step;
    };
    auto run = [&body, &cuts, &cutBelow, control, reports](long long b, long long e, bool lead,
                                                           std::exception_ptr& error) {
        try {
            const RunScope scope(control, reports && lead);
            std::optional<FpFlagGuard> guard;
            if (cuts.watchFlags) guard.emplace();
            for (long long c = b; c < e;) {
                // Cut at fixed places: the split never changes which way a
                // stretch is computed.
                const long long ce = std::min(e, cutBelow(c, cuts.check) + cuts.check);
                body(c, ce);
                c = ce;
                // The lead worker's share stands for the whole loop's.
                if (lead) StepProgress(c - b, e - b);
                else Checkpoint();
            }
            if (guard) guard->Check();
        } catch (...) {
            error = std::current_exception();
        }
    };
    if (workers == 1) {
        std::exception_ptr error;
        run(first, last, true, error);
        if (error) std::rethrow_exception(error);
        return;
    }
    std::vector<long long> bounds{first};
    for (unsigned w = 1; w < workers; ++w) {
        const long long cut = cutBelow(first + count * w / workers, cuts.unit);
        bounds.push_back(std::clamp(cut, bounds.back(), last));
    }
    bounds.push_back(last);
    std::vector<std::exception_ptr> errors(workers);
    std::vector<std::thread> threads;
    // Reserved first: a thread must never be started that the vector then
    // fails to hold.
    threads.reserve(workers - 1);
    try {
        for (unsigned w = 1; w < workers; ++w)
            threads.push_back(StartThread(run, bounds[w], bounds[w + 1], false, std::ref(errors[w])));
    } catch (const std::system_error&) {
        // No thread to be had: the caller does the rest of the work itself.
        for (unsigned w = static_cast<unsigned>(threads.size()) + 1; w < workers; ++w)
            run(bounds[w], bounds[w + 1], false, errors[w]);
    }
    run(bounds[0], bounds[1], true, errors[0]);
    for (auto& t : threads) t.join();
    sonavir::RethrowWorkerErrors(errors);
}

// ForCuts for the column loops: ranges begin on phase blocks so every worker
// anchors alike, and each worker watches its own floating-point flags.
template <typename Body>
void ForColumns(int first, int last, Body body)
{
    ForCuts(first, last, LoopCuts{},
            [&body](long long b, long long e) { body(static_cast<int>(b), static_cast<int>(e)); });
}

// cos and sin of a ramp phi(i) that is linear in the column index, from
// phi(a + j) = phi(a) + phi(j): the direct formula at each block's anchor a
// and a table of the first kPhaseBlock columns. Each value stays within a few
// units in the last place of extended precision of the direct formula.
template <typename Phase>
class PhaseRamp {
public:
    explicit PhaseRamp(Phase phase) : phase_(phase)
    {
        for (int j = 0; j < kPhaseBlock; ++j) {
            const long double p = phase_(j);
            cos_[j] = std::cos(p);
            sin_[j] = std::sin(p);
        }
    }
    // Re-anchors on the block holding column i (any column of the block).
    void Anchor(int i)
    {
        base_ = i / kPhaseBlock * kPhaseBlock;
        const long double p = phase_(base_);
        ca_ = std::cos(p);
        sa_ = std::sin(p);
    }
    // cos and sin at column i, which must lie in the anchored block.
    void At(int i, long double& c, long double& s) const
    {
        const int j = i - base_;
        c = ca_ * cos_[j] - sa_ * sin_[j];
        s = sa_ * cos_[j] + ca_ * sin_[j];
    }

private:
    Phase phase_;
    long double cos_[kPhaseBlock];
    long double sin_[kPhaseBlock];
    int base_ = 0;
    long double ca_ = 1, sa_ = 0;
};

// cos and sin of a ramp like PhaseRamp, in double precision, a block at a
// time: each value within a few units in the last place of a double.
template <typename Phase>
class PhaseRampD {
public:
    explicit PhaseRampD(Phase phase) : phase_(phase)
    {
        for (int j = 0; j < kPhaseBlock; ++j) {
            const long double p = phase_(j);
            cos_[j] = static_cast<double>(std::cos(p));
            sin_[j] = static_cast<double>(std::sin(p));
        }
    }
    // cos and sin of columns [b, e), which lie in one block, into c and s.
    void Fill(int b, int e, double* c, double* s) const
    {
        const int base = b / kPhaseBlock * kPhaseBlock;
        const long double p = phase_(base);
        const double ca = static_cast<double>(std::cos(p)), sa = static_cast<double>(std::sin(p));
        const double* ct = cos_ + (b - base);
        const double* st = sin_ + (b - base);
        for (int j = 0; j < e - b; ++j) {
            c[j] = ca * ct[j] - sa * st[j];
            s[j] = sa * ct[j] + ca * st[j];
        }
    }

private:
    Phase phase_;
    double cos_[kPhaseBlock];
    double sin_[kPhaseBlock];
};

// True when v converts to a double that is finite and, unless v is 0, normal:
// the condition for a constant to enter the double-precision column loops.
inline bool FitsDouble(long double v)
{
    const long double a = std::fabs(v);
    return a == 0 || (a >= DBL_MIN && a <= DBL_MAX);
}

// The column loop in two precisions. fast(b, e, kr, ki) computes the
// response of columns [b, e) (one phase block at most) in double precision
// into kr and ki; slow(b, e) finishes columns [b, e) the extended way
// (FinishColumn).
// A block whose fast values or products are not all finite, or that raised a
// floating-point flag, is done again the slow way, which reports the fault
// with the right message: the fast path only ever decides the easy cases, and
// nothing reaches the buffer before its block is known to be sound. Blocks
// are fixed by the column index, so the split across workers never changes a
// value.
template <typename Fast, typename Slow>
void ForColumnBlocks(bool apply, double* re, double* im, int first, int last, Fast fast, Slow slow)
{
    constexpr int kFlags = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;
    ForColumns(first, last, [&](int b, int e) {
        alignas(16) double kr[kPhaseBlock], ki[kPhaseBlock];
        std::feclearexcept(kFlags);
        for (int bb = b; bb < e;) {
            const int be = std::min(e, (bb / kPhaseBlock + 1) * kPhaseBlock);
            const int n = be - bb;
            fast(bb, be, kr, ki);
            bool sound = true;
            if (apply) {
                for (int j = 0; j < n; ++j) {
                    const double a = re[bb + j], c = im[bb + j];
                    const double nr = a * kr[j] - c * ki[j];
                    const double ni = a * ki[j] + c * kr[j];
                    kr[j] = nr;
                    ki[j] = ni;
                }
            }
            for (int j = 0; j < n; ++j)
                sound &= (std::fabs(kr[j]) <= DBL_MAX) & (std::fabs(ki[j]) <= DBL_MAX);
            if (sound && !std::fetestexcept(kFlags)) {
                std::copy(kr, kr + n, re + bb);
                std::copy(ki, ki + n, im + bb);
            } else {
                FpFlagGuard guard;
                slow(bb, be);
                guard.Check();
            }
            bb = be;
        }
    });
}

// Finishes one column: Apply = false stores K; Apply = true multiplies the
// column by K as it would be stored (a double), the product in extended
// precision. Both parts are read before either is written.
inline void FinishColumn(bool apply, double* re, double* im, int i, long double kr, long double ki)
{
    const double kre = ToStored(kr), kim = ToStored(ki);
    if (!apply) {
        re[i] = kre;
        im[i] = kim;
        return;
    }
    const long double a = re[i], b = im[i];
    const long double nr = a * kre - b * kim;
    const long double ni = a * kim + b * kre;
    re[i] = ToStored(nr);
    im[i] = ToStored(ni);
}

// The water, seabed and sphere responses are a real gain times a delay,
// K_i = g_i e^{-j phi_i}. The extended loop for such a model, given the gain
// of column i and the phase ramp, in the form ForColumnBlocks takes as slow.
template <typename Ramp, typename Gain>
auto DelayColumnsExtended(bool apply, double* re, double* im, const Ramp& ramp, Gain gain)
{
    return [apply, re, im, &ramp, gain](int b, int e) {
        auto r = ramp;
        r.Anchor(b);
        for (int i = b; i < e; ++i) {
            if (i % kPhaseBlock == 0) r.Anchor(i);
            const long double g = gain(i);
            long double c, s;
            r.At(i, c, s);
            FinishColumn(apply, re, im, i, g * c, -g * s);
        }
    };
}

// The same in double precision, as ForColumnBlocks takes fast: gains(b, e, g)
// writes the gains of columns [b, e) into g[0 .. e - b).
template <typename RampD, typename Gains>
auto DelayColumnsDouble(const RampD& ramp, Gains gains)
{
    return [&ramp, gains](int b, int e, double* kr, double* ki) {
        ramp.Fill(b, e, kr, ki);
        double g[kPhaseBlock];
        gains(b, e, g);
        for (int j = 0; j < e - b; ++j) {
            kr[j] = g[j] * kr[j];
            ki[j] = -g[j] * ki[j];
        }
    };
}

}  // namespace sonavir::detail
