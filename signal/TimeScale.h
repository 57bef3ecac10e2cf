#pragma once
// The echo of a moving target: a target closing at V m/s compresses the echo
// in time by eta = (c + V) / (c - V), y(t) = x(eta t), so its spectrum is
// Y(f) = X(f / eta) / eta: every frequency rises by the factor eta and the
// pulse lasts 1/eta as long (an opening target, V < 0, stretches it).
//
// The scaling is exact to the record's band limit. The record is taken as the
// signal itself, zero before its first and after its last sample (not as one
// period of a repeating signal), and its samples as those of the signal band
// limited to the Nyquist frequency. Column k of the result is then the
// record's transform at the frequency f_k / eta, divided by eta: a chirp-z
// transform of the samples, done by Bluestein's method with three complex
// transforms of a power-of-two size P >= L + K - 1 (L the samples that carry
// the signal, K the columns that receive it; P = 2N for a pulse in the first
// half of the record, 4N at most).
//
// Conditions:
// - What the scaling carries past either end of the record is cut, never
//   wrapped round: the samples that would land outside it are left out (the
//   functions say so by returning true). A stretched pulse therefore has to
//   fit in the record to come back whole; the generators' pulse, which fills
//   at most half of it, fits for any eta >= 1/2 (V >= -c/3).
// - Compressing (eta > 1) pushes the band up: what the record holds above
//   Nyquist / eta lands above the Nyquist frequency and is lost; stretching
//   (eta < 1) leaves the columns above eta N empty.
// - The cut is abrupt, so an echo cut in the middle of a pulse rings at the
//   edge as any band-limited cut does.
// - Work: a few times a forward transform of the run's size, and scratch
//   memory of about 4P doubles. A record of more than 2^26 columns fails with
//   "Out of memory".

#include "signal/WinFFT.h"

namespace sonavir {

// The speed of sound of the target's scaling, m/s.
inline constexpr long double kScaleSoundSpeed = 1500;

// eta = (c + V) / (c - V) for a target closing at V m/s (negative: opening).
// |V| >= c has no echo: V = c fails as a division by zero, |V| > c as an
// invalid operation.
long double DopplerScale(long double velocity, long double soundSpeed = kScaleSoundSpeed);

// The scaling about the instant `origin` (in samples, t0 / Dt):
// y(t) = x(t0 + eta (t - t0)), which keeps whatever happens at t0 in place
// (origin 0: y(t) = x(eta t)). eta must be finite and positive, else an
// invalid operation.
//
// In place on a spectrum (N columns of a 2N-sample record, the layout FFT(+1)
// gives). eta = 1 leaves the buffer as it is, bit for bit, and returns false.
// Returns true when a part of the signal was cut at an end of the record.
bool TimeScale(TSignalData& spectrum, int N, long double eta, long double origin = 0);

// The same from a waveform (waveform layout, only read) into a spectrum
// (allocated here), which saves the inverse transform when the caller holds
// the samples. eta = 1 gives the waveform's FFT(+1).
bool TimeScaledSpectrum(const TSignalData& wave, int N, long double eta, long double origin,
                        TSignalData& spectrum);

}  // namespace sonavir
