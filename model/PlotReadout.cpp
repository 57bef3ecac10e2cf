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

// The held reference, when it is the one drawn under the plot and its
// values can be read as drawn.
const HeldReference* ReferenceUnder(const MainState& state, const ShownPlots& shown, PlotKind plot)
{
    const HeldReference* ref = state.Reference();
    const std::uint64_t id = shown.ReferenceId(plot);
    if (!ref || id == 0 || ref->id != id) return nullptr;
    if (plot == PlotKind::Time && shown.waveDb && !ref->hasEnvelope) return nullptr;
    return ref;
}

// The reference's point i as its plot draws it.
long double ReferenceValue(const HeldReference& ref, PlotKind plot, bool db, long long i)
{
    if (plot == PlotKind::Time) return (db ? ref.envelope : ref.wave)[i & 1][i >> 1];
    const long double re = ref.spectrum[0][i], im = ref.spectrum[1][i];
    return std::sqrt(re * re + im * im);
}

ForeignPoints ReferencePointsOn(const HeldReference& ref, const ShownPlots& shown, PlotKind plot)
{
    const PointAxis own =
        plot == PlotKind::Time ? PointAxis::Time(ref.Dt, ref.N, ref.t0) : PointAxis::Frequency(ref.Dt, ref.N);
    return ForeignPoints::On(own, shown.Axis(plot));
}

}  // namespace

bool ShownReadable(const ShownPlots& shown, PlotKind plot)
{
    return !(plot == PlotKind::Time && shown.waveDb && !shown.hasEnvelope);
}

long double ShownValue(const ShownPlots& shown, PlotKind plot, long long i)
{
    if (plot == PlotKind::Time) return (shown.waveDb ? shown.envelope : shown.wave)[i & 1][i >> 1];
    const long double re = shown.spectrum[0][i], im = shown.spectrum[1][i];
    return std::sqrt(re * re + im * im);
}

long long LargestPoint(const ShownPlots& shown, PlotKind plot, const PlotSpan& span)
{
    long long best = span.first;
    long double most = -1;
    for (long long i = span.first; i < span.first + span.count; ++i) {
        const long double v = std::fabs(ShownValue(shown, plot, i));
        if (v > most) {
            most = v;
            best = i;
        }
    }
    return best;
}

long long PointUnderColumn(const ShownPlots& shown, PlotKind plot, const PlotPlace& place, int x)
{
    const PlotSpan& span = shown.Span(plot);
    const PlotSpan column = PointsInColumn(span, place.X0, place.Wp, x);
    // A column that holds a point reads what is drawn in it; the nearest
    // point to its left edge may be the one drawn a column before.
    return column.count >= 1 ? LargestPoint(shown, plot, column) : NearestPoint(span, place.X0, place.Wp, x);
}

ReadoutValue ReadShown(const ShownPlots& shown, PlotKind plot, std::string symbol, long double raw)
{
    ReadoutValue value{std::move(symbol), 0, raw};
    if (shown.Db(plot)) {
        value.scaled = ScaledDb(raw, shown.Scale(plot));
        value.dbFloor = plot == PlotKind::Time ? kWaveFloorDb : kSpectrumFloorDb;
    } else {
        value.scaled = ScaledValue(raw, shown.Scale(plot));
    }
    return value;
}

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

std::string PlotReadout::PointText(const ShownPlots& shown, PlotKind plot, long long point, const char* prefix,
                                   const HeldReference* ref, long long refPoint)
{
    const PointAxis axis = shown.Axis(plot);
    const long long neighbour = point + 1 < axis.Count() ? point + 1 : point - 1;
    const std::string coordinate = CoordinateText(axis.At(point), axis.At(std::max(0LL, neighbour)));
    const bool wave = plot == PlotKind::Time;
    // An echo at its true delay also reads as the range c·t/2.
    std::string unit = wave ? "с" : "Гц";
    if (wave && shown.axes.soundSpeed > 0) {
        const long double half = shown.axes.soundSpeed / 2;
        unit += "   r = " + CoordinateText(axis.At(point) * half, axis.At(std::max(0LL, neighbour)) * half) + " м";
    }
    std::vector<ReadoutValue> values = {
        ReadShown(shown, plot, CurveSymbol(wave ? shown.waveCaption : shown.spectrumCaption), ShownValue(shown, plot, point))};
    if (ref && refPoint >= 0)
        values.push_back(ReadShown(shown, plot, kReferenceSymbol, ReferenceValue(*ref, plot, shown.Db(plot), refPoint)));
    return prefix + ReadoutText(wave ? "t" : "f", coordinate, unit, values);
}

std::string PlotReadout::At(const MainState& state, int x, int y)
{
    const PlotKind plot = state.ShownPlotAt(x, y);
    if (plot == PlotKind::None) return Peak(state);
    const ShownPlots& shown = *state.Shown();
    if (!ShownReadable(shown, plot)) return "";
    const PlotPlace place = PlaceOfPlot(state.picture, shown.axes, plot);
    const PlotSpan& span = shown.Span(plot);
    const long long point = PointUnderColumn(shown, plot, place, x);
    const HeldReference* ref = ReferenceUnder(state, shown, plot);
    long long refPoint = -1;
    if (ref) {
        const ForeignPoints points = ReferencePointsOn(*ref, shown, plot);
        const PlotSpan in = points.InColumn(span, place.X0, place.Wp, x);
        if (in.count > 0) {
            long double most = -1;
            for (long long i = in.first; i < in.first + in.count; ++i) {
                const long double v = std::fabs(ReferenceValue(*ref, plot, shown.Db(plot), i));
                if (v > most) {
                    most = v;
                    refPoint = i;
                }
            }
        } else {
            refPoint = points.Nearest(PointAtColumn(span, place.X0, place.Wp, x));
        }
    }
    return PointText(shown, plot, point, "", ref, refPoint);
}

std::string PlotReadout::Peak(const MainState& state)
{
    const ShownPlots* shown = state.Shown();
    if (!shown || !state.PlotsOnPicture() || !shown->hasWave || !ShownReadable(*shown, PlotKind::Time)) return "";
    const HeldReference* ref = ReferenceUnder(state, *shown, PlotKind::Time);
    const std::uint64_t refId = ref ? ref->id : 0;
    if (peakText_.empty() || run_ != shown->run || !(peakSpan_ == shown->waveSpan) || peakDb_ != shown->waveDb ||
        peakScale_ != shown->waveScale || peakReference_ != refId) {
        run_ = shown->run;
        peakSpan_ = shown->waveSpan;
        peakDb_ = shown->waveDb;
        peakScale_ = shown->waveScale;
        peakReference_ = refId;
        const long long point = LargestPoint(*shown, PlotKind::Time, peakSpan_);
        const long long refPoint = ref ? ReferencePointsOn(*ref, *shown, PlotKind::Time).Nearest(point) : -1;
        peakText_ = PointText(*shown, PlotKind::Time, point, "пик: ", ref, refPoint);
    }
    return peakText_;
}

}  // namespace sonavir
