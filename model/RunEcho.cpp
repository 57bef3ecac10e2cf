#include "model/RunEcho.h"

#include <algorithm>
#include <fstream>
#include <new>

#include "signal/Antenna.h"
#include "signal/Envelope.h"
#include "signal/Errors.h"
#include "signal/Generators.h"
#include "signal/MatchedFilter.h"
#include "signal/Noise.h"
#include "signal/NumberText.h"
#include "signal/Propagation.h"
#include "signal/TimeScale.h"
#include "signal/Weighting.h"

namespace sonavir {

namespace {

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

// Step names the progress shows.
constexpr const char* kStepMemory = "Память";
constexpr const char* kStepProbe = "Сигнал";
constexpr const char* kStepReference = "Эталон фильтра";
constexpr const char* kStepNoise = "Шум";
constexpr const char* kStepForward = "Спектр";
constexpr const char* kStepInverse = "Форма сигнала";
constexpr const char* kStepFilter = "Согласованный фильтр";
constexpr const char* kStepScale = "Затухание и нормировка";
constexpr const char* kStepEnvelope = "Огибающая";

// Weights of the steps, in transforms of the run's size, as measured at
// N = 2^24 (fresh memory is slow to come by at that size).
constexpr double kTransform = 1.0, kAllocate = 0.4, kGenerate = 0.35, kModel = 0.2, kPass = 0.1, kFilter = 0.3,
                 kNoise = 0.6;
// The time scaling of a moving target's echo: three complex transforms of
// up to twice the run's size.
constexpr double kTimeScale = 4.0;

// The target's motion at the sphere's stage, beyond the model's own weight.
double MotionWeight(const RunRequest& q, int stage)
{
    return kEchoPath[stage].model == ChannelModel::Sphere && q.p.V != 0 ? kTimeScale : 0;
}

// What the run does, in order, so that the per cent can be told before it
// has happened: the same branches as the run below.
struct Plan {
    bool filter = false, reuseEcho = false;
    int gated = 0;          // gated stages up to the chosen one
    int gatedEcho = 0;      // gated stages the echo-matched reference passes
    // The target's motion among the gated stages: its weight beyond the model's.
    double motion = 0, motionEcho = 0;
};

double PlanWeight(const RunRequest& q, const Plan& plan)
{
    double w = kAllocate * (plan.filter ? 2 : 1);  // the buffers' zeros
    if (q.modelItem != 0) return w + kModel + kTransform + (q.envelope ? kTransform : 0);
    if (plan.filter)
        w += kGenerate + kTransform + plan.gatedEcho * kModel + plan.motionEcho + kModel + (q.windowItem ? kPass : 0);
    if (!plan.reuseEcho) w += kGenerate + (q.noiseOn ? kNoise : 0);
    if (q.pathStage == 0) {
        if (plan.filter) w += 2 * kTransform + kFilter;
        return w + kPass + kTransform + (q.envelope ? kTransform : 0);
    }
    if (!plan.reuseEcho) w += kTransform + plan.gated * kModel + plan.motion;
    return w + (plan.filter ? kFilter : 0) + kTransform + kPass + (q.envelope ? kTransform : 0);
}

// Moves a record's samples a quarter of it (N/2 samples) later, direction
// +1, or back, -1: column k of its spectrum times j^k or (-j)^k, which is
// exact. The Nyquist value turns by j^N = 1.
void RotateQuarter(TSignalData& spectrum, int N, int direction)
{
    double* re = spectrum[0].data();
    double* im = spectrum[1].data();
    for (int k = 1; k < N; ++k) {
        const double a = re[k], b = im[k];
        switch (((k % 4) * direction + 4) % 4) {
        case 1: re[k] = -b, im[k] = a; break;
        case 2: re[k] = -a, im[k] = -b; break;
        case 3: re[k] = b, im[k] = -a; break;
        default: break;
        }
        if (k % 8192 == 0) Checkpoint();
    }
}

// The echo of a target closing at V m/s: y(t) = x(eta t), t from the instant
// of transmission. The record is taken as the signal from -N/2 to 3N/2
// samples: what the models moved a little before that instant (the sphere's
// front face lies nearer than its centre, and a zero-phase response spreads
// both ways) has wrapped round to the record's end, and so stays before it
// and is scaled with the rest instead of being cut. A stretched pulse (and
// its ringing) still has three quarters of the record.
void MovingTarget(long double velocity, TSignalData& spectrum, int N)
{
    const long double eta = DopplerScale(velocity);
    if (N < 4) {
        TimeScale(spectrum, N, eta);
        return;
    }
    RotateQuarter(spectrum, N, +1);
    TimeScale(spectrum, N, eta, N / 2);
    RotateQuarter(spectrum, N, -1);
}

class Progress {
public:
    Progress(RunControl& control, bool reports) : control_(control), reports_(reports) {}
    void Plan(double total)
    {
        if (reports_) control_.Plan(total);
    }
    void Step(const std::string& name, double weight)
    {
        if (reports_) control_.BeginStep(name, weight);
        Checkpoint();
    }

private:
    RunControl& control_;
    bool reports_;
};

class Run {
public:
    Run(const RunRequest& q, RunResult& r, Progress& progress) : q_(q), r_(r), progress_(progress) {}

    void Go()
    {
        const TModelParams& p = q_.p;
        // The Barker snap becomes visible; this is not a user change of Tc.
        r_.tcText = FormatGeneral(p.Tc, 4);
        const int M = HalfSampleCount(p.Tc, p.Dt);
        N_ = TransformSize(M);
        M_ = M;
        r_.sizes = std::array<int, 2>{M, N_};

        Plan plan;
        plan.filter = q_.filterOn;
        // Matched to the echo with no noise and no depth scaling, the
        // reference pass leaves exactly the spectrum that generating the
        // probe again and carrying it along the path would give, operation
        // for operation; on long records that saves half of the run's work.
        // A weighted reference is no longer the echo.
        plan.reuseEcho = plan.filter && q_.filterMode && !q_.noiseOn && q_.pathStage > 0 &&
                         !ScalesWithDepth(q_, q_.pathStage) && q_.windowItem == 0;
        for (int i = 1; i <= q_.pathStage && q_.modelItem == 0; ++i) {
            plan.gated += q_.gates[i - 1];
            if (q_.gates[i - 1]) plan.motion += MotionWeight(q_, i);
        }
        plan.gatedEcho = q_.filterMode ? plan.gated : 0;
        plan.motionEcho = q_.filterMode ? plan.motion : 0;
        progress_.Plan(PlanWeight(q_, plan));

        progress_.Step(kStepMemory, kAllocate * (plan.filter ? 2 : 1));
        AllocateSignal(signal_, N_);
        // Plots refer to the first one while the second is made.
        r_.plots.reserve(2);
        if (q_.modelItem != 0) {
            ModelView();
            return;
        }
        SignalRun(plan);
    }

private:
    void ModelView()
    {
        // A single channel model: its response and its impulse response; no
        // signal, so none of the signal switches apply.
        progress_.Step(kModelViews[static_cast<std::size_t>(q_.modelItem)].name, kModel);
        ApplyChannelModel(kModelViews[static_cast<std::size_t>(q_.modelItem)].model, q_, false, signal_, N_);
        const RunPlot& spectrum = FirstPlot(PlotKind::Spectrum, "|K(jw)|");
        progress_.Step(kStepInverse, kTransform);
        FFT(signal_, N_, -1);
        TimePlot("h(t)", r_.keep ? &spectrum.data : nullptr, false);
        r_.spectrumOfWave = true;
    }

    void SignalRun(const Plan& plan)
    {
        TSignalData filterRef;
        long double referenceEnergy = 0;
        if (plan.filter) {
            AllocateSignal(filterRef, N_);
            referenceEnergy = BuildFilterReference(filterRef);
        }
        if (plan.reuseEcho) {
            r_.signalEnergy = referenceEnergy;
        } else {
            progress_.Step(kStepProbe, kGenerate);
            GenerateProbe(q_, signal_, N_, M_);
            r_.signalEnergy = BufferEnergy(signal_, N_);  // before any noise
            if (q_.noiseOn) {
                progress_.Step(kStepNoise, kNoise);
                AddNormalNoise(signal_, N_, q_.snr, q_.noiseSeed);
            }
        }

        if (q_.pathStage == 0) {
            if (plan.filter) {
                progress_.Step(kStepForward, kTransform);
                FFT(signal_, N_, +1);
                progress_.Step(kStepFilter, kFilter);
                ApplyMatchedFilter(signal_, N_, filterRef);
                progress_.Step(kStepInverse, kTransform);
                FFT(signal_, N_, -1);
                ReleaseSignal(filterRef);
            }
            progress_.Step(kStepScale, kPass);
            if (q_.normOn) NormalizeEnergy(signal_, N_, *r_.signalEnergy);
            ProbePlots();
            return;
        }

        if (!plan.reuseEcho) {
            progress_.Step(kStepForward, kTransform);
            FFT(signal_, N_, +1);
            for (int i = 1; i <= q_.pathStage; ++i) {
                if (!q_.gates[i - 1]) continue;
                progress_.Step(kEchoPath[i].name, kModel + MotionWeight(q_, i));
                ApplyStage(q_, i, signal_, N_);
            }
        }
        if (plan.filter) {
            progress_.Step(kStepFilter, kFilter);
            ApplyMatchedFilter(signal_, N_, filterRef);
            ReleaseSignal(filterRef);
        }
        const RunPlot& spectrum = FirstPlot(PlotKind::Spectrum, "|S(jw)|");
        progress_.Step(kStepInverse, kTransform);
        FFT(signal_, N_, -1);
        progress_.Step(kStepScale, kPass);
        ApplyDepthAttenuation(q_, q_.pathStage, signal_, N_);
        if (q_.normOn) NormalizeEnergy(signal_, N_, *r_.signalEnergy);
        // Scaled after the transform, the waveform has a spectrum of its own.
        const bool scaled = ScalesWithDepth(q_, q_.pathStage) || q_.normOn;
        TimePlot("S(t)", scaled || !r_.keep ? nullptr : &spectrum.data, false);
        r_.spectrumOfWave = !scaled;
    }

    // The probe's stage: the waveform's plot comes first, its spectrum after.
    void ProbePlots()
    {
        // The dB view works the envelope out of the waveform's transform,
        // which comes after the waveform's plot: the waveform is set aside.
        TSignalData wave;
        if (q_.envelope && TryCopy(signal_, N_, wave)) {
            progress_.Step(kStepForward, kTransform);
            FFT(signal_, N_, +1);
            progress_.Step(kStepEnvelope, kTransform);
            RunPlot plot = PlotOf(PlotKind::Time, "S(t)", wave);
            WaveEnvelope(plot.data, &signal_, N_, plot.envelope);
            plot.hasEnvelope = plot.envelopeExact = true;
            r_.plots.push_back(std::move(plot));
        } else {
            FirstPlot(PlotKind::Time, "S(t)");
            if (q_.envelope) {
                progress_.Step(kStepEnvelope, kTransform);
                RunPlot& plot = r_.plots.back();
                WaveEnvelope(plot.data, nullptr, N_, plot.envelope);
                plot.hasEnvelope = plot.envelopeExact = true;
            }
            progress_.Step(kStepForward, kTransform);
            FFT(signal_, N_, +1);
        }
        r_.plots.push_back(PlotOf(PlotKind::Spectrum, "|S(jw)|", signal_));
        r_.spectrumOfWave = true;
    }

    // The reference pass: the probe, or its echo at the chosen stage,
    // transformed into the filter's response. Returns the probe's energy.
    long double BuildFilterReference(TSignalData& filterRef)
    {
        progress_.Step(kStepReference, kGenerate);
        GenerateProbe(q_, signal_, N_, M_);
        const long double energy = BufferEnergy(signal_, N_);
        // The filter is matched to the weighted probe w(t) s(t), or to its echo.
        if (q_.windowItem != 0) {
            progress_.Step(kStepReference, kPass);
            ApplyWindow(signal_, N_, M_, WindowFromItem(q_.windowItem));
        }
        if (!q_.filterMode) {
            progress_.Step(kStepReference, kTransform);
            FFT(signal_, N_, +1);
        } else {
            // Matched to the echo that the run will filter at this stage.
            ApplyDepthAttenuation(q_, q_.pathStage, signal_, N_);
            progress_.Step(kStepReference, kTransform);
            FFT(signal_, N_, +1);
            for (int i = 1; i <= q_.pathStage; ++i) {
                if (!q_.gates[i - 1]) continue;
                progress_.Step(kEchoPath[i].name, kModel + MotionWeight(q_, i));
                ApplyStage(q_, i, signal_, N_);
            }
        }
        progress_.Step(kStepReference, kModel);
        BuildMatchedFilter(signal_, N_, q_.p.Dt, filterRef);
        return energy;
    }

    // The first plot of two: a copy of the working buffer, which the run
    // still needs. A machine that cannot spare the copy for long still gets
    // the plot drawn; it is not kept afterwards.
    const RunPlot& FirstPlot(PlotKind kind, const char* caption)
    {
        RunPlot plot;
        plot.kind = kind;
        plot.caption = caption;
        if (!TryCopy(signal_, N_, plot.data)) {
            r_.keep = false;
            try {
                for (int row = 0; row < 2; ++row) plot.data[row] = signal_[row];
            } catch (const std::bad_alloc&) {
                RaiseOutOfMemory();
            }
        }
        r_.plots.push_back(std::move(plot));
        return r_.plots.back();
    }

    // The last plot takes over a buffer.
    static RunPlot PlotOf(PlotKind kind, const char* caption, TSignalData& data)
    {
        RunPlot plot;
        plot.kind = kind;
        plot.caption = caption;
        plot.data[0].swap(data[0]);
        plot.data[1].swap(data[1]);
        return plot;
    }

    // The waveform's plot, last of the two; the dB view's envelope from the
    // given spectrum (the waveform's own) or from the waveform.
    void TimePlot(const char* caption, const TSignalData* spectrum, bool forward)
    {
        RunPlot plot = PlotOf(PlotKind::Time, caption, signal_);
        if (q_.envelope) {
            progress_.Step(kStepEnvelope, kTransform);
            WaveEnvelope(plot.data, spectrum, N_, plot.envelope);
            plot.hasEnvelope = true;
            plot.envelopeExact = !spectrum || forward;
        }
        r_.plots.push_back(std::move(plot));
    }

    const RunRequest& q_;
    RunResult& r_;
    Progress& progress_;
    int M_ = 0, N_ = 0;
    TSignalData signal_;
};

}  // namespace

RunRequest RunRequest::Of(const ModelParameters& params, int modelItem, int pathStage)
{
    RunRequest q;
    q.p = params.p;
    q.signalItem = params.signalItem;
    q.antennaItem = params.antennaItem;
    q.windowItem = params.windowItem;
    q.kText = params.kText;
    q.filterOn = params.filterOn;
    q.filterMode = params.filterMode;
    q.noiseOn = params.noiseOn;
    q.normOn = params.normOn;
    q.depthOn = params.depthOn;
    q.gates = params.gates;
    q.snr = params.Snr();
    q.modelItem = modelItem;
    q.pathStage = modelItem == 0 ? pathStage : 0;
    q.tcText = params.tcText;
    return q;
}

bool RunRequest::SameRun(const RunRequest& other) const
{
    RunRequest a = *this;
    a.envelope = other.envelope;
    a.tcText = other.tcText;
    return a == other;
}

std::array<std::string, 3> RunResult::MemoryTexts() const
{
    if (!sizes) return {};
    const long long M = (*sizes)[0], N = (*sizes)[1];
    return {std::to_string(2 * M), std::to_string(2 * N), std::to_string(16 * N)};
}

RunResult RunEcho(const RunRequest& request, RunControl& control)
{
    RunResult result;
    result.request = request;
    // A batch that runs its points side by side has installed the control
    // already, without progress of its own.
    const bool installed = CurrentRun() == &control;
    const RunScope scope(&control, installed ? ReportsProgress() : true);
    Progress progress(control, installed ? ReportsProgress() : true);
    try {
        Run run(request, result, progress);
        run.Go();
        if (ReportsProgress()) control.Finish();
    } catch (const RunStopped&) {
        result = RunResult{};
        result.request = request;
        result.stopped = true;
    } catch (...) {
        result.failure = std::current_exception();
    }
    return result;
}

void GenerateProbe(const RunRequest& q, TSignalData& data, int N, int M)
{
    switch (q.signalItem) {
    case kRadioPulse:
        RadioPulse(data, N, M, q.p);
        break;
    case kLfmPulse:
        LfmPulse(data, N, M, q.p);
        break;
    case kBarkerPulse:
        BarkerPulse(data, N, M, q.p);
        break;
    default:
        break;
    }
}

void ApplyChannelModel(ChannelModel model, const RunRequest& q, bool apply, TSignalData& data, int N)
{
    switch (model) {
    case ChannelModel::Antenna:
        if (q.antennaItem == 0)
            NarrowbandAntenna(apply, data, N, q.p);
        else if (q.antennaItem == 1)
            WidebandAntenna(apply, data, N, q.p, q.kText);
        break;
    case ChannelModel::Water:
        WaterMedium(apply, data, N, q.p);
        break;
    case ChannelModel::Seabed:
        SeabedLayer(apply, data, N, q.p);
        break;
    case ChannelModel::Sphere:
        SphereTarget(apply, data, N, q.p);
        break;
    case ChannelModel::None:
        break;
    }
}

void ApplyStage(const RunRequest& q, int stage, TSignalData& data, int N)
{
    if (stage < 1 || stage > kLastStage || !q.gates[stage - 1]) return;
    ApplyChannelModel(kEchoPath[stage].model, q, true, data, N);
    if (kEchoPath[stage].model == ChannelModel::Sphere && q.p.V != 0) MovingTarget(q.p.V, data, N);
}

bool ScalesWithDepth(const RunRequest& q, int lastStage)
{
    if (!q.depthOn) return false;
    for (int i = 1; i <= lastStage; ++i)
        if (DepthFactor(i, q.p) != 1.0L) return true;
    return false;
}

void ApplyDepthAttenuation(const RunRequest& q, int lastStage, TSignalData& data, int N)
{
    if (!q.depthOn) return;
    for (int i = 1; i <= lastStage; ++i) {
        const long double factor = DepthFactor(i, q.p);
        if (factor != 1.0L) ScaleBuffer(data, N, factor);
    }
}

bool CanSpare(unsigned long long bytes, unsigned long long more)
{
    constexpr unsigned long long kSpare = 256ULL << 20;
    if (bytes < (64ULL << 20)) return true;
    const unsigned long long available = AvailableMemory();
    return available == 0 || available >= more + std::max(kSpare, available / 8);
}

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

void WaveEnvelope(const TSignalData& wave, const TSignalData* spectrum, int N, TSignalData& envelope)
{
    if (spectrum)
        EnvelopeFromSpectrum(wave, *spectrum, N, envelope);
    else
        Envelope(wave, N, envelope);
}

}  // namespace sonavir
