#pragma once
// The waveform and spectrum plots of a run: the waveform into the upper band
// of the picture, the spectrum into the lower band.

#include <string>
#include <vector>

#include "display/Canvas.h"
#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "display/PlotSpan.h"
#include "signal/WinFFT.h"

namespace sonavir {

// What a plot needs besides the buffer and the settings.
struct PlotAxes {
    long double Dt = 0;      // sample step, s
    long double Fmax = 0;    // highest signal frequency, Hz
    int KofDiscret = 0;      // samples per period of Fmax
    int imageLeft = 0;       // left position of the picture in its window
    // The waveform's time of sample 0 (a time-gated record's), s, and the
    // sound speed that turns its echo times into ranges c·t/2 (0: none; the
    // picture setting "rangeAxis" labels the time axis in ranges with it).
    long double t0 = 0;
    long double soundSpeed = 0;
    PointAxis TimeAxis(int N) const { return PointAxis::Time(Dt, N, t0); }
    bool Ranges(const PictureSettings& settings) const { return settings.rangeAxis && soundSpeed > 0; }
};

// A polyline in the pen colour (solid pen) with the pixels of one LineTo per
// point, drawn faster: the segments between points that share a pixel column
// become the one vertical run they cover together. The pen ends at the last
// point, as after the LineTo calls. Other pen styles draw point by point.
class ColumnPolyline {
public:
    ColumnPolyline(Canvas& picture, int x, int y);  // move to (x, y)
    void LineTo(int x, int y);
    void Finish();  // draws what is pending; the destructor calls it too
    ~ColumnPolyline() { Finish(); }

private:
    void FlushColumn();

    Canvas& picture_;
    bool fast_;
    int x_, last_;       // current column and its latest point
    bool hull_ = false;  // lo_ .. hi_ hold the column's earlier points
    int lo_ = 0, hi_ = 0;
};

// Move to (x1, y1), line to (x2, y2) with the current pen.
void DrawLine(Canvas& picture, int x1, int y1, int x2, int y2);

// The dB view ("Шкала в дБ"): the waveform's envelope from 0 down to -60 dB
// of its peak, the spectrum's modulus down to -80 dB; lower levels, zero
// included, are drawn at the floor.
inline constexpr int kWaveFloorDb = -60;
inline constexpr int kSpectrumFloorDb = -80;

// A held reference: another run's plot, drawn under the plot's curve with
// the dotted pen at its own sample times or frequencies on the plot's axis
// (clipped to it), both curves on the scale of the larger of the two peaks
// (of the envelopes in the dB view).
struct PlotReference {
    const TSignalData* data = nullptr;      // its waveform or spectrum, laid out as the plot's own
    const TSignalData* envelope = nullptr;  // its waveform's envelope (dB view); worked out when not given
    int N = 0;                              // its columns
    long double Dt = 0;                     // its sample step
    long double t0 = 0;                     // its waveform's time of sample 0
};

// Cursors on a plot (model/PlotCursors.h): each a thin dashed line over the
// frame at the column of its point, its label above the frame and, when it
// has a value, a small square on the curve at that value; the summary text
// runs along the axis name's row from the frame's left edge. Points outside
// the span shown draw no line.
struct PlotCursorMark {
    std::string label;      // "A", "B"
    long long point = 0;    // the plot's point (sample, column) it reads
    bool hasValue = false;  // the marker is drawn at `value`, as the curve draws it
    long double value = 0;  // the raw value (the envelope's in the dB view)
};
struct PlotCursorMarks {
    std::vector<PlotCursorMark> marks;
    std::string summary;
};

// What a plot draws besides its own buffer.
struct PlotExtras {
    // The waveform's envelope (signal/Envelope.h, waveform layout), which the
    // dB view draws; worked out by the plot when not given.
    const TSignalData* envelope = nullptr;
    const PlotReference* reference = nullptr;
    const PlotCursorMarks* cursors = nullptr;
};

// Waveform of 2N samples. Fails with "Floating point division by zero" when
// every sample is 0 (nothing of the band is drawn then). With a span, only
// those samples, across the whole plot width, with the time ticks labelled
// for the span; the amplitude scale stays that of every sample, so a feature
// keeps its height. The span of every sample draws the plot without one.
// Returns the value drawn at full height: the largest |sample|, or in the
// dB view the envelope's peak (0 dB); with a reference, the larger of its
// and the reference's. A silent waveform fails with a reference too.
long double DrawTimePlot(Canvas& picture, const PictureSettings& settings, const PlotAxes& axes,
                         const TSignalData& samples, int N, const std::string& caption,
                         const PlotSpan& span = {}, const PlotExtras& extras = {});
// Amplitude spectrum of N columns; same failure for an all-zero spectrum,
// spans of columns as for the waveform, and the largest modulus returned.
long double DrawSpectrumPlot(Canvas& picture, const PictureSettings& settings, const PlotAxes& axes,
                             const TSignalData& spectrum, int N, const std::string& caption,
                             const PlotSpan& span = {}, const PlotExtras& extras = {});

// The peak the spectrum plot scales to: the largest modulus of the N
// columns, from double squares (extended only where they leave the double
// range), as the plot's pixels have always been placed; the waveform's is
// SamplePeak (signal/SampleBuffer.h).
long double SpectrumPeak(const TSignalData& spectrum, int N);

// The two plots of a picture: the waveform in the upper band, the spectrum
// in the lower.
enum class PlotKind { None, Time, Spectrum };

// The layout of a plot in a picture, worked out once: its size (never below
// the smallest picture), left origin and width, the base line Y0 (the zero
// line of the waveform, the bottom of the spectrum) and the nominal
// amplitude A in pixels (half the waveform's frame, the spectrum's height),
// and its band of rows.
struct PlotLayout {
    PlotKind kind = PlotKind::None;
    int W = 0, H = 0, X0 = 0, Wp = 0;
    int Y0 = 0, A = 0;
    int bandTop = 0, bandBottom = 0;
    // The amplitude ticks' right end and how far their labels rise.
    int AmplitudeRight() const { return kind == PlotKind::Time ? X0 + Wp : X0 + Wp - 1; }
    int LabelRise() const { return kind == PlotKind::Time ? 4 : 6; }
};
PlotLayout LayoutOf(const Canvas& picture, const PlotAxes& axes, PlotKind plot);

// Where a plot lies in a picture: its points spread over the columns X0 ..
// X0 + Wp; its frame covers the rows frameTop .. frameBottom (give or take
// the pixel that the peak's last bit decides); its band, the rows bandTop ..
// bandBottom, holds everything it draws and nothing of the other plot.
struct PlotPlace {
    int X0 = 0, Wp = 0;
    int frameTop = 0, frameBottom = 0;
    int bandTop = 0, bandBottom = 0;
};
PlotPlace PlaceOfPlot(const Canvas& picture, const PlotAxes& axes, PlotKind plot);
// The plot whose frame holds the point, or None.
PlotKind PlotAt(const Canvas& picture, const PlotAxes& axes, int x, int y);
// Fills the plot's band with the background, so that the plot alone can be
// drawn again; leaves the brush in the background colour, as a plot expects.
void ClearPlotBand(Canvas& picture, const PictureSettings& settings, PlotKind plot);

}  // namespace sonavir
