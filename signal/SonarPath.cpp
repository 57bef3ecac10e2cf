#include "signal/SonarPath.h"

#include <cfloat>
#include <cmath>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/Propagation.h"
#include "signal/SphereScattering.h"

namespace sonavir {

namespace {

// A product as stored: a double beyond the range ends the action instead of
// reaching the buffer.
inline double Stored(double v)
{
    if (!(std::fabs(v) <= DBL_MAX)) {
        if (std::isnan(v)) RaiseInvalidOp();
        RaiseOverflow();
    }
    return v;
}

// Column 0 scaled by its two gains, columns 1 .. N-1 by gain(i), or the gains
// written (imaginary parts 0).
template <typename Gain>
void RealGains(bool apply, TSignalData& data, int N, long double dc, long double nyquist, Gain gain)
{
    double* re = data[0].data();
    double* im = data[1].data();
    const double g0 = detail::ToStored(dc), gN = detail::ToStored(nyquist);
    re[0] = apply ? Stored(re[0] * g0) : g0;
    im[0] = apply ? Stored(im[0] * gN) : gN;
    detail::ForColumns(1, N, [&](int b, int e) {
        for (int i = b; i < e; ++i) {
            const double g = gain(i);
            if (apply) {
                re[i] = Stored(re[i] * g);
                im[i] = Stored(im[i] * g);
            } else {
                re[i] = g;
                im[i] = 0;
            }
        }
    });
}

}  // namespace

void SpreadingAndAbsorption(bool apply, TSignalData& data, int N, const double* alpha, long double alphaNyquist,
                            long double range)
{
    const long double spread = CheckedDiv(1, CheckFinite(range));
    // 10^(-alpha R / 20) = 2^(alpha toExp2), R in km.
    const long double toExp2 = -range / 1000 / 20 * std::log2(10.0L);
    const double spreadD = detail::ToStored(spread);
    const double toExp2D = detail::ToStored(toExp2);
    RealGains(apply, data, N, spread * detail::Exp2(alpha[0] * toExp2), spread * detail::Exp2(alphaNyquist * toExp2),
              [&](int i) { return Stored(std::exp2(alpha[i] * toExp2D) * spreadD); });
}

void SeabedLoss(bool apply, TSignalData& data, int N, const TModelParams& p)
{
    const long double dfk = CheckedDiv(1, 2 * static_cast<long double>(N) * p.Dt) / 1000;
    const long double n = CheckFinite(p.NOrder);
    const long double toExp2 = CheckFinite(-0.05L * p.GruntKoef * p.GruntHeight * std::log2(10.0L));
    // f^n in extended precision where the double one leaves the range: a high
    // order only underflows the factor to 0.
    const auto exact = [&](long double f) { return detail::Exp2(Power(f, n) * toExp2); };
    // At the zero frequency f^n is 0 for a positive order, 1 for order 0 and
    // without bound for a negative one.
    long double dc = 1;
    if (n == 0) dc = detail::Exp2(toExp2);
    else if (n < 0) {
        if (toExp2 > 0) RaiseOverflow();
        dc = toExp2 < 0 ? 0 : 1;
    }
    const double dfkD = static_cast<double>(dfk), nD = static_cast<double>(n), toExp2D = static_cast<double>(toExp2);
    RealGains(apply, data, N, dc, exact(N * dfk), [&](int i) {
        const double f = i * dfkD;
        const double fn = nD == 1 ? f : nD == 2 ? f * f : std::exp2(nD * std::log2(f));
        const double g = std::exp2(fn * toExp2D);
        return std::isfinite(g) && dfkD > 0 ? g : static_cast<double>(exact(i * dfk));
    });
}

void RigidSphereEcho(bool apply, TSignalData& data, int N, long double Dt, long double radius, long double c)
{
    if (!apply) {
        RigidSphereColumns(N, Dt, radius, c, data[0].data(), data[1].data());
        return;
    }
    TSignalData K;
    AllocateSignal(K, N);
    RigidSphereColumns(N, Dt, radius, c, K[0].data(), K[1].data());
    ApplyColumnFactor(data, N, K);
}

void ApplyRealGains(TSignalData& data, int N, const TSignalData& gains)
{
    const double* g = gains[0].data();
    RealGains(true, data, N, gains[0][0], gains[1][0], [g](int i) { return g[i]; });
}

void ApplyColumnFactor(TSignalData& data, int N, const TSignalData& factor)
{
    double* re = data[0].data();
    double* im = data[1].data();
    const double* kr = factor[0].data();
    const double* ki = factor[1].data();
    re[0] = Stored(re[0] * kr[0]);
    im[0] = Stored(im[0] * ki[0]);
    detail::ForColumns(1, N, [&](int b, int e) {
        for (int i = b; i < e; ++i) {
            const double a = re[i], d = im[i];
            re[i] = Stored(a * kr[i] - d * ki[i]);
            im[i] = Stored(a * ki[i] + d * kr[i]);
        }
    });
}

}  // namespace sonavir
