#pragma once
// The numeric part of the model parameter set: what the signal models read.
// The parameter set of the program (model/ModelParameters.h) owns one of these
// together with the texts and choices of its controls.

#include <cstdint>
#include <numbers>

namespace sonavir {

struct TModelParams {
    // Timing values are extended precision; physical parameters are doubles.
    long double F0 = 10300;     // carrier frequency, Hz
    long double FD = 1024;      // LFM deviation, Hz
    long double Tc = 0.01L;     // pulse duration, s
    std::uint8_t KofDiscret = 4;  // samples per period of Fmax
    long double Fmax = 12348;   // highest signal frequency, Hz (derived)
    long double W0 = 2 * std::numbers::pi_v<long double> * 10300;  // rad/s (derived)
    long double Dt = 1.0L / 49392;  // sample step, s (derived)
    double Q = 5;               // antenna quality factor
    std::int32_t Sln = 35;      // salinity, per mille
    std::int32_t Temperature = 23;  // degrees Celsius
    double R = 1;               // range, km
    double StaticP = 1;         // static pressure, as entered
    double NOrder = 1;          // seabed attenuation order
    double GruntHeight = 0.1;   // seabed layer thickness, m
    double GruntKoef = 0.041;   // seabed attenuation coefficient
    double Radius = 0.06;       // sphere radius, m
    double V = 0;               // target's radial velocity, m/s, closing positive

    bool operator==(const TModelParams&) const = default;
};

}  // namespace sonavir
