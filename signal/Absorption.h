#pragma once
// Absorption of sound in sea water after Francois and Garrison (J. Acoust.
// Soc. Am. 72(3), 896-907 and 72(6), 1879-1890, 1982): the sum of a boric
// acid and a magnesium sulphate relaxation and the viscous absorption of pure
// water, each with its own dependence on temperature, salinity and depth,
//
//   alpha = A1 P1 f1 f^2 / (f1^2 + f^2) + A2 P2 f2 f^2 / (f2^2 + f^2) + A3 P3 f^2,
//
// f in kHz, alpha in dB/km. The equation is fitted to ocean measurements from
// 200 Hz to 1 MHz; below 500 kHz its stated range is about -2 to 22 degrees
// C, 30 to 35 per mille and depths to 3.5 km (wider above). Outside it is
// extrapolation, computed all the same. The absorption loss over R km is
// alpha R dB one way.
//
// Faults: an input that is not a number, a temperature of -273 degrees C, a
// sound speed of 0, a negative salinity, a sample step of 0 and results beyond
// the range of the numbers end the action with the standard messages ("Invalid
// floating point operation", "Floating point division by zero", "Floating
// point overflow"). A negative frequency is the frequency itself: alpha
// depends on f^2 only.

namespace sonavir {

// The sound speed the paper's equation comes with, in m/s:
// c = 1412 + 3.21 T + 1.19 S + 0.0167 D.
long double FrancoisGarrisonSoundSpeed(long double temperature, long double salinity, long double depth);

class SeaAbsorption {
public:
    // temperature in degrees C, salinity in per mille, depth in m, pH, sound
    // speed in m/s (the paper's own is FrancoisGarrisonSoundSpeed(); the model
    // runs at 1500). Works out the coefficients once; fails on the faults above.
    SeaAbsorption(long double temperature, long double salinity, long double depth, long double pH,
                  long double soundSpeed = 1500);

    // dB/km at `frequency` Hz: the sum of the three terms below.
    long double operator()(long double frequency) const;
    long double BoricAcid(long double frequency) const;
    long double MagnesiumSulphate(long double frequency) const;
    long double PureWater(long double frequency) const;

    // Relaxation frequencies of boric acid and magnesium sulphate, Hz.
    long double BoricFrequency() const { return f1_ * 1000; }
    long double MagnesiumFrequency() const { return f2_ * 1000; }

    // alpha in dB/km of the N columns of a spectrum of 2N samples at step Dt
    // s, column k at k / (2 N Dt) Hz (alpha[0] = 0, the zero frequency),
    // into alpha[0 .. N). Split across the cores; the values do not depend on
    // how many. Fails like the scalar form, before anything not finite is
    // stored.
    void Columns(int N, long double Dt, double* alpha) const;

private:
    long double a1_, f1_, a2_, f2_, a3_;  // A1 P1 f1, f1, A2 P2 f2, f2 (kHz), A3 P3
};

// alpha in dB/km at `frequency` Hz: SeaAbsorption(...)(frequency).
long double SeaAbsorptionDbPerKm(long double frequency, long double temperature, long double salinity,
                                 long double depth, long double pH, long double soundSpeed = 1500);

}  // namespace sonavir
