#include "model/SonarBudget.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "model/PulseCompression.h"
#include "model/SonarLevels.h"
#include "signal/Envelope.h"
#include "signal/Errors.h"
#include "signal/MatchedFilter.h"
#include "signal/Noise.h"
#include "signal/NumberText.h"
#include "signal/Propagation.h"
#include "signal/RunControl.h"
#include "signal/SampleBuffer.h"
#include "signal/SphereScattering.h"

namespace sonavir {

namespace {

// Columns between two looks for a stop in the sums below.
constexpr int kCheckEvery = 4096;

// The energy of the 2N samples whose spectrum this is (Parseval, as the
// ledger takes it: column 0 counts once, the others for two conjugate bins).
long double SpectrumEnergy(const TSignalData& s, int N)
{
    long double sum = 0;
    for (int k = 1; k < N; ++k) {
        if (k % kCheckEvery == 0) Checkpoint();
        sum += static_cast<long double>(s[0][k]) * s[0][k] + static_cast<long double>(s[1][k]) * s[1][k];
    }
    const long double column0 = static_cast<long double>(s[0][0]) * s[0][0] + static_cast<long double>(s[1][0]) * s[1][0];
    return 2.0L * N * (column0 + 2 * sum);
}

// 10 lg of a power: a level of nothing fails as a division by zero.
long double Db(long double power) { return 10 * CheckedLn(CheckFinite(power)) / std::numbers::ln10_v<long double>; }

// The noise power gain of a filter response for white noise (what its
// output's variance is per unit of the input's), with the column products of
// ApplyMatchedFilter: (|H_0|^2 + sum |H_k|^2) / N.
long double NoiseGain(const TSignalData& h, int N)
{
    long double sum = 0;
    for (int k = 0; k < N; ++k) {
        if (k % kCheckEvery == 0) Checkpoint();
        sum += static_cast<long double>(h[0][k]) * h[0][k] + static_cast<long double>(h[1][k]) * h[1][k];
    }
    return sum / N;
}

}  // namespace

std::optional<long double> BudgetTerm::Difference() const
{
    if (!simulated) return std::nullopt;
    return *simulated - equation;
}

const BudgetTerm* SonarBudget::Term(const std::string& name) const
{
    for (const BudgetTerm& t : terms)
        if (t.name == name) return &t;
    return nullptr;
}

SonarBudget ComputeBudget(const MainState& state) { return ComputeBudget(state.Request()); }

SonarBudget ComputeBudget(const RunRequest& q)
{
    if (!q.levels.On()) throw SonavirError(kBudgetNeedsSonar);
    const TModelParams& p = q.p;
    const int M = HalfSampleCount(p.Tc, p.Dt);
    const int N = TransformSize(M);
    SonarBudget b;
    b.band = RecordBand(p.Dt);
    b.duration = 2.0L * M * p.Dt;
    b.probeBand = CheckedDiv(TimeBandwidth(q.signalItem, p), p.Tc);
    b.narrowband = std::fabs(b.probeBand) <= 0.05L * std::fabs(p.F0);

    // Each stage's level: the energy over the pulse's duration, dB re 1 uPa.
    TSignalData echo, work, filterRef, envelope;
    AllocateSignal(echo, N);
    GenerateProbe(q, echo, N, M);
    FFT(echo, N, +1);
    std::array<long double, kLastStage + 1> level{};
    const auto levelOf = [&](const TSignalData& s) { return Db(SpectrumEnergy(s, N) / (2.0L * M)); };
    level[0] = levelOf(echo);
    for (int k = 1; k <= kLastStage; ++k) {
        ApplyStage(q, k, echo, N);
        level[k] = levelOf(echo);
    }

    // The equation's terms at F0, each way.
    const auto on = [&](int stage) { return q.gates[stage - 1]; };
    const long double f0 = p.F0;
    const long double spreading = 20 * std::log10(CheckFinite(p.R * 1000.0L));
    const long double absorption = SonarAbsorption(q, f0) * p.R;
    const long double seabed = p.GruntKoef * p.GruntHeight * Power(f0 / 1000, p.NOrder);
    const long double ts = on(4) ? RigidSphereTs(f0, p.Radius, kSonarSoundSpeed) : 0;
    const auto way = [&](int water, int layer) {
        return (on(water) ? spreading + absorption : 0) + (on(layer) ? seabed : 0);
    };
    const long double tlOut = way(2, 3), tlBack = way(6, 5);
    const long double el = q.levels.SL - tlOut + ts - tlBack;

    // The receiver's noise as the run draws it, and its level.
    AllocateSignal(envelope, N);
    const long double sigma = ReceiverNoiseSigma(q);
    AddWhiteNoise(envelope, N, sigma, true, q.noiseSeed);
    const long double noise = SpectrumEnergy(envelope, N) / (2.0L * N);
    const long double nlBand = q.levels.NL + Db(b.band);

    // The matched filter as the run builds it, on the noise-free echo.
    AllocateSignal(work, N);
    AllocateSignal(filterRef, N);
    if (q.filterMode) {
        BuildMatchedFilter(echo, N, p.Dt, filterRef);
    } else {
        GenerateProbe(q, work, N, M);
        FFT(work, N, +1);
        BuildMatchedFilter(work, N, p.Dt, filterRef);
    }
    const long double gain = NoiseGain(filterRef, N);
    for (int r = 0; r < 2; ++r) std::copy(echo[r].begin(), echo[r].end(), work[r].begin());
    ApplyMatchedFilter(work, N, filterRef);
    ReleaseSignal(filterRef);
    ReleaseSignal(echo);
    FFT(work, N, -1);
    Envelope(work, N, envelope);
    const long double peak = SamplePeak(envelope, N);
    const long double snrOut = Db(peak * peak / 2 / (noise * gain));
    const long double snrIn = level[kLastStage] - Db(noise);
    const long double pg = Db(b.band * b.duration);
    const long double snrInEq = el - (nlBand - q.levels.DI);

    const auto term = [&](const char* name, const char* label, long double eq, std::optional<long double> sim,
                          bool part = false) { b.terms.push_back({name, label, eq, sim, part}); };
    const auto parts = [&](const char* prefix, int water, int layer, long double waterSim, long double layerSim) {
        const std::string n = prefix;
        b.terms.push_back({n + ".spreading", "расширение фронта, 20·lg R", on(water) ? spreading : 0, std::nullopt, true});
        b.terms.push_back({n + ".absorption", "поглощение, α(F0)·R", on(water) ? absorption : 0,
                           waterSim - (on(water) ? spreading : 0), true});
        b.terms.push_back({n + ".seabed", "грунт, k·h·F0^n", on(layer) ? seabed : 0, layerSim, true});
    };
    term("SL", "SL, уровень источника", q.levels.SL, level[1]);
    term("TL_out", "TL туда", tlOut, level[1] - level[3]);
    parts("TL_out", 2, 3, level[1] - level[2], level[2] - level[3]);
    term("TS", "TS, сила цели", ts, level[4] - level[3]);
    term("TL_back", "TL обратно", tlBack, level[4] - level[6]);
    parts("TL_back", 6, 5, level[5] - level[6], level[4] - level[5]);
    term("EL", "EL, уровень эха", el, level[kLastStage]);
    term("NL", "NL в полосе, NL + 10·lg B", nlBand, Db(noise) + q.levels.DI);
    // The array gain scales the noise: the ambient level over what is left of it.
    const long double ambient = std::pow(10.0L, q.levels.NL / 10) * b.band;
    term("DI", "DI, выигрыш антенны", q.levels.DI, Db(ambient / (sigma * sigma)));
    term("SNR_in", "ОСШ на входе", snrInEq, snrIn);
    term("PG", "PG = 10·lg(B·T)", pg, snrOut - snrIn);
    term("SNR_out", "ОСШ на выходе", snrInEq + pg, snrOut);

    b.note = b.narrowband
                 ? "Узкополосный зонд: члены уравнения на F0 описывают весь его спектр."
                 : "Широкополосный зонд (полоса " + FormatGeneral(b.probeBand, 4) + " Гц, " +
                       FormatGeneral(100 * b.probeBand / f0, 3) +
                       " % от F0): уравнение берет члены на F0, модель — по всему спектру, и разности показывают "
                       "частотную зависимость антенн, поглощения и силы цели в полосе зонда.";
    b.note += " NL и ОСШ — по одной реализации шума приемника; шум после фильтра — ее уровень, умноженный на "
              "шумовую полосу фильтра.";
    return b;
}

std::string BudgetCsv(const SonarBudget& budget)
{
    std::string text = "term,equation_db,simulated_db,difference_db\n";
    for (const BudgetTerm& t : budget.terms) {
        if (t.part) continue;
        text += t.name;
        text.push_back(',');
        AppendCsvNumber(text, t.equation);
        text.push_back(',');
        if (t.simulated) AppendCsvNumber(text, *t.simulated);
        text.push_back(',');
        if (const auto d = t.Difference()) AppendCsvNumber(text, *d);
        text.push_back('\n');
    }
    return text;
}

}  // namespace sonavir
