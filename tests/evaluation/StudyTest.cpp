#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "display/Picture.h"
#include "evaluation/DetectionStudy.h"
#include "evaluation/Sweep.h"
#include "model/Ledger.h"
#include "model/PulseCompression.h"
#include "model/Scenario.h"
#include "signal/Errors.h"
#include "signal/Generators.h"
#include "signal/NumberText.h"
#include "signal/Threads.h"

namespace sonavir {
namespace {

struct Program {
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState main{params, settings, picture};
};

std::string FailureText(const std::exception_ptr& failure)
{
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// Every point of a sweep against the same figures worked out by the program's
// other paths, one situation at a time: the run shown and measured as the
// ledger window measures it, the ledger, and for the output SNR the classic
// E/(2 sigma^2) of a filter matched to the probe (E the probe's energy).
TEST(Sweep, EachPointIsWhatThatPointAloneGives)
{
    Program p;
    p.params.filterOn = true;
    p.main.sweep = {"FD", "256;1024;6024", false, "", "", 5, false, "", "", 0, "width_3db,psl_db,energy,db_probe,snr_out_db"};
    RunControl control;
    const SweepResult r = RunSweep(SweepRequest::Of(p.main), control);
    ASSERT_TRUE(r.Done()) << FailureText(r.failure);
    ASSERT_EQ(r.curves.at(0).points.size(), 3u);
    for (const SweepPoint& point : r.curves[0].points) {
        Program q;
        q.params.filterOn = true;
        q.params.SetFDText(point.text);
        q.main.Start();
        const PulseCompression m = MeasureShown(q.main);
        const Ledger ledger = ComputeLedger(q.main);
        EXPECT_EQ(*point.values[0], *m.envelope.width3db) << point.text;
        EXPECT_EQ(*point.values[1], *m.envelope.pslDb);
        EXPECT_EQ(*point.values[2], ledger.rows[0].energy);
        EXPECT_EQ(*point.values[3], *ledger.rows[0].dbProbe);

        const int M = HalfSampleCount(q.params.p.Tc, q.params.p.Dt), N = TransformSize(M);
        TSignalData probe;
        AllocateSignal(probe, N);
        LfmPulse(probe, N, M, q.params.p);
        const long double sigma = SamplePeak(probe, N) / q.params.Snr();
        EXPECT_NEAR(*point.values[4], 10 * std::log10(BufferEnergy(probe, N) / (2 * sigma * sigma)), 0.01);
    }
    // The 0,886/(2 FD) law of the compressed LFM pulse, within a few per cent.
    EXPECT_NEAR(*r.curves[0].points[1].values[0] * 2 * 1024 / 0.886, 1, 0.02);

    SetWorkThreads(1);
    const SweepResult one = RunSweep(SweepRequest::Of(p.main), control);
    SetWorkThreads(0);
    EXPECT_EQ(SweepCsv(one), SweepCsv(r));
}

// Curves, the table's layout, the chart's panels and its readout.
TEST(Sweep, CurvesTableAndChart)
{
    Program p;
    p.main.sweep = {"R", "", true, "1", "4", 4, false, "Grunt", "0;2", 7, "db_probe"};
    RunControl control;
    const SweepResult r = RunSweep(SweepRequest::Of(p.main), control);
    ASSERT_TRUE(r.Done()) << FailureText(r.failure);
    const std::string csv = SweepCsv(r);
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "R,Grunt,db_probe");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 9);
    EXPECT_NE(csv.find("\n4,2,"), std::string::npos);
    Program q;
    q.params.SetGruntItem(2);
    q.params.SetRText("3");
    const long double expected = *ComputeLedger(RunRequest::Of(q.params, 0, 7)).rows[7].dbProbe;
    EXPECT_EQ(*r.curves[1].points[2].values[0], expected);

    XYChart chart = SweepChart(r, &r);
    ASSERT_EQ(chart.panels.size(), 1u);
    EXPECT_EQ(chart.panels[0].series[1].name, "Grunt = Смешанные частицы");
    EXPECT_EQ(chart.panels[0].reference.size(), 2u);
    Picture picture;
    const ChartLayout layout = DrawChart(picture, PictureSettings{}, chart);
    const ChartPanelPlace& place = layout.panels[0];
    const int x = place.PixelX(3), y = place.PixelY(expected);
    const std::string readout = ChartReadout(chart, layout, x, y);
    EXPECT_NE(readout.find("R = 3   Grunt = Ил-глина = "), std::string::npos) << readout;
    EXPECT_NE(readout.find(FormatGeneral(expected, 4)), std::string::npos) << readout;
    const PlotRange zoom = ChartRangeOfColumns(layout, 0, place.PixelX(2), place.PixelX(3));
    EXPECT_NEAR(zoom.from, 2, 0.05);
    EXPECT_NEAR(zoom.to, 3, 0.05);
}

TEST(Sweep, ValuesOfARange)
{
    struct Case {
        const char* param;
        const char* from;
        const char* to;
        int count;
        bool log;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"R", "1", "100", 3, true, {"1", "10", "100"}},
        {"F0", "1000", "2000", 3, false, {"1000", "1500", "2000"}},
        {"Snr", "1", "3", 5, false, {"1", "2", "3"}},
        {"KofDiscret", "3", "20", 0, false, {"4", "8", "16"}},
    };
    for (const Case& c : cases) {
        SweepSetup s;
        s.range = true;
        s.from = c.from;
        s.to = c.to;
        s.count = c.count;
        s.log = c.log;
        std::vector<std::string> texts;
        for (const SweepValue& v : SweepValues(*FindParameterKey(c.param), s, ModelParameters())) texts.push_back(v.text);
        EXPECT_EQ(texts, c.texts) << c.param;
    }
}

// Bad names are refused with the list of the good ones, on every path.
TEST(Sweep, BadNamesNameTheValidOnes)
{
    Program p;
    p.main.sweep.param = "Nope";
    RunControl control;
    EXPECT_NE(FailureText(RunSweep(SweepRequest::Of(p.main), control).failure).find("допустимы: Signal, F0"),
              std::string::npos);
    p.main.sweep.param = "F0";
    p.main.sweep.values = "3700";
    p.main.sweep.measures = "width_3db,snr";
    EXPECT_NE(FailureText(RunSweep(SweepRequest::Of(p.main), control).failure)
                  .find("'snr'; допустимы: energy, db_probe, peak, peak_time, width_3db, psl_db, isl_db, snr_out_db, pd"),
              std::string::npos);
    p.main.sweep.measures = "energy";
    p.main.sweep.values = "3700;abc";
    EXPECT_NE(FailureText(RunSweep(SweepRequest::Of(p.main), control).failure).find("F0=abc: "), std::string::npos);
    EXPECT_THROW(ParseScenario("[Scenario]\nVersion=1\nSweepMeasures=peak,foo\n"), SonavirError);
}

// Seeded trials of the program's own noise and filter against Marcum's Q and
// the Rayleigh tail. The table carries 95 % intervals; the checks widen them
// to 3,29 standard deviations (99,9 %), so that twelve of them do not fail
// by chance one seed in twenty, while a bias of a tenth of a dB still shows.
TEST(Detection, SeededTrialsMeetTheTheoryWithinTheirIntervals)
{
    Program p;
    p.main.detection.seeded = true;
    p.main.detection.seed = 11;
    p.main.detection.trials = 4000;
    p.main.detection.stage = 0;
    p.main.detection.snrDb = "6;10;12";
    p.main.detection.pfa = "1E-2;1E-3";
    RunControl control;
    const DetectionResult r = RunDetection(DetectionRequest::Of(p.main), control);
    ASSERT_TRUE(r.Done()) << FailureText(r.failure);
    ASSERT_EQ(r.rows.size(), 6u);
    for (const DetectionRow& row : r.rows) {
        const long double theory = DetectionProbability(std::pow(10.0L, row.snrDb / 10), row.pfa);
        EXPECT_NEAR(row.pdTheory, theory, 1e-15);
        const ProbabilityInterval pd = WilsonInterval(row.hits, row.trials, 3.29L);
        const ProbabilityInterval pfa = CorrelatedWilson(row.falseCells, row.cells, r.scene.correlation, 3.29L);
        EXPECT_TRUE(pd.low <= theory && theory <= pd.high) << row.snrDb << " " << row.pfa << " " << row.Pd();
        EXPECT_TRUE(pfa.low <= row.pfa && row.pfa <= pfa.high) << row.pfa << " " << row.PfaMeasured();
        EXPECT_LT(pd.low, row.pdInterval.low);
    }
    EXPECT_NEAR(*r.sigmaEnvMeasured / r.scene.sigmaEnv, 1, 0.01);
    const std::string csv = DetectionCsv(r);
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "snr_db,pfa,threshold,trials,pd,pd_low,pd_high,pfa_measured,pd_theory");
    // One correlated cell in groups of one is the plain interval.
    EXPECT_NEAR(CorrelatedWilson(7, 50, 1).low, WilsonInterval(7, 50).low, 1e-15);
}

}  // namespace
}  // namespace sonavir
