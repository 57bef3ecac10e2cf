#pragma once
// The channel models computed the plain way: every column's response from its
// own formula (a power, a cosine and a sine per column) into a scratch buffer,
// then copied or multiplied in. The library's fast versions are checked
// against these, and the benchmarks use them as their yardstick.

#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include "signal/ModelParams.h"
#include "signal/Noise.h"
#include "signal/NumberText.h"
#include "signal/Propagation.h"
#include "signal/WinFFT.h"

namespace sonavir::direct {

inline constexpr long double kPi = std::numbers::pi_v<long double>;

inline void Finish(bool apply, TSignalData& data, int N, const TSignalData& K)
{
    for (int i = 0; i < N; ++i) {
        if (!apply) {
            data[0][i] = K[0][i];
            data[1][i] = K[1][i];
            continue;
        }
        const long double a = data[0][i], b = data[1][i];
        data[0][i] = static_cast<double>(a * K[0][i] - b * K[1][i]);
        data[1][i] = static_cast<double>(a * K[1][i] + b * K[0][i]);
    }
}

inline void AddResonance(TSignalData& K, int N, long double dw, long double wr, long double Q)
{
    for (int i = 1; i < N; ++i) {
        const long double w = i * dw;
        const long double c = 2 * Q * (2 * Q + 1) / ((4 * Q + 1) * wr);
        const long double x = (1 - wr * wr / (w * w)) * w * c;
        K[0][i] = static_cast<double>(K[0][i] + 1 / (1 + x * x));
        K[1][i] = static_cast<double>(K[1][i] + x / (1 + x * x));
    }
}

inline void Narrowband(bool apply, TSignalData& data, int N, const TModelParams& p)
{
    TSignalData K;
    AllocateSignal(K, N);
    AddResonance(K, N, 2 * kPi / (N * p.Dt * 2), p.W0, p.Q);
    Finish(apply, data, N, K);
}

inline void Wideband(bool apply, TSignalData& data, int N, const TModelParams& p, const std::string& kw)
{
    TSignalData K;
    AllocateSignal(K, N);
    const long double dw = 2 * kPi / (N * p.Dt * 2);
    AddResonance(K, N, dw, p.W0, p.Q);
    AddResonance(K, N, dw, p.W0 - StrToFloat(kw) * p.F0 / p.Q, p.Q);
    AddResonance(K, N, dw, std::trunc(p.W0 + StrToFloat(kw) * p.F0 / p.Q), p.Q);
    Finish(apply, data, N, K);
}

inline void Water(bool apply, TSignalData& data, int N, const TModelParams& p)
{
    TSignalData K;
    AllocateSignal(K, N);
    K[0][0] = 1;
    const long double df = 1 / (2 * static_cast<long double>(N) * p.Dt);
    const long double fT = 21.9L * Power(10, 6 - 1520.0L / (static_cast<long long>(p.Temperature) + 273));
    const long double Pf = 1 - (6.54L / Power(10, 4)) * p.StaticP;
    for (int i = 1; i < N; ++i) {
        const long double f = i * df / 1000;
        const long double phi = 2 * kPi * f * 2 * p.Dt * 1000;
        const long double A1 = f * f * (p.Sln * 0.0203L * fT) / (fT * fT + f * f);
        const long double A2 = f * f * (Power(10, -2) * 2.93L) / fT;
        const long double alpha = (A1 + A2) * Pf;
        const long double g = Power(10, -p.R * alpha / 10);
        K[0][i] = static_cast<double>(g * std::cos(phi));
        K[1][i] = static_cast<double>(-g * std::sin(phi));
    }
    Finish(apply, data, N, K);
}

inline void Seabed(bool apply, TSignalData& data, int N, const TModelParams& p)
{
    TSignalData K;
    AllocateSignal(K, N);
    K[0][0] = 1;
    const long double df = 1 / (2 * static_cast<long double>(N) * p.Dt);
    for (int i = 1; i < N; ++i) {
        const long double f = i * df / 1000;
        const long double g = Power(10, Power(f, p.NOrder) * (-0.05L * p.GruntKoef) * p.GruntHeight);
        const long double phi = 2 * kPi * f * p.Dt * 1000;
        K[0][i] = static_cast<double>(g * std::cos(phi));
        K[1][i] = static_cast<double>(-g * std::sin(phi));
    }
    Finish(apply, data, N, K);
}

inline void Sphere(bool apply, TSignalData& data, int N, const TModelParams& p)
{
    TSignalData K;
    AllocateSignal(K, N);
    const long double dw = 2 * kPi / (N * p.Dt * 2);
    const long double A = Power(p.Radius, 3) * 65.8L;
    for (int i = 1; i < N; ++i) {
        const long double w = i * dw;
        const long double phi = w * p.Dt;
        const long double L = 1500 / w;
        const long double g = A / (L * L);
        K[0][i] = static_cast<double>(g * std::cos(phi));
        K[1][i] = static_cast<double>(-g * std::sin(phi));
    }
    Finish(apply, data, N, K);
}

inline void MatchedFilter(const TSignalData& S, int N, long double Dt, TSignalData& F)
{
    const long double dw = 2 * kPi / ((2 * static_cast<long double>(N)) * Dt);
    for (int i = 0; i < N; ++i) {
        const long double theta = i * dw * Dt * N;
        const long double c = std::cos(theta), s = std::sin(theta);
        F[0][i] = static_cast<double>(c * S[0][i] - s * S[1][i]);
        F[1][i] = static_cast<double>(-s * S[0][i] - c * S[1][i]);
    }
}

// spectrum times the matched filter of reference, column by column: the
// spectrum of the filter's output.
inline TSignalData Filtered(const TSignalData& spectrum, const TSignalData& reference, int N,
                            long double Dt)
{
    TSignalData f;
    AllocateSignal(f, N);
    MatchedFilter(reference, N, Dt, f);
    TSignalData out = spectrum;
    for (int i = 0; i < N; ++i) {
        const long double a = spectrum[0][i], b = spectrum[1][i];
        out[0][i] = static_cast<double>(a * f[0][i] - b * f[1][i]);
        out[1][i] = static_cast<double>(a * f[1][i] + b * f[0][i]);
    }
    return out;
}

// The noise of one seed, sample by sample in waveform order, a zero magnitude
// draw taken again.
inline void AddNoise(TSignalData& data, int N, long double sigma, std::uint32_t seed)
{
    LcgSource s(seed);
    for (int m = 0; m < 2 * N; ++m) {
        long double u1 = s.Next();
        if (u1 == 0) u1 = s.Next();
        const long double u2 = s.Next();
        const long double n = std::cos(2 * kPi * u2) * (std::sqrt(-2 * std::log(u1)) * sigma);
        data[m % 2][m / 2] = static_cast<double>(data[m % 2][m / 2] + n);
    }
}

// Spectrum columns with parts uniform in [-1, 1): a spectrum to apply a model to.
inline TSignalData RandomSpectrum(int N, unsigned seed)
{
    TSignalData d;
    AllocateSignal(d, N);
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < N; ++i) {
        d[0][i] = u(gen);
        d[1][i] = u(gen);
    }
    return d;
}

}  // namespace sonavir::direct
