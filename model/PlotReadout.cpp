#include "model/PlotReadout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "model/MainState.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

// Whether the plot's values can be read: the dB view reads the waveform's
// envelope, which a run may not have been able to keep.
bool Readable(const ShownPlots& shown, PlotKind plot)
{
    return !(plot == PlotKind::Time && shown.waveDb && !shown.hasEnvelope);
}

// Point i of a plot as it draws it: the sample (the envelope's value in the
// dB view), or the column's modulus.
long double RawValue(const ShownPlots& shown, PlotKind plot, long long i)
{
    if (plot == PlotKind::Time) return (shown.waveDb ? shown.envelope : shown.wave)[i & 1][i >> 1];
    const long double re = shown.spectrum[0][i], im = shown.spectrum[1][i];
    return std::sqrt(re * re + im * im);
}

// The first point of the span whose value has the largest magnitude.
long long LargestIn(const ShownPlots& shown, PlotKind plot, const PlotSpan& span)
{
    long long best = span.first;
    long double most = -1;
    for (long long i = span.first; i < span.first + span.count; ++i) {
        const long double v = std::fabs(RawValue(shown, plot, i));
        if (v > most) {
            most = v;
            best = i;
        }
    }
    return best;
}

}  // namespace

std::string ExponentText(long double value)
{
    if (value == 0 || !std::isfinite(value)) return FormatPicture(value);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2Le", value);  // "-2.31e-03", whatever the locale's point
    std::string mantissa(buf, std::strchr(buf, 'e'));
    const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    const auto point = mantissa.find_first_not_of("-0123456789");
    if (point != std::string::npos) {
        mantissa[point] = ',';
        while (mantissa.back() == '0') mantissa.pop_back();
        if (mantissa.back() == ',') mantissa.pop_back();
    }
    return mantissa + "E" + std::to_string(exponent);
}

long double ScaledValue(long double raw, long double peak)
{
    // A drawn plot has a positive peak; anything else reads as nothing.
    return peak > 0 ? raw / peak : 0;
}

long double ScaledDb(long double raw, long double peak)
{
    const long double ratio = peak > 0 ? std::fabs(raw) / peak : 0;
    if (!(ratio > 0)) return -std::numeric_limits<long double>::infinity();
    return 20 * std::log10(ratio) + 0.0L;  // 0 dB, not -0
}

std::string CurveSymbol(const std::string& caption)
{
    const auto open = caption.find('(');
    const auto close = caption.find(')', open);
    if (open == std::string::npos || close == std::string::npos) return caption;
    return caption.substr(0, open) + caption.substr(close + 1);
}

std::string ReadoutText(const std::string& coordinateName, const std::string& coordinate,
                        const std::string& unit, const std::vector<ReadoutValue>& values)
{
    std::string text = coordinateName + " = " + coordinate + " " + unit;
    for (const ReadoutValue& v : values) {
        text += "   " + v.symbol;
        if (v.dbFloor == 0)
            text += " = " + FormatPicture(v.scaled);
        else if (v.scaled < v.dbFloor)
            text += " < " + FormatPicture(v.dbFloor) + " дБ";
        else
            text += " = " + FormatPicture(v.scaled) + " дБ";
        text += " (" + ExponentText(v.raw) + ")";
    }
    return text;
}

std::string CoordinateText(long double position, long double neighbour)
{
    return DistinctNumberTexts({position, neighbour}, 4)[0];
}

std::string PlotReadout::PointText(const ShownPlots& shown, PlotKind plot, long long point, const char* prefix)
{
    const PointAxis axis = shown.Axis(plot);
    const long long neighbour = point + 1 < axis.Count() ? point + 1 : point - 1;
    const std::string coordinate = CoordinateText(axis.At(point), axis.At(std::max(0LL, neighbour)));
    const long double raw = RawValue(shown, plot, point);
    const bool wave = plot == PlotKind::Time;
    ReadoutValue value{CurveSymbol(wave ? shown.waveCaption : shown.spectrumCaption), 0, raw};
    if (shown.Db(plot)) {
        value.scaled = ScaledDb(raw, shown.Scale(plot));
        value.dbFloor = wave ? kWaveFloorDb : kSpectrumFloorDb;
    } else {
        value.scaled = ScaledValue(raw, shown.Scale(plot));
    }
    return prefix + ReadoutText(wave ? "t" : "f", coordinate, wave ? "с" : "Гц", {value});
}

std::string PlotReadout::At(const MainState& state, int x, int y)
{
    const PlotKind plot = state.ShownPlotAt(x, y);
    if (plot == PlotKind::None) return Peak(state);
    const ShownPlots& shown = *state.Shown();
    if (!Readable(shown, plot)) return "";
    const PlotPlace place = PlaceOfPlot(state.picture, shown.axes, plot);
    const PlotSpan& span = shown.Span(plot);
    const PlotSpan column = PointsInColumn(span, place.X0, place.Wp, x);
    const long long point =
        column.count >= 2 ? LargestIn(shown, plot, column) : NearestPoint(span, place.X0, place.Wp, x);
    return PointText(shown, plot, point, "");
}

std::string PlotReadout::Peak(const MainState& state)
{
    const ShownPlots* shown = state.Shown();
    if (!shown || !state.PlotsOnPicture() || !shown->hasWave || !Readable(*shown, PlotKind::Time)) return "";
    if (peakText_.empty() || run_ != shown->run || !(peakSpan_ == shown->waveSpan) || peakDb_ != shown->waveDb) {
        run_ = shown->run;
        peakSpan_ = shown->waveSpan;
        peakDb_ = shown->waveDb;
        peakText_ = PointText(*shown, PlotKind::Time, LargestIn(*shown, PlotKind::Time, peakSpan_), "пик: ");
    }
    return peakText_;
}

}  // namespace sonavir
