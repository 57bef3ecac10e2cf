#pragma once
// The echo path at the levels of the active sonar equation ("Модель уровней"
// -> "Уравнение гидролокации"): the same stages as model/EchoPath.h, each with
// its variant, chosen by the request (RunRequest::levels), so the run, the
// ledger and the budget take them without knowing.
//
//   - the probe at its source level: samples in uPa at 1 m, RMS over the pulse
//     at SL;
//   - the transducers with unit gain at F0 (their shape across the band stays);
//   - the water each way: spherical spreading 20 lg(R / 1 m) and absorption
//     alpha(f) R with the amplitude factor 10^(-alpha R / 20), alpha from the
//     water model's formula or Francois-Garrison at c = 1500 m/s;
//   - the seabed layer: 10^(-k h f^n / 20);
//   - the rigid sphere's exact echo, TS(f) = 20 lg(|f(ka)| a / 2);
//   - the travel time 2R/c: the record is a time gate that opens a little
//     before the wave arrives, so every stage's waveform sits at its true time;
//   - the receiver's noise: Gaussian, at NL over the record's band, less the
//     array gain DI, added after the last stage (before the matched filter).
// The depth attenuation of the teaching levels does not apply: the spreading
// is in the water itself.

#include "model/RunEcho.h"

namespace sonavir {

// The sound speed of the mode, m/s: travel times, ka and Francois-Garrison.
inline constexpr long double kSonarSoundSpeed = 1500;

// The record's band, 0 .. 1/(2 Dt) Hz: the band of its noise.
long double RecordBand(long double Dt);

// Samples by which the gate opens before the wave arrives: an eighth of the
// record (room for the sphere's front face, which comes 2a/c before its
// centre's echo), an even number so the waveform's layout keeps its rows.
int GateLead(int N);
// The travel time to the wave after stages 1 .. lastStage: R/c for each
// water stage whose gate is on.
long double TravelTime(const RunRequest& request, int lastStage);
// The time of the first sample of the record after stages 1 .. lastStage: the
// travel time less the gate's lead; after the matched filter, which puts the
// reference's own delay at the middle of the record, less half the record.
long double RecordStart(const RunRequest& request, int lastStage, bool filtered, int N);

// Scales a generated probe (pulse in samples 0 .. 2M-1) to its source level
// and moves it GateLead(N) samples into the record. A silent probe stays.
void ToSourceLevel(const RunRequest& request, TSignalData& data, int N, int M);
// A channel model of this mode, as ApplyChannelModel takes it.
void ApplySonarModel(ChannelModel model, const RunRequest& request, bool apply, TSignalData& data, int N);

// The absorption the request chooses, dB/km at `frequency` Hz.
long double SonarAbsorption(const RunRequest& request, long double frequency);
// The receiver noise's standard deviation per sample, uPa:
// sqrt(10^((NL - DI) / 10) B) with B the record's band.
long double ReceiverNoiseSigma(const RunRequest& request);

}  // namespace sonavir
