#include "model/AmbiguityStudy.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "model/RunEcho.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"
#include "signal/TimeScale.h"
#include "signal/Weighting.h"

namespace sonavir {

namespace {

constexpr long double kC = kScaleSoundSpeed;
constexpr long double kPi = std::numbers::pi_v<long double>;

[[noreturn]] void Refuse(const std::string& reason) { throw SonavirError(reason); }

// The lags the delay span holds, as Ambiguity::Map takes them.
std::array<int, 2> LagSpan(const std::optional<PlotRange>& range, int M, long double Dt)
{
    const int span = 2 * M;
    const long double lo = std::max<long double>(-span, range ? range->from / Dt : -span);
    const long double hi = std::min<long double>(span, range ? range->to / Dt : span);
    if (!std::isfinite(lo) || !std::isfinite(hi) || std::ceil(lo) > std::floor(hi)) return {1, 0};
    return {static_cast<int>(std::ceil(lo)), static_cast<int>(std::floor(hi))};
}

PlotRange DopplerSpan(const AmbiguityRequest& q)
{
    if (q.dopplerRange) return *q.dopplerRange;
    const long double max = DefaultMaxDoppler(q.p);
    return {-max, max};
}

double CsvDb(double linear) { return AmbiguityDb(linear, kCsvFloorDb); }

// Three digits; what rounding leaves of a zero reads 0.
std::string Number(long double v, int digits = 3) { return FormatGeneral(std::fabs(v) < 1e-9L ? 0 : v, digits); }

const char* ProbeName(int signalItem)
{
    switch (signalItem) {
    case kRadioPulse: return "радиоимпульс";
    case kBarkerPulse: return "код Баркера";
    default: return "ЛЧМ";
    }
}

class CsvBlocks {
public:
    explicit CsvBlocks(const CsvSink& sink) : sink_(sink) {}
    std::string& Line() { return text_; }
    void Number(long double v)
    {
        AppendCsvNumber(text_, v);
    }
    void EndLine()
    {
        text_.push_back('\n');
        if (text_.size() >= (1u << 20)) Flush();
    }
    void Flush()
    {
        if (!text_.empty()) sink_(text_);
        text_.clear();
        Checkpoint();
    }

private:
    const CsvSink& sink_;
    std::string text_;
};

}  // namespace

AmbiguityRequest AmbiguityRequest::Of(const ModelParameters& params)
{
    AmbiguityRequest q;
    q.p = params.p;
    q.signalItem = params.signalItem;
    q.windowItem = params.windowItem;
    return q;
}

long double DopplerOfVelocity(long double velocity, long double frequency) { return 2 * velocity * frequency / kC; }

long double VelocityOfDoppler(long double doppler, long double frequency)
{
    return CheckedDiv(kC * doppler, 2 * frequency);
}

long double DefaultMaxDoppler(const TModelParams& p)
{
    const long double target = 1.25L * std::fabs(DopplerOfVelocity(p.V, p.F0));
    return CheckFinite(std::max({CheckedDiv(4, p.Tc), std::fabs(DopplerOfVelocity(kAmbiguitySpanVelocity, p.F0)),
                                 target}));
}

void CheckAmbiguityRequest(const AmbiguityRequest& q)
{
    if (q.dopplerPoints < 1 || q.dopplerPoints > kMaxAmbiguityRows)
        Refuse("the Doppler points must number 1 to " + std::to_string(kMaxAmbiguityRows));
    const auto check = [](const std::optional<PlotRange>& r, const char* what) {
        if (r && !(std::isfinite(r->from) && std::isfinite(r->to) && r->from < r->to))
            Refuse(std::string("the ") + what + " range must be two finite numbers, the first below the second");
    };
    check(q.delayRange, "delay");
    check(q.dopplerRange, "Doppler");
    if (q.delayRange) {
        const int M = HalfSampleCount(q.p.Tc, q.p.Dt);
        const auto lags = LagSpan(q.delayRange, M, q.p.Dt);
        if (lags[0] > lags[1])
            Refuse("the delay range holds no sample within -Tc .. +Tc (+-" + FormatGeneral(2 * M * q.p.Dt, 4) +
                   " s)");
    }
    if (q.wideband) {
        const PlotRange d = DopplerSpan(q);
        for (const long double nu : {d.from, d.to})
            if (!(std::fabs(VelocityOfDoppler(nu, q.p.F0)) <= kC / 3))
                Refuse("the wideband rows' velocities c nu / (2 F0) must lie within +-500 m/s");
    }
}

AmbiguityResult ComputeAmbiguity(const AmbiguityRequest& q, RunControl& control)
{
    AmbiguityResult r;
    r.request = q;
    const bool installed = CurrentRun() == &control;
    const RunScope scope(&control, installed ? ReportsProgress() : true);
    const bool reports = ReportsProgress();
    try {
        CheckAmbiguityRequest(q);
        const TModelParams& p = q.p;
        r.M = HalfSampleCount(p.Tc, p.Dt);
        r.N = TransformSize(r.M);
        r.Dt = p.Dt;
        r.Tc = 2 * r.M * p.Dt;
        const int N = r.N, M = r.M;
        // Weights in transform pairs of 2N points: a row costs one.
        if (reports) control.Plan(2.0 + q.dopplerPoints + 1 + 4);
        if (reports) control.BeginStep("Сигнал", 2);
        TSignalData probe, reference;
        AllocateSignal(probe, N);
        RunRequest run;
        run.p = p;
        run.signalItem = q.signalItem;
        GenerateProbe(run, probe, N, M);
        reference = probe;
        const WindowKind window = WindowFromItem(q.windowItem);
        ApplyWindow(reference, N, M, window);
        const Ambiguity af(probe, reference, N, M, p.Dt);

        if (reports) control.BeginStep("Функция неопределенности", q.dopplerPoints + 1.0);
        AmbiguityGrid grid;
        grid.rows = q.dopplerPoints;
        const PlotRange doppler = DopplerSpan(q);
        grid.wideband = q.wideband;
        if (q.wideband) {
            grid.minVelocity = VelocityOfDoppler(doppler.from, p.F0);
            grid.maxVelocity = VelocityOfDoppler(doppler.to, p.F0);
        } else {
            grid.minDoppler = doppler.from;
            grid.maxDoppler = doppler.to;
        }
        // The symmetric default keeps its exact zero row.
        if (!q.dopplerRange) (q.wideband ? grid.minVelocity : grid.minDoppler).reset();
        if (q.delayRange) {
            grid.minDelay = q.delayRange->from;
            grid.maxDelay = q.delayRange->to;
        }
        const auto lags = LagSpan(q.delayRange, M, p.Dt);
        r.firstLag = lags[0];
        r.lastLag = lags[1];
        if (lags[1] - lags[0] + 1 > kAmbiguityColumns) grid.delayColumns = kAmbiguityColumns;
        r.map = af.Map(grid);
        r.rowDoppler.resize(static_cast<std::size_t>(r.map.rows));
        for (int i = 0; i < r.map.rows; ++i)
            r.rowDoppler[i] = q.wideband ? DopplerOfVelocity(r.map.velocity[i], p.F0) : r.map.doppler[i];

        if (reports) control.BeginStep("Измерения", 4);
        r.measures = af.Measure(r.map);
        r.theoryLossDb = WeightingLossDb(window, 2LL * M);
        if (q.windowItem == 0) r.theoryFirstNull = CheckedDiv(1, r.Tc);
        if (q.signalItem == kLfmPulse) r.theoryRidgeSlope = CheckedDiv(-2 * p.FD, p.Tc);
        if (p.V != 0) {
            AmbiguityTarget t;
            t.velocity = p.V;
            t.doppler = DopplerOfVelocity(p.V, p.F0);
            const AmbiguityPoint at = q.wideband ? af.AtVelocity(0, p.V) : af.At(0, t.doppler);
            const AmbiguityPoint zero = af.At(0, 0);
            t.peakDelay = at.peakDelay;
            t.lossDb = CheckFinite(20 * std::log10(CheckedDiv(at.peakLevel, zero.peakLevel)));
            t.zeroDelayDb = AmbiguityDb(at.level / zero.peakLevel, kCsvFloorDb);
            if (q.windowItem == 0) {
                if (q.signalItem == kLfmPulse) {
                    const long double B = 2 * p.FD;
                    t.theoryDelay = CheckedDiv(-t.doppler * p.Tc, B);
                    if (std::fabs(t.doppler) < B) t.theoryLossDb = 20 * std::log10(1 - std::fabs(t.doppler) / B);
                }
                const long double x = kPi * t.doppler * r.Tc, sinc = std::fabs(std::sin(x) / x);
                if (sinc > 0) t.theoryZeroDelayDb = 20 * std::log10(sinc);
            }
            r.target = t;
        }
        if (reports) control.Finish();
    } catch (const RunStopped&) {
        r = AmbiguityResult{};
        r.request = q;
        r.stopped = true;
    } catch (...) {
        r.failure = std::current_exception();
    }
    return r;
}

std::vector<std::string> AmbiguityMeasureLines(const AmbiguityResult& r)
{
    std::vector<std::string> lines;
    if (!r.Done()) return lines;
    const AmbiguityMeasures& m = r.measures;
    const auto optional = [](const std::optional<long double>& v, long double scale, const char* unit) {
        return v ? Number(*v * scale) + unit : std::string("нет");
    };
    lines.push_back("Пик в (0, 0): " + Number(m.peakDb) + " дБ");
    if (r.request.windowItem != 0) lines.push_back("  потери от окна по теории: " + Number(r.theoryLossDb) + " дБ");
    lines.push_back("Ширина по задержке (-3 дБ): " + optional(m.delayWidth3db, 1000, " мс"));
    lines.push_back("Ширина по Доплеру (-3 дБ): " + optional(m.dopplerWidth3db, 1, " Гц"));
    lines.push_back("Первый нуль по Доплеру: " + optional(m.firstNullDoppler, 1, " Гц"));
    if (r.theoryFirstNull) lines.push_back("  1/Tc: " + Number(*r.theoryFirstNull) + " Гц");
    if (r.theoryRidgeSlope && !r.request.wideband) {
        lines.push_back("Наклон гребня: " + optional(m.ridgeSlope, 1, " Гц/с"));
        lines.push_back("  -2\u00b7FD/Tc: " + Number(*r.theoryRidgeSlope) + " Гц/с");
    }
    if (r.target) {
        const AmbiguityTarget& t = *r.target;
        lines.push_back("Цель " + Number(t.velocity) + " м/с, доплер " + Number(t.doppler) + " Гц:");
        std::string shift = "  сдвиг пика: " + Number(t.peakDelay * 1000) + " мс";
        if (t.theoryDelay) shift += " (теор. " + Number(*t.theoryDelay * 1000) + ")";
        lines.push_back(shift);
        std::string loss = "  потери пика: " + Number(t.lossDb) + " дБ";
        if (t.theoryLossDb) loss += " (теор. " + Number(*t.theoryLossDb) + ")";
        lines.push_back(loss);
        std::string zero = "  при задержке 0: " + Number(t.zeroDelayDb) + " дБ";
        if (t.theoryZeroDelayDb) zero += " (теор. " + Number(*t.theoryZeroDelayDb) + ")";
        lines.push_back(zero);
    }
    return lines;
}

AmbiguityPlotData PlotDataOf(const AmbiguityResult& r)
{
    AmbiguityPlotData d;
    const AmbiguityRequest& q = r.request;
    d.title = std::string("Функция неопределенности: ") + ProbeName(q.signalItem) +
              (q.windowItem == 0 ? std::string(", без окна")
                                 : ", окно " + ModelParameters::WindowItems()[static_cast<std::size_t>(q.windowItem)]) +
              (q.wideband ? ", широкополосная" : "");
    d.F0 = q.p.F0;
    if (!r.Done()) return d;
    const AmbiguityMap& map = r.map;
    d.rows = map.rows;
    d.columns = map.columns;
    d.db = AmbiguityDb(map.values, kAmbiguityFloorDb);
    d.delayLow = map.lags.front() * r.Dt;
    d.delayHigh = map.lags.back() * r.Dt;
    d.dopplerLow = r.rowDoppler.front();
    d.dopplerHigh = r.rowDoppler.back();
    for (int lag = r.firstLag; lag <= r.lastLag; ++lag)
        d.delayCut.push_back(AmbiguityDb(map.zeroDoppler[static_cast<std::size_t>(lag + 2 * r.M)], kAmbiguityFloorDb));
    d.dopplerCut = AmbiguityDb(map.zeroDelay, kAmbiguityFloorDb);
    if (r.target) d.marker = std::array<long double, 2>{0, r.target->doppler};
    d.lines = AmbiguityMeasureLines(r);
    return d;
}

std::string AmbiguityReadout(const AmbiguityPlotData& d, int width, int height, int x, int y)
{
    if (d.rows == 0) return {};
    const AmbiguityLayout l = LayoutAmbiguity(width, height);
    const auto level = [](double db) {
        return db <= kAmbiguityFloorDb ? "L < " + Number(kAmbiguityFloorDb) + " дБ" : "L = " + Number(db) + " дБ";
    };
    const auto delay = [&](long double tau) {
        return "\u03c4 = " + Number(tau) + " с   c\u00b7\u03c4/2 = " + Number(kC * tau / 2) + " м";
    };
    const auto doppler = [&](long double nu) {
        return "\u03bd = " + Number(nu) + " Гц   c\u00b7\u03bd/(2\u00b7F0) = " +
               Number(d.F0 != 0 ? VelocityOfDoppler(nu, d.F0) : 0) + " м/с";
    };
    const QPoint at(x, y);
    if (l.map.contains(at))
        return delay(DelayAtPixel(d, l.map, x)) + "   " + doppler(DopplerAtPixel(d, l.map, y)) + "   " +
               level(MapLevelAt(d, l.map, x, y));
    if (l.delayCut.contains(at))
        return delay(DelayAtPixel(d, l.delayCut, x)) + "   " + level(DelayCutLevelAt(d, l.delayCut, x));
    if (l.dopplerCut.contains(at))
        return doppler(DopplerCutAtPixel(d, l.dopplerCut, x)) + "   " + level(DopplerCutLevelAt(d, l.dopplerCut, x));
    return {};
}

void AmbiguityView::Show(AmbiguityResult result, const PictureSettings& settings)
{
    result_ = std::move(result);
    Redraw(settings);
}

void AmbiguityView::Redraw(const PictureSettings& settings)
{
    settings_ = settings;
    data_ = PlotDataOf(result_);
    image_ = HasMap() ? AmbiguityImage(data_, settings_, Width(), Height()) : QImage();
}

void AmbiguityView::Save(const std::string& path, PictureFormat format) const
{
    if (!HasMap()) throw SonavirError(kNoAmbiguityMap);
    OutputSet set;
    WriteAmbiguityPicture(data_, settings_, Width(), Height(), format, set.Add(path));
    set.CommitAll();
}

void AmbiguityMapCsv(const AmbiguityResult& r, const CsvSink& sink)
{
    CsvBlocks w(sink);
    w.Line() += "delay,doppler,level_db";
    w.EndLine();
    const AmbiguityMap& map = r.map;
    for (int i = 0; i < map.rows; ++i)
        for (int j = 0; j < map.columns; ++j) {
            w.Number(map.lags[j] * r.Dt);
            w.Line().push_back(',');
            w.Number(r.rowDoppler[i]);
            w.Line().push_back(',');
            w.Number(CsvDb(map.At(i, j)));
            w.EndLine();
        }
    w.Flush();
}

void AmbiguityCutsCsv(const AmbiguityResult& r, const CsvSink& sink)
{
    CsvBlocks w(sink);
    w.Line() += "cut,delay,doppler,level_db";
    w.EndLine();
    for (int lag = r.firstLag; lag <= r.lastLag; ++lag) {
        w.Line() += "zero_doppler,";
        w.Number(lag * r.Dt);
        w.Line() += ",0,";
        w.Number(CsvDb(r.map.zeroDoppler[static_cast<std::size_t>(lag + 2 * r.M)]));
        w.EndLine();
    }
    for (int i = 0; i < r.map.rows; ++i) {
        w.Line() += "zero_delay,0,";
        w.Number(r.rowDoppler[i]);
        w.Line().push_back(',');
        w.Number(CsvDb(r.map.zeroDelay[i]));
        w.EndLine();
    }
    w.Flush();
}

std::string AmbiguityMeasuresCsv(const AmbiguityResult& r)
{
    std::string text = "measure,value,theory\n";
    const auto line = [&](const char* name, const std::optional<long double>& value,
                          const std::optional<long double>& theory = std::nullopt) {
        if (!value) return;
        text += name;
        text.push_back(',');
        AppendCsvNumber(text, *value);
        text.push_back(',');
        if (theory) AppendCsvNumber(text, *theory);
        text.push_back('\n');
    };
    const AmbiguityMeasures& m = r.measures;
    line("peak_db", m.peakDb, r.theoryLossDb);
    line("delay_width_3db", m.delayWidth3db);
    line("doppler_width_3db", m.dopplerWidth3db);
    line("first_null_doppler", m.firstNullDoppler, r.theoryFirstNull);
    if (r.theoryRidgeSlope) line("ridge_slope", m.ridgeSlope, r.theoryRidgeSlope);
    if (r.target) {
        const AmbiguityTarget& t = *r.target;
        line("target_velocity", t.velocity);
        line("target_doppler", t.doppler);
        line("target_peak_delay", t.peakDelay, t.theoryDelay);
        line("target_loss_db", t.lossDb, t.theoryLossDb);
        line("target_zero_delay_db", t.zeroDelayDb, t.theoryZeroDelayDb);
    }
    return text;
}

}  // namespace sonavir
