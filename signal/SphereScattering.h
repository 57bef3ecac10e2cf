#pragma once
// Backscatter of a rigid, immovable sphere from the exact partial-wave series
// (Rayleigh; Faran 1951; Hickling 1962).
//
// Convention. Time dependence e^{-i w t}, the same as this program's spectra
// (the forward transform has e^{+j pi m k / N}). A plane wave p0 e^{ikz} meets
// a sphere of radius a at the origin; far away the scattered wave back toward
// the source is
//
//     p_s = p0 (a / 2r) f(ka) e^{ikr},
//     f(ka) = (2i / ka) sum_n (-1)^n (2n + 1) j_n'(ka) / h_n'(ka),
//
// h_n = j_n + i y_n the outgoing spherical Hankel function. The phase is
// referred to the sphere's centre: for ka >> 1, f -> e^{-2ika}, the echo of
// the front face, which lies a nearer, with the reflection factor +1 of a
// rigid wall; for ka << 1, f -> -(5/3)(ka)^2 (Rayleigh's monopole 1/3 and
// dipole 1/2 of the fixed sphere: sigma_bs = (25/36) k^4 a^6). The target
// strength is TS = 20 lg(|f| a / 2) dB re 1 m, which tends to 10 lg(a^2 / 4).
//
// Faults end the action with the standard messages: an input that is not a
// number ("Invalid floating point operation"), a sound speed or sample step of
// 0 ("Floating point division by zero"), values beyond the range of the
// numbers ("Floating point overflow"). A negative ka gives the complex
// conjugate, as the response of a real system at a negative frequency.

#include <complex>
#include <vector>

namespace sonavir {

// Above this ka the series is not summed: f is taken as its geometric limit
// e^{-2ika}, which it approaches as 1 - 1.5i / ka (at this ka within 2e-4,
// a thousandth of a decibel). Summing costs in proportion to ka per value.
inline constexpr long double kRigidSphereSeriesKa = 8192;

// The reference: the series summed in extended precision with the standard
// library's std::sph_bessel and std::sph_neumann (derivatives from
// z_n' = z_{n-1} - (n + 1) z_n / x), until the terms are negligible. Relative
// accuracy about 1e-16 for small ka, 1e-13 at ka = 2000 (the library's own
// functions lose about 1e-14 at large arguments). Costs O(ka) library calls.
std::complex<long double> RigidSphereFormFunction(long double ka);

// TS in dB re 1 m at frequency f (Hz) for radius a (m) and sound speed c (m/s).
// f = 0 (no echo at all) fails with "Floating point division by zero", a
// negative radius with "Invalid floating point operation".
long double RigidSphereTs(long double f, long double a, long double c = 1500);

// The sphere's factor for the N columns of a spectrum of 2N samples at step
// Dt: column k (frequency k / (2 N Dt), ka_k = pi k a / (N Dt c)) gets
//
//     re[k] + i im[k] = (a / 2) f(ka_k),
//
// so that 20 lg |value| is the column's TS and |value|^2 its backscattering
// cross-section sigma_bs = |f|^2 a^2 / 4 in m^2; multiplying a spectrum by it
// turns the incident wave at 1 m into the echo at 1 m. Column 0 is 0 in both
// rows: no echo at the zero frequency, and the Nyquist value that row 1 holds
// there is dropped, as the sphere model does. A negative step (a, Dt or c
// below 0) takes f at negative ka, the conjugate; a = 0 gives zeros.
//
// How: columns lie on a uniform grid in ka. Where they are dense, fixed
// panels in ka carry a polynomial fitted through the series at Chebyshev
// points (the series itself summed by recurrences: upward for y_n, Miller's
// downward recurrence for j_n); where they are sparse, each column sums the
// series itself. Either way within about 1e-11 relative of the reference for
// ka up to 2000. Split across the cores, and bit-identical whatever their
// number. Cost: the fitting grows with (ka at the last column)^2, the rest
// with N.
void RigidSphereColumns(int N, long double Dt, long double a, long double c, double* re, double* im);

namespace detail {
// The series by recurrences in double precision, for 1e-4 <= ka <=
// kRigidSphereSeriesKa (what the columns use); `scratch` is reused storage.
std::complex<double> RigidSphereSeries(double ka, std::vector<double>& scratch);
}  // namespace detail

}  // namespace sonavir
