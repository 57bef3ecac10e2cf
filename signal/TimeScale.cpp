#include "signal/TimeScale.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/RunControl.h"

namespace sonavir {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;
// Chirp values between two anchors on the direct formula.
constexpr long long kChirpBlock = 64;

// body(b, e) over [0, count) a few thousand values at a time, with a
// checkpoint between.
template <typename Body>
void InBlocks(long long count, Body body)
{
    for (long long b = 0; b < count; b += detail::kCheckColumns) {
        body(b, std::min(count, b + detail::kCheckColumns));
        Checkpoint();
    }
}

// u - 2 floor(u / 2): a phase in half turns brought into [0, 2).
long double HalfTurns(long double u) { return u - 2 * std::floor(u / 2); }

// c_n = e^{j pi n^2 / q} for n = 0 .. count-1. The phase grows like n^2, so
// each block starts from the direct formula (reduced to [0, 2 pi) in extended
// precision) and rotates on with the step e^{j pi (2n + 1) / q}, whose own
// rotor turns by e^{j 2 pi / q} per sample.
void FillChirp(long long count, long double q, double* re, double* im)
{
    const long double er = std::cos(2 * kPi / q), ei = std::sin(2 * kPi / q);
    InBlocks(count, [&](long long b, long long e) {
        for (long long a = b; a < e; a += kChirpBlock) {
            const long double n = static_cast<long double>(a);
            const long double p = kPi * HalfTurns(n * n / q);
            const long double s = kPi * HalfTurns((2 * n + 1) / q);
            long double zr = std::cos(p), zi = std::sin(p), dr = std::cos(s), di = std::sin(s);
            for (long long m = a; m < std::min(e, a + kChirpBlock); ++m) {
                re[m] = static_cast<double>(zr);
                im[m] = static_cast<double>(zi);
                const long double nr = zr * dr - zi * di;
                zi = zr * di + zi * dr;
                zr = nr;
                const long double ndr = dr * er - di * ei;
                di = dr * ei + di * er;
                dr = ndr;
            }
        }
    });
}

std::vector<double> Scratch(std::size_t count)
{
    try {
        return std::vector<double>(count, 0.0);
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
}

// The scaled spectrum of the 2N samples x[m] = rows[m & 1][m >> 1] into out
// (allocated here). See the header for what it computes.
bool Scale(const double* const rows[2], int N, long double eta, long double origin, TSignalData& out)
{
    if (!(std::isfinite(eta) && eta > 0) || !std::isfinite(origin)) RaiseInvalidOp();
    if (N < 1 || N > kMaxSignalSize) RaiseOutOfMemory();
    const long long count = 2LL * N;
    const auto x = [rows](long long m) { return rows[m & 1][m >> 1]; };

    // Sample n lands at origin + (n - origin) / eta: the ones that land in
    // [0, 2N) are n0 .. n1-1; the signal itself runs from `first` to `last`.
    const long double lo = origin * (1 - eta), hi = lo + count * eta;
    const auto index = [count](long double v) {
        return static_cast<long long>(std::clamp<long double>(std::ceil(v), 0, count));
    };
    const long long n0 = index(lo), n1 = index(hi);
    // Samples below 2^-40 of the peak count as silence: the rounding a
    // transform leaves over the silent part of a record.
    double peak = 0;
    InBlocks(count, [&](long long b, long long e) {
        for (long long m = b; m < e; ++m) peak = std::max(peak, std::fabs(x(m)));
    });
    const double quiet = std::ldexp(peak, -40);
    long long first = 0, last = count - 1;
    while (first < count && std::fabs(x(first)) <= quiet) ++first;
    while (last >= first && std::fabs(x(last)) <= quiet) --last;
    const bool cut = first < n0 || last >= n1;
    const long long a = std::max(first, n0), b = std::min(last + 1, n1);

    AllocateSignal(out, N);
    double* outRe = out[0].data();
    double* outIm = out[1].data();
    if (a >= b) return cut;

    // Columns k with k / eta at or below Nyquist receive the signal.
    const long long L = b - a;
    const long long K = eta >= 1 ? N + 1LL : std::min<long long>(N, std::floor(N * eta)) + 1;
    long long P = 1;
    while (P < L + K - 1) P <<= 1;
    if (P > kMaxSignalSize) RaiseOutOfMemory();

    // sum_m x[a + m] e^{j alpha m k}, alpha = pi / (N eta), with
    // m k = (m^2 + k^2 - (k - m)^2) / 2: chirp, convolve with the conjugate
    // chirp, chirp again.
    const long double q = 2 * static_cast<long double>(N) * eta;  // alpha n^2 / 2 = pi n^2 / q
    const long long C = std::max(L, K);
    std::vector<double> cr = Scratch(C), ci = Scratch(C);
    FillChirp(C, q, cr.data(), ci.data());
    std::vector<double> ar = Scratch(P), ai = Scratch(P), br = Scratch(P), bi = Scratch(P);
    FpFlagGuard guard;
    InBlocks(L, [&](long long s, long long e) {
        for (long long m = s; m < e; ++m) {
            const double v = x(a + m);
            ar[m] = v * cr[m];
            ai[m] = v * ci[m];
        }
    });
    InBlocks(K, [&](long long s, long long e) {
        for (long long j = s; j < e; ++j) {
            br[j] = cr[j];
            bi[j] = -ci[j];
        }
    });
    InBlocks(L, [&](long long s, long long e) {
        for (long long j = std::max(s, 1LL); j < e; ++j) {
            br[P - j] = cr[j];
            bi[P - j] = -ci[j];
        }
    });
    const int p = static_cast<int>(P);
    ComplexFFT(ar.data(), ai.data(), p, 1);
    ComplexFFT(br.data(), bi.data(), p, 1);
    InBlocks(P, [&](long long s, long long e) {
        for (long long k = s; k < e; ++k) {
            const double r = ar[k] * br[k] - ai[k] * bi[k];
            ai[k] = ar[k] * bi[k] + ai[k] * br[k];
            ar[k] = r;
        }
    });
    ComplexFFT(ar.data(), ai.data(), p, -1);
    guard.Check();

    // Column k: the last chirp, the phase of where sample a lands,
    // e^{j k (pi / N) (origin + (a - origin) / eta)}, and the scale
    // 1 / (eta 2N) of the layout's transform with 1 / P of the convolution.
    const long double beta = kPi / N * (origin + (a - origin) / eta);
    const long double scale = 1 / (eta * count * static_cast<long double>(P));
    const auto phase = [beta](int k) { return beta * k; };
    const detail::PhaseRampD<decltype(phase)> ramp(phase);
    const int columns = static_cast<int>(std::min<long long>(K, N + 1LL));
    InBlocks(columns, [&](long long s, long long e) {
        double pr[detail::kPhaseBlock], pm[detail::kPhaseBlock];
        for (int bb = static_cast<int>(s); bb < e;) {
            const int be = std::min(static_cast<int>(e), (bb / detail::kPhaseBlock + 1) * detail::kPhaseBlock);
            ramp.Fill(bb, be, pr, pm);
            for (int k = bb; k < be; ++k) {
                // (chirp x convolution) x ramp, then the scale.
                const long double dr = static_cast<long double>(cr[k]) * ar[k] - static_cast<long double>(ci[k]) * ai[k];
                const long double di = static_cast<long double>(cr[k]) * ai[k] + static_cast<long double>(ci[k]) * ar[k];
                const long double yr = (dr * pr[k - bb] - di * pm[k - bb]) * scale;
                const long double yi = (dr * pm[k - bb] + di * pr[k - bb]) * scale;
                if (k == 0) {
                    outRe[0] = detail::ToStored(yr);  // real for a real record
                } else if (k == N) {
                    outIm[0] = detail::ToStored(-yr);  // Nyquist, negated; its sine is 0 at every sample
                } else {
                    outRe[k] = detail::ToStored(yr);
                    outIm[k] = detail::ToStored(yi);
                }
            }
            bb = be;
        }
    });
    return cut;
}

}  // namespace

long double DopplerScale(long double velocity, long double soundSpeed)
{
    const long double eta = CheckedDiv(soundSpeed + velocity, soundSpeed - velocity);
    if (!(eta > 0)) RaiseInvalidOp();
    return eta;
}

bool TimeScaledSpectrum(const TSignalData& wave, int N, long double eta, long double origin, TSignalData& spectrum)
{
    if (eta == 1) {
        AllocateSignal(spectrum, N);
        for (int r = 0; r < 2; ++r) std::copy(wave[r].begin(), wave[r].begin() + N, spectrum[r].begin());
        FFT(spectrum, N, 1);
        return false;
    }
    const double* rows[2] = {wave[0].data(), wave[1].data()};
    return Scale(rows, N, eta, origin, spectrum);
}

bool TimeScale(TSignalData& spectrum, int N, long double eta, long double origin)
{
    if (eta == 1) return false;
    // The spectrum changes only once the whole result stands: a failure or a
    // stop leaves it as it was.
    TSignalData wave, result;
    AllocateSignal(wave, N);
    for (int r = 0; r < 2; ++r) std::copy(spectrum[r].begin(), spectrum[r].begin() + N, wave[r].begin());
    FFT(wave, N, -1);
    const double* rows[2] = {wave[0].data(), wave[1].data()};
    const bool cut = Scale(rows, N, eta, origin, result);
    for (int r = 0; r < 2; ++r) std::copy(result[r].begin(), result[r].end(), spectrum[r].begin());
    return cut;
}

}  // namespace sonavir
