#pragma once
// The waveform and spectrum plots of a run: the waveform into the upper band
// of the picture, the spectrum into the lower band.

#include <string>

#include "display/Canvas.h"
#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "signal/WinFFT.h"

namespace sonavir {

// What a plot needs besides the buffer and the settings.
struct PlotAxes {
    long double Dt = 0;      // sample step, s
    long double Fmax = 0;    // highest signal frequency, Hz
    int KofDiscret = 0;      // samples per period of Fmax
    int imageLeft = 0;       // left position of the picture in its window
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
// Waveform of 2N samples. Fails with "Floating point division by zero" when
// every sample is 0 (nothing of the band is drawn then).
void DrawTimePlot(Canvas& picture, const PictureSettings& settings, const PlotAxes& axes,
                  const TSignalData& samples, int N, const std::string& caption);
// Amplitude spectrum of N columns; same failure for an all-zero spectrum.
void DrawSpectrumPlot(Canvas& picture, const PictureSettings& settings, const PlotAxes& axes,
                      const TSignalData& spectrum, int N, const std::string& caption);

}  // namespace sonavir
