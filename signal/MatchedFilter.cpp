#include "signal/MatchedFilter.h"

#include <numbers>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"

namespace sonavir {

void BuildMatchedFilter(const TSignalData& spectrum, int N, long double Dt, TSignalData& filterRef)
{
    const long double dw = CheckedDiv(2 * std::numbers::pi_v<long double>,
                                      2 * static_cast<long double>(N) * Dt);
    // The phase of a delay of N samples, half the record: theta_i = i dw Dt N.
    const auto phase = [dw, Dt, N](int i) { return i * dw * Dt * N; };
    const detail::PhaseRamp<decltype(phase)> ramp(phase);
    const double* sr = spectrum[0].data();
    const double* si = spectrum[1].data();
    double* fr = filterRef[0].data();
    double* fi = filterRef[1].data();
    detail::ForColumns(0, N, [&](int b, int e) {
        auto r = ramp;
        r.Anchor(b);
        for (int i = b; i < e; ++i) {
            if (i % detail::kPhaseBlock == 0) r.Anchor(i);
            long double c, s;
            r.At(i, c, s);
            const long double a = sr[i], bb = si[i];
            fr[i] = detail::ToStored(c * a - s * bb);
            fi[i] = detail::ToStored(-s * a - c * bb);
        }
    });
}

void ApplyMatchedFilter(TSignalData& data, int N, const TSignalData& filterRef)
{
    double* re = data[0].data();
    double* im = data[1].data();
    const double* fr = filterRef[0].data();
    const double* fi = filterRef[1].data();
    // Column by column, so long buffers are shared among threads; each
    // worker watches its own flags.
    detail::ForColumns(0, N, [&](int b, int e) {
        for (int i = b; i < e; ++i) {
            const long double a = re[i], c = im[i];
            re[i] = detail::ToStored(a * fr[i] - c * fi[i]);
            im[i] = detail::ToStored(a * fi[i] + c * fr[i]);
        }
    });
}

}  // namespace sonavir
