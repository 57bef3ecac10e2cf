#pragma once
// The ambiguity function of the probe now set against the matched filter's
// reference (weighted as the filter is), as the "Функция неопределенности"
// window and `sonavir ambiguity` show it: the map, its two cuts, its
// measures beside the theory, the readout under the cursor and the CSV
// files. The work is a value, as a run of the model is: a request in, a
// result out, with progress and stop through RunControl, so the window
// computes it on a worker thread (model/BackgroundWork.h) and the command
// line on its own.
//
// The axes. Delay tau from -Tc to +Tc by default; Doppler nu from -nu_max to
// +nu_max, nu_max the larger of 4 / Tc and the Doppler 2 V F0 / c of a
// target at 30 m/s (and wide enough for the target's own, with a margin).
// The wideband map has a row per target velocity V = c nu / (2 F0) instead:
// the probe scaled in time by (c + V) / (c - V). The equivalent range of a
// delay is c tau / 2 and the velocity of a Doppler c nu / (2 F0), c = 1500 m/s.

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "display/AmbiguityPlot.h"
#include "display/PlotSpan.h"
#include "model/ModelParameters.h"
#include "signal/Ambiguity.h"
#include "signal/RunControl.h"

namespace sonavir {

// Rows by default: odd, so that one row lies at zero Doppler.
inline constexpr int kAmbiguityRows = 129;
inline constexpr int kMaxAmbiguityRows = 4097;
// The map keeps every sample of delay up to this many columns, and this many
// (each at the nearest sample) beyond.
inline constexpr int kAmbiguityColumns = 2049;
// The default Doppler span reaches a target at this velocity, m/s.
inline constexpr long double kAmbiguitySpanVelocity = 30;

struct AmbiguityRequest {
    TModelParams p;  // as the parameter set holds them: Tc snapped, Dt derived; p.V the target
    int signalItem = kLfmPulse;
    int windowItem = 0;
    bool wideband = false;
    // The spans, s and Hz; none: the defaults above.
    std::optional<PlotRange> delayRange, dopplerRange;
    int dopplerPoints = kAmbiguityRows;

    static AmbiguityRequest Of(const ModelParameters& params);
    bool operator==(const AmbiguityRequest&) const = default;
};

// 2 V f / c: the two-way Doppler of a target closing at V m/s, and back.
long double DopplerOfVelocity(long double velocity, long double frequency);
long double VelocityOfDoppler(long double doppler, long double frequency);
// nu_max of the default span.
long double DefaultMaxDoppler(const TModelParams& p);

// Whether the request's ranges and points can make a map: a range must be two
// finite numbers, the first below the second; the delay range must hold a
// sample within -Tc .. +Tc; the points lie in 1 .. kMaxAmbiguityRows; the
// wideband rows' velocities must lie within +-c/3 (beyond, the stretched
// probe no longer fits its record). Throws SonavirError with the reason.
void CheckAmbiguityRequest(const AmbiguityRequest& request);

// The target's row (V != 0): where its peak lies and what it lost, both
// against the zero-Doppler peak.
struct AmbiguityTarget {
    long double velocity = 0, doppler = 0;  // m/s, Hz
    long double peakDelay = 0;              // of the row's peak, s, refined between samples
    long double lossDb = 0;                 // of the row's peak
    long double zeroDelayDb = 0;            // of the row at zero delay
    // What theory gives for an unweighted filter: for LFM the coupling's
    // shift -nu Tc / (2 FD) and loss 20 lg(1 - |nu| / (2 FD)); at zero delay,
    // for any constant envelope, 20 lg |sinc(nu Tc)|.
    std::optional<long double> theoryDelay, theoryLossDb, theoryZeroDelayDb;
};

struct AmbiguityResult {
    AmbiguityRequest request;
    int N = 0, M = 0;
    long double Dt = 0, Tc = 0;  // Tc = 2 M Dt, the pulse as sampled
    AmbiguityMap map;
    std::vector<long double> rowDoppler;  // per row, Hz (wideband: of its velocity)
    int firstLag = 0, lastLag = 0;        // the zero-Doppler cut's lags within the delay span
    AmbiguityMeasures measures;
    // Theory beside the measures: the weighting's loss for a constant
    // envelope, the first null 1 / Tc of an unweighted filter, and for LFM
    // the ridge's slope -2 FD / Tc.
    long double theoryLossDb = 0;
    std::optional<long double> theoryFirstNull, theoryRidgeSlope;
    std::optional<AmbiguityTarget> target;
    std::exception_ptr failure;
    bool stopped = false;

    bool Done() const { return !failure && !stopped && map.rows > 0; }
};

// Never throws: a failure (a bad request among them) or a stop comes back in
// the result. With a control of its own the calling thread reports progress.
AmbiguityResult ComputeAmbiguity(const AmbiguityRequest& request, RunControl& control);

// What the picture shows of a result.
AmbiguityPlotData PlotDataOf(const AmbiguityResult& result);
// The measures as the picture's lines.
std::vector<std::string> AmbiguityMeasureLines(const AmbiguityResult& result);
// The readout at pixel (x, y) of a picture of the given size: on the map
// "τ = … с   ν = … Гц   c·τ/2 = … м   c·ν/(2·F0) = … м/с   L = … дБ", on a
// cut its axis and level; empty elsewhere.
std::string AmbiguityReadout(const AmbiguityPlotData& data, int width, int height, int x, int y);

// What the window shows of the last result: its picture's data and bitmap,
// the readout under the cursor, and saving in any picture format.
class AmbiguityView {
public:
    // Keeps the result and draws it at the picture's size.
    void Show(AmbiguityResult result, const PictureSettings& settings);
    // Draws the same result again (new colours).
    void Redraw(const PictureSettings& settings);
    bool HasMap() const { return result_.Done(); }
    const AmbiguityResult& Result() const { return result_; }
    const AmbiguityPlotData& Data() const { return data_; }
    const QImage& Image() const { return image_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The picture's size from the next Show on, held to the smallest that
    // lays out (a small screen takes a smaller picture).
    void SetSize(int width, int height)
    {
        width_ = std::max(width, kAmbiguityMinWidth);
        height_ = std::max(height, kAmbiguityMinHeight);
    }
    std::string Readout(int x, int y) const { return AmbiguityReadout(data_, Width(), Height(), x, y); }
    // As a file of its own, replaced atomically. Fails with "Cannot create
    // file "%s". %s", and with kNoAmbiguityMap before any map.
    void Save(const std::string& path, PictureFormat format) const;

private:
    AmbiguityResult result_;
    AmbiguityPlotData data_;
    PictureSettings settings_;
    QImage image_;
    int width_ = kAmbiguityWidth, height_ = kAmbiguityHeight;
};
inline constexpr const char* kNoAmbiguityMap = "Функция неопределенности не построена";

// CSV files, written in blocks to `sink` (for large maps): levels are
// 20 lg |chi| in dB, held to kCsvFloorDb below.
inline constexpr double kCsvFloorDb = -200;
using CsvSink = std::function<void(const std::string&)>;
// "delay,doppler,level_db", the rows from the lowest Doppler up, each along delay.
void AmbiguityMapCsv(const AmbiguityResult& result, const CsvSink& sink);
// "cut,delay,doppler,level_db": the zero-Doppler cut ("zero_doppler", every
// sample of delay in the span), then the zero-delay cut ("zero_delay", at the rows).
void AmbiguityCutsCsv(const AmbiguityResult& result, const CsvSink& sink);
// "measure,value,theory", one line per measure the map has.
std::string AmbiguityMeasuresCsv(const AmbiguityResult& result);

}  // namespace sonavir
