#include "app/CommandLine.h"

#include <QGuiApplication>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <csignal>
#include <exception>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/CliOptions.h"
#include "files/OutputFiles.h"
#include "display/Picture.h"
#include "display/PictureFiles.h"
#include "display/PictureSettings.h"
#include "display/PlotSpan.h"
#include "evaluation/DetectionStudy.h"
#include "evaluation/EvaluationState.h"
#include "evaluation/SeriesRuns.h"
#include "model/AmbiguityStudy.h"
#include "evaluation/Sweep.h"
#include "evaluation/XYChart.h"
#include "model/Ledger.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "model/PulseCompression.h"
#include "model/Scenario.h"
#include "model/SonarBudget.h"
#include "model/StudySetup.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"
#include "signal/RunControl.h"

namespace sonavir {

namespace {

// ---- Ctrl+C and the progress line --------------------------------------------

// The control of the command's work, for the signal handler: the first
// SIGINT asks the work to stop (the command then removes what it wrote and
// exits 130), a second one ends the program at once, temporaries removed.
std::atomic<RunControl*> g_interruptible{nullptr};
static_assert(std::atomic<RunControl*>::is_always_lock_free);

extern "C" void OnInterrupt(int sig)
{
    RunControl* control = g_interruptible.load();
    if (!control || control->StopRequested()) EndBySignal(sig);
    control->RequestStop();
}

// SIGINT stops the work for the scope's life, where it would have ended the
// program (a shell that ignores it for a background job keeps it ignored).
class InterruptStops {
public:
    explicit InterruptStops(RunControl& control)
    {
        struct sigaction sa {};
        if (::sigaction(SIGINT, nullptr, &old_) != 0 || (old_.sa_flags & SA_SIGINFO) || old_.sa_handler != SIG_DFL)
            return;
        g_interruptible.store(&control);
        sa.sa_handler = OnInterrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        installed_ = ::sigaction(SIGINT, &sa, nullptr) == 0;
    }
    ~InterruptStops()
    {
        if (installed_) ::sigaction(SIGINT, &old_, nullptr);
        g_interruptible.store(nullptr);
    }
    InterruptStops(const InterruptStops&) = delete;
    InterruptStops& operator=(const InterruptStops&) = delete;

private:
    struct sigaction old_ {};
    bool installed_ = false;
};

// "Спектр 42 %" on standard error, redrawn in place, once the work has taken
// over a second, only when standard error is a terminal; wiped at the end.
class ProgressLine {
public:
    ProgressLine(const RunControl& control, bool wanted) : control_(control)
    {
        if (wanted && ::isatty(STDERR_FILENO)) thread_ = std::thread([this] { Show(); });
    }
    ~ProgressLine()
    {
        if (!thread_.joinable()) return;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
        if (shown_) std::cerr << "\r\033[K" << std::flush;
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    void Show()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::seconds(1), [this] { return done_; })) return;
        do {
            std::cerr << "\r\033[K" << OneLine(control_.StepName()) << ' ' << control_.Percent() << " %"
                      << std::flush;
            shown_ = true;
        } while (!wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return done_; }));
    }

    const RunControl& control_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false, shown_ = false;
};

void AppendIndex(std::string& line, long long value)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    line.append(buf, r.ptr);
}

// Writes in blocks: the waveform of a long run has tens of millions of lines.
class BlockWriter {
public:
    explicit BlockWriter(OutputFile& file) : file_(file) { block_.reserve(kBlock + 128); }
    std::string& Line() { return block_; }
    void EndLine()
    {
        block_.push_back('\n');
        if (block_.size() >= kBlock) Flush();
    }
    void Flush()
    {
        file_.Write(block_);
        block_.clear();
        Checkpoint();  // tens of millions of lines: Ctrl+C is seen here too
    }

private:
    static constexpr std::size_t kBlock = 1 << 20;
    OutputFile& file_;
    std::string block_;
};

// Rows `rows` of the waveform (every sample by default).
void WriteWaveCsv(OutputFile& file, const TSignalData& data, int N, PlotSpan rows)
{
    BlockWriter w(file);
    w.Line() += "m,x";
    w.EndLine();
    if (rows.count == 0) rows = rows.Within(2LL * N);
    for (long long m = rows.first; m < rows.first + rows.count; ++m) {
        AppendIndex(w.Line(), m);
        w.Line().push_back(',');
        AppendCsvNumber(w.Line(), data[m % 2][m / 2]);
        w.EndLine();
    }
    w.Flush();
}

void WriteSpectrumCsv(OutputFile& file, const TSignalData& data, int N, PlotSpan rows)
{
    BlockWriter w(file);
    w.Line() += "k,re,im";
    w.EndLine();
    if (rows.count == 0) rows = rows.Within(N);
    for (long long k = rows.first; k < rows.first + rows.count; ++k) {
        AppendIndex(w.Line(), k);
        w.Line().push_back(',');
        AppendCsvNumber(w.Line(), data[0][k]);
        w.Line().push_back(',');
        AppendCsvNumber(w.Line(), data[1][k]);
        w.EndLine();
    }
    w.Flush();
}

void WriteTable(OutputFile& file, const EvaluationState& eval)
{
    std::string text;
    for (const auto& row : eval.result) {
        for (std::size_t j = 0; j < row.size(); ++j) {
            if (j) text.push_back(';');
            text += row[j];
        }
        text.push_back('\n');
    }
    file.Write(text);
}

// The scenario first, then the options given override it; returns the
// picture size in force.
PictureSizeChoice SetUp(const CliOptions& o, MainState& state)
{
    PictureSizeChoice size;
    if (!o.scenarioFile.empty()) {
        const ScenarioRead read = ReadScenarioFile(o.scenarioFile);
        if (!read.unknownKeys.empty())
            std::cerr << OneLine("sonavir: " + o.scenarioFile + ": " + SkippedKeysNote(read.unknownKeys)) << '\n';
        read.scenario.ApplyTo(state);
        size = read.scenario.size;
    }
    if (o.size) size = {false, (*o.size)[0], (*o.size)[1]};
    if (!size.autoSize) state.picture.SetSize(size.width, size.height);
    if (o.colors) state.settings.SetColorItem(*o.colors);
    return size;
}

// --save-scenario: the situation as the options set it up, before any run.
void AddScenarioOutput(const CliOptions& o, const MainState& state, const PictureSizeChoice& size,
                       OutputSet& outputs)
{
    if (!o.saveScenarioFile.empty())
        outputs.Add(o.saveScenarioFile).Write(FormatScenario(Scenario::Capture(state, size)));
}

// --reference-stage, --reference-set: the reference's run, in the situation
// the options set up with its own stage and parameters, held; then the
// situation is put back for the run itself.
void HoldReferenceRun(const CliOptions& o, MainState& state, RunControl& control)
{
    const ModelParameters params = state.params;
    const int stage = state.pathStage;
    for (const auto& s : o.referenceSettings) ApplySetting(state.params, s);
    if (o.referenceStage) state.SelectPath(*o.referenceStage);  // a single model has no path: ignored
    state.Start(&control);
    Checkpoint();
    state.HoldReference();
    state.params = params;
    state.SelectPath(stage);
}

// --set and the run's switches: a switch option turns its switch on;
// without it the scenario's state stands.
void ApplyRunOptions(const CliOptions& o, MainState& state)
{
    for (const auto& s : o.settings) ApplySetting(state.params, s);
    if (o.filter) state.params.filterOn = true;
    if (o.noise) state.params.noiseOn = true;
    if (o.norm) state.params.normOn = true;
    if (o.depth) state.params.depthOn = true;
    if (o.echoFilter) state.SetFilterMode(true);
    for (int gate : o.gatesOff) state.params.gates[gate] = false;
}

// A set-up the options (or the scenario) got wrong is a bad command line:
// the message goes behind the option that sets it.
template <class Check>
auto Usage(const std::string& option, Check check)
{
    try {
        return check();
    } catch (const SonavirError& e) {
        throw CliUsageError(option + ": " + e.what());
    }
}

// The trials' options, shared by detect and the pd of a sweep.
void ApplyTrialOptions(const CliOptions& o, DetectionSetup& d)
{
    if (o.snrDb) d.snrDb = *o.snrDb;
    if (o.pfa) d.pfa = *o.pfa;
    if (o.levels) {
        d.levels = *o.levels;
        d.thresholdMode = 2;
    }
    if (o.measuredSigma) d.thresholdMode = 1;
    if (o.rocSnrDb) d.rocSnrDb = *o.rocSnrDb;
    if (o.trials) d.trials = *o.trials;
    if (o.gate) d.gate = *o.gate;
    if (o.seed) {
        d.seeded = true;
        d.seed = *o.seed;
    }
}

void CheckSweepSetup(const MainState& state)
{
    const SweepSetup& s = state.sweep;
    const std::string params = "; valid names: " + NameList(SweepParameterNames());
    if (s.param.empty()) throw CliUsageError("--param NAME is required" + params);
    const ParameterKey* key = FindParameterKey(s.param);
    if (!key) throw CliUsageError("--param: unknown parameter '" + s.param + "'" + params);
    const auto& names = SweepMeasureNames();
    for (const std::string& m : Usage("--measure", [&] { return SplitValues(s.measures, ','); }))
        if (std::find(names.begin(), names.end(), m) == names.end())
            throw CliUsageError("--measure: unknown measure '" + m + "'; valid names: " + NameList(names));
    const auto measures = Usage("--measure", [&] { return ParseMeasures(s.measures); });
    Usage(s.range ? "--range" : "--values", [&] { return SweepValues(*key, s, state.params); });
    if (!s.curveParam.empty()) {
        const ParameterKey* curve = FindParameterKey(s.curveParam);
        if (!curve) throw CliUsageError("--curves: unknown parameter '" + s.curveParam + "'" + params);
        Usage("--curves", [&] { return CurveValues(*curve, s.curveValues, state.params); });
    }
    if (std::find(measures.begin(), measures.end(), "pd") != measures.end())
        Usage("--scenario", [&] { return ParseDetectionLists(state.detection); });
}

// A study's result that did not come to its end: a stop ends the command
// with 130, a failure with 1, nothing written either way.
template <class Result>
void CheckFinished(const Result& r)
{
    if (r.stopped) {
        Checkpoint();
        throw RunStopped();
    }
    if (r.failure) std::rethrow_exception(r.failure);
}

void WriteChart(const CliOptions& o, MainState& state, const XYChart& chart, OutputFile& file)
{
    DrawChart(state.picture, state.settings, chart);
    WritePicture(state.picture, PictureFormatOf(o.output), file);
}

}  // namespace

int RunRender(const CliOptions& o, RunControl& control, OutputSet& outputs)
{
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);

    const PictureSizeChoice size = SetUp(o, state);
    if (o.noScale) settings.SetScale(false);
    if (o.db) settings.SetDb(true);
    if (o.ticks) {
        settings.amplitudeCount = PictureSettings::ClampCount((*o.ticks)[0]);
        settings.tcCount = PictureSettings::ClampCount((*o.ticks)[1]);
        settings.fCount = PictureSettings::ClampCount((*o.ticks)[2]);
    }
    ApplyRunOptions(o, state);
    state.noiseSeed = o.seed;
    if (o.model) state.SelectModel(*o.model);
    if (o.stage) state.SelectPath(*o.stage);  // a single model has no path: ignored
    // Refused before anything runs or is written: the teaching levels have no
    // budget, and the level model is known only once the settings are in.
    if (!o.budgetFile.empty() && !params.levels.On())
        throw CliUsageError("--budget: the sonar equation's budget needs the sonar-equation level model "
                            "(--set LevelModel=1); the default level model has none");

    // Every output joins one set: they land together once the run is done,
    // or, on any failure, none of them does.
    AddScenarioOutput(o, state, size, outputs);
    if (o.output.empty()) return 0;  // only a scenario was asked for
    OutputFile& pictureFile = outputs.Add(o.output);
    if (o.Reference()) HoldReferenceRun(o, state, control);
    // A range zooms the picture and picks the rows of the CSV files: those
    // the range holds, none when it falls between two points.
    state.zoom.time = o.timeRange;
    state.zoom.frequency = o.freqRange;
    if (o.cursors) {
        PlotCursors cursors;
        cursors.plot = PlotKind::Time;
        cursors.a = o.cursors->from;
        cursors.b = o.cursors->to;
        cursors.lastB = true;
        state.SetCursors(cursors);
    }
    auto rows = [](const std::optional<PlotRange>& range, const PointAxis& axis) {
        return range ? PointsWithin(axis, *range) : PlotSpan{}.Within(axis.Count());
    };
    if (!o.waveFile.empty()) {
        OutputFile& wave = outputs.Add(o.waveFile);
        state.onTimePlot = [&](const TSignalData& data, int N) {
            WriteWaveCsv(wave, data, N, rows(o.timeRange, PointAxis::Time(params.p.Dt, N)));
        };
    }
    if (!o.spectrumFile.empty()) {
        OutputFile& spectrum = outputs.Add(o.spectrumFile);
        state.onSpectrumPlot = [&](const TSignalData& data, int N) {
            WriteSpectrumCsv(spectrum, data, N, rows(o.freqRange, PointAxis::Frequency(params.p.Dt, N)));
        };
    }

    OutputFile* ledger = o.ledgerFile.empty() ? nullptr : &outputs.Add(o.ledgerFile);
    OutputFile* measures = o.measuresFile.empty() ? nullptr : &outputs.Add(o.measuresFile);
    OutputFile* budget = o.budgetFile.empty() ? nullptr : &outputs.Add(o.budgetFile);

    state.Start(&control);
    Checkpoint();  // a run stopped by Ctrl+C left nothing to write
    if (measures) {
        std::string csv = MeasuresCsv(MeasureShown(state));
        if (o.cursors) csv = WithCursorColumns(csv, ReadCursors(*state.Shown(), state.Cursors()));
        measures->Write(csv);
    }
    if (ledger) ledger->Write(LedgerCsv(ComputeLedger(state)));
    if (budget) budget->Write(BudgetCsv(ComputeBudget(state)));
    WritePicture(picture, PictureFormatOf(o.output), pictureFile);
    return 0;
}

int RunEvaluate(const CliOptions& o, RunControl& control, OutputSet& outputs)
{
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);
    EvaluationState eval;

    const PictureSizeChoice size = SetUp(o, state);
    for (const auto& s : o.settings) ApplySetting(params, s);
    AddScenarioOutput(o, state, size, outputs);  // as in RunRender
    if (o.output.empty()) return 0;
    eval.SetModeText(EvaluationState::ModeItems()[o.mode]);
    eval.propagationItem = o.propagation;
    eval.filterNorm = !o.noNorm;
    if (o.points) eval.SetPointCount(*o.points);
    auto fill = [&](const std::optional<std::vector<std::string>>& cells, int row) {
        if (!cells) return;
        for (std::size_t j = 0; j < cells->size(); ++j) eval.series[row][j + 1] = (*cells)[j];
    };
    fill(o.rangeCells, 1);
    fill(o.thicknessCells, 2);

    EvaluationStart(state, eval, &control);
    Checkpoint();

    WritePicture(picture, PictureFormatOf(o.output), outputs.Add(o.output));
    if (!o.tableFile.empty()) WriteTable(outputs.Add(o.tableFile), eval);
    return 0;
}

int RunAmbiguity(const CliOptions& o, RunControl& control, OutputSet& outputs)
{
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);

    const PictureSizeChoice size = SetUp(o, state);
    for (const auto& s : o.settings) ApplySetting(params, s);
    AmbiguityRequest request = AmbiguityRequest::Of(params);
    request.wideband = o.wideband;
    request.delayRange = o.delayRange;
    request.dopplerRange = o.dopplerRange;
    if (o.dopplerPoints) request.dopplerPoints = *o.dopplerPoints;
    // Whether the ranges fit the probe is known once its parameters are: a
    // range that cannot make a map is a bad command line, and nothing runs.
    try {
        CheckAmbiguityRequest(request);
    } catch (const SonavirError& e) {
        throw CliUsageError(std::string("ambiguity: ") + e.what());
    }
    AddScenarioOutput(o, state, size, outputs);  // as in RunRender
    if (o.output.empty()) return 0;
    OutputFile& pictureFile = outputs.Add(o.output);

    AmbiguityResult result = ComputeAmbiguity(request, control);
    Checkpoint();
    if (result.failure) std::rethrow_exception(result.failure);

    auto toFile = [&](const std::string& path, void (*write)(const AmbiguityResult&, const CsvSink&)) {
        if (path.empty()) return;
        OutputFile& file = outputs.Add(path);
        write(result, [&](const std::string& block) {
            file.Write(block);
            Checkpoint();  // a large map has millions of lines
        });
    };
    toFile(o.mapFile, AmbiguityMapCsv);
    toFile(o.cutsFile, AmbiguityCutsCsv);
    if (!o.measuresFile.empty()) outputs.Add(o.measuresFile).Write(AmbiguityMeasuresCsv(result));
    const int width = o.size ? (*o.size)[0] : kAmbiguityWidth, height = o.size ? (*o.size)[1] : kAmbiguityHeight;
    WriteAmbiguityPicture(PlotDataOf(result), settings, std::max(width, kAmbiguityMinWidth),
                          std::max(height, kAmbiguityMinHeight), PictureFormatOf(o.output), pictureFile);
    return 0;
}

int RunSweepCommand(const CliOptions& o, RunControl& control, OutputSet& outputs)
{
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);

    const PictureSizeChoice size = SetUp(o, state);
    ApplyRunOptions(o, state);
    SweepSetup& s = state.sweep;
    if (o.sweepParam) s.param = *o.sweepParam;
    if (o.sweepValues) {
        s.values = *o.sweepValues;
        s.range = false;
    }
    if (o.sweepRange) {
        s.from = (*o.sweepRange)[0];
        s.to = (*o.sweepRange)[1];
        s.range = true;
    }
    if (o.sweepCount) s.count = *o.sweepCount;
    if (o.sweepLog) s.log = true;
    if (o.sweepCurves) {
        s.curveParam = o.sweepCurves->name;
        s.curveValues = o.sweepCurves->text;
    }
    if (o.sweepMeasures) s.measures = *o.sweepMeasures;
    if (o.stage) s.stage = *o.stage;
    ApplyTrialOptions(o, state.detection);
    if (o.seed) state.noiseSeed = o.seed;
    CheckSweepSetup(state);

    AddScenarioOutput(o, state, size, outputs);
    if (o.output.empty()) return 0;
    OutputFile& chartFile = outputs.Add(o.output);
    const SweepResult r = RunSweep(SweepRequest::Of(state), control);
    CheckFinished(r);
    WriteChart(o, state, SweepChart(r), chartFile);
    if (!o.tableFile.empty()) outputs.Add(o.tableFile).Write(SweepCsv(r));
    return 0;
}

int RunDetect(const CliOptions& o, RunControl& control, OutputSet& outputs)
{
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);

    const PictureSizeChoice size = SetUp(o, state);
    ApplyRunOptions(o, state);
    DetectionSetup& d = state.detection;
    ApplyTrialOptions(o, d);
    // The ROC curves at the SNRs asked for, unless told otherwise.
    if (o.snrDb && !o.rocSnrDb) d.rocSnrDb = d.snrDb;
    if (o.stage) d.stage = *o.stage;
    // Each list given was checked as it was read; what is left is the scenario's.
    Usage("--scenario", [&] { return ParseDetectionLists(d); });

    AddScenarioOutput(o, state, size, outputs);
    if (o.output.empty()) return 0;
    OutputFile& chartFile = outputs.Add(o.output);
    const DetectionResult r = RunDetection(DetectionRequest::Of(state), control);
    CheckFinished(r);
    WriteChart(o, state, o.pdChart ? PdSnrChart(r) : RocChart(r), chartFile);
    if (!o.tableFile.empty()) outputs.Add(o.tableFile).Write(DetectionCsv(r));
    return 0;
}

namespace {

// Every output asked for is written, or the command fails and writes none.
int RunAndCommit(const CliOptions& o, RunControl& control)
{
    OutputSet outputs;
    const int status = CliCommandOf(o.command).run(o, control, outputs);
    Checkpoint();  // Ctrl+C: nothing lands
    for (const auto& out : o.outputs)
        if (!outputs.Holds(out.path))
            throw SonavirError("Cannot create file \"" + out.path + "\". " + out.option + " was not written");
    outputs.CommitAll();
    return status;
}

}  // namespace

std::optional<int> RunCommandLine(int argc, char** argv)
{
    // No arguments, or one naming a scenario file: the windows.
    if (argc <= 1 || (argc == 2 && IsScenarioFileName(argv[1]))) return std::nullopt;
    const std::vector<std::string> args(argv + 1, argv + argc);

    CliOptions options;
    try {
        options = ParseCommandLine(args);
    } catch (const CliUsageError& e) {
        std::cerr << "sonavir: " << OneLine(e.what()) << "\n\n" << CliUsage();
        return 2;
    }
    if (options.command == CliOptions::Command::Help) {
        std::cout << CliUsage();
        return 0;
    }
    if (options.command == CliOptions::Command::Version) {
        std::cout << CliVersion() << '\n';
        return 0;
    }

    // Text in the picture needs a QGuiApplication; the command line never
    // needs a display.
    // Standard error carries the failure's message alone: Qt's own notes
    // about the environment stay out of it.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << OneLine(text.toStdString()) << '\n';
    });
    std::unique_ptr<QGuiApplication> app;
    if (!QCoreApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int appArgc = 1;
        static char* appArgv[] = {argv[0], nullptr};
        app = std::make_unique<QGuiApplication>(appArgc, appArgv);
        // Qt adopts the user's locale; numbers here are read and written by
        // our own rules, never by the C library's locale.
        std::setlocale(LC_NUMERIC, "C");
    }

    RunControl control;
    const InterruptStops interrupt(control);
    const RunScope scope(&control);
    // The progress line is wiped before any message is printed.
    auto work = [&] {
        const ProgressLine progress(control, !options.quiet);
        return RunAndCommit(options, control);
    };
    try {
        return work();
    } catch (const RunStopped&) {
        return 130;  // the outputs' set has removed its files on the way out
    } catch (const CliUsageError& e) {
        std::cerr << "sonavir: " << OneLine(e.what()) << "\n\n" << CliUsage();
        return 2;
    } catch (const std::bad_alloc&) {
        std::cerr << msg::kOutOfMemory << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << OneLine(e.what()) << '\n';
        return 1;
    }
}

}  // namespace sonavir
