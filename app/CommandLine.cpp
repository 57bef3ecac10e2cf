#include "app/CommandLine.h"

#include <QGuiApplication>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/CliOptions.h"
#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "evaluation/EvaluationState.h"
#include "evaluation/SeriesRuns.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "model/Scenario.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

// An output written beside its final name and moved there only when the whole
// command has succeeded, so a failure never leaves a partial or stale file.
class PendingFile {
public:
    explicit PendingFile(std::string path) : path_(std::move(path)), temp_(path_ + ".part") {}
    ~PendingFile() { Discard(); }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& Path() const { return path_; }

    // Starts the file afresh; the content goes through Write.
    void Open()
    {
        Discard();
        file_ = std::fopen(temp_.c_str(), "wb");
        if (!file_) Fail(errno);
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    }
    void Write(const char* data, std::size_t size)
    {
        if (std::fwrite(data, 1, size, file_) != size) Fail(errno);
    }
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    void Close()
    {
        if (!file_) return;
        const bool bad = std::ferror(file_) != 0;
        const int closed = std::fclose(file_);
        file_ = nullptr;
        if (bad || closed != 0) Fail(errno);
    }
    void Commit()
    {
        Close();
        if (std::rename(temp_.c_str(), path_.c_str()) != 0) Fail(errno);
        written_ = true;
    }
    void Discard()
    {
        if (file_) {
            std::fclose(file_);
            file_ = nullptr;
        }
        if (!written_) std::remove(temp_.c_str());
    }

private:
    [[noreturn]] void Fail(int error)
    {
        const std::string reason = std::strerror(error ? error : EIO);
        Discard();
        throw SonavirError("Cannot create file \"" + path_ + "\". " + reason);
    }

    std::string path_, temp_;
    std::FILE* file_ = nullptr;
    bool written_ = false;
};

// Numbers with a decimal point whatever the locale, 17 significant digits.
void AppendNumber(std::string& line, double value)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 17);
    line.append(buf, r.ptr);
}

void AppendIndex(std::string& line, long long value)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    line.append(buf, r.ptr);
}

// Writes in blocks: the waveform of a long run has tens of millions of lines.
class BlockWriter {
public:
    explicit BlockWriter(PendingFile& file) : file_(file) { block_.reserve(kBlock + 128); }
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
    }

private:
    static constexpr std::size_t kBlock = 1 << 20;
    PendingFile& file_;
    std::string block_;
};

void WriteWaveCsv(PendingFile& file, const TSignalData& data, int N)
{
    file.Open();
    BlockWriter w(file);
    w.Line() += "m,x";
    w.EndLine();
    for (long long m = 0; m < 2LL * N; ++m) {
        AppendIndex(w.Line(), m);
        w.Line().push_back(',');
        AppendNumber(w.Line(), data[m % 2][m / 2]);
        w.EndLine();
    }
    w.Flush();
    file.Close();
}

void WriteSpectrumCsv(PendingFile& file, const TSignalData& data, int N)
{
    file.Open();
    BlockWriter w(file);
    w.Line() += "k,re,im";
    w.EndLine();
    for (int k = 0; k < N; ++k) {
        AppendIndex(w.Line(), k);
        w.Line().push_back(',');
        AppendNumber(w.Line(), data[0][k]);
        w.Line().push_back(',');
        AppendNumber(w.Line(), data[1][k]);
        w.EndLine();
    }
    w.Flush();
    file.Close();
}

void WriteTable(PendingFile& file, const EvaluationState& eval)
{
    file.Open();
    std::string text;
    for (const auto& row : eval.result) {
        for (std::size_t j = 0; j < row.size(); ++j) {
            if (j) text.push_back(';');
            text += row[j];
        }
        text.push_back('\n');
    }
    file.Write(text);
    file.Close();
}

// The scenario first, then the options given override it; returns the
// picture size in force.
PictureSizeChoice SetUp(const CliOptions& o, MainState& state)
{
    PictureSizeChoice size;
    if (!o.scenarioFile.empty()) {
        const ScenarioRead read = ReadScenarioFile(o.scenarioFile);
        if (!read.unknownKeys.empty())
            std::cerr << "sonavir: " << o.scenarioFile << ": " << SkippedKeysNote(read.unknownKeys) << '\n';
        read.scenario.ApplyTo(state);
        size = read.scenario.size;
    }
    if (o.size) size = {false, (*o.size)[0], (*o.size)[1]};
    if (!size.autoSize) state.picture.SetSize(size.width, size.height);
    if (o.colors) state.settings.SetColorItem(*o.colors);
    return size;
}

// --save-scenario: the situation as the options set it up, before any run.
std::unique_ptr<PendingFile> ScenarioOutput(const CliOptions& o, const MainState& state,
                                            const PictureSizeChoice& size)
{
    if (o.saveScenarioFile.empty()) return nullptr;
    auto file = std::make_unique<PendingFile>(o.saveScenarioFile);
    file->Open();
    file->Write(FormatScenario(Scenario::Capture(state, size)));
    file->Close();
    return file;
}

// The picture goes last: Picture::Save replaces its file atomically, and the
// other outputs move into place only once it is written. A rename cannot
// replace a directory, so that is found before anything is moved into place.
void CommitOutputs(const Picture& picture, const std::string& output,
                   std::vector<PendingFile*> pending)
{
    for (PendingFile* f : pending) {
        std::error_code ec;
        if (std::filesystem::is_directory(f->Path(), ec))
            throw SonavirError("Cannot create file \"" + f->Path() + "\". " + std::strerror(EISDIR));
    }
    picture.Save(output);
    for (PendingFile* f : pending) f->Commit();
}

int RunRender(const CliOptions& o)
{
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);

    const PictureSizeChoice size = SetUp(o, state);
    if (o.noScale) settings.SetScale(false);
    if (o.ticks) {
        settings.amplitudeCount = PictureSettings::ClampCount((*o.ticks)[0]);
        settings.tcCount = PictureSettings::ClampCount((*o.ticks)[1]);
        settings.fCount = PictureSettings::ClampCount((*o.ticks)[2]);
    }
    for (const auto& s : o.settings) ApplySetting(params, s);
    // A switch option turns its switch on; without it the scenario's state stands.
    if (o.filter) params.filterOn = true;
    if (o.noise) params.noiseOn = true;
    if (o.norm) params.normOn = true;
    if (o.depth) params.depthOn = true;
    if (o.echoFilter) state.SetFilterMode(true);
    for (int gate : o.gatesOff) params.gates[gate] = false;
    state.noiseSeed = o.seed;
    if (o.model) state.SelectModel(*o.model);
    if (o.stage) state.SelectPath(*o.stage);  // a single model has no path: ignored

    std::unique_ptr<PendingFile> scenario = ScenarioOutput(o, state, size);
    if (o.output.empty()) {
        scenario->Commit();
        return 0;
    }
    std::unique_ptr<PendingFile> wave, spectrum;
    std::vector<PendingFile*> pending;
    if (scenario) pending.push_back(scenario.get());
    if (!o.waveFile.empty()) {
        wave = std::make_unique<PendingFile>(o.waveFile);
        pending.push_back(wave.get());
        state.onTimePlot = [&](const TSignalData& data, int N) { WriteWaveCsv(*wave, data, N); };
    }
    if (!o.spectrumFile.empty()) {
        spectrum = std::make_unique<PendingFile>(o.spectrumFile);
        pending.push_back(spectrum.get());
        state.onSpectrumPlot = [&](const TSignalData& data, int N) {
            WriteSpectrumCsv(*spectrum, data, N);
        };
    }

    state.Start();
    CommitOutputs(picture, o.output, pending);
    return 0;
}

int RunEvaluate(const CliOptions& o)
{
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);
    EvaluationState eval;

    const PictureSizeChoice size = SetUp(o, state);
    for (const auto& s : o.settings) ApplySetting(params, s);
    std::unique_ptr<PendingFile> scenario = ScenarioOutput(o, state, size);
    if (o.output.empty()) {
        scenario->Commit();
        return 0;
    }
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

    EvaluationStart(state, eval);

    std::unique_ptr<PendingFile> table;
    std::vector<PendingFile*> pending;
    if (scenario) pending.push_back(scenario.get());
    if (!o.tableFile.empty()) {
        table = std::make_unique<PendingFile>(o.tableFile);
        WriteTable(*table, eval);
        pending.push_back(table.get());
    }
    CommitOutputs(picture, o.output, pending);
    return 0;
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
        std::cerr << "sonavir: " << e.what() << "\n\n" << CliUsage();
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
        if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << text.toStdString() << '\n';
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

    try {
        return options.command == CliOptions::Command::Render ? RunRender(options)
                                                               : RunEvaluate(options);
    } catch (const CliUsageError& e) {
        std::cerr << "sonavir: " << e.what() << "\n\n" << CliUsage();
        return 2;
    } catch (const std::bad_alloc&) {
        std::cerr << msg::kOutOfMemory << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
}

}  // namespace sonavir
