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
struct HeldReference;

// One curve's value at a point: its symbol ("S", "|K|"), the value in the
// plot's own scale (as the amplitude labels read) and as stored (in the dB
// view, the envelope's value for a waveform).
struct ReadoutValue {
    std::string symbol;
    long double scaled = 0;
    long double raw = 0;
    // The dB view's floor (kWaveFloorDb, kSpectrumFloorDb): `scaled` is a
    // level in dB, read "< floor" below it; 0 in the linear view.
    int dbFloor = 0;
};

// Whether a shown plot's values can be read: the dB view reads the
// waveform's envelope, which a run may not have been able to keep.
bool ShownReadable(const ShownPlots& shown, PlotKind plot);
// Point i of a shown plot as it draws it: the sample (the envelope's value in
// the dB view), or the column's modulus.
long double ShownValue(const ShownPlots& shown, PlotKind plot, long long i);
// The first point of the span whose value has the largest magnitude.
long long LargestPoint(const ShownPlots& shown, PlotKind plot, const PlotSpan& span);
// The point the readout reads at column x of a shown plot: where the column
// holds several points, the first of largest magnitude; otherwise the nearest.
long long PointUnderColumn(const ShownPlots& shown, PlotKind plot, const PlotPlace& place, int x);
// A value as the plot reads it: a fraction of its scale, or a level in dB.
ReadoutValue ReadShown(const ShownPlots& shown, PlotKind plot, std::string symbol, long double raw);

// The value a plot scaled to `peak` shows for `raw`, as its labels read it.
long double ScaledValue(long double raw, long double peak);
// The level in dB of the dB view: 20 lg(|raw| / peak); minus infinity for 0
// (read as below the floor, never printed).
long double ScaledDb(long double raw, long double peak);
// "S(t)" -> "S", "|K(jw)|" -> "|K|": a caption without its argument.
std::string CurveSymbol(const std::string& caption);
// A stored value, whatever its scale (an echo may be 1E-13): a mantissa of
// at most 3 digits, "E" and the power of ten; "0" for zero.
std::string ExponentText(long double value);
// "t = 0,00512 с   S = 0,734 (2,31E-3)": the coordinate as given, then each
// value in the general format with 3 digits, its stored value in brackets;
// in the dB view "S = -13,2 дБ (2,31E-3)", or "S < -60 дБ (1,2E-9)" below
// the floor.
std::string ReadoutText(const std::string& coordinateName, const std::string& coordinate,
                        const std::string& unit, const std::vector<ReadoutValue>& values);
// A point's position, in at least 4 digits and as many more as tell it from
// its neighbour's.
std::string CoordinateText(long double position, long double neighbour);

class PlotReadout {
public:
    // Over a shown plot: the position of the point under the cursor and its
    // value. Where a pixel column holds points, the one of largest magnitude
    // among them (the tip of the stroke drawn there, or the one point drawn
    // in it); in a column between points, the nearest. Elsewhere Peak(); "" when the picture shows no plots, or
    // over a waveform drawn in the dB view whose envelope was not kept.
    // Where the plot was drawn over the held reference, the reference's
    // value follows, "эталон = ...", read the same way from its points in
    // the column (the nearest where none falls in it; none beyond its
    // record), on the plot's common scale.
    std::string At(const MainState& state, int x, int y);
    // "пик: t = 0,0101 с   S = 1 (2,31E-3)": the largest |sample| of the
    // waveform as shown (the zoomed span only; of its envelope in the dB
    // view), its first occurrence, with the reference's nearest point.
    std::string Peak(const MainState& state);

private:
    std::string PointText(const ShownPlots& shown, PlotKind plot, long long point, const char* prefix,
                          const HeldReference* ref, long long refPoint);

    // The last peak text and what it was found in: the run, the span, the
    // view and the reference.
    std::uint64_t run_ = 0;
    PlotSpan peakSpan_;
    bool peakDb_ = false;
    long double peakScale_ = 0;
    std::uint64_t peakReference_ = 0;
    std::string peakText_;
};

// The symbol of the held reference's value in the readout.
inline constexpr const char* kReferenceSymbol = "эталон";

}  // namespace sonavir
