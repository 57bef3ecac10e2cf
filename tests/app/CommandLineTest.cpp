#include <gtest/gtest.h>

#include <QImage>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/CliOptions.h"
#include "app/CommandLine.h"
#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "evaluation/EvaluationState.h"
#include "evaluation/SeriesRuns.h"
#include "model/AmbiguityStudy.h"
#include "model/MainState.h"
#include "model/Scenario.h"
#include "model/SonarBudget.h"
#include "signal/Errors.h"
#include "tests/support/TempDir.h"

using namespace sonavir;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Quote(const std::string& a)
{
    std::string q = "'";
    for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

using testsupport::TempDir;

// The folder's entries but the captured output of the last run.
std::vector<std::string> Files(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path))
        if (e.path().filename() != "stdout" && e.path().filename() != "stderr")
            names.push_back(e.path().filename().string());
    return names;
}

// In the folder DIR; `env`: NAME=VALUE settings (or a command such as
// `timeout 10`) for this run only.
Result RunExe(const TempDir& dir, const std::vector<std::string>& args, const std::string& env = "")
{
    std::string cmd = "cd " + Quote(dir.path.string()) + " && " + env + " " + Quote(SONAVIR_EXE);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " >" + Quote(dir / "stdout") + " 2>" + Quote(dir / "stderr");
    const int raw = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadAll(dir / "stdout");
    r.err = ReadAll(dir / "stderr");
    fs::remove(dir / "stdout");
    fs::remove(dir / "stderr");
    return r;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

int Le32(const std::string& b, int at)
{
    return static_cast<int>(static_cast<unsigned char>(b[at]) |
                            static_cast<unsigned char>(b[at + 1]) << 8 |
                            static_cast<unsigned char>(b[at + 2]) << 16 |
                            static_cast<unsigned>(static_cast<unsigned char>(b[at + 3])) << 24);
}

}  // namespace

TEST(CliExe, VersionAndHelp)
{
    TempDir dir;
    Result v = RunExe(dir, {"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "Версия 2.06 (build 242)\n");

    Result h = RunExe(dir, {"--help"});
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.out.find("sonavir render"), std::string::npos);
    EXPECT_NE(h.out.find("sonavir evaluate"), std::string::npos);
    // Every option is explained below the synopsis, and the number syntax.
    const std::string explained = h.out.substr(h.out.find("\n\n"));
    for (const char* option : {"-o", "--set", "--colors", "--size", "--model", "--stage", "--filter",
                               "--echo-filter", "--noise", "--seed", "--norm", "--depth", "--gate-off",
                               "--no-scale", "--db", "--ticks", "--time-range", "--freq-range", "--reference-stage",
                               "--reference-set", "--wave",
                               "--spectrum", "--mode", "--propagation",
                               "--points", "--range", "--thickness", "--no-norm", "--table"}) {
        const std::string o = option;
        const bool shown = explained.find("  " + o + " ") != std::string::npos ||
                           explained.find("  " + o + ",") != std::string::npos ||
                           explained.find(", " + o + " ") != std::string::npos;
        EXPECT_TRUE(shown) << option;
    }
    EXPECT_NE(h.out.find("decimal comma"), std::string::npos);
}

TEST(CliExe, RenderWritesBmpOfTheAskedSizeAndTheCsvOfEachPlot)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--size", "361x265", "--wave", dir / "w.csv",
                         "--spectrum", dir / "s.csv", "-o", dir / "p.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    const std::string bmp = ReadAll(dir / "p.bmp");
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(Le32(bmp, 18), 361);
    EXPECT_EQ(std::abs(Le32(bmp, 22)), 265);

    // Defaults: N = 512, so 1024 samples and 512 columns, each with a header.
    const auto wave = Lines(ReadAll(dir / "w.csv"));
    ASSERT_EQ(wave.size(), 2u * 512 + 1);
    EXPECT_EQ(wave[0], "m,x");
    EXPECT_EQ(wave[1], "0," + wave[1].substr(2));
    EXPECT_EQ(wave[1024].substr(0, 5), "1023,");
    // The LFM pulse is 1 at its centre sample, 247 pairs in.
    EXPECT_EQ(std::stod(wave[1 + 247].substr(wave[1 + 247].find(',') + 1)), 1.0);
    // The padding is exact zeros.
    EXPECT_EQ(wave[1 + 600], "600,0");

    const auto spectrum = Lines(ReadAll(dir / "s.csv"));
    ASSERT_EQ(spectrum.size(), 512u + 1);
    EXPECT_EQ(spectrum[0], "k,re,im");
    EXPECT_EQ(spectrum[512].substr(0, 4), "511,");
    for (const auto& l : spectrum) EXPECT_EQ(l.find(';'), std::string::npos);
}

TEST(CliExe, RenderWritesTheLedgerAndTheMeasures)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--set", "Signal=2", "--filter", "--ledger", dir / "l.csv",
                         "--measures", dir / "m.csv", "-o", dir / "p.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto ledger = Lines(ReadAll(dir / "l.csv"));
    ASSERT_EQ(ledger.size(), 9u);
    EXPECT_EQ(ledger[0], "stage,energy,db_probe,db_step,peak,peak_time");
    // The probe's own level is 0 dB either way; a Barker pulse peaks at 1 on
    // its first sample.
    EXPECT_EQ(ledger[1].substr(0, 2), "0,");
    EXPECT_EQ(ledger[1].substr(ledger[1].find(",0,0,")), ",0,0,1,0");
    EXPECT_EQ(ledger[8].substr(0, 2), "7,");

    const auto measures = Lines(ReadAll(dir / "m.csv"));
    ASSERT_EQ(measures.size(), 2u);
    EXPECT_EQ(measures[0], "peak_time,peak,width_3db,psl_db,isl_db,bt");
    std::vector<double> v;
    std::istringstream in(measures[1]);
    for (std::string cell; std::getline(in, cell, ',');) v.push_back(std::stod(cell));
    ASSERT_EQ(v.size(), 6u);
    EXPECT_NEAR(v[3], -22.28, 0.05);  // Barker-13's sidelobes at 1/13
    EXPECT_EQ(v[5], 13);
}

// --cursors: drawn on the picture, read at the nearest samples, and their
// readout after the measures, checked against the samples of the wave CSV.
TEST(CliExe, RenderCursorsDrawAndReadTheWaveSamples)
{
    TempDir dir;
    auto run = [&](const std::string& tag, const std::string& cursors) {
        std::vector<std::string> args = {"render", "--wave", dir / (tag + "w.csv"), "--measures",
                                         dir / (tag + "m.csv"), "-o", dir / (tag + ".bmp")};
        if (!cursors.empty()) args.insert(args.end(), {"--cursors", cursors});
        const Result r = RunExe(dir, args);
        EXPECT_EQ(r.status, 0) << r.err;
        return Lines(ReadAll(dir / (tag + "m.csv")));
    };
    auto cells = [](const std::string& line) {
        std::vector<std::string> v;
        std::istringstream in(line);
        for (std::string cell; std::getline(in, cell, ',');) v.push_back(cell);
        if (!line.empty() && line.back() == ',') v.push_back("");
        return v;
    };
    auto comma = [](double t) {
        std::string text = std::to_string(t);
        std::replace(text.begin(), text.end(), '.', ',');
        return text;
    };
    const auto plain = run("p", "");
    // Beyond the record B is held to its last sample: B - A gives the step.
    const auto ends = run("e", "0;1");
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0], plain[0] + ",cursor_a_pos,cursor_a,cursor_b_pos,cursor_b,cursor_delta,cursor_inverse,"
                                  "cursor_ratio_db");
    const auto wave = Lines(ReadAll(dir / "pw.csv"));
    const long long last = static_cast<long long>(wave.size()) - 2;
    const double dt = std::stod(cells(ends[1])[8]) / last;
    ASSERT_GT(dt, 0);
    const auto row = cells(run("c", comma(100.4 * dt) + ";" + comma(200.6 * dt))[1]);
    ASSERT_EQ(row.size(), 13u);
    EXPECT_EQ(std::vector<std::string>(row.begin(), row.begin() + 6), cells(plain[1]));
    const double a = std::stod(cells(wave[1 + 100])[1]), b = std::stod(cells(wave[1 + 201])[1]);
    EXPECT_NEAR(std::stod(row[6]), 100 * dt, 1e-12);
    EXPECT_EQ(std::stod(row[7]), a);
    EXPECT_NEAR(std::stod(row[8]), 201 * dt, 1e-12);
    EXPECT_EQ(std::stod(row[9]), b);
    EXPECT_NEAR(std::stod(row[10]), 101 * dt, 1e-12);
    EXPECT_NEAR(std::stod(row[11]), 1 / (101 * dt), 1e-6);
    EXPECT_NEAR(std::stod(row[12]), 20 * std::log10(std::fabs(b / a)), 1e-9);
    EXPECT_EQ(ReadAll(dir / "cw.csv"), ReadAll(dir / "pw.csv"));
    EXPECT_NE(ReadAll(dir / "c.bmp"), ReadAll(dir / "p.bmp"));
}

// `ambiguity` computes the map the window would for the same parameters and
// spans, and writes it as the library lays it out.
TEST(CliExe, AmbiguityWritesTheMapOfItsSpansAndItsCsvFiles)
{
    TempDir dir;
    Result r = RunExe(dir, {"ambiguity", "--set", "Signal=2", "--set", "V=10", "--set", "Window=1", "--delay-range",
                            "-0,002;0,003", "--doppler-range", "-200;300", "--doppler-points", "11", "--map",
                            dir / "m.csv", "--cuts", dir / "c.csv", "--measures", dir / "e.csv", "--size", "700x500",
                            "-o", dir / "a.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    ModelParameters params;
    for (const char* s : {"Signal=2", "V=10", "Window=1"})
        ApplySetting(params, ParseCommandLine({"render", "--set", s, "-o", "x"}).settings[0]);
    AmbiguityRequest q = AmbiguityRequest::Of(params);
    q.delayRange = PlotRange{-0.002L, 0.003L};
    q.dopplerRange = PlotRange{-200, 300};
    q.dopplerPoints = 11;
    RunControl control;
    const AmbiguityResult expected = ComputeAmbiguity(q, control);
    ASSERT_TRUE(expected.Done());
    std::string map, cuts;
    AmbiguityMapCsv(expected, [&](const std::string& b) { map += b; });
    AmbiguityCutsCsv(expected, [&](const std::string& b) { cuts += b; });
    EXPECT_EQ(ReadAll(dir / "m.csv"), map);
    EXPECT_EQ(ReadAll(dir / "c.csv"), cuts);
    EXPECT_EQ(ReadAll(dir / "e.csv"), AmbiguityMeasuresCsv(expected));
    EXPECT_EQ(Lines(map).size(), 1 + 11 * static_cast<std::size_t>(expected.map.columns));
    const QImage picture(QString::fromStdString(dir / "a.png"));
    EXPECT_EQ(picture.size(), QSize(700, 500));
}

// The budget of the sonar-equation levels: one row per term, the same as the
// window's budget of the situation the options set up.
TEST(CliExe, RenderWritesTheSonarBudget)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--set", "LevelModel=1", "--set", "Signal=0", "--set", "R=2", "--seed", "4",
                            "--budget", dir / "b.csv", "-o", dir / "p.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string csv = ReadAll(dir / "b.csv");
    const auto lines = Lines(csv);
    const char* names[] = {"SL", "TL_out", "TS", "TL_back", "EL", "NL", "DI", "SNR_in", "PG", "SNR_out"};
    ASSERT_EQ(lines.size(), std::size(names) + 1);
    EXPECT_EQ(lines[0], "term,equation_db,simulated_db,difference_db");
    for (std::size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(lines[i + 1].rfind(names[i] + std::string(","), 0), 0u);
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);
    params.SetLevelModel(kSonarEquation);
    params.SetSignalItem(kRadioPulse);
    params.SetRText("2");
    state.noiseSeed = 4;
    EXPECT_EQ(csv, BudgetCsv(ComputeBudget(state)));
}

// The dB view and a reference are ways of drawing: the picture changes,
// every figure the run writes stays byte for byte.
TEST(CliExe, DbViewAndReferenceChangeThePictureAndNoFigure)
{
    TempDir dir;
    auto run = [&](const std::string& tag, std::vector<std::string> extra) {
        std::vector<std::string> args = {"render", "--set", "Signal=2", "--stage", "7", "--filter"};
        for (const char* out : {"wave", "spectrum", "ledger", "measures"})
            args.insert(args.end(), {std::string("--") + out, dir / (tag + out)});
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"-o", dir / (tag + ".bmp")});
        const Result r = RunExe(dir, args);
        EXPECT_EQ(r.status, 0) << r.err;
    };
    run("lin", {});
    run("db", {"--db"});
    run("ref", {"--reference-stage", "0", "--reference-set", "R=5", "--reference-set", "Signal=1"});
    for (const std::string tag : {"db", "ref"}) {
        for (const char* out : {"wave", "spectrum", "ledger", "measures"})
            EXPECT_EQ(ReadAll(dir / (tag + out)), ReadAll(dir / (std::string("lin") + out))) << tag << out;
        EXPECT_NE(ReadAll(dir / (tag + ".bmp")), ReadAll(dir / "lin.bmp")) << tag;
    }
}

// The probe under its echo: the picture of a run at stage 7 drawn over the
// held run of stage 0, as the windows draw it.
TEST(CliExe, ReferenceStageDrawsTheHeldStageUnderTheRun)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--stage", "7", "--reference-stage", "0", "-o", dir / "p.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);
    state.Start();
    state.HoldReference();
    state.SelectPath(7);
    state.Start();
    picture.Save(dir / "q.bmp");
    EXPECT_EQ(ReadAll(dir / "p.bmp"), ReadAll(dir / "q.bmp"));
}

TEST(CliExe, CsvFilesHoldTheBuffersOfTheRun)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--stage", "3", "--filter", "--wave", dir / "w.csv",
                         "--spectrum", dir / "s.csv", "-o", dir / "p.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;

    // The same run in this process, its plotted buffers kept.
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);
    params.filterOn = true;
    state.SelectPath(3);
    TSignalData wave, spectrum;
    state.onTimePlot = [&](const TSignalData& d, int) { wave = d; };
    state.onSpectrumPlot = [&](const TSignalData& d, int) { spectrum = d; };
    state.Start();
    const int N = state.SignalSize;

    // Every value, read back at its 17 digits, is the buffer's own.
    const auto waveLines = Lines(ReadAll(dir / "w.csv"));
    ASSERT_EQ(waveLines.size(), 2u * N + 1);
    for (int m = 0; m < 2 * N; ++m) {
        const std::string& l = waveLines[m + 1];
        ASSERT_EQ(l.substr(0, l.find(',')), std::to_string(m));
        ASSERT_EQ(std::stod(l.substr(l.find(',') + 1)), wave[m % 2][m / 2]) << l;
    }
    const auto spectrumLines = Lines(ReadAll(dir / "s.csv"));
    ASSERT_EQ(spectrumLines.size(), N + 1u);
    for (int k = 0; k < N; ++k) {
        std::istringstream l(spectrumLines[k + 1]);
        std::string index, re, im;
        std::getline(l, index, ',');
        std::getline(l, re, ',');
        std::getline(l, im, ',');
        ASSERT_EQ(index, std::to_string(k));
        ASSERT_EQ(std::stod(re), spectrum[0][k]) << k;
        ASSERT_EQ(std::stod(im), spectrum[1][k]) << k;
    }
}

// A range zooms the picture as the window's zoom does and keeps exactly the
// CSV rows it holds; one beyond the record is held to it.
TEST(CliExe, RangesZoomThePictureAndPickTheCsvRows)
{
    TempDir dir;
    auto render = [&](const std::string& tag, std::vector<std::string> ranges) {
        std::vector<std::string> args = {"render", "--stage", "7", "--wave", dir / (tag + "w.csv"),
                                         "--spectrum", dir / (tag + "s.csv"), "-o",
                                         dir / (tag + "p.bmp")};
        args.insert(args.end(), ranges.begin(), ranges.end());
        const Result r = RunExe(dir, args);
        EXPECT_EQ(r.status, 0) << r.err;
    };
    render("full", {});
    render("zoom", {"--time-range", "0,004;0,0061", "--freq-range", "9000;11000,5"});
    render("held", {"--time-range", "-1;100", "--freq-range", "-5;1E6"});

    // Rows m with 0,004 <= m·Dt <= 0,0061 and k with 9000 <= k/(2N·Dt) <= 11000,5,
    // lines of the full files as they are.
    const long double Dt = 1.0L / 49392;
    const auto fullWave = Lines(ReadAll(dir / "fullw.csv")), fullSpectrum = Lines(ReadAll(dir / "fulls.csv"));
    std::vector<std::string> wave = {fullWave[0]}, spectrum = {fullSpectrum[0]};
    for (long long m = 0; m + 1 < (long long)fullWave.size(); ++m)
        if (0.004L <= m * Dt && m * Dt <= 0.0061L) wave.push_back(fullWave[m + 1]);
    for (long long k = 0; k + 1 < (long long)fullSpectrum.size(); ++k)
        if (9000 <= k / (1024 * Dt) && k / (1024 * Dt) <= 11000.5L) spectrum.push_back(fullSpectrum[k + 1]);
    EXPECT_EQ(wave.size(), 1u + 104);  // the header, samples 198 .. 301
    EXPECT_EQ(Lines(ReadAll(dir / "zoomw.csv")), wave);
    EXPECT_EQ(Lines(ReadAll(dir / "zooms.csv")), spectrum);

    // The picture of the same zoom in the window's model.
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);
    state.SelectPath(7);
    state.zoom.time = PlotRange{0.004L, 0.0061L};
    state.zoom.frequency = PlotRange{9000, 11000.5L};
    state.Start();
    picture.Save(dir / "window.bmp");
    EXPECT_EQ(ReadAll(dir / "zoomp.bmp"), ReadAll(dir / "window.bmp"));
    EXPECT_NE(ReadAll(dir / "zoomp.bmp"), ReadAll(dir / "fullp.bmp"));

    // Held to the record, the ranges take in all of it.
    for (const char* file : {"p.bmp", "w.csv", "s.csv"})
        EXPECT_EQ(ReadAll(dir / (std::string("held") + file)), ReadAll(dir / (std::string("full") + file))) << file;
}

TEST(CliExe, EvaluateTableIsTheTableOfTheSameSeries)
{
    // The matched-filter mode, with and without the rescaling, as the
    // evaluation window would run it.
    struct Case {
        std::vector<std::string> args;
        bool norm;
        int propagation;
        int signal;
    };
    const Case cases[] = {
        {{}, true, 0, kLfmPulse},
        {{"--no-norm", "--propagation", "2", "--set", "Signal=2"}, false, 2, kBarkerPulse}};
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> args = {"evaluate", "--table", dir / "t.csv", "-o",
                                         dir / "c.bmp"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Result r = RunExe(dir, args);
        ASSERT_EQ(r.status, 0) << r.err;

        ModelParameters params;
        PictureSettings settings;
        Picture picture;
        MainState state(params, settings, picture);
        EvaluationState eval;
        params.SetSignalItem(c.signal);
        eval.filterNorm = c.norm;
        eval.propagationItem = c.propagation;
        EvaluationStart(state, eval);

        const auto rows = Lines(ReadAll(dir / "t.csv"));
        ASSERT_EQ(rows.size(), eval.result.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::string want;
            for (std::size_t j = 0; j < eval.result[i].size(); ++j)
                want += (j ? ";" : "") + eval.result[i][j];
            EXPECT_EQ(rows[i], want) << "row " << i;
        }
    }
}

TEST(CliExe, DefaultPictureSizeAndModelView)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--model", "2", "--colors", "1", "--no-scale", "-o",
                         dir / "p.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string bmp = ReadAll(dir / "p.bmp");
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(Le32(bmp, 18), 785);
    EXPECT_EQ(std::abs(Le32(bmp, 22)), 484);
}

// -o picks the picture's format by the name's extension, in any case; any
// other name is a BMP, as before.
TEST(CliExe, PictureFormatFollowsTheExtension)
{
    TempDir dir;
    for (const char* name : {"p.bmp", "p.PNG", "p.svg", "p.Pdf", "p.jpg"}) {
        Result r = RunExe(dir, {"render", "--colors", "1", "-o", dir / name});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    }
    EXPECT_EQ(ReadAll(dir / "p.jpg"), ReadAll(dir / "p.bmp"));
    const QImage png(QString::fromStdString(dir / "p.PNG"), "PNG");
    EXPECT_EQ(png.format(), QImage::Format_Indexed8);
    EXPECT_TRUE(png == QImage(QString::fromStdString(dir / "p.bmp"), "BMP"));
    EXPECT_NE(ReadAll(dir / "p.svg").find("f, </text>"), std::string::npos);
    EXPECT_EQ(ReadAll(dir / "p.Pdf").substr(0, 5), "%PDF-");

    Result e = RunExe(dir, {"evaluate", "-o", dir / "e.svg"});
    ASSERT_EQ(e.status, 0) << e.err;
    EXPECT_NE(ReadAll(dir / "e.svg").find(">Глубина, км</text>"), std::string::npos);
}

TEST(CliExe, RejectedParameterTextExitsOneWithTheControlsMessage)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--set", "R=0.5", "--wave", dir / "w.csv", "-o",
                         dir / "p.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "'0.5' is not a valid floating point value\n");
    EXPECT_TRUE(Files(dir).empty());

    // The same value with the decimal comma is taken.
    Result ok = RunExe(dir, {"render", "--set", "R=0,5", "-o", dir / "p.bmp"});
    EXPECT_EQ(ok.status, 0) << ok.err;

    // A reference's parameters are taken by the same controls.
    Result ref = RunExe(dir, {"render", "--reference-set", "R=0.5", "-o", dir / "q.bmp"});
    EXPECT_EQ(ref.status, 1);
    EXPECT_EQ(ref.err, "'0.5' is not a valid floating point value\n");
    EXPECT_EQ(Files(dir), std::vector<std::string>{"p.bmp"});
}

TEST(CliExe, FailedRunWritesNothing)
{
    TempDir dir;
    // A Barker code shorter than its 13 chips leaves an empty pulse.
    Result r = RunExe(dir, {"render", "--set", "Signal=2", "--set", "Tc=0,001", "--wave",
                         dir / "w.csv", "--ledger", dir / "l.csv", "--measures",
                         dir / "m.csv", "-o", dir / "p.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Floating point division by zero\n");
    EXPECT_TRUE(Files(dir).empty());
}

TEST(CliExe, FailedPictureSaveLeavesNoCsvBehind)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--stage", "7", "--wave", dir / "w.csv", "--spectrum",
                         dir / "s.csv", "-o", dir / "missing/p.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err).size(), 1u);
    EXPECT_NE(r.err.find("Cannot create file"), std::string::npos) << r.err;
    EXPECT_TRUE(Files(dir).empty());
}

TEST(CliExe, OutputThatIsADirectoryWritesNothing)
{
    TempDir dir;
    fs::create_directory(dir / "w.csv");
    std::ofstream(dir / "p.bmp") << "the old picture";
    Result r = RunExe(dir, {"render", "--wave", dir / "w.csv", "--spectrum",
                         dir / "s.csv", "-o", dir / "p.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot create file \"" + dir / "w.csv" + "\". Is a directory\n");
    auto files = Files(dir);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"p.bmp", "w.csv"}));
    EXPECT_TRUE(fs::is_directory(dir / "w.csv"));
    EXPECT_EQ(ReadAll(dir / "p.bmp"), "the old picture");
}

// Temporary files have names of their own: an output named like another's
// temporary file, a user's file of that kind and the longest file name all
// come through.
TEST(CliExe, TemporaryFilesTakeNoNameOfTheUsers)
{
    TempDir dir;
    std::ofstream(dir / "d.csv.part") << "mine";
    Result failed = RunExe(dir, {"render", "--set", "R=x", "--wave", dir / "d.csv", "-o",
                              dir / "p.bmp"});
    EXPECT_EQ(failed.status, 1);
    Result r = RunExe(dir, {"render", "--wave", dir / "d.csv", "-o",
                         dir / "d.csv.part"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(ReadAll(dir / "d.csv"))[0], "m,x");
    EXPECT_EQ(ReadAll(dir / "d.csv.part").substr(0, 2), "BM");

    const std::string longest(250, 'n');
    Result l = RunExe(dir, {"render", "-o", dir / longest});
    EXPECT_EQ(l.status, 0) << l.err;
    EXPECT_EQ(Files(dir).size(), 3u);
}

// A signal while a long waveform is being written: SIGTERM ends the run at
// once, Ctrl+C (SIGINT) stops it and the command exits 130; either way its
// temporary files go with it.
TEST(CliExe, InterruptedRunLeavesNoTemporaryFile)
{
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        TempDir dir;
        const std::string wave = dir / "big.csv", picture = dir / "p.bmp";
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::freopen("/dev/null", "w", stderr);
            execl(SONAVIR_EXE, SONAVIR_EXE, "render", "--set", "Tc=8", "--set", "KofDiscret=64", "--wave",
                  wave.c_str(), "-o", picture.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Waits for the temporary file of the waveform, seconds of writing.
        bool writing = false;
        for (int i = 0; i < 60000 && !writing; ++i) {
            writing = !Files(dir).empty();
            if (!writing) usleep(1000);
        }
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(writing);
        if (sig == SIGTERM) {
            ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it could be interrupted";
            EXPECT_EQ(WTERMSIG(status), SIGTERM);
        } else {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 130);
        }
        EXPECT_TRUE(Files(dir).empty());
    }
}

// Control characters in names and texts are shown escaped: one line, and
// nothing the terminal would act on.
TEST(CliExe, MessagesQuoteControlCharactersEscaped)
{
    TempDir dir;
    const std::string out = dir / "p.bmp";
    Result text = RunExe(dir, {"render", "--set", "R=1\n2", "-o", out});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.err, "'1\\n2' is not a valid floating point value\n");
    const std::string folder = dir / "no\x1b[2J";
    Result file = RunExe(dir, {"render", "-o", folder + "/p.bmp"});
    EXPECT_EQ(file.status, 1);
    EXPECT_EQ(file.err, "Cannot create file \"" + dir / "no\\x1b[2J" +
                            "/p.bmp\". No such file or directory\n");
    Result option = RunExe(dir, {"render", "--x\ry", "-o", out});
    EXPECT_EQ(option.status, 2);
    EXPECT_EQ(Lines(option.err)[0], "sonavir: unknown option '--x\\ry'");
    EXPECT_TRUE(Files(dir).empty());

    EXPECT_EQ(OneLine("Привет\t\x7f\xc2\x9b\xff\xc0\xaf\xed\xa0\x80|\xf0\x9f\x98\x80"),
              "Привет\\t\\x7f\\u009b\\xff\\xc0\\xaf\\xed\\xa0\\x80|\xf0\x9f\x98\x80");
}

TEST(CliExe, BadCommandLinesExitTwo)
{
    TempDir dir;
    const std::string out = dir / "p.bmp";
    // A link to a file that does not exist yet, in a folder of its own.
    TempDir other;
    fs::create_symlink("x.bmp", other / "link.csv");
    struct Bad {
        std::vector<std::string> args;
        std::string message;  // how the first line begins: it names the offending option
    };
    const std::vector<Bad> bad = {
        {{"render", "--set", "Foo=1", "-o", out}, "--set: unknown parameter"},
        {{"render", "--set", "KofDiscret=32", "-o", out}, "--set KofDiscret: "},
        {{"render", "--set", "Signal=3", "-o", out}, "--set Signal: "},
        {{"render", "--set", "Snr=0", "-o", out}, "--set Snr: "},
        {{"render", "--size", "0x10", "-o", out}, "--size: "},
        {{"render", "--size", "20001x300", "-o", out}, "--size: "},
        {{"render", "--size", "359x300", "-o", out}, "--size: "},
        {{"render", "--size", "400x263", "-o", out}, "--size: "},
        {{"render", "--size", "100", "-o", out}, "--size: "},
        {{"render", "--stage", "8", "-o", out}, "--stage: "},
        {{"render", "--gate-off", "7", "-o", out}, "--gate-off: "},
        {{"render"}, "-o FILE is required"},
        {{"render", "--points", "5", "-o", out}, "--points is an option of evaluate"},
        {{"evaluate", "--points", "3", "--range", "0;1;2;3", "-o", out}, "--range: "},
        {{"evaluate", "--points", "16", "-o", out}, "--points: "},
        // A short list would leave the last points at the window's cells.
        {{"evaluate", "--points", "8", "--range", "1;2;3;4;5;6;7", "-o", out}, "--range: "},
        {{"evaluate", "--thickness", "0;1", "-o", out}, "--thickness: "},
        // Parameters that no series reads.
        {{"evaluate", "--set", "Dt=1", "-o", out}, "--set Dt: "},
        {{"evaluate", "--set", "Radius=x", "-o", out}, "--set Radius: "},
        {{"evaluate", "--set", "V=10", "-o", out}, "--set V: "},
        {{"evaluate", "--mode", "1", "--set", "Signal=2", "-o", out}, "--set Signal: "},
        // Two outputs into one file, however the name is spelled: as given,
        // through ".", relative to the working folder, through a link to a
        // file still to be made.
        {{"render", "--wave", out, "-o", out}, "--wave and -o name the same file"},
        {{"render", "--wave", dir / "a.csv", "--spectrum",
          (dir.path / "." / "a.csv").string(), "-o", out}, "--wave and --spectrum name the same file"},
        {{"render", "-o", "x.bmp", "--wave", "./x.bmp"}, "-o and --wave name the same file"},
        {{"render", "-o", dir / "x.bmp", "--wave", "x.bmp"}, "-o and --wave name the same file"},
        {{"render", "-o", other / "x.bmp", "--spectrum", other / "link.csv"}, "-o and --spectrum name the same file"},
        {{"evaluate", "--table", dir / "t.txt", "-o", dir / "t.txt"}, "--table and -o name the same file"},
        {{"render", "--ledger", out, "-o", out}, "--ledger and -o name the same file"},
        {{"render", "--measures", dir / "a.csv", "--ledger", dir / "a.csv", "-o", out},
         "--measures and --ledger name the same file"},
        {{"evaluate", "--ledger", dir / "l.csv", "-o", out}, "--ledger is an option of render"},
        {{"render", "--save-scenario", out, "-o", out}, "--save-scenario and -o name the same file"},
        // Without -o only a scenario may be written; nothing asked is dropped.
        {{"render", "--save-scenario", dir / "a.svr", "--wave", dir / "w.csv"}, "-o FILE is required with --wave"},
        {{"render", "--save-scenario", dir / "s.svr", "--ledger", dir / "l.csv", "--measures", dir / "m.csv"},
         "-o FILE is required with --ledger"},
        // One value each: the last one would silently win.
        {{"render", "-o", dir / "a.bmp", "-o", dir / "b.bmp"}, "-o is given twice"},
        {{"render", "--wave", dir / "a.csv", "--wave", dir / "b.csv", "-o", out}, "--wave is given twice"},
        {{"render", "--stage", "1", "--stage", "2", "-o", out}, "--stage is given twice"},
        {{"draw", "-o", out}, "unknown command 'draw'"},
        // Ranges: reversed, empty, not numbers, a decimal point, one end.
        {{"render", "--time-range", "0,01;0,005", "--wave", dir / "w.csv", "-o", out}, "--time-range: "},
        {{"render", "--freq-range", "9000;9000", "-o", out}, "--freq-range: "},
        {{"render", "--time-range", "a;0,5", "-o", out}, "--time-range: "},
        {{"render", "--time-range", "0.001;0.002", "-o", out}, "--time-range: "},
        {{"render", "--freq-range", "1000", "-o", out}, "--freq-range: "},
        {{"render", "--freq-range", "1;2;3", "-o", out}, "--freq-range: "},
        {{"evaluate", "--time-range", "0;1", "-o", out}, "--time-range is an option of render"},
        // A reference: refused like --stage and --set.
        {{"render", "--reference-stage", "8", "-o", out}, "--reference-stage: "},
        {{"render", "--reference-set", "Foo=1", "-o", out}, "--reference-set: "},
        {{"render", "--reference-set", "R", "-o", out}, "--reference-set: "},
        {{"render", "--reference-set", "Signal=3", "-o", out}, "--reference-set Signal: "},
        {{"evaluate", "--reference-stage", "0", "-o", out}, "--reference-stage is an option of render"},
        {{"evaluate", "--db", "-o", out}, "--db is an option of render"},
        // The ambiguity map's spans: refused as written, or once the probe
        // they must fit is known (Tc is 0,01 s by default), before any run.
        {{"ambiguity", "--delay-range", "0,01;0,005", "--map", dir / "m.csv", "-o", out}, "--delay-range: "},
        {{"ambiguity", "--doppler-range", "5;5", "--cuts", dir / "c.csv", "-o", out}, "--doppler-range: "},
        {{"ambiguity", "--doppler-points", "0", "-o", out}, "--doppler-points: "},
        {{"ambiguity", "--delay-range", "0,5;0,6", "--measures", dir / "m.csv", "-o", out}, "ambiguity: the delay"},
        {{"ambiguity", "--delay-range", "0,011;0,012", "--save-scenario", dir / "s.svr"},
         "ambiguity: the delay"},
        {{"ambiguity", "--wideband", "--doppler-range", "-9000;100", "--map", dir / "m.csv", "-o", out},
         "ambiguity: the wideband"},
        {{"ambiguity", "--map", dir / "m.csv"}, "-o FILE is required with --map"},
        {{"ambiguity", "--measures", out, "-o", out}, "--measures and -o name the same file"},
        {{"render", "--map", dir / "m.csv", "-o", out}, "--map is an option of ambiguity"},
        {{"evaluate", "--measures", dir / "m.csv", "-o", out}, "--measures is an option of render and ambiguity"},
        // The teaching levels have no budget; not even the scenario is written.
        {{"render", "--budget", dir / "b.csv", "--save-scenario", dir / "s.svr", "-o", out}, "--budget: "},
        {{"render", "--set", "LevelModel=1", "--budget", dir / "b.csv"}, "-o FILE is required with --budget"},
        // Sweeps and trials: names are refused with the valid ones, the
        // set-up whole before anything runs.
        {{"sweep", "--param", "Foo", "--values", "1", "-o", out}, "--param: unknown parameter 'Foo'; valid names: Signal, F0,"},
        {{"sweep", "--values", "512", "-o", out}, "--param NAME is required; valid names: Signal"},
        {{"sweep", "--param", "FD", "--values", "512", "--measure", "peak,foo", "--table", dir / "t.csv", "-o", out},
         "--measure: unknown measure 'foo'; valid names: energy, db_probe, peak,"},
        {{"sweep", "--param", "FD", "--values", "512", "--curves", "Foo=1", "-o", out}, "--curves: unknown parameter 'Foo'"},
        {{"sweep", "--param", "FD", "--values", "512;x", "-o", out}, "--values: FD=x"},
        {{"sweep", "--param", "FD", "--range", "1;2;3", "-o", out}, "--range: "},
        {{"sweep", "--param", "FD", "--values", "1", "--range", "1;2", "-o", out}, "--values and --range"},
        {{"sweep", "--param", "FD", "--values", "512", "--measure", "pd", "--pfa", "0", "-o", out}, "--pfa: "},
        {{"detect", "--snr-db", "abc", "--table", dir / "d.csv", "-o", out}, "--snr-db: "},
        {{"detect", "--snr-db", "10", "--pfa", "2", "-o", out}, "--pfa: "},
        {{"detect", "--chart", "x", "-o", out}, "--chart: "},
        {{"detect", "--levels", "3", "--pfa", "1E-3", "-o", out}, "--levels gives the thresholds"},
        {{"detect", "--filter", "-o", out}, "--filter is an option of render and sweep"},
        {{"evaluate", "--snr-db", "1", "-o", out}, "--snr-db is an option of detect"},
    };
    for (const auto& [args, message] : bad) {
        Result r = RunExe(dir, args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_NE(r.err.find("Usage"), std::string::npos);
        EXPECT_EQ(r.err.rfind("sonavir: " + message, 0), 0u) << r.err.substr(0, r.err.find('\n'));
    }
    EXPECT_EQ(Files(other), std::vector<std::string>{"link.csv"});
    const std::string foo = RunExe(dir, {"render", "--reference-set", "Foo=1", "-o", out}).err;
    EXPECT_EQ(foo.substr(0, foo.find('\n')), "sonavir: --reference-set: unknown parameter 'Foo'");
    Result unread = RunExe(dir, {"evaluate", "--set", "GruntHeight=2", "-o", out});
    EXPECT_EQ(unread.err.substr(0, unread.err.find('\n')),
              "sonavir: --set GruntHeight: a parameter the series does not read");
    // A size names the range of the side that is out of it.
    EXPECT_NE(RunExe(dir, {"render", "--size", "359x300", "-o", out})
                  .err.find("sonavir: --size: Горизонтальный размер изображения должен быть от 360 до 20000 точек"),
              std::string::npos);
    EXPECT_TRUE(Files(dir).empty());
}

// A second path to the same figures: each point run alone by render, its
// ledger and measures CSV.
TEST(CliExe, SweepTableHoldsTheFiguresOfEachPointRunAlone)
{
    TempDir dir;
    Result r = RunExe(dir, {"sweep", "--param", "FD", "--values", "512;2048", "--filter", "--measure",
                            "energy,db_probe,peak_time,peak,width_3db,psl_db,isl_db", "--table", dir / "t.csv",
                            "-o", dir / "c.svg"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto table = Lines(ReadAll(dir / "t.csv"));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0], "FD,energy,db_probe,peak_time,peak,width_3db,psl_db,isl_db");
    for (const auto& [row, fd] : {std::pair{1, "512"}, {2, "2048"}}) {
        ASSERT_EQ(RunExe(dir, {"render", "--set", std::string("FD=") + fd, "--filter", "--stage", "7", "--ledger",
                               dir / "l.csv", "--measures", dir / "m.csv", "-o", dir / "p.bmp"})
                      .status,
                  0);
        const std::string stage = Lines(ReadAll(dir / "l.csv"))[8];  // "7,energy,db_probe,..."
        const std::string m = Lines(ReadAll(dir / "m.csv"))[1];      // peak_time,...,isl_db,bt
        const std::string ledger = stage.substr(2, stage.find(',', stage.find(',', 2) + 1) - 2);
        EXPECT_EQ(table[row], fd + ("," + ledger) + "," + m.substr(0, m.rfind(','))) << fd;
    }
}

TEST(CliExe, DetectTableRepeatsWithItsSeedAndMeetsMarcumsQ)
{
    TempDir dir;
    auto table = [&](const std::string& seed) {
        Result r = RunExe(dir, {"detect", "--snr-db", "8;13", "--pfa", "1E-3", "--trials", "4000", "--seed", seed,
                                "--table", dir / "d.csv", "-o", dir / "roc.png"});
        EXPECT_EQ(r.status, 0) << r.err;
        return ReadAll(dir / "d.csv");
    };
    const std::string a = table("3");
    EXPECT_EQ(a, table("3"));
    EXPECT_NE(a, table("4"));
    const auto lines = Lines(a);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "snr_db,pfa,threshold,trials,pd,pd_low,pd_high,pfa_measured,pd_theory");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<double> v;
        std::istringstream in(lines[i]);
        for (std::string cell; std::getline(in, cell, ',');) v.push_back(std::stod(cell));
        ASSERT_EQ(v.size(), 9u);
        EXPECT_NEAR(v[2], std::sqrt(-2 * std::log(1e-3)), 1e-12);  // T/sigma from the wanted Pfa
        EXPECT_LE(v[5], v[4]) << lines[i];  // the interval holds the measured Pd
        EXPECT_GE(v[6], v[4]) << lines[i];
        // Marcum's Q within 3,3 binomial sigmas (one miss in a thousand).
        EXPECT_NEAR(v[4], v[8], 3.3 * std::sqrt(v[8] * (1 - v[8]) / v[3])) << lines[i];
    }
}

TEST(CliExe, NoiseSeedMakesRunsRepeatable)
{
    TempDir dir;
    auto wave = [&](const std::string& seed) {
        Result r = RunExe(dir, {"render", "--noise", "--seed", seed, "--set", "Snr=10", "--wave",
                             dir / "w.csv", "-o", dir / "p.bmp"});
        EXPECT_EQ(r.status, 0) << r.err;
        return ReadAll(dir / "w.csv");
    };
    const std::string a = wave("7"), b = wave("7"), c = wave("8");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(CliExe, EvaluateWritesTheResultTable)
{
    TempDir dir;
    Result r = RunExe(dir, {"evaluate", "--mode", "1", "--points", "3", "--range", "0;1;2",
                         "--thickness", "0;1;2", "--table", dir / "t.txt", "-o",
                         dir / "c.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Lines(ReadAll(dir / "t.txt"));
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows[0], ";1;2;3");
    EXPECT_EQ(rows[1].substr(0, rows[1].find(';')), "Радиоимпульс");
    EXPECT_EQ(rows[1].substr(rows[1].find(';'), 3), ";1;");  // relative to point 1
    EXPECT_EQ(rows[4], ";;;");
    EXPECT_EQ(ReadAll(dir / "c.bmp").substr(0, 2), "BM");

    // A cell that is no number stops the run; nothing is written.
    TempDir bad;
    Result f = RunExe(bad, {"evaluate", "--range", "0;x;2;4;8;16", "--table", bad / "t.txt", "-o",
                         bad / "c.bmp"});
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.err, "'x' is not a valid floating point value\n");
    EXPECT_TRUE(Files(bad).empty());
}

TEST(CliExe, ScenarioRoundTripGivesTheSameRunByteForByte)
{
    TempDir dir;
    auto path = [&](const std::string& name) { return dir / name; };
    // One of nearly everything, the situation saved as the options set it up.
    const std::vector<std::string> situation = {
        "render", "--set", "Signal=0", "--set", "F0=3700", "--set", "Tc=0,05", "--set", "KofDiscret=8",
        "--set", "Antenna=0", "--set", "Q=15", "--set", "R=0,5", "--set", "Grunt=1", "--set", "GruntHeight=1",
        "--set", "Dt=3E-5", "--stage", "5", "--filter", "--echo-filter", "--norm", "--depth", "--gate-off", "2",
        "--colors", "1", "--ticks", "3,5,7", "--size", "400x300"};
    auto run = [&](std::vector<std::string> args, const char* tag) {
        const std::string t = tag;
        args.insert(args.end(), {"--wave", path(t + "w.csv"), "--spectrum", path(t + "s.csv"), "-o", path(t + "p.bmp")});
        Result r = RunExe(dir, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
    };
    auto saved = situation;
    saved.insert(saved.end(), {"--save-scenario", path("a.svr")});
    run(saved, "a");
    // Without -o only the scenario is written, and it is the same.
    auto alone = situation;
    alone.insert(alone.end(), {"--save-scenario", path("b.svr")});
    ASSERT_EQ(RunExe(dir, alone).status, 0);
    EXPECT_EQ(ReadAll(dir / "b.svr"), ReadAll(dir / "a.svr"));

    run({"render", "--scenario", path("a.svr")}, "c");
    for (const char* f : {"w.csv", "s.csv", "p.bmp"})
        EXPECT_EQ(ReadAll(dir / (std::string("a") + f)), ReadAll(dir / (std::string("c") + f))) << f;

    // Options given after it override the scenario; the rest stays.
    ASSERT_EQ(RunExe(dir, {"render", "--scenario", path("a.svr"), "--set", "F0=10300", "--stage", "2",
                           "--save-scenario", path("d.svr")}).status, 0);
    auto a = Lines(ReadAll(dir / "a.svr")), d = Lines(ReadAll(dir / "d.svr"));
    ASSERT_EQ(a.size(), d.size());
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != d[i]) changed.push_back(d[i]);
    // A new F0 derives the step again, as typing it would.
    EXPECT_EQ(changed, (std::vector<std::string>{"F0=10300", "Dt=1,213592233E-5", "Stage=2"}));
}

TEST(CliExe, BadOrMissingScenarioExitsOneAndWritesNothing)
{
    TempDir dir;
    const std::string bad = dir / "bad.svr";
    std::ofstream(bad) << "[Scenario]\nVersion=1\nSignal=1\nR=0.5\n";
    Result r = RunExe(dir, {"render", "--scenario", bad, "--save-scenario", dir / "s.svr", "-o",
                           dir / "p.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Сценарий \"" + bad + "\", строка 4, ключ R: '0.5' is not a valid floating point value\n");
    Result m = RunExe(dir, {"evaluate", "--scenario", dir / "none.svr", "-o", dir / "p.bmp"});
    EXPECT_EQ(m.status, 1);
    EXPECT_EQ(m.err.rfind("Cannot open file", 0), 0u) << m.err;
    EXPECT_EQ(Files(dir), std::vector<std::string>{"bad.svr"});

    // Keys of a newer version are skipped with a note.
    const std::string newer = dir / "newer.svr";
    std::ofstream(newer) << "[Scenario]\nVersion=2\nGridLines=1\n";
    Result n = RunExe(dir, {"render", "--scenario", newer, "-o", dir / "p.bmp"});
    EXPECT_EQ(n.status, 0);
    EXPECT_EQ(n.err, "sonavir: " + newer + ": Пропущены неизвестные ключи: GridLines\n");
}

// A pipe is refused before it is read (it would wait for a writer forever),
// and the keys a file names are quoted escaped.
TEST(CliExe, PipeAsScenarioIsRefusedAndSkippedKeysAreQuotedEscaped)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo.svr").c_str(), 0600), 0);
    Result pipe = RunExe(dir, {"render", "--scenario", dir / "fifo.svr", "-o", dir / "p.bmp"}, "timeout 20");
    EXPECT_EQ(pipe.status, 1);
    EXPECT_EQ(pipe.err, "Cannot open file \"" + dir / "fifo.svr" + "\". Not a regular file\n");

    std::ofstream(dir / "keys.svr") << "[Scenario]\nVersion=1\nG\x1b[2J=1\n";
    Result keys = RunExe(dir, {"render", "--scenario", dir / "keys.svr", "-o", dir / "p.bmp"});
    EXPECT_EQ(keys.status, 0);
    EXPECT_EQ(keys.err, "sonavir: " + dir / "keys.svr" + ": Пропущены неизвестные ключи: G\\x1b[2J\n");
}

// The picture's face is built in: a machine whose fontconfig finds no fonts at
// all, or asks for other hinting, draws the same picture byte for byte.
TEST(CliExe, PictureIsTheSameWhateverFontconfigFinds)
{
    TempDir dir;
    {
        std::ofstream(dir / "empty.conf") << "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n";
        std::ofstream(dir / "hinting.conf")
            << "<?xml version=\"1.0\"?><fontconfig><include ignore_missing=\"yes\">"
               "/etc/fonts/fonts.conf</include><match target=\"font\">"
               "<edit name=\"autohint\" mode=\"assign\"><bool>true</bool></edit>"
               "<edit name=\"embeddedbitmap\" mode=\"assign\"><bool>true</bool></edit>"
               "</match></fontconfig>\n";
    }
    auto render = [&](const std::string& config, const std::string& name) {
        const std::string env = config.empty() ? "" : "FONTCONFIG_FILE=" + Quote(dir / config);
        Result r = RunExe(dir, {"render", "-o", dir / name}, env);
        EXPECT_EQ(r.status, 0) << r.err;
        return ReadAll(dir / name);
    };
    const std::string normal = render("", "normal.bmp");
    ASSERT_GT(normal.size(), 54u);
    EXPECT_TRUE(render("empty.conf", "empty.bmp") == normal);
    EXPECT_TRUE(render("hinting.conf", "hinting.bmp") == normal);
}

TEST(CliParse, OptionsAndSettingsKeepTheirOrder)
{
    const CliOptions o = ParseCommandLine({"render", "--set", "Tc=0,1", "--gate-off", "3",
                                           "--set", "KofDiscret=64", "--gate-off", "0",
                                           "--ticks", "2,40,0", "--seed", "4294967295", "-o", "x"});
    EXPECT_EQ(o.command, CliOptions::Command::Render);
    ASSERT_EQ(o.settings.size(), 2u);
    EXPECT_EQ(o.settings[0].name, "Tc");
    EXPECT_EQ(o.settings[0].text, "0,1");
    EXPECT_EQ(o.settings[1].text, "64");
    EXPECT_EQ(o.gatesOff, (std::vector<int>{3, 0}));
    ASSERT_TRUE(o.ticks);
    EXPECT_EQ((*o.ticks)[1], 40);
    EXPECT_EQ(o.seed, 4294967295u);

    // One argument naming a scenario starts the windows.
    char program[] = "sonavir", lab[] = "lab 3.svr";
    char* argv[] = {program, lab, nullptr};
    EXPECT_FALSE(RunCommandLine(2, argv));

    // A text with '=' keeps everything after the first one.
    EXPECT_EQ(ParseCommandLine({"render", "--set", "K=1=2", "-o", "x"}).settings[0].text, "1=2");
    // Options of the other command are refused.
    EXPECT_THROW(ParseCommandLine({"evaluate", "--stage", "1", "-o", "x"}), CliUsageError);
    EXPECT_THROW(ParseCommandLine({"render", "--seed", "-1", "-o", "x"}), CliUsageError);
    EXPECT_THROW(ParseCommandLine({"render", "--ticks", "1,2", "-o", "x"}), CliUsageError);
}

// A text is refused in the same words whether an option or a scenario line
// gives it: one parser reads both.
TEST(CliParse, OptionsAndScenarioLinesRefuseATextAlike)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--set", "Signal=3"}, "Signal=3"},        {{"--set", "KofDiscret=32"}, "KofDiscret=32"},
        {{"--stage", "8"}, "Stage=8"},              {{"--colors", "+-1"}, "Colors=+-1"},
        {{"--size", "359x300"}, "PictureSize=359x300"},
        {{"--size", "400x99999999999"}, "PictureSize=400x99999999999"},
        {{"--set", "Snr=1e2"}, "Snr=1e2"}};
    for (const auto& [option, line] : cases) {
        std::vector<std::string> args = {"render", "-o", "x"};
        args.insert(args.end(), option.begin(), option.end());
        std::string cli, file;
        try {
            ParseCommandLine(args);
        } catch (const CliUsageError& e) {
            cli = e.what();
        }
        try {
            ParseScenario("[Scenario]\nVersion=1\n" + line + "\n");
        } catch (const SonavirError& e) {
            file = e.what();
        }
        const std::string key = line.substr(0, line.find('='));
        ASSERT_EQ(file.rfind("строка 3, ключ " + key + ": ", 0), 0u) << file;
        const std::string name = option[0] == "--set" ? "--set " + key : option[0];
        EXPECT_EQ(cli, name + ": " + file.substr(file.find(": ") + 2)) << line;
    }
}

TEST(CliParse, SpinEditSettingsAreClampedLikeTheControl)
{
    ModelParameters params;
    ApplySetting(params, {"Sln", "70"});
    EXPECT_EQ(params.p.Sln, 50);
    ApplySetting(params, {"Temperature", "abc"});
    EXPECT_EQ(params.p.Temperature, 0);
    ApplySetting(params, {"Temperature", "-5"});
    EXPECT_EQ(params.p.Temperature, 0);
    ApplySetting(params, {"Sln", "99999999999"});
    EXPECT_EQ(params.p.Sln, 50);
    ApplySetting(params, {"KofDiscret", "16"});
    EXPECT_EQ(params.p.KofDiscret, 16);
}
