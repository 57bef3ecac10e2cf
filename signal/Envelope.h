#pragma once
// The envelope of a waveform and the pulse-compression measures read from it:
// the width of the main lobe and the levels of the sidelobes that a matched
// filter leaves around its peak.

#include <optional>

#include "signal/WinFFT.h"

namespace sonavir {

// The magnitude of the analytic signal of the 2N samples in wave (waveform
// layout), into envelope (waveform layout, N columns; allocated here). The
// analytic signal keeps the zero frequency and the Nyquist value once, the
// positive frequencies twice and drops the negative ones, so its imaginary
// part is the Hilbert transform of the waveform. Two transforms of size N.
void Envelope(const TSignalData& wave, int N, TSignalData& envelope);
// The same when the caller holds the waveform's spectrum (spectrum layout, N
// columns): the one FFT(+1) gives of wave, or the one whose inverse
// transform wave is. One transform of size N. From FFT(+1)'s spectrum the
// result is Envelope()'s bit for bit; from the other, within rounding.
void EnvelopeFromSpectrum(const TSignalData& wave, const TSignalData& spectrum, int N, TSignalData& envelope);

// Measures of an envelope e[0 .. 2N-1] sampled every Dt seconds. A measure
// that does not exist is left empty.
struct EnvelopeMeasures {
    long double peakTime = 0;  // m Dt of the first sample with the largest value
    long double peak = 0;      // that value
    // Between the crossings of peak/sqrt(2) nearest the peak, each linearly
    // interpolated between samples; empty when the envelope does not fall that
    // far on both sides within the record.
    std::optional<long double> width3db;
    // The main lobe runs from the peak outwards to the first local minimum on
    // each side (never wrapping round the record): samples lobeFirst ..
    // lobeLast.
    int lobeFirst = 0, lobeLast = 0;
    // 20 lg(largest value outside the main lobe / peak); empty when nothing,
    // or nothing but zeros, lies outside.
    std::optional<long double> pslDb;
    // 10 lg(energy outside the main lobe / energy inside); empty likewise.
    std::optional<long double> islDb;
};

// Fails with "Floating point division by zero" for an all-zero envelope, as
// the plot of a silent waveform does.
EnvelopeMeasures MeasureEnvelope(const TSignalData& envelope, int N, long double Dt);

// Measures of the envelope of a pulse that no filter has compressed: the
// peak as above, and as the -3 dB width the pulse's own length, from the
// first crossing of peak/sqrt(2) to the last (interpolated as above). The
// outermost crossings, not those nearest the peak: such a pulse may dip
// inside, as a Barker pulse does at each change of phase. An envelope above
// the level at the record's first (or last) sample is taken to start (end)
// there: the probe starts at the first sample. The main lobe is the pulse's
// span above the level; without sidelobes there is no PSL and no ISL. Fails
// like MeasureEnvelope for an all-zero envelope.
EnvelopeMeasures MeasurePulse(const TSignalData& envelope, int N, long double Dt);

}  // namespace sonavir
