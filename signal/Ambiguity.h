#pragma once
// The ambiguity function of a probe s against a filter reference r: how the
// matched filter answers an echo that comes back delayed by tau and shifted
// in Doppler by nu,
//
//   chi(tau, nu) = sum_m s_a[m] e^{j 2 pi nu t_m} r[m - n] / sqrt(E_s E_r),  tau = n Dt,
//
// with s_a the probe's analytic signal (the zero frequency and the Nyquist
// value once, the positive frequencies twice: Envelope()'s), r the real
// reference, E the energies of the real waveforms and t_m the sample's time
// from the pulse's centre (the record taken round the circle). Against the
// textbook integral of both analytic signals this is one half of it wherever
// the shifted probe's spectrum stays in positive frequencies (the usual case
// of a band-pass pulse; they differ by the probe's content within |nu| of the
// zero frequency). It is chosen so that:
// - at nu = 0 it is exactly the envelope of the matched filter's output
//   (signal/MatchedFilter.h with r's spectrum as the reference, then
//   Envelope()), divided by sqrt(E_s E_r) / 2N: sample N + n of the envelope
//   is |chi(n Dt, 0)| sqrt(E_s E_r) / (2N);
// - |chi(0, 0)| = 1 for r = s, and for a weighted reference r = w s,
//   20 lg |chi(0, 0)| is the loss of signal-to-noise ratio the weighting
//   costs (Cauchy-Schwarz's bound is the matched filter's gain), so the
//   map's peak reads the loss directly (about WeightingLossDb()).
//
// The wideband form replaces the Doppler shift by the target's time scaling
// (signal/TimeScale.h): row V scales the probe by eta = (c + V) / (c - V)
// about the pulse's centre, with the factor sqrt(eta) that keeps its energy,
// chi(tau, V) = sqrt(eta) sum_m y_a[m] r[m - n] / sqrt(E_s E_r),
// y(t) = s(t_c + eta (t - t_c)).
//
// Buffers: probe and reference are waveforms of N columns (2N samples) at
// step Dt with the pulse in samples 0 .. 2M-1, as the generators write it;
// the record must hold at least twice the pulse (2M <= N) so that delays up
// to +-Tc do not wrap (with 2M = N the columns +Tc and -Tc are the same
// sample and read alike). Any other N, M or Dt fails as an invalid operation;
// a silent probe or reference fails as a division by zero.
//
// To draw a map (the caller's side):
//   Ambiguity af(probe, reference, N, M, p.Dt);   // reference = probe, or ApplyWindow()'s copy
//   AmbiguityGrid g;  g.rows = 129;  g.maxDoppler = 4 / p.Tc;   // or g.wideband, g.maxVelocity
//   AmbiguityMap map = af.Map(g);                 // map.At(row, column), map.lags, map.doppler
//   AmbiguityMeasures m = af.Measure(map);
//   std::vector<double> db = AmbiguityDb(map.values);   // 0 .. -40 dB for the picture

#include <optional>
#include <vector>

#include "signal/TimeScale.h"
#include "signal/WinFFT.h"

namespace sonavir {

struct AmbiguityGrid {
    // Rows (>= 1), evenly from -max to +max (one row: zero Doppler).
    int rows = 129;
    // The narrowband rows' Doppler span, Hz (>= 0).
    long double maxDoppler = 0;
    // Rows by the time scaling of a target moving at -maxVelocity ..
    // +maxVelocity m/s (closing positive; |V| < soundSpeed) instead. Beyond
    // V = -c/3 (eta < 1/2) the stretched probe no longer fits the record and
    // its tail is cut (signal/TimeScale.h).
    bool wideband = false;
    long double maxVelocity = 0;
    long double soundSpeed = kScaleSoundSpeed;
    // The rows' low end, when given: from minDoppler (minVelocity) up to
    // maxDoppler (maxVelocity) instead of from -max; it must not lie above
    // the max.
    std::optional<long double> minDoppler, minVelocity;
    // The delays the columns span, s, when given: from minDelay to maxDelay,
    // held within -Tc .. +Tc (lags -2M .. 2M), instead of the whole of it;
    // the span must hold at least one sample.
    std::optional<long double> minDelay, maxDelay;
    // 0: every sample of delay in the span (from -Tc to +Tc, lags -2M .. 2M,
    // 4M + 1 columns, by default); otherwise this many columns over the same
    // span, each at the nearest whole sample (map.lags says which).
    int delayColumns = 0;
};

struct AmbiguityMap {
    int rows = 0, columns = 0;
    long double Dt = 0;
    bool wideband = false;
    std::vector<long double> doppler;   // per row, Hz (narrowband)
    std::vector<long double> velocity;  // per row, m/s (wideband)
    std::vector<long double> eta;       // per row (wideband)
    std::vector<int> lags;              // column j lies at delay lags[j] Dt
    std::vector<double> values;         // |chi|, row by row: rows x columns
    // |chi(0, row)|: the zero-delay cut at the rows (each row at lag 0).
    std::vector<double> zeroDelay;
    // |chi(n Dt, 0)| for n = -2M .. 2M: the zero-Doppler cut, every sample.
    std::vector<double> zeroDoppler;
    // Each row's largest |chi| over all lags and its delay (s), refined
    // between samples by a parabola.
    std::vector<long double> rowPeakDelay;
    std::vector<double> rowPeak;

    double At(int row, int column) const
    {
        return values[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                      static_cast<std::size_t>(column)];
    }
};

struct AmbiguityPoint {
    double level = 0;           // |chi(tau, nu)|, between samples band-limited
    long double peakDelay = 0;  // where |chi(., nu)| peaks along delay, s
    double peakLevel = 0;       // and its value there
};

// The Doppler measures come from the narrowband zero-delay cut whatever the
// map; the delay width from the map's zero-Doppler cut.
struct AmbiguityMeasures {
    // 20 lg |chi(0, 0)|: 0 for the matched filter, the weighting's loss
    // otherwise.
    long double peakDb = 0;
    // Of the zero-Doppler cut (linear between samples), s.
    std::optional<long double> delayWidth3db;
    // Of the zero-delay cut against its value at nu = 0, Hz; empty when it
    // does not fall that far on both sides within 16 / Tc.
    std::optional<long double> dopplerWidth3db;
    // The first minimum of the zero-delay cut above nu = 0 (within 16 / Tc),
    // Hz: 1 / Tc for a constant envelope.
    std::optional<long double> firstNullDoppler;
    // d nu / d tau of the ridge, from a line through the narrowband rows'
    // peaks that lie inside the delay span, Hz/s. For an LFM sweep up, a
    // Doppler shift nu moves the peak to tau = -nu Tc / (2 FD): the slope is
    // -2 FD / Tc. Empty for a wideband map, fewer than two such rows, or
    // peaks that do not move.
    std::optional<long double> ridgeSlope;
};

class Ambiguity {
public:
    // Keeps what every row needs: the probe's analytic signal and the
    // reference's transform (two transforms of 2N points, once).
    Ambiguity(const TSignalData& probe, const TSignalData& reference, int N, int M, long double Dt);

    // The map: one forward and one inverse transform of 2N points per
    // narrowband row (a time scaling and one inverse per wideband row), the
    // rows side by side on WorkThreads() threads; the same bits whatever the
    // thread count. Checkpoints and progress as a long loop.
    AmbiguityMap Map(const AmbiguityGrid& grid) const;

    // |chi(n Dt, 0)|, n = -2M .. 2M.
    std::vector<double> ZeroDopplerCut() const;
    // |chi(0, nu)|, directly (a sum over the reference's samples).
    double ZeroDelay(long double doppler) const;
    // At one (tau, nu): the level, and where the peak lies along delay at
    // that Doppler (refined between samples).
    AmbiguityPoint At(long double delay, long double doppler) const;
    // The same for the wideband form at a velocity.
    AmbiguityPoint AtVelocity(long double delay, long double velocity,
                              long double soundSpeed = kScaleSoundSpeed) const;

    AmbiguityMeasures Measure(const AmbiguityMap& map) const;

    int N() const { return N_; }
    int M() const { return M_; }

private:
    struct Row;
    void NarrowbandRow(long double doppler, Row& row) const;
    void WidebandRow(long double eta, Row& row) const;
    AmbiguityPoint Point(long double delay, Row& row) const;

    int N_ = 0, M_ = 0;
    long double Dt_ = 0;
    TSignalData probe_;
    std::vector<double> zr_, zi_;   // the probe's analytic signal, 2N samples
    std::vector<double> rr_, ri_;   // the reference's transform, conjugated and scaled
    // The zero-delay sum: s_a[m] r[m] / sqrt(E_s E_r) over the reference's
    // samples, by their time from the pulse's centre, from sample zeroFirst_.
    std::vector<double> pr_, pi_;
    int zeroFirst_ = 0;
};

// 20 lg v, held to floorDb below (0 and anything under the floor read as the
// floor): the map's linear levels as the dB picture shows them.
double AmbiguityDb(double linear, double floorDb = -40);
std::vector<double> AmbiguityDb(const std::vector<double>& linear, double floorDb = -40);

}  // namespace sonavir
