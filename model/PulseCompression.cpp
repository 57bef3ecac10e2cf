#include "model/PulseCompression.h"

#include <cmath>

#include "signal/Errors.h"
#include "signal/NumberText.h"

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
    return m;
}

std::string MeasuresCsv(const PulseCompression& m)
{
    std::string text = "peak_time,peak,width_3db,psl_db,isl_db,bt\n";
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
    text.push_back('\n');
    return text;
}

}  // namespace sonavir
