#include "model/PlotScene.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "model/SonarLevels.h"
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
    // Both plots share the axes: the waveform's gate belongs to them whichever comes first.
    for (const RunPlot& p : result.plots)
        if (p.kind == PlotKind::Time) axes.t0 = p.t0;
    if (q.levels.On()) axes.soundSpeed = kSonarSoundSpeed;
    const bool wave = plot.kind == PlotKind::Time;
    const PlotSpan span = ZoomSpan(plot.kind, wave ? axes.TimeAxis(N) : PointAxis::Frequency(q.p.Dt, N));

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
    const std::optional<PlotCursorMarks> marks =
        MarksOn(wave ? PointAxis::Time(q.p.Dt, N) : PointAxis::Frequency(q.p.Dt, N), plot.kind,
                wave && settings_.db ? plot.envelope : plot.data);
    if (marks) extras.cursors = &*marks;
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
        s.filterWindow = q.modelItem == 0 && q.filterOn ? q.windowItem : 0;
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
    ref.t0 = h.t0;
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
    h.t0 = s.axes.t0;
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
    const std::optional<PlotCursorMarks> marks =
        MarksOn(axis, plot, plot == PlotKind::Time ? (extras.envelope ? *extras.envelope : s.wave) : s.spectrum);
    if (marks) extras.cursors = &*marks;
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
    ChangeZoom(plot, range, false);
}

void PlotScene::ChangeZoom(PlotKind plot, std::optional<PlotRange> range, bool continuing)
{
    if (plot == PlotKind::None) return;
    if (range && shown_) {
        const PointAxis axis = shown_->Axis(plot);
        if (PlotPoints(axis, ClampRange(axis, *range)).Whole(axis.Count())) range.reset();
    }
    if (zoom.Of(plot) != range) RememberZoom(continuing);
    zoom.Of(plot) = range;
    if (PlotsOnPicture() && shown_->Has(plot)) DrawShown(plot);
}

void PlotScene::RememberZoom(bool continuing)
{
    if (continuing && !zoomHistory_.empty()) return;
    if (zoomHistory_.size() == kZoomHistory) zoomHistory_.erase(zoomHistory_.begin());
    zoomHistory_.push_back(zoom);
}

void PlotScene::DrawZoomChanges(const PlotZoom& before)
{
    for (const PlotKind plot : {PlotKind::Time, PlotKind::Spectrum})
        if (before.Of(plot) != zoom.Of(plot) && PlotsOnPicture() && shown_->Has(plot)) DrawShown(plot);
}

void PlotScene::ShowWholeRun()
{
    if (!zoom.Active()) return;
    RememberZoom(false);
    const PlotZoom before = zoom;
    zoom = PlotZoom{};
    DrawZoomChanges(before);
}

bool PlotScene::ZoomBack()
{
    if (zoomHistory_.empty()) return false;
    const PlotZoom before = zoom;
    zoom = zoomHistory_.back();
    zoomHistory_.pop_back();
    DrawZoomChanges(before);
    return true;
}

void PlotScene::ZoomAround(PlotKind plot, int x, long double factor, bool continuing)
{
    if (!PlotsOnPicture() || !shown_->Has(plot) || !(factor > 0)) return;
    const PointAxis axis = shown_->Axis(plot);
    const PlotSpan& span = shown_->Span(plot);
    const PlotPlace place = PlaceOfPlot(picture_, shown_->axes, plot);
    const long double at = axis.At(PointAtColumn(span, place.X0, place.Wp, x));
    const long double from = axis.At(static_cast<long double>(span.first));
    const long double to = axis.At(static_cast<long double>(span.first + span.count - 1));
    const PlotRange next{at - (at - from) * factor, at + (to - at) * factor};
    // Closer than a few points the plot would show nothing more.
    if (factor < 1 && (next.to - next.from) < (kClosestZoom - 1) * axis.At(1)) return;
    ChangeZoom(plot, ClampRange(axis, next), continuing);
}

void PlotScene::PanBy(PlotKind plot, int dx, bool continuing)
{
    if (!PlotsOnPicture() || !shown_->Has(plot) || !zoom.Of(plot) || dx == 0) return;
    const PointAxis axis = shown_->Axis(plot);
    const PlotPlace place = PlaceOfPlot(picture_, shown_->axes, plot);
    const PlotRange range = *zoom.Of(plot);
    const long double length = range.to - range.from;
    const long double first = axis.At(0), last = axis.At(static_cast<long double>(axis.Count() - 1));
    long double from = range.from - dx * length / std::max(1, place.Wp);
    from = std::max(first, std::min(from, last - length));
    ChangeZoom(plot, PlotRange{from, from + length}, continuing);
}

std::optional<PlotCursorMarks> PlotScene::MarksOn(const PointAxis& axis, PlotKind plot,
                                                  const TSignalData& values) const
{
    if (!cursors_.Any() || cursors_.plot != plot) return std::nullopt;
    const CursorReadout r = ReadCursorsOn(axis, plot, cursors_, [&](long long i) -> long double {
        if (plot == PlotKind::Time) return values[i & 1][i >> 1];
        const long double re = values[0][i], im = values[1][i];
        return std::sqrt(re * re + im * im);
    });
    return CursorMarks(r);
}

void PlotScene::SetCursors(const PlotCursors& next)
{
    if (next == cursors_) return;
    const PlotKind before = cursors_.plot;
    cursors_ = next;
    if (!PlotsOnPicture()) return;
    for (const PlotKind plot : {PlotKind::Time, PlotKind::Spectrum})
        if ((plot == before || plot == next.plot) && shown_->Has(plot)) DrawShown(plot);
}

void PlotScene::PlaceCursor(PlotKind plot, int x)
{
    if (!PlotsOnPicture() || !shown_->Has(plot) || !ShownReadable(*shown_, plot)) return;
    const long long point = PointUnderColumn(*shown_, plot, PlaceOfPlot(picture_, shown_->axes, plot), x);
    PlotCursors next = cursors_;
    next.Place(plot, shown_->Axis(plot).At(static_cast<long double>(point)));
    SetCursors(next);
}

void PlotScene::CursorToPeak(PlotKind plot)
{
    if (cursors_.Any()) plot = cursors_.plot;
    if (!PlotsOnPicture() || !shown_->Has(plot) || !ShownReadable(*shown_, plot)) return;
    const long long point = LargestPoint(*shown_, plot, shown_->Span(plot));
    PlotCursors next = cursors_;
    next.MoveLast(plot, shown_->Axis(plot).At(static_cast<long double>(point)));
    SetCursors(next);
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

void PlotScene::StartAfresh()
{
    ForgetShown();
    reference_.reset();
    zoom = PlotZoom{};
    zoomHistory_.clear();
    cursors_ = PlotCursors{};
}

void PlotScene::ForgetShown()
{
    shown_.reset();
    shownDropped_ = false;
}


}  // namespace sonavir
