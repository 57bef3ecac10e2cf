#include "evaluation/SeriesRuns.h"

#include <cfloat>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "evaluation/Charts.h"
#include "model/RunEcho.h"
#include "signal/Batch.h"
#include "signal/Errors.h"
#include "signal/MatchedFilter.h"
#include "signal/NumberText.h"
#include "signal/Propagation.h"
#include "signal/Weighting.h"
#include "signal/WinFFT.h"

namespace sonavir {

namespace {

// Points side by side pay below this size; larger ones are run one after
// another, each with the cores for its own transforms and loops (and without
// a second set of buffers).
constexpr int kSideBySideColumns = 1 << 18;

void SetCell(EvaluationState& eval, int row, int col, long double value)
{
    eval.SetResult(row, col, CheckFinite(value));
}

// Range and thickness are doubles: a cell beyond their range would become
// infinity, so it fails as the store into a double would.
double CellValue(const EvaluationState& eval, int row, int j)
{
    const long double v = StrToFloat(eval.series[row][j]);
    if (std::fabs(v) > DBL_MAX) RaiseOverflow();
    return static_cast<double>(v);
}

// The parameters of series point j: range and thickness, both parsed
// whatever the propagation choice, so a bad cell stops the series either way.
TModelParams PointParams(const TModelParams& p, const EvaluationState& eval, int j)
{
    TModelParams q = p;
    q.R = CellValue(eval, 1, j);
    q.GruntHeight = CellValue(eval, 2, j);
    return q;
}

void ApplyPropagation(int propagationItem, TSignalData& s, int N, const TModelParams& p)
{
    if (propagationItem == 0 || propagationItem == 2) WaterMedium(true, s, N, p);
    if (propagationItem == 1 || propagationItem == 2) SeabedLayer(true, s, N, p);
}

long double Energy(const TSignalData& s, int N) { return CheckFinite(BufferEnergy(s, N)); }

// Timing of one probe kind without touching the parameters window's fields:
// the energy-ratio run leaves the step field and memory figures alone.
void DeriveTimingFor(TModelParams& p, int kind)
{
    p.Fmax = kind == kLfmPulse ? p.F0 + 2 * p.FD : p.F0;
    p.W0 = 2 * std::numbers::pi_v<long double> * p.F0;
    p.Dt = CheckedDiv(1, static_cast<long double>(p.KofDiscret) * p.Fmax);
    if (kind == kBarkerPulse) p.Tc = BarkerDuration(p.Tc, p.F0);
}

void Generate(int kind, const TModelParams& p, TSignalData& s, int N, int M)
{
    RunRequest q;
    q.p = p;
    q.signalItem = kind;
    GenerateProbe(q, s, N, M);
}

// The buffers a worker keeps from point to point; the generators write
// every column, so a buffer of the right size needs no zeros between uses.
struct Buffers {
    TSignalData signal, filterRef;
    void Size(int N, bool filter)
    {
        if (static_cast<int>(signal[0].size()) != N) AllocateSignal(signal, N);
        if (filter && static_cast<int>(filterRef[0].size()) != N) AllocateSignal(filterRef, N);
    }
};

// One point's figures, and where it failed: the steps after `failedAt`
// never happened. Step 0 comes before the input energy, step 1 before the
// output energy.
struct PointFigures {
    long double ein = 0, eout = 0, peak = 0;
    int failedAt = -1;
    std::exception_ptr failure;

    template <typename Body>
    void Run(Body body)
    {
        try {
            body();
        } catch (const RunStopped&) {
            throw;
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // Throws the point's failure if it came before step `step`.
    void Reached(int step) const
    {
        if (failure && failedAt <= step) std::rethrow_exception(failure);
    }
};

// Progress of a batch of points: "Точка 3 из 15".
class PointProgress {
public:
    PointProgress(RunControl& control, int points, int batches)
        : control_(control), points_(points), reports_(ReportsProgress())
    {
        if (reports_) control_.Plan(static_cast<double>(points) * batches);
    }
    void Begin(int finishedInBatch)
    {
        if (!reports_) return;
        const int point = std::min(points_, finishedInBatch + 1);
        control_.BeginStep("Точка " + std::to_string(point) + " из " + std::to_string(points_), 1);
    }

private:
    RunControl& control_;
    int points_;
    bool reports_;
};

class Series {
public:
    Series(SeriesResult& r, RunControl& control) : r_(r), control_(control) {}

    void MatchedFilter()
    {
        EvaluationState& eval = r_.eval;
        ModelParameters& params = r_.params;
        const int n = eval.pointCount;
        for (int r = 0; r < 7; ++r) eval.result[r + 1][0] = EvaluationState::ResultCaptions()[r];

        params.ReadTcText();
        params.DeriveParameters();
        const int M = HalfSampleCount(params.p.Tc, params.p.Dt);
        const int N = TransformSize(M);
        Sized(M, N);
        const bool sideBySide = N < kSideBySideColumns;
        std::vector<Buffers> buffers(static_cast<std::size_t>(BatchWorkers(n, sideBySide)));
        buffers[0].Size(N, true);
        eval.SeriesRatios.assign(2 * static_cast<std::size_t>(n), 0.0L);
        r_.memoryCleared = true;

        // Both passes of every point, each point alone.
        std::vector<PointFigures> probe(static_cast<std::size_t>(n)), echo(static_cast<std::size_t>(n));
        const TModelParams p = params.p;
        const int kind = params.signalItem;
        // Both filters are weighted alike: the filter's reference is w(t) s(t).
        const WindowKind window = WindowFromItem(params.windowItem);
        const bool norm = eval.filterNorm;
        const int propagation = eval.propagationItem;
        PointProgress progress(control_, n, 1);
        progress.Begin(0);
        RunBatch(
            n, sideBySide,
            [&](int i, int worker) {
                Buffers& b = buffers[static_cast<std::size_t>(worker)];
                PointFigures& first = probe[static_cast<std::size_t>(i)];
                PointFigures& second = echo[static_cast<std::size_t>(i)];
                std::optional<TModelParams> point;
                first.Run([&] {
                    point = PointParams(p, eval, i + 1);
                    b.Size(N, true);
                });
                if (!point) {
                    second.failure = first.failure;
                    second.failedAt = first.failedAt = 0;
                    return;
                }
                // The filter matched to the emitted probe, fed the echo.
                first.Run([&] {
                    first.failedAt = 0;
                    Generate(kind, *point, b.signal, N, M);
                    ApplyWindow(b.signal, N, M, window);
                    FFT(b.signal, N, 1);
                    BuildMatchedFilter(b.signal, N, point->Dt, b.filterRef);
                    Generate(kind, *point, b.signal, N, M);
                    FFT(b.signal, N, 1);
                    long double p0 = 0;
                    if (norm) p0 = ColumnPeak(b.signal, N);
                    ApplyPropagation(propagation, b.signal, N, *point);
                    if (norm) ScaleSignal(b.signal, N, p0, ColumnPeak(b.signal, N));
                    FFT(b.signal, N, -1);
                    first.ein = Energy(b.signal, N);
                    first.failedAt = 1;
                    Filter(b, N);
                    first.eout = Energy(b.signal, N);
                    first.peak = SamplePeak(b.signal, N);
                });
                // The filter matched to the point's echo, fed the echo
                // without rescaling.
                second.Run([&] {
                    second.failedAt = 0;
                    Generate(kind, *point, b.signal, N, M);
                    ApplyWindow(b.signal, N, M, window);
                    FFT(b.signal, N, 1);
                    long double p0 = 0;
                    if (norm) p0 = ColumnPeak(b.signal, N);
                    ApplyPropagation(propagation, b.signal, N, *point);
                    if (norm) ScaleSignal(b.signal, N, p0, ColumnPeak(b.signal, N));
                    BuildMatchedFilter(b.signal, N, point->Dt, b.filterRef);
                    Generate(kind, *point, b.signal, N, M);
                    FFT(b.signal, N, 1);
                    ApplyPropagation(propagation, b.signal, N, *point);
                    FFT(b.signal, N, -1);
                    second.ein = Energy(b.signal, N);
                    second.failedAt = 1;
                    Filter(b, N);
                    second.eout = Energy(b.signal, N);
                    second.peak = SamplePeak(b.signal, N);
                });
            },
            [&](int finished) { progress.Begin(finished); });
        buffers.clear();

        // The table as the passes write it, point after point: a failure
        // ends it where it happened.
        r_.matchToEcho = false;
        long double eref = 0;
        for (int j = 1; j <= n; ++j) {
            const PointFigures& f = probe[static_cast<std::size_t>(j - 1)];
            f.Reached(0);
            SetCell(eval, 1, j, f.ein);
            f.Reached(1);
            SetCell(eval, 2, j, f.eout);
            // The reference stays the input energy of the first point.
            if (j == 1) eref = f.ein;
            SetCell(eval, 4, j, 2.0L * N * f.peak);
            const long double ratio = CheckedDiv(f.peak, CheckedSqrt(eref));
            SetCell(eval, 6, j, ratio);
            eval.SeriesRatios[static_cast<std::size_t>(j - 1)] = ratio;
        }
        r_.matchToEcho = true;
        for (int j = 1; j <= n; ++j) {
            const PointFigures& f = echo[static_cast<std::size_t>(j - 1)];
            f.Reached(1);
            SetCell(eval, 3, j, f.eout);
            SetCell(eval, 5, j, 2.0L * N * f.peak);
            const long double ratio = CheckedDiv(f.peak, CheckedSqrt(f.ein));
            SetCell(eval, 7, j, ratio);
            eval.SeriesRatios[static_cast<std::size_t>(n + j - 1)] = ratio;
        }

        // The chart gets the ratios relative to the largest; the table keeps
        // them as computed.
        long double m = eval.SeriesRatios[0];
        for (const long double v : eval.SeriesRatios)
            if (v > m) m = v;
        for (auto& v : eval.SeriesRatios) v = CheckedDiv(v, m);
        r_.chart = true;
    }

    void EnergyRatio()
    {
        EvaluationState& eval = r_.eval;
        ModelParameters& params = r_.params;
        const int n = eval.pointCount;
        eval.result[1][0] = "Радиоимпульс";
        eval.result[2][0] = "ЛЧМ сигнал";
        eval.result[3][0] = "Код Баркера";
        for (int r = 4; r <= 7; ++r)
            for (auto& cell : eval.result[r]) cell.clear();
        eval.SeriesRatios.clear();
        eval.EnergyRatios.assign(3, std::vector<long double>(static_cast<std::size_t>(n), 0.0L));

        const int propagation = eval.propagationItem;
        PointProgress progress(control_, n, 3);
        for (int k = kRadioPulse; k <= kBarkerPulse; ++k) {
            r_.seriesSignalKind = static_cast<std::uint8_t>(k);
            params.ReadTcText();
            DeriveTimingFor(params.p, k);
            const int M = HalfSampleCount(params.p.Tc, params.p.Dt);
            const int N = TransformSize(M);
            Sized(M, N);
            const bool sideBySide = N < kSideBySideColumns;
            std::vector<Buffers> buffers(static_cast<std::size_t>(BatchWorkers(n, sideBySide)));
            buffers[0].Size(N, false);

            std::vector<PointFigures> points(static_cast<std::size_t>(n));
            const TModelParams p = params.p;
            progress.Begin(0);
            RunBatch(
                n, sideBySide,
                [&](int i, int worker) {
                    Buffers& b = buffers[static_cast<std::size_t>(worker)];
                    PointFigures& f = points[static_cast<std::size_t>(i)];
                    f.Run([&] {
                        f.failedAt = 0;
                        const TModelParams point = PointParams(p, eval, i + 1);
                        b.Size(N, false);
                        Generate(k, point, b.signal, N, M);
                        FFT(b.signal, N, 1);
                        ApplyPropagation(propagation, b.signal, N, point);
                        FFT(b.signal, N, -1);
                        f.ein = Energy(b.signal, N);
                        f.failedAt = 1;
                    });
                },
                [&](int finished) { progress.Begin(finished); });

            long double eref = 0;
            for (int j = 1; j <= n; ++j) {
                const PointFigures& f = points[static_cast<std::size_t>(j - 1)];
                f.Reached(0);
                if (j == 1) eref = f.ein;
                const long double ratio = CheckedDiv(f.ein, eref);
                eval.EnergyRatios[static_cast<std::size_t>(k)][static_cast<std::size_t>(j - 1)] = ratio;
                SetCell(eval, k + 1, j, ratio);
            }
        }
        r_.chart = true;
    }

private:
    void Sized(int M, int N)
    {
        r_.RealSignalSize = M;
        r_.SignalSize = N;
        r_.sized = true;
    }

    static void Filter(Buffers& b, int N)
    {
        FFT(b.signal, N, 1);
        ApplyMatchedFilter(b.signal, N, b.filterRef);
        FFT(b.signal, N, -1);
    }

    SeriesResult& r_;
    RunControl& control_;
};

// Whether the user changed what the series derived its timing from while it
// ran: then the timing it worked out is stale and stays out.
bool TimingInputsChanged(const ModelParameters& now, const ModelParameters& then)
{
    const TModelParams &a = now.p, &b = then.p;
    return now.signalItem != then.signalItem || now.tcText != then.tcText || now.f0Text != then.f0Text ||
           now.fdText != then.fdText || now.kofDiscretItem != then.kofDiscretItem || a.F0 != b.F0 ||
           a.FD != b.FD || a.Tc != b.Tc || a.KofDiscret != b.KofDiscret || a.Fmax != b.Fmax || a.W0 != b.W0 ||
           a.Dt != b.Dt || now.tcTextValue != then.tcTextValue || now.dtText != then.dtText;
}

// What a series wrote, put into the program; its failure thrown after.
void ApplySeries(MainState& main, EvaluationState& eval, SeriesResult& r)
{
    main.picture.Fill(main.settings.PlotBackColor);
    ModelParameters& params = main.params;
    if (!TimingInputsChanged(params, r.request.params)) {
        // Everything but range and thickness, which stay as they are.
        const double R = params.p.R, gruntHeight = params.p.GruntHeight;
        params.p = r.params.p;
        params.p.R = R;
        params.p.GruntHeight = gruntHeight;
        params.tcTextValue = r.params.tcTextValue;
        params.dtText = r.params.dtText;
    }
    if (r.sized) {
        main.RealSignalSize = r.RealSignalSize;
        main.SignalSize = r.SignalSize;
    }
    if (r.memoryCleared) {
        params.realSizeText = params.paddedSizeText = params.bytesText = "0";
        if (main.onMemoryFigures) main.onMemoryFigures();
    }
    main.MatchToEcho = r.matchToEcho;
    main.SeriesSignalKind = r.seriesSignalKind;
    eval.result = r.eval.result;
    eval.resultValues = r.eval.resultValues;
    eval.EnergyRatios = r.eval.EnergyRatios;
    eval.SeriesRatios = r.failure ? std::vector<long double>{} : r.eval.SeriesRatios;
    if (r.failure) std::rethrow_exception(r.failure);
    if (!r.chart) return;
    const int n = r.eval.pointCount;
    if (r.eval.modeItem == 0)
        DrawMatchedFilterChart(main.picture, main.settings, eval, eval.SeriesRatios, 2 * n - 1, main.imageLeft);
    else
        DrawEnergyRatioChart(main.picture, main.settings, eval, eval.EnergyRatios, main.imageLeft);
}

// One mode, here and now.
void RunMode(MainState& main, EvaluationState& eval, int mode)
{
    SeriesRequest q = SeriesRequest::Of(main, eval);
    q.eval.modeItem = mode;
    RunControl control;
    SeriesResult r = RunSeries(q, control);
    ApplySeries(main, eval, r);
}

}  // namespace

SeriesRequest SeriesRequest::Of(const MainState& main, const EvaluationState& eval)
{
    SeriesRequest q;
    q.params = main.params;
    q.eval = eval;
    return q;
}

SeriesResult RunSeries(const SeriesRequest& request, RunControl& control)
{
    SeriesResult r;
    r.request = request;
    r.params = request.params;
    r.eval = request.eval;
    const bool installed = CurrentRun() == &control;
    const RunScope scope(&control, installed ? ReportsProgress() : true);
    try {
        Series series(r, control);
        if (request.eval.modeItem == 0) series.MatchedFilter();
        else if (request.eval.modeItem == 1) series.EnergyRatio();
        if (ReportsProgress()) control.Finish();
    } catch (const RunStopped&) {
        r = SeriesResult{};
        r.request = request;
        r.stopped = true;
    } catch (...) {
        r.failure = std::current_exception();
    }
    return r;
}

void FinishSeries(MainState& main, EvaluationState& eval, SeriesResult& result)
{
    if (result.stopped) return;
    main.settings.shortForm = true;
    // The chart takes the picture: the plots kept from the last run go, and
    // so does their memory. The chart has no time or frequency axis to zoom,
    // and the next Start after it draws the whole run.
    main.ForgetShown();
    main.zoom = {};
    if (result.request.eval.modeItem == 0 || result.request.eval.modeItem == 1) ApplySeries(main, eval, result);
    main.imageMenuEnabled = true;
    main.statusText = "Согласованный фильтр";
    if (main.onStatusChanged) main.onStatusChanged();
}

void EvaluationStart(MainState& main, EvaluationState& eval, RunControl* control)
{
    // The old plots' memory is the series'.
    main.ForgetShown();
    RunControl own;
    SeriesResult result = RunSeries(SeriesRequest::Of(main, eval), control ? *control : own);
    FinishSeries(main, eval, result);
}

void MatchedFilterSeries(MainState& main, EvaluationState& eval) { RunMode(main, eval, 0); }
void EnergyRatioSeries(MainState& main, EvaluationState& eval) { RunMode(main, eval, 1); }

void ScaleSignal(TSignalData& data, int N, long double numerator, long double denominator)
{
    ScaleBuffer(data, N, CheckedDiv(numerator, denominator));
}

}  // namespace sonavir
