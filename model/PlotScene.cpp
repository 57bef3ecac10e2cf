#include "model/PlotScene.h"

#include <new>
#include <utility>

#include "signal/Errors.h"

namespace sonavir {

namespace {

// Takes over an envelope just worked out for the shown waveform, when the
// machine can spare it; otherwise it goes with the caller.
void KeepEnvelope(ShownPlots& s, TSignalData& envelope, bool exact)
{
    if (!CanSpare(16ULL * static_cast<unsigned long long>(s.N), 0)) return;
    s.envelope[0].swap(envelope[0]);
    s.envelope[1].swap(envelope[1]);
    s.hasEnvelope = true;
    s.envelopeExact = exact;
}

}  // namespace

PlotScene::PlotScene(Canvas& picture, const PictureSettings& settings) : picture_(picture), settings_(settings) {}

void PlotScene::Draw(RunResult& result, int imageLeft, const PlotObservers& observers)
{
    // The old plots go with the picture; their memory is the new run's.
    ForgetShown();
    ++runs_;
    picture_.Fill(settings_.PlotBackColor);
    picture_.SetBrushColor(settings_.PlotBackColor);
    // A run that could not spare its plots' memory draws them and lets them go.
    struct Drop {
        PlotScene& scene;
        bool keep;
        ~Drop()
        {
            if (keep || !scene.shown_) return;
            scene.shown_.reset();
            scene.shownDropped_ = true;
        }
    } drop{*this, result.keep};
    for (RunPlot& plot : result.plots) DrawPlot(result, plot, observers, imageLeft);
    if (result.failure) std::rethrow_exception(result.failure);
    if (shown_) shown_->spectrumOfWave = result.spectrumOfWave;
}

void PlotScene::DrawPlot(const RunResult& result, RunPlot& plot, const PlotObservers& observers, int imageLeft)
{
    const int N = result.N();
    const RunRequest& q = result.request;
    PlotAxes axes;
    axes.Dt = q.p.Dt;
    axes.Fmax = q.p.Fmax;
    axes.KofDiscret = q.p.KofDiscret;
    axes.imageLeft = imageLeft;
    const bool wave = plot.kind == PlotKind::Time;
    const PlotSpan span = ZoomSpan(plot.kind, wave ? PointAxis::Time(q.p.Dt, N) : PointAxis::Frequency(q.p.Dt, N));

    PlotExtras extras;
    bool exact = plot.envelopeExact;
    if (wave && settings_.db) {
        // The dB view was switched on while the run went: worked out here.
        if (!plot.hasEnvelope) {
            WaveEnvelope(plot.data, nullptr, N, plot.envelope);
            plot.hasEnvelope = exact = true;
        }
        extras.envelope = &plot.envelope;
    }
    PlotReference ref;
    TSignalData refEnvelope;
    extras.reference = ReferenceFor(plot.kind, ref, refEnvelope);
    const long double scale =
        wave ? DrawTimePlot(picture_, settings_, axes, plot.data, N, plot.caption, span, extras)
             : DrawSpectrumPlot(picture_, settings_, axes, plot.data, N, plot.caption, span, extras);
    const auto& observer = wave ? observers.onTimePlot : observers.onSpectrumPlot;
    if (observer) observer(plot.data, N);

    // Kept as drawn: the result's buffers are taken over.
    if (!shown_) {
        shown_.emplace();
        ShownPlots& s = *shown_;
        s.run = runs_;
        s.modelItem = q.modelItem;
        s.pathStage = q.modelItem == 0 ? q.pathStage : 0;
        s.signalItem = q.signalItem;
        s.compressed = q.modelItem == 0 && q.filterOn;
        s.p = q.p;
        s.N = N;
        s.axes = axes;
    }
    ShownPlots& s = *shown_;
    TSignalData& slot = wave ? s.wave : s.spectrum;
    slot[0].swap(plot.data[0]);
    slot[1].swap(plot.data[1]);
    ReleaseSignal(plot.data);
    if (extras.envelope) KeepEnvelope(s, plot.envelope, exact);
    (wave ? s.hasWave : s.hasSpectrum) = true;
    (wave ? s.waveCaption : s.spectrumCaption) = plot.caption;
    (wave ? s.waveSpan : s.spectrumSpan) = span;
    (wave ? s.waveDb : s.spectrumDb) = settings_.db;
    (wave ? s.waveScale : s.spectrumScale) = scale;
    (wave ? s.waveReference : s.spectrumReference) = reference_ ? reference_->id : 0;
    s.width = picture_.Width();
    s.height = picture_.Height();
}

const PlotReference* PlotScene::ReferenceFor(PlotKind plot, PlotReference& ref, TSignalData& scratch)
{
    if (!reference_) return nullptr;
    HeldReference& h = *reference_;
    ref.N = h.N;
    ref.Dt = h.Dt;
    ref.data = plot == PlotKind::Time ? &h.wave : &h.spectrum;
    if (plot == PlotKind::Time && settings_.db) {
        if (!h.hasEnvelope) {
            WaveEnvelope(h.wave, h.spectrumOfWave ? &h.spectrum : nullptr, h.N, scratch);
            if (CanSpare(16ULL * static_cast<unsigned long long>(h.N), 0)) {
                h.envelope[0].swap(scratch[0]);
                h.envelope[1].swap(scratch[1]);
                h.hasEnvelope = true;
            }
        }
        ref.envelope = h.hasEnvelope ? &h.envelope : &scratch;
    }
    return &ref;
}

void PlotScene::HoldReference()
{
    if (!shown_ || !shown_->hasWave || !shown_->hasSpectrum)
        throw SonavirError(shownDropped_ ? kNoMemoryToHold : kNothingToHold);
    const ShownPlots& s = *shown_;
    HeldReference h;
    if (!TryCopy(s.wave, s.N, h.wave) || !TryCopy(s.spectrum, s.N, h.spectrum)) throw SonavirError(kNoMemoryToHold);
    h.id = ++references_;
    h.N = s.N;
    h.Dt = s.axes.Dt;
    h.waveCaption = s.waveCaption;
    h.spectrumCaption = s.spectrumCaption;
    h.spectrumOfWave = s.spectrumOfWave;
    // The envelope the dB view kept comes along when it can be spared.
    if (s.hasEnvelope && TryCopy(s.envelope, s.N, h.envelope)) h.hasEnvelope = true;
    reference_.reset();  // the old copies go before the new ones are moved in
    reference_.emplace(std::move(h));
}

void PlotScene::DropReference()
{
    if (!reference_) return;
    reference_.reset();
    if (PlotsOnPicture() && (shown_->waveReference || shown_->spectrumReference)) RedrawShown();
}

PlotSpan PlotScene::ZoomSpan(PlotKind plot, const PointAxis& axis)
{
    std::optional<PlotRange>& range = zoom.Of(plot);
    if (!range) return PlotSpan{}.Within(axis.Count());
    *range = ClampRange(axis, *range);
    return PlotPoints(axis, *range);
}

bool PlotScene::PlotsOnPicture() const
{
    return shown_ && shown_->width > 0 && shown_->width == picture_.Width() &&
           shown_->height == picture_.Height();
}

PlotKind PlotScene::ShownPlotAt(int x, int y) const
{
    if (!PlotsOnPicture()) return PlotKind::None;
    const PlotKind plot = PlotAt(picture_, shown_->axes, x, y);
    return shown_->Has(plot) ? plot : PlotKind::None;
}

void PlotScene::DrawShown(PlotKind plot)
{
    ShownPlots& s = *shown_;
    const PointAxis axis = s.Axis(plot);
    const PlotSpan span = ZoomSpan(plot, axis);
    PlotExtras extras;
    TSignalData envelope;  // when the retention has none to lend
    if (plot == PlotKind::Time && settings_.db) {
        if (!s.hasEnvelope) {
            WaveEnvelope(s.wave, s.spectrumOfWave ? &s.spectrum : nullptr, s.N, envelope);
            // Only the probe's stage keeps its waveform's own transform.
            KeepEnvelope(s, envelope, !s.spectrumOfWave || (s.modelItem == 0 && s.pathStage == 0));
        }
        extras.envelope = s.hasEnvelope ? &s.envelope : &envelope;
    }
    PlotReference ref;
    TSignalData refEnvelope;
    extras.reference = ReferenceFor(plot, ref, refEnvelope);
    const std::uint64_t refId = reference_ ? reference_->id : 0;
    ClearPlotBand(picture_, settings_, plot);
    if (plot == PlotKind::Time) {
        s.waveScale = DrawTimePlot(picture_, settings_, s.axes, s.wave, s.N, s.waveCaption, span, extras);
        s.waveSpan = span;
        s.waveDb = settings_.db;
        s.waveReference = refId;
    } else {
        s.spectrumScale =
            DrawSpectrumPlot(picture_, settings_, s.axes, s.spectrum, s.N, s.spectrumCaption, span, extras);
        s.spectrumSpan = span;
        s.spectrumDb = settings_.db;
        s.spectrumReference = refId;
    }
    s.width = picture_.Width();
    s.height = picture_.Height();
}

void PlotScene::ZoomToColumns(PlotKind plot, int x1, int x2)
{
    if (!PlotsOnPicture() || !shown_->Has(plot)) return;
    const PlotPlace place = PlaceOfPlot(picture_, shown_->axes, plot);
    SetZoom(plot, RangeOfColumns(shown_->Axis(plot), shown_->Span(plot), place.X0, place.Wp, x1, x2));
}

void PlotScene::SetZoom(PlotKind plot, std::optional<PlotRange> range)
{
    if (plot == PlotKind::None) return;
    if (range && shown_) {
        const PointAxis axis = shown_->Axis(plot);
        if (PlotPoints(axis, ClampRange(axis, *range)).Whole(axis.Count())) range.reset();
    }
    zoom.Of(plot) = range;
    if (PlotsOnPicture() && shown_->Has(plot)) DrawShown(plot);
}

void PlotScene::ShowWholeRun()
{
    for (const PlotKind plot : {PlotKind::Time, PlotKind::Spectrum})
        if (zoom.Of(plot)) SetZoom(plot, std::nullopt);
}

void PlotScene::RedrawShown()
{
    if (!shown_ || !shown_->hasWave || !shown_->hasSpectrum) return;
    picture_.Fill(settings_.PlotBackColor);
    picture_.SetBrushColor(settings_.PlotBackColor);
    DrawShown(PlotKind::Time);
    DrawShown(PlotKind::Spectrum);
}

void PlotScene::PictureResized()
{
    if (!shown_) return;
    if (zoom.Active() && shown_->hasWave && shown_->hasSpectrum) {
        RedrawShown();
        return;
    }
    shown_->width = shown_->height = 0;
}

void PlotScene::ForgetShown()
{
    shown_.reset();
    shownDropped_ = false;
}


}  // namespace sonavir
