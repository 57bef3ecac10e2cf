#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/AmbiguityStudy.h"
#include "signal/NumberText.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;
using sonavir::testsupport::FailureOf;

namespace {

std::vector<std::vector<std::string>> Rows(const std::string& csv)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(csv);
    for (std::string line; std::getline(in, line);) {
        rows.emplace_back();
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) rows.back().push_back(cell);
        if (!line.empty() && line.back() == ',') rows.back().push_back("");
    }
    return rows;
}

std::string Collect(void (*write)(const AmbiguityResult&, const CsvSink&), const AmbiguityResult& r)
{
    std::string text;
    write(r, [&](const std::string& block) { text += block; });
    return text;
}

AmbiguityResult Compute(int signal, int window, const std::string& velocity)
{
    ModelParameters p;
    p.SetSignalItem(signal);
    p.SetWindowItem(window);
    p.SetVText(velocity);
    RunControl control;
    return ComputeAmbiguity(AmbiguityRequest::Of(p), control);
}

}  // namespace

TEST(AmbiguityStudy, DefaultMapFilesAndMeasuresAgainstTheTheory)
{
    // The default LFM sweep and a target closing at 10 m/s: a Doppler of
    // 2 V F0 / c moves the peak by -nu Tc / (2 FD) and lowers it by the
    // factor 1 - nu / (2 FD).
    const AmbiguityResult r = Compute(kLfmPulse, 0, "10");
    ASSERT_TRUE(r.Done());
    EXPECT_NEAR(r.rowDoppler.back(), 2 * 30 * 10300 / 1500.0, 1e-9);  // 30 m/s beyond 4 / Tc

    const auto map = Rows(Collect(AmbiguityMapCsv, r));
    ASSERT_EQ(map.size(), 1u + 129 * (4 * r.M + 1));
    EXPECT_EQ(map[0], (std::vector<std::string>{"delay", "doppler", "level_db"}));
    const auto cuts = Rows(Collect(AmbiguityCutsCsv, r));
    ASSERT_EQ(cuts.size(), 1u + (4 * r.M + 1) + 129);
    // The middle row is zero Doppler: the map's row is the zero-Doppler cut.
    for (int j = 0; j <= 4 * r.M; ++j) {
        const auto& cell = map[1 + 64 * (4 * r.M + 1) + j];
        const auto& cut = cuts[1 + j];
        ASSERT_EQ(cut[0], "zero_doppler");
        ASSERT_EQ(cell[0], cut[1]);
        ASSERT_EQ(std::stod(cell[1]), 0);
        ASSERT_EQ(cell[2], cut[3]);
        if (j == 2 * r.M) {
            EXPECT_NEAR(std::stod(cell[2]), 0, 1e-9);  // |chi(0, 0)| = 1
        }
    }
    EXPECT_EQ(cuts.back()[0], "zero_delay");

    std::map<std::string, std::vector<std::string>> m;
    for (const auto& row : Rows(AmbiguityMeasuresCsv(r))) m[row[0]] = row;
    ASSERT_EQ(m["measure"], (std::vector<std::string>{"measure", "value", "theory"}));
    const auto value = [&](const char* k) { return std::stod(m.at(k).at(1)); };
    const auto theory = [&](const char* k) { return std::stod(m.at(k).at(2)); };
    EXPECT_NEAR(value("first_null_doppler") * r.Tc, 1, 0.005);
    EXPECT_NEAR(value("ridge_slope") / theory("ridge_slope"), 1, 0.02);
    EXPECT_NEAR(value("target_peak_delay"), theory("target_peak_delay"), 1.5 * r.Dt);
    EXPECT_NEAR(value("target_loss_db"), theory("target_loss_db"), 0.05);
    EXPECT_NEAR(theory("target_loss_db"), 20 * std::log10(1 - 2 * 10 * 10300 / 1500.0 / 2048), 1e-9);
    EXPECT_EQ(m.count("delay_width_3db"), 1u);
}

TEST(AmbiguityStudy, KnownPointsAndRefusedRanges)
{
    // Barker-13 loses 20 lg sinc(1/4) = -0.91 dB at nu Tc = 1/4 (a target at
    // c / (8 F0 Tc) m/s); Hamming weighting costs -1.34 dB at the peak.
    ModelParameters barker;
    barker.SetSignalItem(kBarkerPulse);
    const std::string quarter = FormatGeneral(1500 / (8 * 10300 * barker.p.Tc), 10);
    const AmbiguityResult slow = Compute(kBarkerPulse, 0, quarter);
    ASSERT_TRUE(slow.target);
    EXPECT_NEAR(slow.target->zeroDelayDb, -0.912, 0.02);
    EXPECT_NEAR(slow.target->lossDb, slow.target->zeroDelayDb, 0.01);  // the peak stays at zero delay
    EXPECT_NEAR(*slow.target->theoryZeroDelayDb, -0.912, 0.001);
    const AmbiguityResult hamming = Compute(kBarkerPulse, 1, "0");
    EXPECT_NEAR(hamming.measures.peakDb, -1.344, 0.01);
    EXPECT_NEAR(hamming.theoryLossDb, -1.344, 0.01);

    struct Bad {
        std::optional<PlotRange> delay, doppler;
        int points;
        bool wideband;
    };
    const Bad bad[] = {
        {PlotRange{0.001L, -0.001L}, {}, 129, false},  // reversed
        {PlotRange{0.02L, 0.03L}, {}, 129, false},     // beyond +Tc
        {{}, PlotRange{5, 5}, 129, false},             // empty
        {{}, PlotRange{0, NAN}, 129, false},
        {{}, {}, 0, false},
        {{}, {}, kMaxAmbiguityRows + 1, false},
        {{}, PlotRange{-1e4L, 1e4L}, 9, true},  // 728 m/s
    };
    for (const Bad& b : bad) {
        AmbiguityRequest q = AmbiguityRequest::Of(ModelParameters());
        q.delayRange = b.delay;
        q.dopplerRange = b.doppler;
        q.dopplerPoints = b.points;
        q.wideband = b.wideband;
        EXPECT_NE(FailureOf([&] { CheckAmbiguityRequest(q); }), "");
        RunControl control;
        EXPECT_TRUE(ComputeAmbiguity(q, control).failure);
    }
}
