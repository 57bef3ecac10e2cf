#include "signal/Antenna.h"

#include <cmath>
#include <numbers>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

// One resonance 1 / (1 - jx), x = (1 - wr^2/w^2) w c, with the frequency-
// independent factor c = 2Q(2Q+1) / ((4Q+1) wr) worked out once.
struct Resonance {
    long double wr2;
    long double c;

    Resonance(long double wr, long double Q)
        : wr2(wr * wr), c(CheckedDiv(2 * Q * (2 * Q + 1), (4 * Q + 1) * wr))
    {
    }
    void At(long double w, long double& re, long double& im) const
    {
        const long double x = (1 - wr2 / (w * w)) * w * c;
        re = 1 / (1 + x * x);
        im = x * re;
    }
};

long double AngularStep(int N, const TModelParams& p)
{
    return CheckedDiv(2 * kPi, static_cast<long double>(N) * p.Dt * 2);
}

// Delphi-style Trunc: toward zero into a 64-bit integer; out of range is an
// invalid operation.
long double TruncWhole(long double v)
{
    if (std::isnan(v) || !(std::fabs(v) < 9223372036854775808.0L)) RaiseInvalidOp();
    return static_cast<long double>(static_cast<long long>(v));
}

}  // namespace

void NarrowbandAntenna(bool apply, TSignalData& data, int N, const TModelParams& p)
{
    const long double dw = AngularStep(N, p);
    const Resonance res(p.W0, p.Q);
    double* re = data[0].data();
    double* im = data[1].data();
    detail::FinishColumn(apply, re, im, 0, 0, 0);
    detail::ForColumns(1, N, [&](int b, int e) {
        for (int i = b; i < e; ++i) {
            long double kr, ki;
            res.At(i * dw, kr, ki);
            detail::FinishColumn(apply, re, im, i, kr, ki);
        }
    });
}

void WidebandAntenna(bool apply, TSignalData& data, int N, const TModelParams& p,
                     const std::string& kwText)
{
    const long double dw = AngularStep(N, p);
    // Every failure comes before the buffer is touched: the coefficient is
    // read from its text for each side resonance, as typed at this moment.
    const long double w1 = p.W0 - CheckedDiv(StrToFloat(kwText) * p.F0, p.Q);
    const long double w2 = TruncWhole(p.W0 + CheckedDiv(StrToFloat(kwText) * p.F0, p.Q));
    const Resonance r0(p.W0, p.Q), r1(w1, p.Q), r2(w2, p.Q);
    double* re = data[0].data();
    double* im = data[1].data();
    detail::FinishColumn(apply, re, im, 0, 0, 0);
    detail::ForColumns(1, N, [&](int b, int e) {
        for (int i = b; i < e; ++i) {
            const long double w = i * dw;
            long double ar, ai, tr, ti;
            // The sum is rounded to a stored double after each term, as a
            // response built in a buffer would be.
            r0.At(w, ar, ai);
            double kr = detail::ToStored(ar), ki = detail::ToStored(ai);
            r1.At(w, tr, ti);
            kr = detail::ToStored(kr + tr);
            ki = detail::ToStored(ki + ti);
            r2.At(w, tr, ti);
            detail::FinishColumn(apply, re, im, i, kr + tr, ki + ti);
        }
    });
}

}  // namespace sonavir
