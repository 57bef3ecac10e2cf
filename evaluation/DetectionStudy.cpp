#include "evaluation/DetectionStudy.h"

#include <algorithm>
#include <cmath>

#include "signal/Errors.h"
#include "signal/MatchedFilter.h"
#include "signal/Noise.h"
#include "signal/NumberText.h"
#include "signal/Trials.h"

namespace sonavir {

namespace {

[[noreturn]] void Refuse(const std::string& reason) { throw SonavirError(reason); }

long double FromDb(long double db) { return std::pow(10.0L, db / 10); }

// The list without repeats, in its order.
std::vector<long double> Distinct(const std::vector<long double>& values)
{
    std::vector<long double> out;
    for (long double v : values)
        if (std::find(out.begin(), out.end(), v) == out.end()) out.push_back(v);
    return out;
}

// Cells of filtered noise per independent one: 2N sum P^2 / (sum P)^2 over
// the analytic signal's power spectrum (positive frequencies four times the
// filter's power, the zero frequency and the Nyquist value once).
long double CorrelationLength(const TSignalData& g, int N)
{
    long double sum = 0, squares = 0;
    const auto add = [&](long double p) {
        sum += p;
        squares += p * p;
    };
    add(static_cast<long double>(g[0][0]) * g[0][0]);
    add(static_cast<long double>(g[1][0]) * g[1][0]);
    for (int k = 1; k < N; ++k) add(4 * (static_cast<long double>(g[0][k]) * g[0][k] +
                                         static_cast<long double>(g[1][k]) * g[1][k]));
    return CheckedDiv(2.0L * N * squares, sum * sum);
}

std::string DbText(long double db) { return FormatGeneral(db, 4); }

}  // namespace

long double DetectionScene::ProgramSnrFor(long double snrDb) const
{
    return programSnr * CheckedSqrt(CheckedDiv(FromDb(snrDb), snr));
}

int DetectionScene::GateFirst(int gate) const { return std::max(0, peakAt - gate); }
int DetectionScene::GateLast(int gate) const
{
    return static_cast<int>(std::min<long long>(2LL * N, static_cast<long long>(peakAt) + gate + 1));
}

DetectionScene MakeDetectionScene(const RunRequest& q, int stage)
{
    DetectionScene s;
    const int M = HalfSampleCount(q.p.Tc, q.p.Dt);
    const int N = TransformSize(M);
    s.N = N;
    s.Dt = q.p.Dt;
    s.programSnr = q.snr;
    AllocateSignal(s.probe, N);
    GenerateProbe(q, s.probe, N, M);
    s.sigma = CheckedDiv(SamplePeak(s.probe, N), q.snr);
    FFT(s.probe, N, +1);
    AllocateSignal(s.filter, N);
    if (q.filterMode) {
        TSignalData echo = s.probe;
        for (int i = 1; i <= stage; ++i) ApplyStage(q, i, echo, N);
        BuildMatchedFilter(echo, N, q.p.Dt, s.filter);
    } else {
        BuildMatchedFilter(s.probe, N, q.p.Dt, s.filter);
    }
    // The noise passes the stages with the probe: the filter the trials
    // apply is the stages' response times the matched filter's.
    for (int i = 1; i <= stage; ++i) ApplyStage(q, i, s.filter, N);
    s.sigmaEnv = FilteredNoiseSigma(s.filter, N, s.sigma);
    s.correlation = std::max(1.0L, CorrelationLength(s.filter, N));

    TrialSetup t;
    t.N = N;
    t.filter = &s.filter;
    t.echo = &s.probe;
    t.gateFirst = 0;
    t.gateLast = 1;
    t.trials = 1;
    TSignalData envelope;
    TrialEnvelope(t, 0, envelope);
    for (long long m = 0; m < 2LL * N; ++m) {
        const double v = envelope[m & 1][static_cast<std::size_t>(m >> 1)];
        if (v > s.peak) s.peak = v, s.peakAt = static_cast<int>(m);
    }
    s.snr = CheckedDiv(s.peak * s.peak, 2 * s.sigmaEnv * s.sigmaEnv);
    return s;
}

DetectionRequest DetectionRequest::Of(const MainState& main)
{
    DetectionRequest r;
    r.setup = main.detection;
    r.run = main.Request();
    r.run.modelItem = 0;
    r.run.pathStage = r.setup.stage;
    r.run.envelope = false;
    r.seed = r.setup.seeded ? r.setup.seed : ClockSeed();
    return r;
}

const std::vector<long double>& RocPfaGrid()
{
    static const std::vector<long double> grid = [] {
        std::vector<long double> g;
        constexpr int n = 25;
        const long double a = std::log10(1e-8L), b = std::log10(0.5L);
        for (int i = 0; i < n; ++i) g.push_back(std::pow(10.0L, a + (b - a) * i / (n - 1)));
        return g;
    }();
    return grid;
}

ProbabilityInterval CorrelatedWilson(long long k, long long n, long double L, long double z)
{
    if (n < 1 || k < 0 || k > n) RaiseInvalidOp();
    L = std::max(1.0L, L);
    const long double ne = n / L, p = static_cast<long double>(k) / n, z2 = z * z;
    const long double denom = 1 + z2 / ne;
    const long double centre = (p + z2 / (2 * ne)) / denom;
    const long double half = z / denom * std::sqrt(p * (1 - p) / ne + z2 / (4 * ne * ne));
    ProbabilityInterval r;
    r.low = k == 0 ? 0 : std::max(0.0L, centre - half);
    r.high = k == n ? 1 : std::min(1.0L, centre + half);
    return r;
}

namespace {

class Study {
public:
    Study(const DetectionRequest& q, DetectionResult& r, RunControl& control) : q_(q), r_(r), control_(control) {}

    void Go()
    {
        const DetectionSetup& setup = q_.setup;
        const DetectionLists lists = ParseDetectionLists(setup);
        r_.scene = MakeDetectionScene(q_.run, setup.stage);
        DetectionScene& scene = r_.scene;
        const int N = scene.N;
        const long long K = setup.trials;
        if (2 * K > MaxTrials(N))
            Refuse("Число испытаний: не больше " + std::to_string(MaxTrials(N) / 2) + " для записи из " +
                   std::to_string(2LL * N) + " отсчетов");
        if (!(scene.snr > 0))
            Refuse("Эхо-сигнал на этапе " + std::to_string(setup.stage) + " равен нулю: обнаруживать нечего");
        const std::vector<long double> table = Distinct(lists.snrDb), rocSnr = Distinct(lists.rocSnrDb);
        std::vector<long double> all = table;
        for (long double v : rocSnr)
            if (std::find(all.begin(), all.end(), v) == all.end()) all.push_back(v);
        const bool reports = ReportsProgress();
        const bool measured = setup.thresholdMode == 1;
        if (reports) control_.Plan(static_cast<double>(K) * (all.size() + (measured ? 2 : 1)));

        TrialSetup t;
        t.N = N;
        t.filter = &scene.filter;
        t.sigma = scene.sigma;
        t.gateFirst = scene.GateFirst(setup.gate);
        t.gateLast = scene.GateLast(setup.gate);
        t.trials = K;
        // Noise alone draws the records after those of the echo trials.
        t.seed = TrialSeed(q_.seed, N, K);

        // The thresholds over the computed sigma_env: from the wanted Pfa
        // (on the measured sigma_env when asked), or as given.
        long double ratio = 1;
        if (measured) {
            Step("Шум: σ огибающей", K, reports);
            const TrialResults calibration = RunTrials(t);
            r_.sigmaEnvMeasured = calibration.sigmaEnvMeasured;
            ratio = CheckedDiv(*r_.sigmaEnvMeasured, scene.sigmaEnv);
        }
        const auto levelOf = [&](long double pfa) { return ratio * CheckedSqrt(-2 * CheckedLn(pfa)); };
        std::vector<long double> pfas, levels;
        if (setup.thresholdMode == 2) {
            levels = Distinct(lists.levels);
            for (long double l : levels) pfas.push_back(std::exp(-l * l / 2));
        } else {
            pfas = Distinct(lists.pfa);
            for (long double p : pfas) levels.push_back(levelOf(p));
        }
        std::vector<long double> rocLevels;
        for (long double p : RocPfaGrid()) rocLevels.push_back(levelOf(p));
        for (long double l : levels) t.thresholds.push_back(l * scene.sigmaEnv);
        for (long double l : rocLevels) t.thresholds.push_back(l * scene.sigmaEnv);
        Step("Шум", K, reports);
        const TrialResults noise = RunTrials(t);
        if (!measured) r_.sigmaEnvMeasured = noise.sigmaEnvMeasured;

        TSignalData echo;
        AllocateSignal(echo, N);
        TrialSetup ts = t;
        ts.echo = &echo;
        ts.thresholds.clear();
        ts.seed = q_.seed;
        for (long double snrDb : all) {
            const long double c = CheckedSqrt(CheckedDiv(FromDb(snrDb), scene.snr));
            for (int row = 0; row < 2; ++row) std::copy_n(scene.probe[row].begin(), N, echo[row].begin());
            ScaleBuffer(echo, N, c);
            Step("ОСШ " + DbText(snrDb) + " дБ", K, reports);
            const TrialResults hits = RunTrials(ts);
            if (std::find(table.begin(), table.end(), snrDb) != table.end()) {
                for (std::size_t j = 0; j < levels.size(); ++j) {
                    DetectionRow row;
                    row.snrDb = snrDb;
                    row.pfa = pfas[j];
                    row.level = levels[j];
                    row.threshold = levels[j] * scene.sigmaEnv;
                    row.trials = K;
                    row.hits = CountAbove(hits.gateMax, row.threshold);
                    row.pdInterval = WilsonInterval(row.hits, K);
                    row.falseCells = noise.cellsAbove[j];
                    row.cells = noise.cellsOutside;
                    row.pfaInterval = CorrelatedWilson(row.falseCells, row.cells, scene.correlation);
                    row.pdTheory = MarcumQ1(CheckedSqrt(2 * FromDb(snrDb)), row.level);
                    row.programSnr = scene.ProgramSnrFor(snrDb);
                    if (row.hits > 0 && row.hits < K) {
                        try {
                            row.albersheimDb = AlbersheimSnrDb(row.Pd(), row.pfa);
                        } catch (const SonavirError&) {
                        }
                    }
                    r_.rows.push_back(row);
                }
            }
            if (std::find(rocSnr.begin(), rocSnr.end(), snrDb) != rocSnr.end()) {
                RocCurve curve;
                curve.snrDb = snrDb;
                for (std::size_t g = 0; g < rocLevels.size(); ++g) {
                    const long long h = CountAbove(hits.gateMax, rocLevels[g] * scene.sigmaEnv);
                    curve.pfa.push_back(static_cast<long double>(noise.cellsAbove[levels.size() + g]) /
                                        noise.cellsOutside);
                    curve.pd.push_back(static_cast<long double>(h) / K);
                    curve.pdInterval.push_back(WilsonInterval(h, K));
                }
                r_.roc.push_back(curve);
            }
        }
        // The rows in the order of the list, each SNR with every Pfa.
        std::stable_sort(r_.rows.begin(), r_.rows.end(), [&](const DetectionRow& a, const DetectionRow& b) {
            return std::find(table.begin(), table.end(), a.snrDb) < std::find(table.begin(), table.end(), b.snrDb);
        });
        Required(pfas);
        if (reports) control_.Finish();
    }

private:
    void Step(const std::string& name, long long K, bool reports)
    {
        if (reports) control_.BeginStep(name, static_cast<double>(K));
        Checkpoint();
    }

    void Required(const std::vector<long double>& pfas)
    {
        const long double w = q_.setup.wantedPd;
        for (long double pfa : pfas) {
            RequiredSnr req;
            req.pfa = pfa;
            std::vector<const DetectionRow*> points;
            for (const auto& row : r_.rows)
                if (row.pfa == pfa) points.push_back(&row);
            std::sort(points.begin(), points.end(),
                      [](const DetectionRow* a, const DetectionRow* b) { return a->snrDb < b->snrDb; });
            for (std::size_t i = 1; i < points.size() && !req.measuredDb; ++i) {
                const long double pa = points[i - 1]->Pd(), pb = points[i]->Pd();
                if (pa < w && pb >= w)
                    req.measuredDb = points[i - 1]->snrDb +
                                     (points[i]->snrDb - points[i - 1]->snrDb) * (w - pa) / (pb - pa);
            }
            try {
                if (w > pfa) req.exactDb = RequiredSnrDb(w, pfa);
                req.albersheimDb = AlbersheimSnrDb(w, pfa);
            } catch (const SonavirError&) {
                // Outside the formulas' reach: the cells stay empty.
            }
            r_.required.push_back(req);
        }
    }

    const DetectionRequest& q_;
    DetectionResult& r_;
    RunControl& control_;
};

}  // namespace

DetectionResult RunDetection(const DetectionRequest& request, RunControl& control)
{
    DetectionResult r;
    r.request = request;
    const bool installed = CurrentRun() == &control;
    const RunScope scope(&control, installed ? ReportsProgress() : true);
    try {
        Study(request, r, control).Go();
    } catch (const RunStopped&) {
        r = DetectionResult{};
        r.request = request;
        r.stopped = true;
    } catch (...) {
        r.failure = std::current_exception();
    }
    ReleaseSignal(r.scene.probe);
    ReleaseSignal(r.scene.filter);
    return r;
}

std::string DetectionCsv(const DetectionResult& result)
{
    std::string text = "snr_db,pfa,threshold,trials,pd,pd_low,pd_high,pfa_measured,pd_theory\n";
    for (const DetectionRow& row : result.rows) {
        const long double cells[] = {row.snrDb, row.pfa, row.level};
        for (long double v : cells) {
            AppendCsvNumber(text, v);
            text.push_back(',');
        }
        text += std::to_string(row.trials);
        for (long double v : {row.Pd(), row.pdInterval.low, row.pdInterval.high, row.PfaMeasured(), row.pdTheory}) {
            text.push_back(',');
            AppendCsvNumber(text, v);
        }
        text.push_back('\n');
    }
    return text;
}

namespace {

ChartSeries TheoryLegend()
{
    ChartSeries s;
    s.name = "теория: Q1 Маркума";
    s.pen = PenStyle::Dot;
    return s;
}

ChartAxis PdAxis()
{
    ChartAxis a;
    a.title = "Pd";
    a.fixed = PlotRange{0, 1};
    return a;
}

}  // namespace

XYChart PdSnrChart(const DetectionResult& result)
{
    XYChart chart;
    chart.x.title = "ОСШ A²/(2·сигма²), дБ";
    ChartPanel panel;
    panel.key = "pd";
    panel.y = PdAxis();
    if (result.rows.empty()) {
        chart.panels.push_back(panel);
        return chart;
    }
    chart.x.secondTitle = "нижняя строка: шум программы, пик/сигма";
    chart.x.secondFactor = result.scene.ProgramSnrFor(0);
    long double lo = result.rows.front().snrDb, hi = lo;
    std::vector<long double> pfas;
    for (const auto& row : result.rows) {
        lo = std::min(lo, row.snrDb);
        hi = std::max(hi, row.snrDb);
        if (std::find(pfas.begin(), pfas.end(), row.pfa) == pfas.end()) pfas.push_back(row.pfa);
    }
    for (std::size_t j = 0; j < pfas.size(); ++j) {
        ChartSeries measured, theory;
        measured.name = "Pfa = " + FormatGeneral(pfas[j], 3);
        measured.marker = static_cast<int>(j % kChartMarkers);
        long double level = 0;
        std::vector<const DetectionRow*> points;
        for (const auto& row : result.rows)
            if (row.pfa == pfas[j]) points.push_back(&row), level = row.level;
        std::sort(points.begin(), points.end(),
                  [](const DetectionRow* a, const DetectionRow* b) { return a->snrDb < b->snrDb; });
        for (const DetectionRow* row : points) {
            measured.x.push_back(row->snrDb);
            measured.y.push_back(row->Pd());
            measured.bars.push_back({row->pdInterval.low, row->pdInterval.high});
        }
        theory.pen = PenStyle::Dot;
        theory.name = "теория";
        theory.legend = false;
        const int steps = std::clamp(static_cast<int>((hi - lo) * 10), 1, 2000);
        for (int i = 0; i <= steps; ++i) {
            const long double db = lo + (hi - lo) * i / steps;
            theory.x.push_back(db);
            theory.y.push_back(MarcumQ1(CheckedSqrt(2 * FromDb(db)), level));
        }
        panel.series.push_back(theory);
        panel.series.push_back(measured);
    }
    panel.series.push_back(TheoryLegend());
    chart.panels.push_back(panel);
    return chart;
}

XYChart RocChart(const DetectionResult& result)
{
    XYChart chart;
    chart.x.title = "Pfa";
    chart.x.scale = AxisScale::Log;
    chart.x.fixed = PlotRange{1e-8L, 1};
    ChartPanel panel;
    panel.key = "pd";
    panel.y = PdAxis();
    for (std::size_t c = 0; c < result.roc.size(); ++c) {
        const RocCurve& curve = result.roc[c];
        ChartSeries measured, theory;
        measured.name = "ОСШ " + DbText(curve.snrDb) + " дБ";
        measured.marker = static_cast<int>(c % kChartMarkers);
        for (std::size_t g = 0; g < curve.pfa.size(); ++g) {
            if (!(curve.pfa[g] > 0)) continue;  // no false alarm counted: no place on the axis
            measured.x.push_back(curve.pfa[g]);
            measured.y.push_back(curve.pd[g]);
            measured.bars.push_back({curve.pdInterval[g].low, curve.pdInterval[g].high});
        }
        theory.pen = PenStyle::Dot;
        theory.name = "теория";
        theory.legend = false;
        for (int i = 0; i <= 160; ++i) {
            const long double pfa = std::pow(10.0L, -8 + 8 * i / 160.0L) * (i == 160 ? 0.999L : 1);
            theory.x.push_back(pfa);
            theory.y.push_back(DetectionProbability(FromDb(curve.snrDb), pfa));
        }
        panel.series.push_back(theory);
        panel.series.push_back(measured);
    }
    if (!result.roc.empty()) panel.series.push_back(TheoryLegend());
    chart.panels.push_back(panel);
    return chart;
}

}  // namespace sonavir
