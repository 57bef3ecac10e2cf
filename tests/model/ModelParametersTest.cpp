#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "model/ModelParameters.h"
#include "signal/Errors.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;

namespace {

using testsupport::FailureOf;

}  // namespace

TEST(ModelParameters, DefaultsOfTheWindowsCreation)
{
    ModelParameters m;
    EXPECT_EQ(m.p.F0, 10300);
    EXPECT_EQ(m.p.FD, 1024);
    EXPECT_EQ(m.p.Tc, 0.01L);
    EXPECT_EQ(m.p.KofDiscret, 4);
    EXPECT_EQ(m.signalItem, kLfmPulse);
    EXPECT_EQ(m.p.Fmax, 12348);
    EXPECT_EQ(m.p.W0, 2 * std::numbers::pi_v<long double> * 10300);
    EXPECT_EQ(m.p.Dt, 1.0L / 49392);
    EXPECT_EQ(m.dtText, "2,024619372E-5");
    EXPECT_EQ(m.p.Q, 5);
    EXPECT_EQ(m.p.R, 1);
    EXPECT_EQ(m.p.GruntKoef, 0.041);
    EXPECT_EQ(m.p.GruntHeight, 0.1);
    EXPECT_EQ(m.p.Radius, 0.06);
    EXPECT_EQ(m.kText, "3,14");
    EXPECT_TRUE(m.fdEnabled);
    EXPECT_TRUE(m.kEnabled);
    EXPECT_EQ(m.Snr(), 5);
    EXPECT_EQ(m.snrHint, "5");
    for (bool g : m.gates) EXPECT_TRUE(g);
    EXPECT_EQ(ModelParameters::KofDiscretItems()[m.kofDiscretItem], "4");
    EXPECT_EQ(ModelParameters::TcItems()[0], m.tcText);
    EXPECT_EQ(ModelParameters::GateItems().size(), 7u);
}

TEST(ModelParameters, BarkerSnapsTheDurationToWholeChips)
{
    ModelParameters m;
    m.SetSignalItem(kBarkerPulse);
    EXPECT_FALSE(m.fdEnabled);
    EXPECT_EQ(m.p.Tc, 7.0L * 13 / 10300);
    EXPECT_EQ(m.p.Fmax, 10300);
    EXPECT_EQ(m.p.Dt, 1.0L / (4 * 10300.0L));
    m.ShowTcText();
    EXPECT_EQ(m.tcText, "0,008835");
    EXPECT_EQ(m.p.Tc, 7.0L * 13 / 10300);  // the text does not replace the value

    // Fewer than 13 carrier periods leave no whole chip.
    m.SetTcText("0,001");
    EXPECT_EQ(m.p.Tc, 0);
}

TEST(ModelParameters, BarkerSnapStartsFromTheBoxDurationNeverFromASnappedOne)
{
    ModelParameters m;
    m.SetSignalItem(kBarkerPulse);
    // There and back: 2 and 7 periods per chip of the typed 0,01 s each time.
    for (int round = 0; round < 2; ++round) {
        m.SetF0Text("3700");
        EXPECT_EQ(m.p.Tc, 26.0L / 3700);
        m.SetF0Text("10300");
        EXPECT_EQ(m.p.Tc, 91.0L / 10300);
    }

    // Key by key ends where the whole text ends, through a carrier of 3 Hz
    // that leaves no whole chip on the way.
    m.SetF0Text("3");
    EXPECT_EQ(m.p.Tc, 0);
    m.SetF0Text("37");
    m.SetF0Text("370");
    m.SetF0Text("3700");
    EXPECT_EQ(m.p.Tc, 26.0L / 3700);

    // A run shows 0,007027; 0,007027 * 3700 / 13 is 1,99999..., still two
    // periods per chip, however often the text is written back.
    for (int run = 0; run < 3; ++run) {
        m.ShowTcText();
        EXPECT_EQ(m.tcText, "0,007027");
        m.SetF0Text("10300");
        EXPECT_EQ(m.p.Tc, 65.0L / 10300);  // from the 0,007027 shown
        m.SetF0Text("3700");
        EXPECT_EQ(m.p.Tc, 26.0L / 3700);
    }

    // The sampling coefficient alone keeps the periods: one per chip here.
    ModelParameters k;
    k.SetSignalItem(kBarkerPulse);
    k.SetF0Text("184");
    k.SetTcText("0,1");
    for (int item : {2, 3, 2, 0}) {
        k.SetKofDiscretItem(item);
        EXPECT_EQ(k.p.Tc, 13.0L / 184) << item;
    }
}

TEST(ModelParameters, RunThenChangesAndBackNeverShortensTheBarkerPulse)
{
    // Every listed duration and carrier: Start writes the duration back, the
    // carrier, deviation, sampling and kind change, and everything goes back.
    for (const auto& tc : ModelParameters::TcItems()) {
        for (const auto& f0 : ModelParameters::F0Items()) {
            SCOPED_TRACE(tc + " s, " + f0 + " Hz");
            ModelParameters m;
            m.SetSignalItem(kBarkerPulse);
            m.SetTcText(tc);
            m.SetF0Text(f0);
            const long double snapped = m.p.Tc;
            for (int run = 0; run < 3; ++run) {
                m.ShowTcText();
                m.SetF0Text(f0 == "3700" ? "10300" : "3700");
                m.SetKofDiscretItem(4);
                m.SetSignalItem(kLfmPulse);
                m.SetFDText("6024");
                m.SetSignalItem(kBarkerPulse);
                m.SetF0Text(f0);
                m.SetKofDiscretItem(1);
                EXPECT_EQ(m.p.Tc, snapped);
            }
        }
    }
}

TEST(ModelParameters, RefusedDeviationLeavesNoMixOfKinds)
{
    // "x" in the deviation box, then radio pulse and back to LFM: the box
    // comes back refused, and the derived values are those of LFM with the
    // last accepted deviation.
    ModelParameters m;
    EXPECT_EQ(FailureOf([&] { m.SetFDText("x"); }), "'x' is not a valid floating point value");
    m.SetSignalItem(kRadioPulse);
    EXPECT_EQ(m.p.Fmax, 10300);
    EXPECT_EQ(FailureOf([&] { m.SetSignalItem(kLfmPulse); }),
              "'x' is not a valid floating point value");
    EXPECT_EQ(m.signalItem, kLfmPulse);
    EXPECT_TRUE(m.fdEnabled);
    EXPECT_EQ(m.p.FD, 1024);
    EXPECT_EQ(m.p.Fmax, 12348);
    EXPECT_EQ(m.p.Dt, 1.0L / 49392);
    EXPECT_EQ(m.dtText, "2,024619372E-5");

    // A refused duration keeps snapping from the last accepted one.
    m.SetSignalItem(kBarkerPulse);
    EXPECT_THROW(m.SetTcText("0,0x"), SonavirError);
    m.SetF0Text("3700");
    EXPECT_EQ(m.p.Tc, 26.0L / 3700);
}

TEST(ModelParameters, RadioAndBarkerUseTheCarrierAndKeepTheDeviation)
{
    ModelParameters m;
    m.SetFDText("512");
    m.SetSignalItem(kRadioPulse);
    EXPECT_FALSE(m.fdEnabled);
    EXPECT_EQ(m.p.FD, 512);
    EXPECT_EQ(m.p.Fmax, 10300);
    EXPECT_EQ(m.p.Tc, 0.01L);

    // Radio to Barker derives nothing: the duration stays unsnapped.
    m.SetSignalItem(kBarkerPulse);
    EXPECT_EQ(m.p.Tc, 0.01L);
    m.SetKofDiscretItem(2);
    EXPECT_EQ(m.p.KofDiscret, 8);
    EXPECT_EQ(m.p.Tc, 7.0L * 13 / 10300);
    EXPECT_EQ(m.p.Dt, 1.0L / (8 * 10300.0L));

    // Back to LFM reads the deviation from its text, as typed meanwhile.
    m.fdText = "256";
    m.SetSignalItem(kLfmPulse);
    EXPECT_TRUE(m.fdEnabled);
    EXPECT_EQ(m.p.FD, 256);
    EXPECT_EQ(m.p.Fmax, 10300 + 512);
    EXPECT_EQ(m.p.Tc, 7.0L * 13 / 10300);  // a snapped value stays in force
}

TEST(ModelParameters, RejectedTextKeepsTheValueAndShowsTheText)
{
    ModelParameters m;
    EXPECT_EQ(FailureOf([&] { m.SetRText("0.5"); }),
              "'0.5' is not a valid floating point value");
    EXPECT_EQ(m.p.R, 1);
    EXPECT_EQ(m.rText, "0.5");
    m.SetRText("0,5");
    EXPECT_EQ(m.p.R, 0.5);

    EXPECT_EQ(FailureOf([&] { m.SetDtText(""); }), "'' is not a valid floating point value");
    EXPECT_EQ(m.p.Dt, 1.0L / 49392);
    m.SetDtText("1E-5");
    EXPECT_EQ(m.p.Dt, 1e-5L);

    // A failed F0 derives nothing.
    EXPECT_THROW(m.SetF0Text("10 300"), SonavirError);
    EXPECT_EQ(m.p.F0, 10300);
    EXPECT_EQ(m.p.Dt, 1e-5L);

    // Beyond the range of a double parameter.
    EXPECT_EQ(FailureOf([&] { m.SetRadiusText("1E400"); }), msg::kOverflow);
    EXPECT_EQ(m.p.Radius, 0.06);
}

TEST(ModelParameters, ZeroCarrierFailsWithTheDivisionAfterEarlierSteps)
{
    ModelParameters m;
    m.SetSignalItem(kRadioPulse);
    EXPECT_EQ(FailureOf([&] { m.SetF0Text("0"); }), msg::kDivByZero);
    EXPECT_EQ(m.p.F0, 0);
    EXPECT_EQ(m.p.Fmax, 0);          // computed before the failing step
    EXPECT_EQ(m.p.Dt, 1.0L / 41200);  // step and its text as before
    EXPECT_EQ(m.dtText, "2,427184466E-5");

    ModelParameters b;
    b.SetSignalItem(kBarkerPulse);
    EXPECT_EQ(FailureOf([&] { b.SetF0Text("0"); }), msg::kInvalidOp);

    // A chip count beyond 64 bits is not truncated silently.
    EXPECT_EQ(FailureOf([&] { b.SetTcText("1E30"); }), msg::kInvalidOp);
    EXPECT_EQ(b.p.Tc, 1e30L);
}

TEST(ModelParameters, ListChoicesAndHint)
{
    ModelParameters m;
    m.SetAntennaItem(0);
    EXPECT_FALSE(m.kEnabled);
    m.SetAntennaItem(1);
    EXPECT_TRUE(m.kEnabled);

    m.SetGruntItem(1);
    EXPECT_EQ(m.p.GruntKoef, 0.5);
    m.SetGruntItem(2);
    EXPECT_EQ(m.p.GruntKoef, 0.7);
    EXPECT_THROW(m.SetGruntItem(3), SonavirError);
    EXPECT_EQ(m.p.GruntKoef, 0.7);
    EXPECT_THROW(m.SetKofDiscretItem(5), SonavirError);
    m.SetKofDiscretItem(4);
    EXPECT_EQ(m.p.KofDiscret, 64);

    m.SetSnrPosition(1);
    EXPECT_EQ(m.snrHint, "0,1");
    EXPECT_EQ(m.Snr(), 0.1L);
    m.SetSnrPosition(25);
    EXPECT_EQ(m.snrHint, "2,5");
    m.SetSnrPosition(100);
    EXPECT_EQ(m.snrHint, "10");
    EXPECT_EQ(m.Snr(), 10);
}
