#include "model/PulseCompression.h"

#include <cmath>

#include "signal/Errors.h"
#include "signal/NumberText.h"
#include "signal/Weighting.h"

namespace sonavir {

namespace {

void AppendCell(std::string& line, const std::optional<long double>& value)
{
    line.push_back(',');
    if (value) AppendCsvNumber(line, *value);
}

}  // namespace

long double TimeBandwidth(int signalItem, const TModelParams& p)
{
    switch (signalItem) {
    case kLfmPulse:
        return CheckFinite(2 * p.FD * p.Tc);
    case kBarkerPulse:
        return 13;
    default:
        return 1;
    }
}

long double WeightedFilterLossDb(int signalItem, const TModelParams& p, int windowItem)
{
    const WindowKind kind = WindowFromItem(windowItem);
    const int M = HalfSampleCount(p.Tc, p.Dt);
    const int N = TransformSize(M);
    TSignalData probe;
    AllocateSignal(probe, N);
    RunRequest q;
    q.p = p;
    q.signalItem = signalItem;
    GenerateProbe(q, probe, N, M);
    const std::vector<double> w = WindowSamples(kind, 2LL * M);
    long double sw = 0, ss = 0, sww = 0;
    for (int m = 0; m < 2 * M; ++m) {
        const long double s2 = static_cast<long double>(probe[m & 1][m >> 1]) * probe[m & 1][m >> 1];
        sw += w[m] * s2;
        ss += s2;
        sww += static_cast<long double>(w[m]) * w[m] * s2;
        if (m % 8192 == 0) Checkpoint();
    }
    return 10 * CheckedLn(CheckedDiv(sw * sw, ss * sww)) / std::log(10.0L);
}

PulseCompression MeasureShown(const MainState& state)
{
    const ShownPlots* shown = state.Shown();
    if (!shown) {
        if (state.ShownDropped()) RaiseOutOfMemory();
        throw SonavirError(kNothingShown);
    }
    if (!shown->hasWave) throw SonavirError(kNothingShown);

    PulseCompression m;
    // The dB view may have kept the very envelope the measures would work
    // out; one worked out otherwise may differ in the last bits, and the
    // measures must not depend on the view.
    const bool kept = shown->hasEnvelope && shown->envelopeExact;
    TSignalData envelope;
    if (!kept) Envelope(shown->wave, shown->N, envelope);
    m.uncompressed = shown->modelItem == 0 && !shown->compressed;
    const TSignalData& e = kept ? shown->envelope : envelope;
    m.envelope = m.uncompressed ? MeasurePulse(e, shown->N, shown->axes.Dt)
                                : MeasureEnvelope(e, shown->N, shown->axes.Dt);
    if (shown->modelItem == 0) {
        m.bt = TimeBandwidth(shown->signalItem, shown->p);
        if (*m.bt > 0) m.gainDb = CheckFinite(10 * std::log10(*m.bt));
    }
    if (shown->filterWindow != 0)
        m.weightingLossDb = WeightedFilterLossDb(shown->signalItem, shown->p, shown->filterWindow);
    return m;
}

std::string MeasuresCsv(const PulseCompression& m)
{
    std::string text = "peak_time,peak,width_3db,psl_db,isl_db,bt";
    text += m.weightingLossDb ? ",weighting_loss_db\n" : "\n";
    AppendCsvNumber(text, m.envelope.peakTime);
    text.push_back(',');
    AppendCsvNumber(text, m.envelope.peak);
    AppendCell(text, m.envelope.width3db);
    if (m.uncompressed) {
        for (int cell = 0; cell < 2; ++cell) text += std::string(",") + kUncompressedCell;
    } else {
        AppendCell(text, m.envelope.pslDb);
        AppendCell(text, m.envelope.islDb);
    }
    AppendCell(text, m.bt);
    if (m.weightingLossDb) AppendCell(text, m.weightingLossDb);
    text.push_back('\n');
    return text;
}

}  // namespace sonavir
