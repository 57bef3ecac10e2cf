#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "display/Picture.h"
#include "model/MainState.h"
#include "model/Scenario.h"
#include "signal/NumberText.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;
using testsupport::FailureOf;

namespace {

// Every numeric value a run reads, compared exactly.
void ExpectSameNumbers(const TModelParams& a, const TModelParams& b)
{
    EXPECT_EQ(a.F0, b.F0);
    EXPECT_EQ(a.FD, b.FD);
    EXPECT_EQ(a.Tc, b.Tc);
    EXPECT_EQ(a.KofDiscret, b.KofDiscret);
    EXPECT_EQ(a.Fmax, b.Fmax);
    EXPECT_EQ(a.W0, b.W0);
    EXPECT_EQ(a.Dt, b.Dt);
    EXPECT_EQ(a.Q, b.Q);
    EXPECT_EQ(a.Sln, b.Sln);
    EXPECT_EQ(a.Temperature, b.Temperature);
    EXPECT_EQ(a.R, b.R);
    EXPECT_EQ(a.NOrder, b.NOrder);
    EXPECT_EQ(a.GruntHeight, b.GruntHeight);
    EXPECT_EQ(a.GruntKoef, b.GruntKoef);
    EXPECT_EQ(a.Radius, b.Radius);
}

const std::string kHead = "[Scenario]\nVersion=1\n";

}  // namespace

TEST(Scenario, RoundTripKeepsEveryValueAndTheDerivedOnes)
{
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);
    // Barker with a duration that snaps, a typed step, and one of everything.
    params.SetSignalItem(kBarkerPulse);
    params.SetKofDiscretItem(3);
    params.SetF0Text("3700");
    params.SetTcText("0,5");
    params.SetDtText("2,5E-5");
    params.SetAntennaItem(0);
    params.SetQText("15");
    params.SetKText("2,09");
    params.SetSln(12);
    params.SetTemperature(4);
    params.SetRText("0,25");
    params.SetGruntItem(2);
    params.SetNText("0,5");
    params.SetGruntHeightText("5");
    params.SetRadiusText("0,5");
    params.SetSnrPosition(17);
    params.noiseOn = params.depthOn = true;
    params.gates[4] = false;
    state.SetFilterMode(true);
    state.SelectPath(6);
    settings.SetColorItem(1);
    settings.SetTc(false);
    settings.fCount = 23;
    settings.SetDb(true);

    const Scenario saved = Scenario::Capture(state, {false, 640, 360});
    const std::string text = FormatScenario(saved);
    const ScenarioRead read = ParseScenario(text);
    EXPECT_TRUE(read.unknownKeys.empty());
    EXPECT_EQ(FormatScenario(read.scenario), text);
    ExpectSameNumbers(read.scenario.params.p, params.p);
    EXPECT_EQ(read.scenario.size, (PictureSizeChoice{false, 640, 360}));

    // Into a fresh program: the same values, and the switches' side effects.
    ModelParameters params2;
    PictureSettings settings2;
    Picture picture2;
    MainState state2(params2, settings2, picture2);
    params2.realSizeText = "128";  // the last run's figure stays
    read.scenario.ApplyTo(state2);
    ExpectSameNumbers(params2.p, params.p);
    EXPECT_EQ(params2.realSizeText, "128");
    EXPECT_TRUE(state2.MatchToEcho);
    EXPECT_EQ(state2.pathStage, 6);
    EXPECT_TRUE(state2.prevEnabled && state2.nextEnabled);
    EXPECT_EQ(settings2.PlotBackColor, kWhite);
    EXPECT_FALSE(settings2.tcSpinEnabled);
    EXPECT_TRUE(settings2.db);
    EXPECT_NE(text.find("\nDbScale=1\n"), std::string::npos);
    EXPECT_EQ(FormatScenario(Scenario::Capture(state2, read.scenario.size)), text);
}

TEST(Scenario, BarkerSavedAfterARunReopensWithTheSamePulse)
{
    // A run writes the snapped duration back with 4 digits (0,008835 for 7
    // periods per chip); the file holds that text and must snap to 7 again.
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);
    params.SetSignalItem(kBarkerPulse);
    params.SetTcText("0,01");
    state.Start();
    ASSERT_EQ(params.tcText, "0,008835");

    ModelParameters params2;
    PictureSettings settings2;
    Picture picture2;
    MainState state2(params2, settings2, picture2);
    ParseScenario(FormatScenario(Scenario::Capture(state, {}))).scenario.ApplyTo(state2);
    EXPECT_EQ(params2.p.Tc, params.p.Tc);
    state2.Start();
    EXPECT_EQ(state2.RealSignalSize, state.RealSignalSize);
}

TEST(Scenario, DerivedStepIsNotReplacedByItsRoundedText)
{
    // The step field shows 10 digits; only a typed step is taken back.
    ModelParameters derived;
    derived.SetF0Text("3700");
    ASSERT_NE(derived.p.Dt, StrToFloat(derived.dtText));
    const ScenarioRead read = ParseScenario(kHead + "F0=3700\nDt=" + derived.dtText + "\n");
    EXPECT_EQ(read.scenario.params.p.Dt, derived.p.Dt);
}

TEST(Scenario, RefusedFilesNameTheLineAndTheKey)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {kHead + "F0=3.7\n", "строка 3, ключ F0: '3.7' is not a valid floating point value"},
        {kHead + "Signal=3\n", "строка 3, ключ Signal: ожидается целое число от 0 до 2, получено '3'"},
        {kHead + "KofDiscret=32\n",
         "строка 3, ключ KofDiscret: ожидается один из пунктов списка (2, 4, 8, 16, 64), получено '32'"},
        {kHead + "Sln=70\n", "строка 3, ключ Sln: ожидается целое число от 0 до 50, получено '70'"},
        // The text converts, but the value does not fit the parameter.
        {kHead + "\nQ=1E999\n", "строка 4, ключ Q: Floating point overflow"},
        {kHead + "Scale=0\nAmplitudeTicks=1\n",
         "строка 4, ключ AmplitudeTicks: переключатель недоступен, пока Scale=0"},
        {kHead + "Model=3\nStage=2\n", "строка 4, ключ Stage: у отдельной модели путь не выбирается, ожидается 0"},
        {kHead + "Stage=8\n", "строка 3, ключ Stage: ожидается целое число от 0 до 7, получено '8'"},
        {kHead + "PictureSize=0x10\n",
         "строка 3, ключ PictureSize: Горизонтальный размер изображения должен быть от 360 до 20000 точек"},
        {kHead + "Noise=yes\n", "строка 3, ключ Noise: ожидается 0 или 1, получено 'yes'"},
        {kHead + "R=1\n# note\nR=2\n", "строка 5, ключ R: ключ уже задан в строке 3"},
        {kHead + "F0 3700\n", "строка 3: ожидается строка вида ИМЯ=ЗНАЧЕНИЕ"},
        {kHead + "K=\xFF\n", "строка 3: текст не в кодировке UTF-8"},
        {"F0=3700\n" + kHead, "строка 1, ключ F0: ключи пишутся после строки [Scenario]"},
        {kHead + "[Other]\n", "строка 3: в сценарии одна секция, [Scenario]"},
        {"[Scenario]\nF0=3700\n", "нет строки Version="},
        {"[Scenario]\nVersion=0\n", "строка 2, ключ Version: ожидается целое число от 1, получено '0'"},
        {"", "нет строки [Scenario]"},
        // A bare CR, which the writer could not give back.
        {kHead + "K=3\r14\n", "строка 3, ключ K: знак возврата каретки (CR) внутри строки"},
        {kHead + "K=3,14\r\r\n", "строка 3, ключ K: знак возврата каретки (CR) внутри строки"},
        // A NUL byte is quoted whole, escaped.
        {kHead + std::string("F0=1\0x\n", 7), "строка 3, ключ F0: '1\\x00x' is not a valid floating point value"},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(FailureOf([&] { ParseScenario(text); }), message) << text;
}

TEST(Scenario, UnknownKeysAreSkippedAndMissingOnesKeepTheirDefaults)
{
    // A newer file from another editor: byte-order mark, CRLF, blanks, comments.
    const std::string text = "\xEF\xBB\xBF; lab 3\r\n[Scenario]\r\nVersion=2\r\n  F0 = 3700 \r\nGridLines=1\r\n"
                             "Foo=bar\r\nGridLines=0\r\n# end\r\n";
    const ScenarioRead read = ParseScenario(text);
    EXPECT_EQ(read.unknownKeys, (std::vector<std::string>{"GridLines", "Foo"}));
    EXPECT_EQ(SkippedKeysNote(read.unknownKeys), "Пропущены неизвестные ключи: GridLines, Foo");
    EXPECT_EQ(read.scenario.params.f0Text, "3700");
    EXPECT_EQ(read.scenario.params.p.F0, 3700);
    EXPECT_EQ(read.scenario.params.rText, "1");
    EXPECT_TRUE(read.scenario.size.autoSize);
}

// Skipped keys are gathered in linear time (a file of 100 000 of them took
// minutes) and the note names only a few.
TEST(Scenario, ManyUnknownKeysAreCountedQuicklyAndNamedAFew)
{
    std::string text = kHead + "A\x01=1\n";
    for (int i = 0; i < 100000; ++i) text += "K" + std::to_string(i) + "=1\nK" + std::to_string(i) + "=2\n";
    const auto start = std::chrono::steady_clock::now();
    const ScenarioRead read = ParseScenario(text);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(read.unknownKeys.size(), 100001u);
    EXPECT_EQ(SkippedKeysNote(read.unknownKeys), "Пропущены неизвестные ключи: A\\x01, K0, K1, K2, K3 и ещё 99996");
}

TEST(Scenario, TextsALineCannotHoldAreNotWritten)
{
    Scenario s;
    s.params.SetKText("1\n2");
    EXPECT_NE(FailureOf([&] { FormatScenario(s); }).find("K"), std::string::npos);
}

TEST(Scenario, FileNames)
{
    EXPECT_EQ(WithScenarioExtension("/tmp/lab"), "/tmp/lab.svr");
    EXPECT_EQ(WithScenarioExtension("/home/a.b/lab"), "/home/a.b/lab.svr");
    EXPECT_EQ(WithScenarioExtension("lab.txt"), "lab.txt");
    EXPECT_TRUE(IsScenarioFileName("Lab 3.SVR"));
    EXPECT_FALSE(IsScenarioFileName("render"));
    EXPECT_FALSE(IsScenarioFileName("--x.svr"));
}
