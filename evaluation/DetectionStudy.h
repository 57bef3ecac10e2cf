#pragma once
// "Обнаружение": a threshold detector on the envelope of the matched
// filter's output, measured by Monte-Carlo trials of the program's own noise
// and set beside the theory of a steady target (Marcum's Q, Albersheim).
//
// The signal-to-noise ratio is theory's, snr = A^2 / (2 sigma_env^2): A the
// peak of the noise-free envelope of the filter's output at the chosen
// stage, sigma_env the standard deviation of each quadrature of the filtered
// noise; then Pd = Q1(sqrt(2 snr), T / sigma_env) and Pfa = e^{-T^2/(2 sigma_env^2)}
// for one envelope sample. The noise is the program's: white Gaussian noise
// of standard deviation (the probe's peak) / (the noise setting Snr), added
// to the probe and carried with it through the stages of the echo path into
// the filter, so the trials see the output a run with "Шум" and "Фильтр" on
// would show. A wanted snr is reached by scaling the echo; the program's own
// setting that gives it (peak over sigma) is told beside it.
//
// Pd: the fraction of K trials in which the largest envelope value in the
// gate (the noise-free peak's sample, give or take `gate` samples) exceeds
// the threshold, with its Wilson interval. Pfa: the fraction of cells above
// the threshold outside the gate in K trials of noise alone; neighbouring
// cells of filtered noise are correlated, so its interval counts L cells as
// one, L = 2N sum P_k^2 / (sum P_k)^2 the filtered noise's correlation
// length in cells (P_k its power spectrum), which errs on the wide side.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "evaluation/XYChart.h"
#include "model/MainState.h"
#include "model/RunEcho.h"
#include "model/StudySetup.h"
#include "signal/Detection.h"
#include "signal/RunControl.h"
#include "signal/WinFFT.h"

namespace sonavir {

// The matched filter's output at a stage as the detector sees it.
struct DetectionScene {
    int N = 0;
    long double Dt = 0;
    TSignalData probe;         // the probe's spectrum (FFT(+1)): the trials' echo
    TSignalData filter;        // the stages' responses up to the stage times the matched filter's
    long double sigma = 0;     // the program's noise per sample: the probe's peak / Snr
    long double sigmaEnv = 0;  // of the filtered noise, from the filter (Parseval)
    long double peak = 0;      // A, the noise-free envelope's peak
    int peakAt = 0;            // its sample
    long double snr = 0;       // A^2 / (2 sigmaEnv^2), linear
    long double programSnr = 0;  // the noise setting the run was asked with
    long double correlation = 0;  // L, cells of filtered noise per independent one

    // The program's noise setting that gives theory's snr (dB) by scaling the echo.
    long double ProgramSnrFor(long double snrDb) const;
    // The gate [first, last) of samples around the peak.
    int GateFirst(int gate) const;
    int GateLast(int gate) const;
};
// The filter matched as the run matches it ("Согласовывать с эхо-сигналом":
// to the echo at the stage, otherwise to the probe), whether or not "Фильтр"
// is on; the noise at the run's setting, whether or not "Шум" is on. Depth
// attenuation and normalisation scale echo and noise alike and stay out.
DetectionScene MakeDetectionScene(const RunRequest& request, int stage);

// Everything a detection study reads.
struct DetectionRequest {
    RunRequest run;
    DetectionSetup setup;
    std::uint32_t seed = 0;  // the set-up's, or drawn from the clock when it is not seeded

    static DetectionRequest Of(const MainState& main);
};

struct DetectionRow {
    long double snrDb = 0;
    long double pfa = 0;        // wanted (or, for a level given directly, what theory gives it)
    long double level = 0;      // the threshold over the computed sigma_env
    long double threshold = 0;  // the threshold itself, on the envelope of the program's output
    long long trials = 0, hits = 0;
    ProbabilityInterval pdInterval;
    long long falseCells = 0, cells = 0;
    ProbabilityInterval pfaInterval;
    long double pdTheory = 0;
    // The snr Albersheim's equation gives for the measured Pd at this Pfa.
    std::optional<long double> albersheimDb;
    long double programSnr = 0;
    long double Pd() const { return trials ? static_cast<long double>(hits) / trials : 0; }
    long double PfaMeasured() const { return cells ? static_cast<long double>(falseCells) / cells : 0; }
};

struct RocCurve {
    long double snrDb = 0;
    std::vector<long double> pfa, pd;  // measured, at the thresholds of the grid
    std::vector<ProbabilityInterval> pdInterval;
};

// The snr a wanted Pd needs at a Pfa: from the trials (between the two
// measured snr that bracket it, linear in dB), Marcum's Q and Albersheim.
struct RequiredSnr {
    long double pfa = 0;
    std::optional<long double> measuredDb;
    std::optional<long double> exactDb, albersheimDb;
};

struct DetectionResult {
    DetectionRequest request;
    DetectionScene scene;  // its buffers released
    std::optional<long double> sigmaEnvMeasured;
    std::vector<DetectionRow> rows;  // SNR after SNR, each with every Pfa
    std::vector<RocCurve> roc;
    std::vector<RequiredSnr> required;
    std::exception_ptr failure;
    bool stopped = false;
    bool Done() const { return !failure && !stopped && !rows.empty(); }
};

// The ROC curves' false-alarm probabilities: 1E-8 .. 0,5 in 25 steps.
const std::vector<long double>& RocPfaGrid();

// Never throws: a failure or a stop comes back in the result.
DetectionResult RunDetection(const DetectionRequest& request, RunControl& control);

// "snr_db,pfa,threshold,trials,pd,pd_low,pd_high,pfa_measured,pd_theory"
// and one row per SNR and Pfa; threshold over the computed sigma_env.
std::string DetectionCsv(const DetectionResult& result);
// Pd against snr, one measured curve (with its intervals) and its theory
// (dotted) per Pfa; the second row of labels gives the program's setting.
XYChart PdSnrChart(const DetectionResult& result);
// Pd against the measured Pfa, one curve per ROC snr, theory dotted.
XYChart RocChart(const DetectionResult& result);

// The Wilson interval of k successes in n trials whose outcomes come in
// correlated groups of L: that of k/L in n/L (not whole numbers).
ProbabilityInterval CorrelatedWilson(long long k, long long n, long double L, long double z = kZ95);

}  // namespace sonavir
