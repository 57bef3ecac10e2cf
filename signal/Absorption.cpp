#include "signal/Absorption.h"

#include <cmath>
#include <numbers>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

long double Pow10(long double x) { return CheckedExp(CheckFinite(x * std::numbers::ln10_v<long double>)); }

// A relaxation term a f^2 / (fr^2 + f^2), a = A P fr; 0 at f = 0 even where
// fr = 0 (fresh water has no boric acid relaxation).
long double Relaxation(long double a, long double fr, long double f2)
{
    if (f2 == 0) return 0;
    return CheckFinite(a * CheckedDiv(f2, CheckFinite(fr * fr + f2)));
}

long double KiloHertzSquared(long double frequency)
{
    const long double f = CheckFinite(frequency) / 1000;
    return CheckFinite(f * f);
}

}  // namespace

long double FrancoisGarrisonSoundSpeed(long double temperature, long double salinity, long double depth)
{
    return CheckFinite(1412 + 3.21L * CheckFinite(temperature) + 1.19L * CheckFinite(salinity) +
                       0.0167L * CheckFinite(depth));
}

SeaAbsorption::SeaAbsorption(long double T, long double S, long double D, long double pH, long double c)
{
    CheckFinite(T);
    CheckFinite(S);
    CheckFinite(D);
    CheckFinite(pH);
    CheckFinite(c);
    const long double kelvin = T + 273;
    // Boric acid: A1 in dB/(km kHz), no pressure dependence.
    const long double A1 = CheckedDiv(8.86L, c) * Pow10(0.78L * pH - 5);
    f1_ = CheckFinite(2.8L * CheckedSqrt(S / 35) * Pow10(4 - CheckedDiv(1245, kelvin)));
    // Magnesium sulphate.
    const long double A2 = CheckFinite(CheckedDiv(21.44L * S, c) * (1 + 0.025L * T));
    const long double P2 = CheckFinite(1 - 1.37e-4L * D + 6.2e-9L * D * D);
    f2_ = CheckedDiv(8.17L * Pow10(8 - CheckedDiv(1990, kelvin)), 1 + 0.0018L * (S - 35));
    // Pure water: two cubic fits that meet near 20 degrees C.
    const long double A3 = T <= 20 ? 4.937e-4L - 2.59e-5L * T + 9.11e-7L * T * T - 1.5e-8L * T * T * T
                                   : 3.964e-4L - 1.146e-5L * T + 1.45e-7L * T * T - 6.5e-10L * T * T * T;
    const long double P3 = 1 - 3.83e-5L * D + 4.9e-10L * D * D;
    a1_ = CheckFinite(A1 * f1_);
    a2_ = CheckFinite(A2 * P2 * f2_);
    a3_ = CheckFinite(A3 * P3);
}

long double SeaAbsorption::BoricAcid(long double frequency) const
{
    return Relaxation(a1_, f1_, KiloHertzSquared(frequency));
}

long double SeaAbsorption::MagnesiumSulphate(long double frequency) const
{
    return Relaxation(a2_, f2_, KiloHertzSquared(frequency));
}

long double SeaAbsorption::PureWater(long double frequency) const
{
    return CheckFinite(a3_ * KiloHertzSquared(frequency));
}

long double SeaAbsorption::operator()(long double frequency) const
{
    const long double f2 = KiloHertzSquared(frequency);
    return CheckFinite(Relaxation(a1_, f1_, f2) + Relaxation(a2_, f2_, f2) + a3_ * f2);
}

void SeaAbsorption::Columns(int N, long double Dt, double* alpha) const
{
    if (N <= 0) return;
    const long double df = CheckedDiv(1, 2 * static_cast<long double>(N) * Dt);
    alpha[0] = 0;
    // The double loop needs every square and product it forms, up to the last
    // column, inside the range of a double (then no flag can rise in it) and
    // the first column's square not lost to underflow.
    const long double dfk = df / 1000;
    const long double top = static_cast<long double>(N - 1) * dfk;
    using detail::FitsDouble;
    const bool fast = FitsDouble(dfk * dfk) && FitsDouble(top * top) && FitsDouble(f1_ * f1_) &&
                      FitsDouble(f2_ * f2_) && FitsDouble(a1_) && FitsDouble(a2_) && FitsDouble(a3_) &&
                      FitsDouble((std::fabs(a1_) + std::fabs(a2_) + std::fabs(a3_ * top * top)) * 4);
    if (!fast) {
        detail::ForColumns(1, N, [&](int b, int e) {
            for (int k = b; k < e; ++k) alpha[k] = detail::ToStored((*this)(k * df));
        });
        return;
    }
    const double s = static_cast<double>(dfk), a1 = static_cast<double>(a1_), a2 = static_cast<double>(a2_);
    const double a3 = static_cast<double>(a3_);
    const double r1 = static_cast<double>(f1_ * f1_), r2 = static_cast<double>(f2_ * f2_);
    detail::ForColumns(1, N, [&](int b, int e) {
        for (int k = b; k < e; ++k) {
            const double f = k * s;
            const double f2 = f * f;
            alpha[k] = a1 * f2 / (r1 + f2) + a2 * f2 / (r2 + f2) + a3 * f2;
        }
    });
}

long double SeaAbsorptionDbPerKm(long double frequency, long double temperature, long double salinity,
                                 long double depth, long double pH, long double soundSpeed)
{
    return SeaAbsorption(temperature, salinity, depth, pH, soundSpeed)(frequency);
}

}  // namespace sonavir
