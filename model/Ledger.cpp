#include "model/Ledger.h"

#include <algorithm>
#include <cmath>

#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

// The energy of the 2N samples of the waveform whose spectrum is in from
// (Parseval: column 0 packs the zero-frequency and Nyquist values, which
// occur once in the full spectrum, the other columns stand for two conjugate
// bins; the forward transform's 1/2N scaling comes back as 2N), copying the
// spectrum into to on the way.
long double CopyWithEnergy(const TSignalData& from, TSignalData& to, int N)
{
    const double* r0 = from[0].data();
    const double* r1 = from[1].data();
    double* t0 = to[0].data();
    double* t1 = to[1].data();
    long double sum = 0;
    for (int k = 1; k < N; ++k) {
        const double a = r0[k], b = r1[k];
        t0[k] = a;
        t1[k] = b;
        sum += static_cast<long double>(a) * a + static_cast<long double>(b) * b;
    }
    t0[0] = r0[0];
    t1[0] = r1[0];
    const long double column0 = static_cast<long double>(r0[0]) * r0[0] + static_cast<long double>(r1[0]) * r1[0];
    return 2.0L * N * (column0 + 2 * sum);
}

std::optional<long double> Decibels(long double energy, long double reference)
{
    if (!(energy > 0) || !(reference > 0)) return std::nullopt;
    return CheckFinite(10 * std::log10(energy / reference));
}

void AppendCell(std::string& line, const std::optional<long double>& value)
{
    line.push_back(',');
    if (value) AppendCsvNumber(line, *value);
}

}  // namespace

Ledger ComputeLedger(const MainState& state) { return ComputeLedger(state.Request()); }

Ledger ComputeLedger(const RunRequest& q)
{
    const int M = HalfSampleCount(q.p.Tc, q.p.Dt);
    const int N = TransformSize(M);
    Ledger ledger;
    ledger.N = N;
    ledger.Dt = q.p.Dt;

    TSignalData spectrum, work;
    AllocateSignal(spectrum, N);
    AllocateSignal(work, N);
    GenerateProbe(q, spectrum, N, M);
    long double peak = 0;
    long long at = 0;
    peak = SamplePeakAt(spectrum, N, at);  // the probe is its own waveform
    FFT(spectrum, N, +1);
    long double energy = CopyWithEnergy(spectrum, work, N);

    long double depth = 1;  // product of the depth factors so far
    for (int k = 0; k <= kLastStage; ++k) {
        if (k > 0) {
            // As in the run: the gates leave a stage's model out, never its
            // depth attenuation.
            if (q.depthOn) depth *= DepthFactor(k, q.p);
            if (q.gates[k - 1]) {
                ApplyStage(q, k, spectrum, N);
                energy = CopyWithEnergy(spectrum, work, N);
                FFT(work, N, -1);
                peak = SamplePeakAt(work, N, at);
            }
        }
        LedgerRow& row = ledger.rows[k];
        row.energy = CheckFinite(energy * depth * depth);
        row.peak = peak * depth;
        row.peakTime = at * ledger.Dt;
    }
    const long double probe = ledger.rows[0].energy;
    for (int k = 0; k <= kLastStage; ++k) {
        LedgerRow& row = ledger.rows[k];
        row.dbProbe = Decibels(row.energy, probe);
        row.dbStep = Decibels(row.energy, k == 0 ? probe : ledger.rows[k - 1].energy);
    }
    return ledger;
}

std::string LedgerCsv(const Ledger& ledger)
{
    std::string text = "stage,energy,db_probe,db_step,peak,peak_time\n";
    for (int k = 0; k <= kLastStage; ++k) {
        const LedgerRow& row = ledger.rows[k];
        text += std::to_string(k);
        text.push_back(',');
        AppendCsvNumber(text, row.energy);
        AppendCell(text, row.dbProbe);
        AppendCell(text, row.dbStep);
        text.push_back(',');
        AppendCsvNumber(text, row.peak);
        text.push_back(',');
        AppendCsvNumber(text, row.peakTime);
        text.push_back('\n');
    }
    return text;
}

}  // namespace sonavir
