#include "evaluation/SeriesRuns.h"

#include <cfloat>
#include <cmath>
#include <numbers>
#include <string>

#include "evaluation/Charts.h"
#include "signal/Errors.h"
#include "signal/Generators.h"
#include "signal/MatchedFilter.h"
#include "signal/NumberText.h"
#include "signal/Propagation.h"
#include "signal/WinFFT.h"

namespace sonavir {

namespace {

// Puts the range and layer thickness back and gives the run's buffers back
// when a series ends, completed or not, so a failed series never leaves the
// parameter set at one of its points.
class SeriesScope {
public:
    SeriesScope(MainState& main, EvaluationState& eval)
        : main_(main), eval_(eval), r_(main.params.p.R), gruntHeight_(main.params.p.GruntHeight)
    {
    }
    ~SeriesScope()
    {
        main_.params.p.R = r_;
        main_.params.p.GruntHeight = gruntHeight_;
        ReleaseSignal(main_.Signal);
        ReleaseSignal(main_.FilterRef);
        if (!completed_) eval_.SeriesRatios.clear();
    }
    void Completed() { completed_ = true; }

    SeriesScope(const SeriesScope&) = delete;
    SeriesScope& operator=(const SeriesScope&) = delete;

private:
    MainState& main_;
    EvaluationState& eval_;
    double r_, gruntHeight_;
    bool completed_ = false;
};

void SetCell(EvaluationState& eval, int row, int col, long double value)
{
    eval.result[row][col] = FormatTable(CheckFinite(value));
}

// Range and thickness are doubles: a cell beyond their range would become
// infinity, so it fails as the store into a double would.
double CellValue(const EvaluationState& eval, int row, int j)
{
    const long double v = StrToFloat(eval.series[row][j]);
    if (std::fabs(v) > DBL_MAX) RaiseOverflow();
    return static_cast<double>(v);
}

// Range and thickness of series point j, both parsed whatever the
// propagation choice, so a bad cell stops the series either way.
void SetPoint(MainState& main, const EvaluationState& eval, int j)
{
    main.params.p.R = CellValue(eval, 1, j);
    main.params.p.GruntHeight = CellValue(eval, 2, j);
}

void ApplyPropagation(MainState& main, const EvaluationState& eval)
{
    const int N = main.SignalSize;
    switch (eval.propagationItem) {
    case 0:
        WaterMedium(true, main.Signal, N, main.params.p);
        break;
    case 1:
        SeabedLayer(true, main.Signal, N, main.params.p);
        break;
    case 2:
        WaterMedium(true, main.Signal, N, main.params.p);
        SeabedLayer(true, main.Signal, N, main.params.p);
        break;
    default:
        break;
    }
}

void Forward(MainState& main) { FFT(main.Signal, main.SignalSize, 1); }
void Inverse(MainState& main) { FFT(main.Signal, main.SignalSize, -1); }
long double Energy(const MainState& main) { return CheckFinite(BufferEnergy(main.Signal, main.SignalSize)); }
long double SpectralPeak(const MainState& main) { return PeakValue(main.Signal, main.SignalSize, 2); }
long double SamplePeak(const MainState& main) { return PeakValue(main.Signal, main.SignalSize, 1); }

void SizeRun(MainState& main)
{
    const auto& p = main.params.p;
    main.RealSignalSize = HalfSampleCount(p.Tc, p.Dt);
    main.SignalSize = TransformSize(main.RealSignalSize);
}

// Timing of one probe kind without touching the parameters window's fields:
// the energy-ratio run leaves the step field and memory figures alone.
void DeriveTimingFor(TModelParams& p, int kind)
{
    p.Fmax = kind == kLfmPulse ? p.F0 + 2 * p.FD : p.F0;
    p.W0 = 2 * std::numbers::pi_v<long double> * p.F0;
    p.Dt = CheckedDiv(1, static_cast<long double>(p.KofDiscret) * p.Fmax);
    if (kind == kBarkerPulse) p.Tc = BarkerDuration(p.Tc, p.F0);
}

}  // namespace

void ScaleSignal(MainState& main, long double numerator, long double denominator)
{
    ScaleBuffer(main.Signal, main.SignalSize, CheckedDiv(numerator, denominator));
}

void GenerateSeriesSignal(MainState& main)
{
    const auto& p = main.params.p;
    switch (main.SeriesSignalKind) {
    case kRadioPulse:
        RadioPulse(main.Signal, main.SignalSize, main.RealSignalSize, p);
        break;
    case kLfmPulse:
        LfmPulse(main.Signal, main.SignalSize, main.RealSignalSize, p);
        break;
    case kBarkerPulse:
        BarkerPulse(main.Signal, main.SignalSize, main.RealSignalSize, p);
        break;
    default:
        break;
    }
}

void BuildSeriesFilter(MainState& main, EvaluationState& eval)
{
    main.GenerateSignal();
    Forward(main);
    if (main.MatchToEcho) {
        long double p0 = 0;
        if (eval.filterNorm) p0 = SpectralPeak(main);
        ApplyPropagation(main, eval);
        if (eval.filterNorm) ScaleSignal(main, p0, SpectralPeak(main));
    }
    BuildMatchedFilter(main.Signal, main.SignalSize, main.params.p.Dt, main.FilterRef);
}

void MatchedFilterSeries(MainState& main, EvaluationState& eval)
{
    const int n = eval.pointCount;
    SeriesScope scope(main, eval);
    main.picture.Fill(main.settings.PlotBackColor);
    for (int r = 0; r < 7; ++r) eval.result[r + 1][0] = EvaluationState::ResultCaptions()[r];
    long double eref = 0;

    main.params.ReadTcText();
    main.params.DeriveParameters();

    SizeRun(main);
    AllocateSignal(main.Signal, main.SignalSize);
    AllocateSignal(main.FilterRef, main.SignalSize);
    eval.SeriesRatios.assign(2 * n, 0.0L);

    main.params.realSizeText = "0";
    main.params.paddedSizeText = "0";
    main.params.bytesText = "0";
    if (main.onMemoryFigures) main.onMemoryFigures();

    // First pass: the filter matched to the emitted probe, fed the echo.
    main.MatchToEcho = false;
    for (int j = 1; j <= n; ++j) {
        SetPoint(main, eval, j);
        BuildSeriesFilter(main, eval);
        main.GenerateSignal();
        Forward(main);
        long double p0 = 0;
        if (eval.filterNorm) p0 = SpectralPeak(main);
        ApplyPropagation(main, eval);
        if (eval.filterNorm) ScaleSignal(main, p0, SpectralPeak(main));
        Inverse(main);
        const long double ein = Energy(main);
        SetCell(eval, 1, j, ein);
        Forward(main);
        ApplyMatchedFilter(main.Signal, main.SignalSize, main.FilterRef);
        Inverse(main);
        SetCell(eval, 2, j, Energy(main));
        // The reference stays the input energy of the first point.
        if (j == 1) eref = ein;
        const long double pk = SamplePeak(main);
        SetCell(eval, 4, j, 2.0L * main.SignalSize * pk);
        const long double ratio = CheckedDiv(pk, CheckedSqrt(eref));
        SetCell(eval, 6, j, ratio);
        eval.SeriesRatios[j - 1] = ratio;
    }

    // Second pass: the filter matched to each point's echo, fed the echo
    // without rescaling.
    main.MatchToEcho = true;
    for (int j = 1; j <= n; ++j) {
        SetPoint(main, eval, j);
        BuildSeriesFilter(main, eval);
        main.GenerateSignal();
        Forward(main);
        ApplyPropagation(main, eval);
        Inverse(main);
        const long double ein = Energy(main);
        Forward(main);
        ApplyMatchedFilter(main.Signal, main.SignalSize, main.FilterRef);
        Inverse(main);
        SetCell(eval, 3, j, Energy(main));
        const long double pk = SamplePeak(main);
        SetCell(eval, 5, j, 2.0L * main.SignalSize * pk);
        eref = ein;
        const long double ratio = CheckedDiv(pk, CheckedSqrt(eref));
        SetCell(eval, 7, j, ratio);
        eval.SeriesRatios[n + j - 1] = ratio;
    }

    // The chart gets the ratios relative to the largest; the table keeps
    // them as computed.
    long double m = eval.SeriesRatios[0];
    for (int i = 1; i < 2 * n; ++i) {
        if (eval.SeriesRatios[i] > m) m = eval.SeriesRatios[i];
    }
    for (auto& v : eval.SeriesRatios) v = CheckedDiv(v, m);

    DrawMatchedFilterChart(main.picture, main.settings, eval, eval.SeriesRatios, 2 * n - 1,
                           main.imageLeft);
    scope.Completed();
}

void EnergyRatioSeries(MainState& main, EvaluationState& eval)
{
    const int n = eval.pointCount;
    SeriesScope scope(main, eval);
    main.picture.Fill(main.settings.PlotBackColor);
    eval.result[1][0] = "Радиоимпульс";
    eval.result[2][0] = "ЛЧМ сигнал";
    eval.result[3][0] = "Код Баркера";
    for (int r = 4; r <= 7; ++r) {
        for (auto& cell : eval.result[r]) cell.clear();
    }

    eval.SeriesRatios.clear();
    eval.EnergyRatios.assign(3, std::vector<long double>(n, 0.0L));

    auto& p = main.params.p;
    for (int k = kRadioPulse; k <= kBarkerPulse; ++k) {
        main.SeriesSignalKind = static_cast<std::uint8_t>(k);
        long double eref = 0;
        main.params.ReadTcText();
        DeriveTimingFor(p, k);
        SizeRun(main);
        AllocateSignal(main.Signal, main.SignalSize);
        for (int j = 1; j <= n; ++j) {
            SetPoint(main, eval, j);
            GenerateSeriesSignal(main);
            Forward(main);
            ApplyPropagation(main, eval);
            Inverse(main);
            const long double e = Energy(main);
            if (j == 1) eref = e;
            const long double ratio = CheckedDiv(e, eref);
            eval.EnergyRatios[k][j - 1] = ratio;
            SetCell(eval, k + 1, j, ratio);
        }
        ReleaseSignal(main.Signal);
    }

    DrawEnergyRatioChart(main.picture, main.settings, eval, eval.EnergyRatios, main.imageLeft);
    scope.Completed();
}

void EvaluationStart(MainState& main, EvaluationState& eval)
{
    main.settings.shortForm = true;
    // The chart takes the picture: the plots kept from the last run go, and
    // so does their memory, which the series may need.
    main.ForgetShown();
    // The chart has no time or frequency axis to zoom, and the next Start
    // after it draws the whole run.
    main.zoom = {};
    if (eval.modeItem == 0) {
        MatchedFilterSeries(main, eval);
    } else if (eval.modeItem == 1) {
        EnergyRatioSeries(main, eval);
    }
    main.imageMenuEnabled = true;
    main.statusText = "Согласованный фильтр";
    if (main.onStatusChanged) main.onStatusChanged();
}

}  // namespace sonavir
