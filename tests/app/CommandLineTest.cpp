#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/CliOptions.h"

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

// A fresh directory per test; removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (fs::temp_directory_path() / "sonavir-cli-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& Path() const { return path_; }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_))
            if (e.path().filename() != "stdout" && e.path().filename() != "stderr")
                names.push_back(e.path().filename().string());
        return names;
    }

private:
    fs::path path_;
};

// `env`: NAME=VALUE settings for this run only.
Result RunExe(const TempDir& dir, const std::vector<std::string>& args, const std::string& env = "")
{
    std::string cmd = env + " " + Quote(SONAVIR_EXE);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " >" + Quote((dir / "stdout").string()) + " 2>" + Quote((dir / "stderr").string());
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
}

TEST(CliExe, RenderWritesBmpOfTheAskedSizeAndTheCsvOfEachPlot)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--size", "361x265", "--wave", (dir / "w.csv").string(),
                         "--spectrum", (dir / "s.csv").string(), "-o", (dir / "p.bmp").string()});
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

TEST(CliExe, DefaultPictureSizeAndModelView)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--model", "2", "--colors", "1", "--no-scale", "-o",
                         (dir / "p.bmp").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string bmp = ReadAll(dir / "p.bmp");
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(Le32(bmp, 18), 785);
    EXPECT_EQ(std::abs(Le32(bmp, 22)), 484);
}

TEST(CliExe, RejectedParameterTextExitsOneWithTheControlsMessage)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--set", "R=0.5", "--wave", (dir / "w.csv").string(), "-o",
                         (dir / "p.bmp").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "'0.5' is not a valid floating point value\n");
    EXPECT_TRUE(dir.Files().empty());

    // The same value with the decimal comma is taken.
    Result ok = RunExe(dir, {"render", "--set", "R=0,5", "-o", (dir / "p.bmp").string()});
    EXPECT_EQ(ok.status, 0) << ok.err;
}

TEST(CliExe, FailedRunWritesNothing)
{
    TempDir dir;
    // A Barker code shorter than its 13 chips leaves an empty pulse.
    Result r = RunExe(dir, {"render", "--set", "Signal=2", "--set", "Tc=0,001", "--wave",
                         (dir / "w.csv").string(), "-o", (dir / "p.bmp").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Floating point division by zero\n");
    EXPECT_TRUE(dir.Files().empty());
}

TEST(CliExe, FailedPictureSaveLeavesNoCsvBehind)
{
    TempDir dir;
    Result r = RunExe(dir, {"render", "--stage", "7", "--wave", (dir / "w.csv").string(), "--spectrum",
                         (dir / "s.csv").string(), "-o", (dir / "missing" / "p.bmp").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err).size(), 1u);
    EXPECT_NE(r.err.find("Cannot create file"), std::string::npos) << r.err;
    EXPECT_TRUE(dir.Files().empty());
}

TEST(CliExe, OutputThatIsADirectoryWritesNothing)
{
    TempDir dir;
    fs::create_directory(dir / "w.csv");
    Result r = RunExe(dir, {"render", "--wave", (dir / "w.csv").string(), "--spectrum",
                         (dir / "s.csv").string(), "-o", (dir / "p.bmp").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err).size(), 1u);
    EXPECT_NE(r.err.find("Cannot create file"), std::string::npos) << r.err;
    const auto files = dir.Files();
    EXPECT_EQ(files, std::vector<std::string>{"w.csv"});
    EXPECT_TRUE(fs::is_directory(dir / "w.csv"));
}

TEST(CliExe, BadCommandLinesExitTwo)
{
    TempDir dir;
    const std::string out = (dir / "p.bmp").string();
    const std::vector<std::vector<std::string>> bad = {
        {"render", "--set", "Foo=1", "-o", out},
        {"render", "--set", "KofDiscret=32", "-o", out},
        {"render", "--set", "Signal=3", "-o", out},
        {"render", "--set", "Snr=0", "-o", out},
        {"render", "--size", "0x10", "-o", out},
        {"render", "--size", "20001x300", "-o", out},
        {"render", "--size", "359x300", "-o", out},
        {"render", "--size", "400x263", "-o", out},
        {"render", "--size", "100", "-o", out},
        {"render", "--stage", "8", "-o", out},
        {"render", "--gate-off", "7", "-o", out},
        {"render"},
        {"render", "--points", "5", "-o", out},
        {"evaluate", "--points", "3", "--range", "0;1;2;3", "-o", out},
        {"evaluate", "--points", "16", "-o", out},
        // Two outputs into one file, however the name is spelled.
        {"render", "--wave", out, "-o", out},
        {"render", "--wave", (dir / "a.csv").string(), "--spectrum",
         (dir.Path() / "." / "a.csv").string(), "-o", out},
        {"evaluate", "--table", (dir / "t.txt").string(), "-o", (dir / "t.txt").string()},
        {"draw", "-o", out},
    };
    for (const auto& args : bad) {
        Result r = RunExe(dir, args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_NE(r.err.find("Usage"), std::string::npos);
    }
    // A size names the range of each side.
    EXPECT_NE(RunExe(dir, {"render", "--size", "359x300", "-o", out})
                  .err.find("a width from 360 to 20000 and a height from 264 to 20000"),
              std::string::npos);
    EXPECT_TRUE(dir.Files().empty());
}

TEST(CliExe, NoiseSeedMakesRunsRepeatable)
{
    TempDir dir;
    auto wave = [&](const std::string& seed) {
        Result r = RunExe(dir, {"render", "--noise", "--seed", seed, "--set", "Snr=10", "--wave",
                             (dir / "w.csv").string(), "-o", (dir / "p.bmp").string()});
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
                         "--thickness", "0;1", "--table", (dir / "t.txt").string(), "-o",
                         (dir / "c.bmp").string()});
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
    Result f = RunExe(bad, {"evaluate", "--range", "0;x", "--table", (bad / "t.txt").string(), "-o",
                         (bad / "c.bmp").string()});
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.err, "'x' is not a valid floating point value\n");
    EXPECT_TRUE(bad.Files().empty());
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
        const std::string env = config.empty() ? "" : "FONTCONFIG_FILE=" + Quote((dir / config).string());
        Result r = RunExe(dir, {"render", "-o", (dir / name).string()}, env);
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

    // A text with '=' keeps everything after the first one.
    EXPECT_EQ(ParseCommandLine({"render", "--set", "K=1=2", "-o", "x"}).settings[0].text, "1=2");
    // Options of the other command are refused.
    EXPECT_THROW(ParseCommandLine({"evaluate", "--stage", "1", "-o", "x"}), CliUsageError);
    EXPECT_THROW(ParseCommandLine({"render", "--seed", "-1", "-o", "x"}), CliUsageError);
    EXPECT_THROW(ParseCommandLine({"render", "--ticks", "1,2", "-o", "x"}), CliUsageError);
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
    ApplySetting(params, {"KofDiscret", "16"});
    EXPECT_EQ(params.p.KofDiscret, 16);
}
