#include "signal/Propagation.h"

#include <cmath>
#include <cstdint>
#include <numbers>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

// f_i = i * df / 1000, the column's frequency in kHz.
long double KiloHertzStep(int N, const TModelParams& p)
{
    return CheckedDiv(1, 2 * static_cast<long double>(N) * p.Dt);
}

}  // namespace

long double Power(long double base, long double exponent)
{
    return CheckedExp(CheckFinite(exponent * CheckedLn(base)));
}

WaterAbsorption::WaterAbsorption(const TModelParams& p)
{
    fT = 21.9L * Power(10, 6 - CheckedDiv(1520, static_cast<long double>(std::int64_t{p.Temperature} + 273)));
    Pf = 1 - (6.54L / Power(10, 4)) * p.StaticP;
    salt = p.Sln * 0.0203L * fT;
    fT2 = fT * fT;
    // Constant factors are folded once, leaving one division per column.
    freshK = CheckedDiv(Power(10, -2) * 2.93L, fT);
}

long double WaterAbsorption::operator()(long double frequency) const
{
    const long double f = CheckFinite(frequency) / 1000;
    const long double f2 = CheckFinite(f * f);
    return CheckFinite((f2 * salt / (fT2 + f2) + f2 * freshK) * Pf);
}

void WaterAbsorption::Columns(int N, long double Dt, double* alpha) const
{
    const long double dfk = CheckedDiv(1, 2 * static_cast<long double>(N) * Dt) / 1000;
    using detail::FitsDouble;
    const bool fast = FitsDouble(dfk) && FitsDouble(salt) && FitsDouble(fT2) && FitsDouble(freshK) && FitsDouble(Pf);
    const double dfkD = static_cast<double>(dfk), saltD = static_cast<double>(salt);
    const double fT2D = static_cast<double>(fT2), freshD = static_cast<double>(freshK);
    const double PfD = static_cast<double>(Pf);
    detail::ForColumns(0, N, [&](int b, int e) {
        for (int i = b; i < e; ++i) {
            if (fast) {
                const double f = i * dfkD, f2 = f * f;
                const double a = (f2 * saltD / (fT2D + f2) + f2 * freshD) * PfD;
                if (std::isfinite(a)) {
                    alpha[i] = a;
                    continue;
                }
            }
            const long double f = i * dfk, f2 = f * f;
            alpha[i] = detail::ToStored((f2 * salt / (fT2 + f2) + f2 * freshK) * Pf);
        }
    });
}

void WaterMedium(bool apply, TSignalData& data, int N, const TModelParams& p)
{
    const long double df = KiloHertzStep(N, p);
    const long double Dt = p.Dt;
    const WaterAbsorption absorption(p);
    const long double Pf = absorption.Pf, salt = absorption.salt, fT2 = absorption.fT2;
    const long double freshK = absorption.freshK;
    const long double dfk = df / 1000;
    const long double toExp2 = -p.R / 10 * std::log2(10.0L);
    // A shift by two samples, 2 pi f 2 Dt 1000.
    const auto phase = [df, Dt](int i) {
        const long double f = i * df / 1000;
        return 2 * kPi * f * 2 * Dt * 1000;
    };
    const detail::PhaseRamp<decltype(phase)> ramp(phase);
    double* re = data[0].data();
    double* im = data[1].data();
    detail::FinishColumn(apply, re, im, 0, 1, 0);
    const auto slow = detail::DelayColumnsExtended(apply, re, im, ramp, [&](int i) {
        const long double f = i * dfk;
        const long double f2 = f * f;
        const long double A1 = f2 * salt / (fT2 + f2);
        const long double A2 = f2 * freshK;
        const long double alpha = (A1 + A2) * Pf;
        return detail::Exp2(alpha * toExp2);
    });
    using detail::FitsDouble;
    if (!(FitsDouble(dfk) && FitsDouble(salt) && FitsDouble(fT2) && FitsDouble(freshK) &&
          FitsDouble(Pf) && FitsDouble(toExp2))) {
        detail::ForColumns(1, N, slow);
        return;
    }
    // The same in double precision: a rational function of f and one exp2.
    const double dfkD = static_cast<double>(dfk), saltD = static_cast<double>(salt);
    const double fT2D = static_cast<double>(fT2), freshD = static_cast<double>(freshK);
    const double PfD = static_cast<double>(Pf), toExp2D = static_cast<double>(toExp2);
    const detail::PhaseRampD<decltype(phase)> rampD(phase);
    const auto fast = detail::DelayColumnsDouble(rampD, [&](int b, int e, double* g) {
        for (int j = 0; j < e - b; ++j) {
            const double f = (b + j) * dfkD;
            const double f2 = f * f;
            const double alpha = (f2 * saltD / (fT2D + f2) + f2 * freshD) * PfD;
            g[j] = std::exp2(alpha * toExp2D);
        }
    });
    detail::ForColumnBlocks(apply, re, im, 1, N, fast, slow);
}

void SeabedLayer(bool apply, TSignalData& data, int N, const TModelParams& p)
{
    const long double df = KiloHertzStep(N, p);
    const long double Dt = p.Dt;
    const long double n = p.NOrder;
    const long double dfk = df / 1000;
    const long double toExp2 = -0.05L * p.GruntKoef * p.GruntHeight * std::log2(10.0L);
    // A shift by one sample, 2 pi f Dt 1000.
    const auto phase = [df, Dt](int i) {
        const long double f = i * df / 1000;
        return 2 * kPi * f * Dt * 1000;
    };
    const detail::PhaseRamp<decltype(phase)> ramp(phase);
    double* re = data[0].data();
    double* im = data[1].data();
    detail::FinishColumn(apply, re, im, 0, 1, 0);
    // f^n in extended precision: a high order can pass the range of a
    // double, yet the attenuation it makes only underflows to 0.
    const auto slow = detail::DelayColumnsExtended(
        apply, re, im, ramp, [&](int i) { return detail::Exp2(Power(i * dfk, n) * toExp2); });
    // Negative or vanishing frequencies are faults the slow way reports.
    if (!(dfk > 0 && detail::FitsDouble(dfk) && detail::FitsDouble(n) && detail::FitsDouble(toExp2))) {
        detail::ForColumns(1, N, slow);
        return;
    }
    // The same in double precision. Orders 1 and 2, the usual ones, need no
    // power at all; any other goes through log2 and exp2.
    const double dfkD = static_cast<double>(dfk), nD = static_cast<double>(n);
    const double toExp2D = static_cast<double>(toExp2);
    const detail::PhaseRampD<decltype(phase)> rampD(phase);
    const auto fast = detail::DelayColumnsDouble(rampD, [&](int b, int e, double* g) {
        const int count = e - b;
        if (nD == 1) {
            for (int j = 0; j < count; ++j) g[j] = (b + j) * dfkD;
        } else if (nD == 2) {
            for (int j = 0; j < count; ++j) {
                const double f = (b + j) * dfkD;
                g[j] = f * f;
            }
        } else {
            for (int j = 0; j < count; ++j) g[j] = std::exp2(nD * std::log2((b + j) * dfkD));
        }
        for (int j = 0; j < count; ++j) g[j] = std::exp2(g[j] * toExp2D);
    });
    detail::ForColumnBlocks(apply, re, im, 1, N, fast, slow);
}

void SphereTarget(bool apply, TSignalData& data, int N, const TModelParams& p)
{
    const long double dw = CheckedDiv(2 * kPi, static_cast<long double>(N) * p.Dt * 2);
    const long double Dt = p.Dt;
    const long double A = Power(p.Radius, 3) * 65.8L;
    // A / L^2 with L = 1500 / w, the wavelength over 2 pi at 1500 m/s.
    const long double Aw = A / (1500.0L * 1500.0L);
    // A shift by one sample, w Dt.
    const auto phase = [dw, Dt](int i) { return i * dw * Dt; };
    const detail::PhaseRamp<decltype(phase)> ramp(phase);
    double* re = data[0].data();
    double* im = data[1].data();
    detail::FinishColumn(apply, re, im, 0, 0, 0);
    const auto slow = detail::DelayColumnsExtended(apply, re, im, ramp, [&](int i) {
        const long double w = i * dw;
        return Aw * w * w;
    });
    if (!(detail::FitsDouble(dw) && detail::FitsDouble(Aw))) {
        detail::ForColumns(1, N, slow);
        return;
    }
    const double dwD = static_cast<double>(dw), AwD = static_cast<double>(Aw);
    const detail::PhaseRampD<decltype(phase)> rampD(phase);
    const auto fast = detail::DelayColumnsDouble(rampD, [&](int b, int e, double* g) {
        for (int j = 0; j < e - b; ++j) {
            const double w = (b + j) * dwD;
            g[j] = AwD * w * w;
        }
    });
    detail::ForColumnBlocks(apply, re, im, 1, N, fast, slow);
}

}  // namespace sonavir
