#include "model/MainState.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <string>

#include "display/Plotter.h"
#include "signal/Antenna.h"
#include "signal/Envelope.h"
#include "signal/Errors.h"
#include "signal/Generators.h"
#include "signal/MatchedFilter.h"
#include "signal/Noise.h"
#include "signal/Propagation.h"

namespace sonavir {

namespace {

// Releases the run's buffers however the run ends: a failed run must not keep
// hundreds of megabytes alive until the next one.
class BufferRelease {
public:
    explicit BufferRelease(MainState& state) : state_(state) {}
    ~BufferRelease()
    {
        ReleaseSignal(state_.FilterRef);
        ReleaseSignal(state_.Signal);
    }
    BufferRelease(const BufferRelease&) = delete;
    BufferRelease& operator=(const BufferRelease&) = delete;

private:
    MainState& state_;
};

// Memory the system could still hand out without swapping, in bytes; 0 when
// it does not say.
unsigned long long AvailableMemory()
{
    std::ifstream in("/proc/meminfo");
    std::string key;
    unsigned long long kib = 0;
    std::string unit;
    while (in >> key >> kib) {
        if (key == "MemAvailable:") return kib * 1024;
        std::getline(in, unit);
    }
    return 0;
}

// Whether the machine can spare `more` bytes beyond what it holds now (0:
// whether keeping a buffer of `bytes` already taken leaves it room to
// breathe). Keeping data is a convenience, and must never push a large run
// into swap or out of memory; small buffers are always kept.
bool CanSpare(unsigned long long bytes, unsigned long long more)
{
    constexpr unsigned long long kSpare = 256ULL << 20;
    if (bytes < (64ULL << 20)) return true;
    const unsigned long long available = AvailableMemory();
    return available == 0 || available >= more + std::max(kSpare, available / 8);
}

// A copy of the buffer when the machine can spare it. False (and `to` left
// empty) otherwise.
bool TryCopy(const TSignalData& from, int N, TSignalData& to)
{
    const unsigned long long bytes = 16ULL * static_cast<unsigned long long>(N);
    if (!CanSpare(bytes, bytes)) return false;
    try {
        for (int r = 0; r < 2; ++r) to[r].assign(from[r].begin(), from[r].begin() + N);
    } catch (const std::bad_alloc&) {
        ReleaseSignal(to);
        return false;
    }
    return true;
}

// The envelope of a waveform, from its own spectrum when there is one.
void WaveEnvelope(const TSignalData& wave, const TSignalData* spectrum, int N, TSignalData& envelope)
{
    if (spectrum)
        EnvelopeFromSpectrum(wave, *spectrum, N, envelope);
    else
        Envelope(wave, N, envelope);
}

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

MainState::MainState(ModelParameters& params, PictureSettings& settings, Picture& picture)
    : params(params), settings(settings), picture(picture)
{
}

const std::vector<std::string>& MainState::ModelItems()
{
    static const std::vector<std::string> items = {"Сигнал", "Антенна", "Среда", "Грунт", "Объект"};
    return items;
}

const std::vector<std::string>& MainState::PathItems()
{
    static const std::vector<std::string> items = {
        "Модель",
        "Излученный антенной",
        "Прошедший водную среду",
        "Прошедший грунт",
        "Отраженный от сферы",
        "Отраженный и прошедший через грунт",
        "Отраженный и прошедший через водную среду",
        "Отраженный и принятый антенной",
    };
    return items;
}

// ---------------------------------------------------------------- navigation

void MainState::SetPathButtonsFromIndex()
{
    prevEnabled = pathStage > 0;
    nextEnabled = pathStage < kLastStage;
}

void MainState::SelectModel(int item)
{
    // A disabled list raises no change; an index outside the list is "no
    // selection", which changes nothing.
    if (evaluationShown || item < 0 || item >= static_cast<int>(ModelItems().size())) return;
    modelItem = item;
    pathStage = 0;
    if (item == 0) {
        pathEnabled = true;
        prevEnabled = false;
        nextEnabled = true;
    } else {
        pathEnabled = false;
        prevEnabled = false;
        nextEnabled = false;
    }
}

void MainState::SelectPath(int item)
{
    if (evaluationShown || !pathEnabled || item < 0 || item > kLastStage) return;
    pathStage = item;
    SetPathButtonsFromIndex();
}

void MainState::PrevPath()
{
    if (evaluationShown || !prevEnabled) return;
    if (pathStage > 0) --pathStage;
    if (pathStage == 0) prevEnabled = false;
    nextEnabled = true;
}

void MainState::NextPath()
{
    if (evaluationShown || !nextEnabled) return;
    if (pathStage < kLastStage) ++pathStage;
    if (pathStage == kLastStage) nextEnabled = false;
    prevEnabled = true;
}

void MainState::SetFilterMode(bool on)
{
    params.filterMode = on;
    MatchToEcho = on;
}

void MainState::SetEvaluationShown(bool shown)
{
    evaluationShown = shown;
    if (shown) {
        pathEnabled = false;
        prevEnabled = false;
        nextEnabled = false;
        return;
    }
    if (modelItem == 0) {
        pathEnabled = true;
        SetPathButtonsFromIndex();
    } else {
        // A single model keeps its own rule: no path to walk.
        pathEnabled = false;
        prevEnabled = false;
        nextEnabled = false;
    }
    params.DeriveParameters();
}

// ---------------------------------------------------------------- Start

void MainState::Start()
{
    statusText.clear();
    if (onStatusChanged) onStatusChanged();
    RunModel();
    settings.shortForm = false;
    statusText = ModelItems()[modelItem] + " - " + PathItems()[pathStage];
    imageMenuEnabled = true;
    if (onStatusChanged) onStatusChanged();
}

// ---------------------------------------------------------------- the run

void MainState::GenerateSignal() { GenerateSignal(Signal, SignalSize, RealSignalSize); }

void MainState::GenerateSignal(TSignalData& data, int N, int M) const
{
    switch (params.signalItem) {
    case kRadioPulse:
        RadioPulse(data, N, M, params.p);
        break;
    case kLfmPulse:
        LfmPulse(data, N, M, params.p);
        break;
    case kBarkerPulse:
        BarkerPulse(data, N, M, params.p);
        break;
    default:
        break;
    }
}

void MainState::ApplyAntenna(bool apply) { ApplyAntenna(apply, Signal, SignalSize); }

void MainState::ApplyAntenna(bool apply, TSignalData& data, int N) const
{
    if (params.antennaItem == 0)
        NarrowbandAntenna(apply, data, N, params.p);
    else if (params.antennaItem == 1)
        WidebandAntenna(apply, data, N, params.p, params.kText);
}

void MainState::ApplyStage(int stage, TSignalData& data, int N) const
{
    if (stage < 1 || stage > kLastStage || !params.gates[stage - 1]) return;
    switch (stage) {
    case 1:
    case 7:
        ApplyAntenna(true, data, N);
        break;
    case 2:
    case 6:
        WaterMedium(true, data, N, params.p);
        break;
    case 3:
    case 5:
        SeabedLayer(true, data, N, params.p);
        break;
    case 4:
        SphereTarget(true, data, N, params.p);
        break;
    }
}

long double MainState::DepthFactor(int stage) const
{
    // Range in km and thickness in m only attenuate from one unit on.
    if (stage == 2 || stage == 6) return params.p.R >= 1 ? CheckedDiv(1, params.p.R) : 1.0L;
    if (stage == 3 || stage == 5)
        return params.p.GruntHeight >= 1 ? CheckedDiv(1, params.p.GruntHeight) : 1.0L;
    return 1.0L;
}

bool MainState::ScalesWithDepth(int lastStage) const
{
    if (!params.depthOn) return false;
    for (int i = 1; i <= lastStage; ++i)
        if (DepthFactor(i) != 1.0L) return true;
    return false;
}

void MainState::ApplyDepthAttenuation(int lastStage)
{
    if (!params.depthOn) return;
    // The gates do not apply here: an unchecked stage is still attenuated.
    for (int i = 1; i <= lastStage; ++i) {
        const long double factor = DepthFactor(i);
        if (factor != 1.0L) ScaleBuffer(Signal, SignalSize, factor);
    }
}

void MainState::BuildFilterReference()
{
    GenerateSignal();
    referenceEnergy_ = BufferEnergy(Signal, SignalSize);
    if (!params.filterMode) {
        FFT(Signal, SignalSize, +1);
        BuildMatchedFilter(Signal, SignalSize, params.p.Dt, FilterRef);
        return;
    }
    // Matched to the echo that the run will filter at this stage.
    ApplyDepthAttenuation(pathStage);
    FFT(Signal, SignalSize, +1);
    for (int i = 1; i <= pathStage; ++i) ApplyStage(i, Signal, SignalSize);
    BuildMatchedFilter(Signal, SignalSize, params.p.Dt, FilterRef);
}

PlotAxes MainState::Axes() const
{
    PlotAxes axes;
    axes.Dt = params.p.Dt;
    axes.Fmax = params.p.Fmax;
    axes.KofDiscret = params.p.KofDiscret;
    axes.imageLeft = imageLeft;
    return axes;
}

void MainState::TimePlot(const char* caption, TSignalData& wave, const TSignalData* spectrum, bool forward)
{
    const PlotSpan span = ZoomSpan(PlotKind::Time, PointAxis::Time(params.p.Dt, SignalSize));
    // The dB view draws the envelope: worked out once here, so that the
    // retention can keep it for zooms and the readout.
    TSignalData envelope;
    PlotExtras extras;
    if (settings.db) {
        WaveEnvelope(wave, spectrum, SignalSize, envelope);
        extras.envelope = &envelope;
    }
    PlotReference ref;
    TSignalData refEnvelope;
    extras.reference = ReferenceFor(PlotKind::Time, ref, refEnvelope);
    const long double scale = DrawTimePlot(picture, settings, Axes(), wave, SignalSize, caption, span, extras);
    if (onTimePlot) onTimePlot(wave, SignalSize);
    Retain(true, wave, caption, span, scale, extras.envelope ? &envelope : nullptr, !spectrum || forward);
}

void MainState::SpectrumPlot(const char* caption)
{
    const PlotSpan span = ZoomSpan(PlotKind::Spectrum, PointAxis::Frequency(params.p.Dt, SignalSize));
    PlotExtras extras;
    PlotReference ref;
    TSignalData unused;
    extras.reference = ReferenceFor(PlotKind::Spectrum, ref, unused);
    const long double scale = DrawSpectrumPlot(picture, settings, Axes(), Signal, SignalSize, caption, span, extras);
    if (onSpectrumPlot) onSpectrumPlot(Signal, SignalSize);
    Retain(false, Signal, caption, span, scale, nullptr, false);
}

const PlotReference* MainState::ReferenceFor(PlotKind plot, PlotReference& ref, TSignalData& scratch)
{
    if (!reference_) return nullptr;
    HeldReference& h = *reference_;
    ref.N = h.N;
    ref.Dt = h.Dt;
    ref.data = plot == PlotKind::Time ? &h.wave : &h.spectrum;
    if (plot == PlotKind::Time && settings.db) {
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

void MainState::HoldReference()
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

void MainState::DropReference()
{
    if (!reference_) return;
    reference_.reset();
    if (PlotsOnPicture() && (shown_->waveReference || shown_->spectrumReference)) RedrawShown();
}

const TSignalData* MainState::KeptSpectrum() const
{
    return shown_ && shown_->hasSpectrum ? &shown_->spectrum : nullptr;
}

PlotSpan MainState::ZoomSpan(PlotKind plot, const PointAxis& axis)
{
    std::optional<PlotRange>& range = zoom.Of(plot);
    if (!range) return PlotSpan{}.Within(axis.Count());
    *range = ClampRange(axis, *range);
    return PlotPoints(axis, *range);
}

// ---------------------------------------------------------------- zoom

bool MainState::PlotsOnPicture() const
{
    return shown_ && shown_->width > 0 && shown_->width == picture.Width() &&
           shown_->height == picture.Height();
}

PlotKind MainState::ShownPlotAt(int x, int y) const
{
    if (!PlotsOnPicture()) return PlotKind::None;
    const PlotKind plot = PlotAt(picture, shown_->axes, x, y);
    return shown_->Has(plot) ? plot : PlotKind::None;
}

void MainState::DrawShown(PlotKind plot)
{
    ShownPlots& s = *shown_;
    const PointAxis axis = s.Axis(plot);
    const PlotSpan span = ZoomSpan(plot, axis);
    PlotExtras extras;
    TSignalData envelope;  // when the retention has none to lend
    if (plot == PlotKind::Time && settings.db) {
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
    ClearPlotBand(picture, settings, plot);
    if (plot == PlotKind::Time) {
        s.waveScale = DrawTimePlot(picture, settings, s.axes, s.wave, s.N, s.waveCaption, span, extras);
        s.waveSpan = span;
        s.waveDb = settings.db;
        s.waveReference = refId;
    } else {
        s.spectrumScale =
            DrawSpectrumPlot(picture, settings, s.axes, s.spectrum, s.N, s.spectrumCaption, span, extras);
        s.spectrumSpan = span;
        s.spectrumDb = settings.db;
        s.spectrumReference = refId;
    }
    s.width = picture.Width();
    s.height = picture.Height();
}

void MainState::ZoomToColumns(PlotKind plot, int x1, int x2)
{
    if (!PlotsOnPicture() || !shown_->Has(plot)) return;
    const PlotPlace place = PlaceOfPlot(picture, shown_->axes, plot);
    SetZoom(plot, RangeOfColumns(shown_->Axis(plot), shown_->Span(plot), place.X0, place.Wp, x1, x2));
}

void MainState::SetZoom(PlotKind plot, std::optional<PlotRange> range)
{
    if (plot == PlotKind::None) return;
    if (range && shown_) {
        const PointAxis axis = shown_->Axis(plot);
        if (PlotPoints(axis, ClampRange(axis, *range)).Whole(axis.Count())) range.reset();
    }
    zoom.Of(plot) = range;
    if (PlotsOnPicture() && shown_->Has(plot)) DrawShown(plot);
}

void MainState::ShowWholeRun()
{
    for (const PlotKind plot : {PlotKind::Time, PlotKind::Spectrum})
        if (zoom.Of(plot)) SetZoom(plot, std::nullopt);
}

void MainState::RedrawShown()
{
    if (!shown_ || !shown_->hasWave || !shown_->hasSpectrum) return;
    picture.Fill(settings.PlotBackColor);
    picture.SetBrushColor(settings.PlotBackColor);
    DrawShown(PlotKind::Time);
    DrawShown(PlotKind::Spectrum);
}

void MainState::PictureResized()
{
    if (!shown_) return;
    if (zoom.Active() && shown_->hasWave && shown_->hasSpectrum) {
        RedrawShown();
        return;
    }
    shown_->width = shown_->height = 0;
}

void MainState::ForgetShown()
{
    shown_.reset();
    shownDropped_ = false;
}


void MainState::Retain(bool wave, TSignalData& data, const char* caption, const PlotSpan& span, long double scale,
                       TSignalData* envelope, bool envelopeExact)
{
    // Every run draws exactly two plots, the second as its very last step:
    // the first one's buffer is copied, the second takes over Signal itself.
    if (shownDropped_) return;
    const bool first = !shown_;
    if (first) {
        shown_.emplace();
        ShownPlots& s = *shown_;
        s.run = runs_;
        s.modelItem = modelItem;
        s.pathStage = modelItem == 0 ? pathStage : 0;
        s.signalItem = params.signalItem;
        s.p = params.p;
        s.N = SignalSize;
        s.axes = Axes();
    }
    ShownPlots& s = *shown_;
    TSignalData& slot = wave ? s.wave : s.spectrum;
    if (first && &data == &Signal) {
        if (!TryCopy(Signal, SignalSize, slot)) {
            shown_.reset();
            shownDropped_ = true;
            return;
        }
    } else {
        slot[0].swap(data[0]);
        slot[1].swap(data[1]);
        ReleaseSignal(data);
    }
    if (envelope) KeepEnvelope(s, *envelope, envelopeExact);
    (wave ? s.hasWave : s.hasSpectrum) = true;
    (wave ? s.waveCaption : s.spectrumCaption) = caption;
    (wave ? s.waveSpan : s.spectrumSpan) = span;
    (wave ? s.waveDb : s.spectrumDb) = settings.db;
    (wave ? s.waveScale : s.spectrumScale) = scale;
    (wave ? s.waveReference : s.spectrumReference) = reference_ ? reference_->id : 0;
    s.width = picture.Width();
    s.height = picture.Height();
}

void MainState::RunModel()
{
    BufferRelease release(*this);
    // The old plots go with the picture; their memory is the new run's.
    ForgetShown();
    ++runs_;

    picture.Fill(settings.PlotBackColor);
    picture.SetBrushColor(settings.PlotBackColor);

    // The Barker snap becomes visible; this is not a user change of Tc.
    params.ShowTcText();

    RealSignalSize = HalfSampleCount(params.p.Tc, params.p.Dt);
    SignalSize = TransformSize(RealSignalSize);

    params.realSizeText = std::to_string(2LL * RealSignalSize);
    params.paddedSizeText = std::to_string(2LL * SignalSize);
    params.bytesText = std::to_string(16LL * SignalSize);
    if (onMemoryFigures) onMemoryFigures();

    ReleaseSignal(FilterRef);
    AllocateSignal(Signal, SignalSize);

    if (modelItem != 0) {
        // A single channel model: its response and its impulse response; no
        // signal, so none of the signal switches apply.
        switch (modelItem) {
        case 1:
            ApplyAntenna(false);
            break;
        case 2:
            WaterMedium(false, Signal, SignalSize, params.p);
            break;
        case 3:
            SeabedLayer(false, Signal, SignalSize, params.p);
            break;
        case 4:
            SphereTarget(false, Signal, SignalSize, params.p);
            break;
        default:
            break;
        }
        SpectrumPlot("|K(jw)|");
        FFT(Signal, SignalSize, -1);
        TimePlot("h(t)", Signal, KeptSpectrum(), false);
        if (shown_) shown_->spectrumOfWave = true;
        return;
    }

    const bool filter = params.filterOn;
    // Matched to the echo with no noise and no depth scaling, the reference
    // pass leaves in Signal exactly the spectrum that generating the probe
    // again and carrying it along the path would give, operation for
    // operation; on long records that saves half of the run's work.
    const bool reuseEcho = filter && params.filterMode && !params.noiseOn && pathStage > 0 &&
                           !ScalesWithDepth(pathStage);
    if (filter) {
        AllocateSignal(FilterRef, SignalSize);
        BuildFilterReference();
    }

    if (reuseEcho) {
        SignalEnergy = referenceEnergy_;
    } else {
        GenerateSignal();
        SignalEnergy = BufferEnergy(Signal, SignalSize);  // before any noise
        if (params.noiseOn) AddNormalNoise(Signal, SignalSize, params.Snr(), noiseSeed);
    }

    if (pathStage == 0) {
        if (filter) {
            FFT(Signal, SignalSize, +1);
            ApplyMatchedFilter(Signal, SignalSize, FilterRef);
            FFT(Signal, SignalSize, -1);
            ReleaseSignal(FilterRef);
        }
        if (params.normOn) NormalizeEnergy(Signal, SignalSize, SignalEnergy);
        // The dB view works the envelope out of the waveform's transform,
        // which comes after the waveform's plot: the waveform is set aside
        // first (the copy the retention makes anyway).
        TSignalData wave;
        if (settings.db && TryCopy(Signal, SignalSize, wave)) {
            FFT(Signal, SignalSize, +1);
            TimePlot("S(t)", wave, &Signal, true);
        } else {
            TimePlot("S(t)", Signal, nullptr, true);
            FFT(Signal, SignalSize, +1);
        }
        SpectrumPlot("|S(jw)|");
        if (shown_) shown_->spectrumOfWave = true;
        return;
    }

    if (!reuseEcho) {
        FFT(Signal, SignalSize, +1);
        for (int i = 1; i <= pathStage; ++i) ApplyStage(i, Signal, SignalSize);
    }
    if (filter) {
        ApplyMatchedFilter(Signal, SignalSize, FilterRef);
        ReleaseSignal(FilterRef);
    }
    SpectrumPlot("|S(jw)|");
    FFT(Signal, SignalSize, -1);
    ApplyDepthAttenuation(pathStage);
    if (params.normOn) NormalizeEnergy(Signal, SignalSize, SignalEnergy);
    // Scaled after the transform, the waveform has a spectrum of its own.
    const bool scaled = ScalesWithDepth(pathStage) || params.normOn;
    TimePlot("S(t)", Signal, scaled ? nullptr : KeptSpectrum(), false);
    if (shown_) shown_->spectrumOfWave = !scaled;
}

}  // namespace sonavir
