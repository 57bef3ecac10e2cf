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

// The same resonance for the double-precision loops, at w = i dw. Near wr the
// factor w^2 - wr^2 cancels, so it is taken as (w - wr)(w + wr), each part
// from the whole number of steps between w and +-wr plus a small remainder
// worked out once: x keeps a few units in the last place relative to itself,
// as the extended formula does.
struct ResonanceD {
    double m = 0;     // wr / dw rounded to a whole number
    double rest = 0;  // m dw - wr
    double c = 0;
    double wr = 0;
    bool usable = false;

    ResonanceD(long double wrL, long double cL, long double dw)
    {
        const long double steps = std::nearbyint(wrL / dw);
        const long double restL = steps * dw - wrL;
        usable = std::fabs(steps) < 0x1p52L && detail::FitsDouble(restL) && detail::FitsDouble(cL) &&
                 detail::FitsDouble(wrL);
        if (!usable) return;
        m = static_cast<double>(steps);
        rest = static_cast<double>(restL);
        c = static_cast<double>(cL);
        wr = static_cast<double>(wrL);
    }
    // x at columns [b, b + n) given 1 / w there.
    void X(int b, int n, double dw, const double* invW, double* x) const
    {
        for (int j = 0; j < n; ++j) {
            const double i = b + j;
            const double below = (i - m) * dw + rest;
            const double above = (i + m) * dw - rest;
            x[j] = c * below * above * invW[j];
        }
    }
};

// Column loop of the double-precision antenna: 1 / w per column, then each
// resonance's 1 / (1 + x^2) and x / (1 + x^2) added in, rounded to a double
// after each term as a response built in a buffer would be.
template <int Count>
void ResonanceBlock(const ResonanceD (&res)[Count], double dw, int b, int e, double* kr, double* ki)
{
    const int n = e - b;
    double invW[detail::kPhaseBlock], x[detail::kPhaseBlock];
    for (int j = 0; j < n; ++j) invW[j] = 1 / ((b + j) * dw);
    for (int k = 0; k < Count; ++k) {
        res[k].X(b, n, dw, invW, x);
        for (int j = 0; j < n; ++j) {
            const double re = 1 / (1 + x[j] * x[j]);
            const double im = x[j] * re;
            kr[j] = k == 0 ? re : kr[j] + re;
            ki[j] = k == 0 ? im : ki[j] + im;
        }
    }
}

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
    const auto slow = [&](int b, int e) {
        for (int i = b; i < e; ++i) {
            long double kr, ki;
            res.At(i * dw, kr, ki);
            detail::FinishColumn(apply, re, im, i, kr, ki);
        }
    };
    const ResonanceD fastRes[1] = {{p.W0, res.c, dw}};
    if (!(dw > 0 && detail::FitsDouble(dw) && fastRes[0].usable)) {
        detail::ForColumns(1, N, slow);
        return;
    }
    const double dwD = static_cast<double>(dw);
    const auto fast = [&](int b, int e, double* kr, double* ki) { ResonanceBlock(fastRes, dwD, b, e, kr, ki); };
    detail::ForColumnBlocks(apply, re, im, 1, N, fast, slow);
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
    const auto slow = [&](int b, int e) {
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
    };
    const ResonanceD fastRes[3] = {{p.W0, r0.c, dw}, {w1, r1.c, dw}, {w2, r2.c, dw}};
    if (!(dw > 0 && detail::FitsDouble(dw) && fastRes[0].usable && fastRes[1].usable && fastRes[2].usable)) {
        detail::ForColumns(1, N, slow);
        return;
    }
    const double dwD = static_cast<double>(dw);
    const auto fast = [&](int b, int e, double* kr, double* ki) { ResonanceBlock(fastRes, dwD, b, e, kr, ki); };
    detail::ForColumnBlocks(apply, re, im, 1, N, fast, slow);
}

long double NarrowbandAntennaGain(const TModelParams& p, long double w)
{
    long double re, im;
    Resonance(p.W0, p.Q).At(w, re, im);
    return CheckFinite(std::hypot(re, im));
}

long double WidebandAntennaGain(const TModelParams& p, const std::string& kwText, long double w)
{
    const long double w1 = p.W0 - CheckedDiv(StrToFloat(kwText) * p.F0, p.Q);
    const long double w2 = TruncWhole(p.W0 + CheckedDiv(StrToFloat(kwText) * p.F0, p.Q));
    long double ar, ai, tr, ti;
    Resonance(p.W0, p.Q).At(w, ar, ai);
    double kr = detail::ToStored(ar), ki = detail::ToStored(ai);
    Resonance(w1, p.Q).At(w, tr, ti);
    kr = detail::ToStored(kr + tr);
    ki = detail::ToStored(ki + ti);
    Resonance(w2, p.Q).At(w, tr, ti);
    return CheckFinite(std::hypot(kr + tr, ki + ti));
}

}  // namespace sonavir
