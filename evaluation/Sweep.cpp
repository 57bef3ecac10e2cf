#include "evaluation/Sweep.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <new>

#include "evaluation/DetectionStudy.h"
#include "model/Ledger.h"
#include "model/RunEcho.h"
#include "model/Scenario.h"
#include "signal/Batch.h"
#include "signal/Envelope.h"
#include "signal/Errors.h"
#include "signal/Noise.h"
#include "signal/NumberText.h"
#include "signal/Trials.h"

namespace sonavir {

namespace {

// Points side by side pay below this size, as in the evaluation's series.
constexpr int kSideBySideColumns = 1 << 18;

[[noreturn]] void Refuse(const std::string& reason) { throw SonavirError(reason); }

const ParameterKey& KeyOf(const std::string& name)
{
    const ParameterKey* key = FindParameterKey(name);
    if (!key) Refuse("нет такого параметра: '" + name + "'; допустимы: " + NameList(SweepParameterNames()));
    return *key;
}

bool Wants(const std::vector<std::string>& measures, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (std::find(measures.begin(), measures.end(), n) != measures.end()) return true;
    return false;
}

std::string MessageOf(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return msg::kOutOfMemory;
    } catch (const std::exception& e) {
        return e.what();
    }
}

// The run's waveform at the stage, its envelope's measures.
EnvelopeMeasures WaveMeasures(const RunRequest& q)
{
    RunControl own;
    RunControl* current = CurrentRun();
    const RunResult run = RunEcho(q, current ? *current : own);
    if (run.stopped) throw RunStopped();
    if (run.failure) std::rethrow_exception(run.failure);
    for (const RunPlot& plot : run.plots)
        if (plot.kind == PlotKind::Time) {
            TSignalData envelope;
            Envelope(plot.data, run.N(), envelope);
            return MeasureEnvelope(envelope, run.N(), q.p.Dt);
        }
    RaiseInvalidOp();
}

}  // namespace

SweepRequest SweepRequest::Of(const MainState& main)
{
    SweepRequest r;
    r.params = main.params;
    r.setup = main.sweep;
    r.detection = main.detection;
    r.noiseSeed = main.noiseSeed;
    r.trialSeed = main.detection.seeded ? main.detection.seed : ClockSeed();
    return r;
}

std::vector<std::optional<long double>> MeasurePoint(const ModelParameters& params, const SweepRequest& request,
                                                     const std::vector<std::string>& measures)
{
    // A point reports nothing of its own: the sweep counts points.
    const RunScope quiet(CurrentRun(), false);
    const int stage = request.setup.stage;
    RunRequest q = RunRequest::Of(params, 0, stage);
    q.noiseSeed = request.noiseSeed;
    std::optional<LedgerRow> ledger;
    if (Wants(measures, {"energy", "db_probe"})) ledger = ComputeLedger(q).rows[static_cast<std::size_t>(stage)];
    std::optional<EnvelopeMeasures> wave;
    if (Wants(measures, {"peak", "peak_time", "width_3db", "psl_db", "isl_db"})) wave = WaveMeasures(q);
    std::optional<DetectionScene> scene;
    std::optional<long double> pd;
    if (Wants(measures, {"snr_out_db", "pd"})) scene = MakeDetectionScene(q, stage);
    if (Wants(measures, {"pd"})) {
        const DetectionLists lists = ParseDetectionLists(request.detection);
        const long long K = request.detection.trials;
        if (K > MaxTrials(scene->N))
            Refuse("Число испытаний: не больше " + std::to_string(MaxTrials(scene->N)) + " для записи из " +
                   std::to_string(2LL * scene->N) + " отсчетов");
        TrialSetup t;
        t.N = scene->N;
        t.filter = &scene->filter;
        t.echo = &scene->probe;
        t.sigma = scene->sigma;
        t.gateFirst = scene->GateFirst(request.detection.gate);
        t.gateLast = scene->GateLast(request.detection.gate);
        t.trials = K;
        t.seed = request.trialSeed;
        const TrialResults r = RunTrials(t);
        const long double T = scene->sigmaEnv * CheckedSqrt(-2 * CheckedLn(lists.pfa.front()));
        pd = static_cast<long double>(CountAbove(r.gateMax, T)) / K;
    }

    std::vector<std::optional<long double>> values;
    for (const std::string& m : measures) {
        std::optional<long double> v;
        if (m == "energy") v = ledger->energy;
        else if (m == "db_probe") v = ledger->dbProbe;
        else if (m == "peak") v = wave->peak;
        else if (m == "peak_time") v = wave->peakTime;
        else if (m == "width_3db") v = wave->width3db;
        else if (m == "psl_db") v = wave->pslDb;
        else if (m == "isl_db") v = wave->islDb;
        else if (m == "snr_out_db" && scene->snr > 0) v = CheckFinite(10 * std::log10(scene->snr));
        else if (m == "pd") v = pd;
        values.push_back(v);
    }
    return values;
}

SweepResult RunSweep(const SweepRequest& request, RunControl& control)
{
    SweepResult r;
    r.request = request;
    const bool installed = CurrentRun() == &control;
    const RunScope scope(&control, installed ? ReportsProgress() : true);
    try {
        const SweepSetup& s = request.setup;
        if (s.param.empty()) Refuse("Не выбран параметр серии");
        const ParameterKey& key = KeyOf(s.param);
        r.param = s.param;
        r.measures = ParseMeasures(s.measures);
        if (s.stage < 0 || s.stage > kLastStage) Refuse("Этап: ожидается от 0 до " + std::to_string(kLastStage));
        if (Wants(r.measures, {"pd"})) ParseDetectionLists(request.detection);

        // The curves and their points, every value tried on the parameter set.
        std::vector<ModelParameters> bases;
        if (s.curveParam.empty()) {
            r.curves.push_back({});
            bases.push_back(request.params);
        } else {
            if (s.curveParam == s.param) Refuse("Параметр кривых совпадает с параметром серии");
            const ParameterKey& curveKey = KeyOf(s.curveParam);
            r.curveParam = s.curveParam;
            const auto values = CurveValues(curveKey, s.curveValues, request.params);
            if (values.size() > static_cast<std::size_t>(kMaxSweepCurves))
                Refuse("Кривых не больше " + std::to_string(kMaxSweepCurves));
            for (const SweepValue& v : values) {
                r.curves.push_back({v.text, s.curveParam + " = " + ValueLabel(curveKey, v.text), v.x, {}});
                ModelParameters base = request.params;
                ApplySweepValue(curveKey, base, v.text);
                bases.push_back(base);
            }
        }
        struct Job {
            std::size_t curve, point;
            ModelParameters params;
            std::exception_ptr failure;
        };
        std::vector<Job> jobs;
        int largest = 1;
        for (std::size_t c = 0; c < r.curves.size(); ++c) {
            for (const SweepValue& v : SweepValues(key, s, bases[c])) {
                Job job{c, r.curves[c].points.size(), bases[c], nullptr};
                ApplySweepValue(key, job.params, v.text);
                try {
                    largest = std::max(largest, TransformSize(HalfSampleCount(job.params.p.Tc, job.params.p.Dt)));
                } catch (const SonavirError&) {
                    // The point fails when it runs, and is named then.
                }
                r.curves[c].points.push_back({v.text, v.x, {}});
                jobs.push_back(std::move(job));
            }
        }

        const int n = static_cast<int>(jobs.size());
        const bool reports = ReportsProgress();
        if (reports) control.Plan(n);
        const auto begin = [&](int finished) {
            if (reports)
                control.BeginStep("Точка " + std::to_string(std::min(n, finished + 1)) + " из " + std::to_string(n), 1);
        };
        begin(0);
        RunBatch(
            n, largest < kSideBySideColumns,
            [&](int i, int) {
                Job& job = jobs[static_cast<std::size_t>(i)];
                SweepPoint& point = r.curves[job.curve].points[job.point];
                try {
                    point.values = MeasurePoint(job.params, request, r.measures);
                } catch (const RunStopped&) {
                    throw;
                } catch (...) {
                    job.failure = std::current_exception();
                    point.values.assign(r.measures.size(), std::nullopt);
                }
            },
            begin);
        for (const Job& job : jobs)
            if (job.failure) {
                const SweepCurve& curve = r.curves[job.curve];
                std::string where = r.param + "=" + curve.points[job.point].text;
                if (!r.curveParam.empty()) where = r.curveParam + "=" + curve.text + ", " + where;
                r.failure = std::make_exception_ptr(SonavirError(where + ": " + MessageOf(job.failure)));
                break;
            }
        if (reports) control.Finish();
    } catch (const RunStopped&) {
        r = SweepResult{};
        r.request = request;
        r.stopped = true;
    } catch (...) {
        r.failure = std::current_exception();
        r.curves.clear();
    }
    return r;
}

std::string SweepCsv(const SweepResult& r)
{
    std::string text = r.param;
    if (!r.curveParam.empty()) text += "," + r.curveParam;
    for (const auto& m : r.measures) text += "," + m;
    text.push_back('\n');
    for (const SweepCurve& curve : r.curves) {
        for (const SweepPoint& point : curve.points) {
            AppendCsvNumber(text, point.x);
            if (!r.curveParam.empty()) {
                text.push_back(',');
                AppendCsvNumber(text, curve.x);
            }
            for (const auto& v : point.values) {
                text.push_back(',');
                if (v) AppendCsvNumber(text, *v);
            }
            text.push_back('\n');
        }
    }
    return text;
}

std::string MeasureTitle(const std::string& m)
{
    if (m == "peak_time" || m == "width_3db") return m + ", с";
    if (m.size() > 3 && m.compare(m.size() - 3, 3, "_db") == 0) return m + ", дБ";
    if (m == "db_probe") return m + ", дБ";
    return m;
}

namespace {

std::vector<ChartSeries> CurvesOf(const SweepResult& r, std::size_t measure, bool named)
{
    std::vector<ChartSeries> list;
    for (std::size_t c = 0; c < r.curves.size(); ++c) {
        ChartSeries s;
        if (named) s.name = r.curves[c].label;
        s.marker = static_cast<int>(c % kChartMarkers);
        s.pen = c < static_cast<std::size_t>(kChartMarkers) ? PenStyle::Solid : PenStyle::Dash;
        for (const SweepPoint& p : r.curves[c].points) {
            s.x.push_back(p.x);
            s.y.push_back(measure < p.values.size() ? p.values[measure] : std::nullopt);
        }
        list.push_back(std::move(s));
    }
    return list;
}

// A positive measure spread over more than two decades reads best on a log axis.
bool WantsLog(const std::vector<ChartSeries>& series)
{
    long double lo = 0, hi = 0;
    bool any = false;
    for (const auto& s : series)
        for (const auto& y : s.y) {
            if (!y) continue;
            if (!(*y > 0)) return false;
            lo = any ? std::min(lo, *y) : *y;
            hi = any ? std::max(hi, *y) : *y;
            any = true;
        }
    return any && hi > 100 * lo;
}

}  // namespace

XYChart SweepChart(const SweepResult& r, const SweepResult* reference)
{
    XYChart chart;
    chart.x.title = r.param;
    chart.x.scale = r.request.setup.log ? AxisScale::Log : AxisScale::Linear;
    if (const ParameterKey* key = FindParameterKey(r.param))
        if (const auto* names = ItemNames(*key)) chart.x.categories = *names;
    for (std::size_t m = 0; m < r.measures.size(); ++m) {
        ChartPanel panel;
        panel.key = r.measures[m];
        panel.y.title = MeasureTitle(panel.key);
        panel.series = CurvesOf(r, m, !r.curveParam.empty());
        if (reference && reference->param == r.param) {
            const auto& held = reference->measures;
            const auto it = std::find(held.begin(), held.end(), panel.key);
            if (it != held.end()) panel.reference = CurvesOf(*reference, static_cast<std::size_t>(it - held.begin()), false);
        }
        if (panel.key == "pd") panel.y.fixed = PlotRange{0, 1};
        if ((panel.key == "energy" || panel.key == "peak") && WantsLog(panel.series))
            panel.y.scale = AxisScale::Log;
        chart.panels.push_back(std::move(panel));
    }
    return chart;
}

}  // namespace sonavir
