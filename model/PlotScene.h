#pragma once
// The picture of a run's result: the plots it shows, the zoom, the held
// reference and what is kept of the plots for the tools that work on the
// picture (the measures, the zoom, the readout under the cursor). It draws a
// result onto the picture in the run's order, so a failed run leaves the
// partial picture it got to; a zoom or a change of the settings draws the
// kept plots again without a run.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "display/Canvas.h"
#include "display/PictureSettings.h"
#include "display/PlotSpan.h"
#include "display/Plotter.h"
#include "model/PlotCursors.h"
#include "model/RunEcho.h"
#include "signal/ModelParams.h"
#include "signal/WinFFT.h"

namespace sonavir {

// What the picture's two plots were last drawn from, kept after the run so
// that tools working on the picture (the pulse-compression measures, zoom, a
// readout under the cursor) see exactly the data drawn, without running again.
// A run keeps its own working buffer for the plot it drew last and copies the
// buffer of the other one, so the retention costs one buffer beyond the run.
struct ShownPlots {
    std::uint64_t run = 0;   // which run of this MainState drew them, from 1
    int modelItem = 0;       // 0 the signal, 1 .. 4 a single model's view
    int pathStage = 0;       // stage of the echo path (0 for a model's view)
    int signalItem = 0;      // the probe kind of the run
    int filterWindow = 0;    // the matched filter's weighting when the run filtered, 0 otherwise
    bool compressed = false; // the matched filter acted on the signal (never in a model's view)
    TModelParams p;          // the numeric parameters the run used
    int N = 0;               // columns of both buffers
    PlotAxes axes;           // Dt, Fmax, KofDiscret, imageLeft as the plots had them
    bool hasWave = false;    // the time plot was drawn from wave
    bool hasSpectrum = false;  // the spectrum plot was drawn from spectrum
    TSignalData wave;        // waveform layout, 2N samples ("S(t)" or "h(t)")
    TSignalData spectrum;    // spectrum layout, N columns ("|S(jw)|" or "|K(jw)|")
    std::string waveCaption, spectrumCaption;
    // The spectrum is the waveform's own (its transform, or the spectrum it
    // is the inverse transform of, with no scaling between): the envelope
    // can be worked out from it with one transform.
    bool spectrumOfWave = false;
    // The waveform's envelope, kept when the time plot was drawn in the dB
    // view and the machine could spare it (a zoom in the dB view works it
    // out again otherwise, and the readout has no value for it).
    // envelopeExact: it is Envelope(wave)'s bit for bit, as the measures need.
    bool hasEnvelope = false, envelopeExact = false;
    TSignalData envelope;
    // How each plot was last drawn: in the dB view or not, and the value it
    // drew at full height (the peak, 0 dB in the dB view).
    bool waveDb = false, spectrumDb = false;
    long double waveScale = 0, spectrumScale = 0;
    // The held reference drawn under each plot (HeldReference::id), 0 none.
    std::uint64_t waveReference = 0, spectrumReference = 0;
    // Where they are in the picture: the points each plot shows (all of them,
    // {0, count}, unless zoomed) and the picture's size when they were drawn,
    // 0 once the picture no longer holds them (a resize blanked it).
    PlotSpan waveSpan, spectrumSpan;
    int width = 0, height = 0;

    bool Has(PlotKind plot) const
    {
        return plot == PlotKind::Time ? hasWave : plot == PlotKind::Spectrum && hasSpectrum;
    }
    // Positions of the plot's points: sample times or column frequencies.
    PointAxis Axis(PlotKind plot) const
    {
        return plot == PlotKind::Time ? axes.TimeAxis(N) : PointAxis::Frequency(axes.Dt, N);
    }
    const PlotSpan& Span(PlotKind plot) const { return plot == PlotKind::Time ? waveSpan : spectrumSpan; }
    bool Db(PlotKind plot) const { return plot == PlotKind::Time ? waveDb : spectrumDb; }
    std::uint64_t ReferenceId(PlotKind plot) const
    {
        return plot == PlotKind::Time ? waveReference : spectrumReference;
    }
    long double Scale(PlotKind plot) const { return plot == PlotKind::Time ? waveScale : spectrumScale; }
};

// A held reference ("Изображение" -> "Запомнить как эталон"): the data of
// the plots shown when it was taken, with their steps (not their pixels).
// Every later drawing of a plot draws it underneath (display/Plotter.h).
struct HeldReference {
    std::uint64_t id = 0;      // from 1, one per reference taken
    int N = 0;                 // columns of its buffers
    long double Dt = 0;        // its sample step
    long double t0 = 0;        // its waveform's time of sample 0
    TSignalData wave, spectrum;
    std::string waveCaption, spectrumCaption;
    bool spectrumOfWave = false;  // as ShownPlots
    // Its waveform's envelope, for the dB view: taken with it or worked out
    // at the first drawing that needs it, and kept where it can be spared.
    bool hasEnvelope = false;
    TSignalData envelope;
};
inline constexpr const char* kNothingToHold = "Нет графиков, которые можно запомнить как эталон";
inline constexpr const char* kNoMemoryToHold = "Недостаточно памяти, чтобы запомнить эталон";

// The zoom of the picture: a range of time for the waveform and one of
// frequency for the spectrum, none for the whole run. Kept as ranges, not as
// points, so that it outlives the run it was chosen on: every run and every
// redraw takes the points of its own record that fall in them.
struct PlotZoom {
    std::optional<PlotRange> time, frequency;
    bool Active() const { return time || frequency; }
    bool operator==(const PlotZoom&) const = default;
    std::optional<PlotRange>& Of(PlotKind plot) { return plot == PlotKind::Time ? time : frequency; }
    const std::optional<PlotRange>& Of(PlotKind plot) const
    {
        return plot == PlotKind::Time ? time : frequency;
    }
};

// What a run's plots are handed to as they are drawn (the command line
// writes them out): the plot's data and its columns.
struct PlotObservers {
    std::function<void(const TSignalData&, int N)> onTimePlot;
    std::function<void(const TSignalData&, int N)> onSpectrumPlot;
};

class PlotScene {
public:
    PlotScene(Canvas& picture, const PictureSettings& settings);

    // Draws a result: the picture filled with the background, then each of
    // its plots in order for the zoom, over the held reference, each kept
    // as drawn (the result's buffers are taken over). A plot that cannot be
    // drawn ends the drawing with its failure; then a failed run's failure
    // is thrown. The plots shown before go first.
    void Draw(RunResult& result, int imageLeft, const PlotObservers& observers = {});

    // The data of the plots now in the picture, or null: nothing drawn since
    // the last run started, the evaluation drew its chart over the picture, or
    // the run could not spare the memory to keep them (ShownDropped()).
    const ShownPlots* Shown() const { return shown_ ? &*shown_ : nullptr; }
    bool ShownDropped() const { return shownDropped_; }
    // The picture no longer shows the plots (a chart, or a run about to draw).
    void ForgetShown();

    // A fresh start: no plots kept, no reference, zoom (with its history) or
    // cursors. The picture itself is left to the caller.
    void StartAfresh();

    // The held reference: null when none is held.
    const HeldReference* Reference() const { return reference_ ? &*reference_ : nullptr; }
    // Whether there are plots to hold (or a run too large to keep any, which
    // HoldReference then reports).
    bool CanHoldReference() const { return (shown_ && shown_->hasWave && shown_->hasSpectrum) || shownDropped_; }
    // Keeps copies of the shown plots' data as the reference, in place of
    // any held before. Fails with kNothingToHold when no plots are shown and
    // kNoMemoryToHold when the machine cannot spare the copies (the reference
    // held before, if any, then stays). The picture is not drawn again: the
    // reference shows under the next drawing.
    void HoldReference();
    // Lets the reference go; plots on the picture drawn over it are drawn
    // again without it.
    void DropReference();

    // The zoom. A run draws its plots for it, held to its own record (and
    // keeps it so held).
    PlotZoom zoom;
    // Whether the picture holds the plots of Shown() as they were drawn.
    bool PlotsOnPicture() const;
    // The plot of Shown() under a point of the picture, or None.
    PlotKind ShownPlotAt(int x, int y) const;
    // Zooms a shown plot into its pixel columns x1 .. x2 (either order) and
    // draws it again; the other plot is left alone.
    void ZoomToColumns(PlotKind plot, int x1, int x2);
    // Sets a plot's zoom (nullopt: the whole run) and, when the picture shows
    // the plot, draws it again. A range that takes in the whole run is no zoom.
    void SetZoom(PlotKind plot, std::optional<PlotRange> range);
    // Both plots back to the whole run ("Весь сигнал").
    void ShowWholeRun();
    // Every change of the zoom above keeps the zoom it replaced, so that the
    // steps can be walked back (Backspace). `continuing` (a wheel turned on,
    // a drag moving on) joins a step to the one before it.
    bool CanZoomBack() const { return !zoomHistory_.empty(); }
    // The zoom before the last step, drawn; false when there is none.
    bool ZoomBack();
    static constexpr std::size_t kZoomHistory = 100;
    // The wheel: the plot's time or frequency span scaled by `factor` (below
    // 1 in, above 1 out) around the point under column x, held to the run;
    // a span of the whole run is no zoom. No closer than kClosestZoom points.
    void ZoomAround(PlotKind plot, int x, long double factor, bool continuing = false);
    static constexpr long long kClosestZoom = 4;
    // A drag: a zoomed plot's span moved by dx columns (right: earlier
    // times), its length kept, held to the run.
    void PanBy(PlotKind plot, int dx, bool continuing = false);

    // The cursors (model/PlotCursors.h), drawn on the plot they lie on by
    // every run and redraw. The picture is drawn again where they change.
    const PlotCursors& Cursors() const { return cursors_; }
    void SetCursors(const PlotCursors& cursors);
    // A cursor at column x of a shown plot, at the point the readout reads
    // there (PlotCursors::Place).
    void PlaceCursor(PlotKind plot, int x);
    // The cursor placed last (A when none) to the first point of largest
    // magnitude that the plot shows (its zoomed span): the cursors' plot, or
    // `plot` when there are none.
    void CursorToPeak(PlotKind plot);
    void ClearCursors() { SetCursors({}); }
    // The picture has been resized or refilled under the plots: with a zoom
    // they are drawn again at its size; without one they are gone from it.
    void PictureResized();
    // Both shown plots drawn again, the picture refilled first.
    void RedrawShown();

private:
    // The points the zoom shows of a record (every point without a zoom); the
    // zoom is held to the record.
    PlotSpan ZoomSpan(PlotKind plot, const PointAxis& axis);
    // Draws a shown plot again for the zoom, over its cleared band.
    void DrawShown(PlotKind plot);
    // The reference as a plot draws it (null when none is held), with the
    // reference's envelope in the dB view, worked out into `scratch` when
    // it cannot be kept.
    const PlotReference* ReferenceFor(PlotKind plot, PlotReference& ref, TSignalData& scratch);
    // One plot of a result, drawn and kept.
    void DrawPlot(const RunResult& result, RunPlot& plot, const PlotObservers& observers, int imageLeft);
    // A plot's zoom set to `range` (none: the whole run; a range that takes
    // in the whole run is none), kept in the history and drawn.
    void ChangeZoom(PlotKind plot, std::optional<PlotRange> range, bool continuing);
    // The plots whose zoom differs from `before` drawn again.
    void DrawZoomChanges(const PlotZoom& before);
    void RememberZoom(bool continuing);
    // What a plot draws of the cursors, read from its points (`values` in
    // the plot's layout: the waveform, its envelope, or the spectrum).
    std::optional<PlotCursorMarks> MarksOn(const PointAxis& axis, PlotKind plot, const TSignalData& values) const;

    Canvas& picture_;
    const PictureSettings& settings_;
    std::optional<ShownPlots> shown_;
    bool shownDropped_ = false;
    std::uint64_t runs_ = 0;
    std::optional<HeldReference> reference_;
    std::uint64_t references_ = 0;
    std::vector<PlotZoom> zoomHistory_;
    PlotCursors cursors_;
};

}  // namespace sonavir
