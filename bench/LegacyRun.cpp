#include "bench/LegacyRun.h"

#include "display/Plotter.h"
#include "model/RunEcho.h"
#include "signal/MatchedFilter.h"
#include "signal/Noise.h"

namespace sonavir::legacy {

namespace {

struct Kept {
    TSignalData wave, spectrum, envelope;
};

class Run {
public:
    Run(const ModelParameters& params, const PictureSettings& settings, Picture& picture, int modelItem,
        int pathStage)
        : q_(RunRequest::Of(params, modelItem, pathStage)), settings_(settings), picture_(picture)
    {
        axes_.Dt = q_.p.Dt;
        axes_.Fmax = q_.p.Fmax;
        axes_.KofDiscret = q_.p.KofDiscret;
    }

    void Go()
    {
        picture_.Fill(settings_.PlotBackColor);
        picture_.SetBrushColor(settings_.PlotBackColor);
        M_ = HalfSampleCount(q_.p.Tc, q_.p.Dt);
        N_ = TransformSize(M_);
        AllocateSignal(signal_, N_);
        if (q_.modelItem != 0) {
            ApplyChannelModel(kModelViews[static_cast<std::size_t>(q_.modelItem)].model, q_, false, signal_, N_);
            SpectrumPlot("|K(jw)|");
            FFT(signal_, N_, -1);
            TimePlot("h(t)", signal_, &kept_.spectrum);
            return;
        }
        const bool reuse = q_.filterOn && q_.filterMode && !q_.noiseOn && q_.pathStage > 0 &&
                           !ScalesWithDepth(q_, q_.pathStage);
        TSignalData filterRef;
        long double energy = 0;
        if (q_.filterOn) {
            AllocateSignal(filterRef, N_);
            GenerateProbe(q_, signal_, N_, M_);
            energy = BufferEnergy(signal_, N_);
            if (q_.filterMode) ApplyDepthAttenuation(q_, q_.pathStage, signal_, N_);
            FFT(signal_, N_, +1);
            if (q_.filterMode)
                for (int i = 1; i <= q_.pathStage; ++i) ApplyStage(q_, i, signal_, N_);
            BuildMatchedFilter(signal_, N_, q_.p.Dt, filterRef);
        }
        if (!reuse) {
            GenerateProbe(q_, signal_, N_, M_);
            energy = BufferEnergy(signal_, N_);
            if (q_.noiseOn) AddNormalNoise(signal_, N_, q_.snr, q_.noiseSeed);
        }
        if (q_.pathStage == 0) {
            if (q_.filterOn) {
                FFT(signal_, N_, +1);
                ApplyMatchedFilter(signal_, N_, filterRef);
                FFT(signal_, N_, -1);
                ReleaseSignal(filterRef);
            }
            if (q_.normOn) NormalizeEnergy(signal_, N_, energy);
            TimePlot("S(t)", signal_, nullptr);
            FFT(signal_, N_, +1);
            SpectrumPlot("|S(jw)|");
            return;
        }
        if (!reuse) {
            FFT(signal_, N_, +1);
            for (int i = 1; i <= q_.pathStage; ++i) ApplyStage(q_, i, signal_, N_);
        }
        if (q_.filterOn) {
            ApplyMatchedFilter(signal_, N_, filterRef);
            ReleaseSignal(filterRef);
        }
        SpectrumPlot("|S(jw)|");
        FFT(signal_, N_, -1);
        ApplyDepthAttenuation(q_, q_.pathStage, signal_, N_);
        if (q_.normOn) NormalizeEnergy(signal_, N_, energy);
        const bool scaled = ScalesWithDepth(q_, q_.pathStage) || q_.normOn;
        TimePlot("S(t)", signal_, scaled ? nullptr : &kept_.spectrum);
    }

private:
    // The first plot's buffer is copied, the last one's taken over.
    void Keep(TSignalData& slot)
    {
        if (first_) {
            TryCopy(signal_, N_, slot);
            first_ = false;
        } else {
            slot[0].swap(signal_[0]);
            slot[1].swap(signal_[1]);
        }
    }

    void TimePlot(const char* caption, TSignalData& wave, const TSignalData* spectrum)
    {
        PlotExtras extras;
        if (settings_.db) {
            WaveEnvelope(wave, spectrum, N_, kept_.envelope);
            extras.envelope = &kept_.envelope;
        }
        DrawTimePlot(picture_, settings_, axes_, wave, N_, caption, PlotSpan{}.Within(2LL * N_), extras);
        Keep(kept_.wave);
    }

    void SpectrumPlot(const char* caption)
    {
        DrawSpectrumPlot(picture_, settings_, axes_, signal_, N_, caption, PlotSpan{}.Within(N_));
        Keep(kept_.spectrum);
    }

    RunRequest q_;
    const PictureSettings& settings_;
    Picture& picture_;
    PlotAxes axes_;
    int M_ = 0, N_ = 0;
    TSignalData signal_;
    Kept kept_;
    bool first_ = true;
};

}  // namespace

void Start(const ModelParameters& params, const PictureSettings& settings, Picture& picture, int modelItem,
           int pathStage)
{
    Run run(params, settings, picture, modelItem, pathStage);
    run.Go();
}

}  // namespace sonavir::legacy
