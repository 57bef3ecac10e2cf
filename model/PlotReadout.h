#pragma once
// The readout under the cursor: what the main window's second status panel
// shows for a point of the picture. It reads the data the plots were drawn
// from (MainState::Shown()) and never draws: the peaks it scales by are
// worked out once per run and kept, so a mouse move costs a few look-ups.

#include <cstdint>
#include <string>
#include <vector>

#include "display/PlotSpan.h"
#include "display/Plotter.h"

namespace sonavir {

class MainState;
struct ShownPlots;

// One curve's value at a point: its symbol ("S", "|K|"), the value in the
// plot's own scale (as the amplitude labels read) and as stored.
struct ReadoutValue {
    std::string symbol;
    long double scaled = 0;
    long double raw = 0;
};

// The value a plot scaled to `peak` shows for `raw`, as its labels read it.
long double ScaledValue(long double raw, long double peak);
// "S(t)" -> "S", "|K(jw)|" -> "|K|": a caption without its argument.
std::string CurveSymbol(const std::string& caption);
// A stored value, whatever its scale (an echo may be 1E-13): a mantissa of
// at most 3 digits, "E" and the power of ten; "0" for zero.
std::string ExponentText(long double value);
// "t = 0,00512 с   S = 0,734 (2,31E-3)": the coordinate as given, then each
// value in the general format with 3 digits, its stored value in brackets.
std::string ReadoutText(const std::string& coordinateName, const std::string& coordinate,
                        const std::string& unit, const std::vector<ReadoutValue>& values);
// A point's position, in at least 4 digits and as many more as tell it from
// its neighbour's.
std::string CoordinateText(long double position, long double neighbour);

class PlotReadout {
public:
    // Over a shown plot: the position of the point under the cursor and its
    // value. Where a pixel column holds several points, the one of largest
    // magnitude among them (the tip of the stroke drawn there); otherwise
    // the nearest. Elsewhere Peak(); "" when the picture shows no plots.
    std::string At(const MainState& state, int x, int y);
    // "пик: t = 0,0101 с   S = 1 (2,31E-3)": the largest |sample| of the
    // waveform as shown (the zoomed span only), its first occurrence.
    std::string Peak(const MainState& state);

private:
    void Refresh(const ShownPlots& shown);
    long double PeakOf(const ShownPlots& shown, PlotKind plot);
    std::string PointText(const ShownPlots& shown, PlotKind plot, long long point, const char* prefix);

    std::uint64_t run_ = 0;
    long double wavePeak_ = -1, spectrumPeak_ = -1;
    // The last peak text and the span it was found in.
    PlotSpan peakSpan_;
    std::string peakText_;
};

}  // namespace sonavir
