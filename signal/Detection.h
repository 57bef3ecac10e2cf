#pragma once
// Detection theory for a threshold on the envelope of the matched filter's
// output: Marcum's Q function, the probability of detection of a steady
// (non-fluctuating) target against that of a false alarm, the signal-to-noise
// ratio a wanted detection needs (exact, and Albersheim's approximation), and
// the Wilson score interval of a probability measured by counting.
//
// The signal-to-noise ratio is the linear snr = A^2 / (2 sigma^2) of one
// envelope sample: A the peak of the echo's envelope, sigma the standard
// deviation of each quadrature of the noise (the Rayleigh parameter of the
// noise's envelope). With n pulses it is that of each pulse, and the pulses
// are summed after a square-law detector (noncoherent integration).
//
// Every function here fails with the program's messages, never with NaN: an
// argument outside its domain (a probability outside (0, 1), a negative snr,
// a negative amplitude, a NaN) is an "Invalid floating point operation".

namespace sonavir {

// Marcum's Q function of order M >= 1:
//   Q_M(a, b) = integral from b to infinity of x (x/a)^(M-1) e^{-(x^2+a^2)/2} I_{M-1}(a x) dx,
// the probability that the envelope of a unit-variance Rice variable of
// amplitude a (the root of a sum of M of them, for M > 1) exceeds b.
// a, b >= 0. Checked against independent quadrature for a, b up to 40: about
// 1e-18 absolute and, where Q is small (b > a), a few units in 1e-17
// relative. Tails below the range of a long double come back as 0 (and 1 - Q
// likewise as 1); a b beyond 1e10 (millions of Bessel ratios) fails with
// "Floating point overflow".
long double MarcumQ(int M, long double a, long double b);
inline long double MarcumQ1(long double a, long double b) { return MarcumQ(1, a, b); }

// The probability of false alarm of a threshold T on one envelope sample of
// noise alone with Rayleigh parameter sigmaEnv: e^{-T^2 / (2 sigmaEnv^2)}.
// T >= 0, sigmaEnv > 0.
long double FalseAlarmProbability(long double threshold, long double sigmaEnv);
// Its inverse: T = sigmaEnv sqrt(-2 ln pfa). pfa in (0, 1), sigmaEnv >= 0.
long double RayleighThreshold(long double sigmaEnv, long double pfa);

// The probability that the sum of `pulses` square-law samples of noise alone
// (each |z|^2 / (2 sigma^2), so the sum is Erlang of order `pulses`) exceeds
// t: e^{-t} sum_{k < pulses} t^k / k!. And the t that gives a wanted pfa.
long double ErlangTail(int pulses, long double t);
long double ErlangThreshold(int pulses, long double pfa);

// The probability of detection of a steady target of linear snr (per pulse)
// with the threshold set for pfa:
//   one pulse: Q_1(sqrt(2 snr), sqrt(-2 ln pfa));
//   n pulses:  Q_n(sqrt(2 n snr), sqrt(2 ErlangThreshold(n, pfa))).
// snr >= 0, pfa in (0, 1), pulses >= 1. At snr = 0 it is pfa.
long double DetectionProbability(long double snr, long double pfa, int pulses = 1);

// The snr in dB (10 lg snr) for which DetectionProbability gives pd: pd in
// (pfa, 1), found by bisection to within 1e-9 dB. A pd no snr up to 100 dB
// reaches (a pd that rounds to 1 in the tail) is a "Floating point overflow".
long double RequiredSnrDb(long double pd, long double pfa, int pulses = 1);

// Albersheim's approximation of the same for n pulses of a linear detector:
//   A = ln(0.62 / pfa), B = ln(pd / (1 - pd)),
//   snr dB = -5 lg n + (6.2 + 4.54 / sqrt(n + 0.44)) lg(A + 0.12 A B + 1.7 B).
// Within about 0.2 dB of the exact value for pfa 1e-7 .. 1e-3, pd 0.1 .. 0.9
// and 1 .. 8096 pulses; outside that range it is only a formula. pd and pfa in
// (0, 1), pulses >= 1; a logarithm of a non-positive value fails as CheckedLn.
long double AlbersheimSnrDb(long double pd, long double pfa, int pulses = 1);

// Two-sided score interval (Wilson) of a probability from k successes in n
// trials, 0 <= k <= n, n >= 1, at z standard deviations (1.959964 for 95 %).
// For k = 0 the low end is exactly 0, for k = n the high end exactly 1.
struct ProbabilityInterval {
    long double low = 0, high = 0;
};
inline constexpr long double kZ95 = 1.959964L;
ProbabilityInterval WilsonInterval(long long k, long long n, long double z = kZ95);

}  // namespace sonavir
