#pragma once
// The picture of an ambiguity function: the map in dB from 0 down to -40 dB
// with its scale bar, the -3 dB contour and the target's marker; under it the
// zero-Doppler cut along delay (on the map's delay axis) and the zero-delay
// cut along Doppler; beside the cuts, the measures as text. Drawn through the
// vector canvas onto any device, so the window's bitmap, a BMP or PNG file
// and an SVG or PDF page show the same geometry: in a vector file the map and
// the scale bar are images, the axes, contour, curves and text vectors.

#include <QImage>
#include <QRect>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "files/OutputFiles.h"
#include "display/PictureFiles.h"
#include "display/PictureSettings.h"

namespace sonavir {

class VectorCanvas;

// The picture's levels: 0 dB is |chi| = 1, lower levels lie on the floor.
inline constexpr double kAmbiguityFloorDb = -40;
inline constexpr double kAmbiguityContourDb = -3;

inline constexpr int kAmbiguityWidth = 980, kAmbiguityHeight = 760;
inline constexpr int kAmbiguityMinWidth = 640, kAmbiguityMinHeight = 480;

struct AmbiguityPlotData {
    // The map, row by row from the lowest Doppler up: rows x columns levels
    // in dB (held to the floor).
    int rows = 0, columns = 0;
    std::vector<double> db;
    // Delays of the first and last column (s), Doppler of the first and
    // last row (Hz), both evenly spaced between.
    long double delayLow = 0, delayHigh = 0, dopplerLow = 0, dopplerHigh = 0;
    // The zero-Doppler cut over the same delays (its own, denser samples)
    // and the zero-delay cut at the rows, in dB.
    std::vector<double> delayCut, dopplerCut;
    // The target's delay and Doppler, marked on the map.
    std::optional<std::array<long double, 2>> marker;
    std::string title;
    std::vector<std::string> lines;  // the measures
    long double F0 = 0;              // the carrier, for the readout's velocity

    double At(int row, int column) const
    {
        return db[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                  static_cast<std::size_t>(column)];
    }
};

// Where each part lies in a picture of the given size (held to the minimum).
struct AmbiguityLayout {
    QRect map, bar, delayCut, dopplerCut, text;
    int titleY = 0;
};
AmbiguityLayout LayoutAmbiguity(int width, int height);

// Positions along the map's axes: the delay at the centre of pixel column x,
// the Doppler at the centre of pixel row y (top is the highest Doppler).
long double DelayAtPixel(const AmbiguityPlotData& d, const QRect& map, int x);
long double DopplerAtPixel(const AmbiguityPlotData& d, const QRect& map, int y);
long double DopplerCutAtPixel(const AmbiguityPlotData& d, const QRect& cut, int x);
// The level a pixel of the map shows: the largest of the cells that fall in
// it, or the nearest cell where cells are fewer than pixels.
double MapLevelAt(const AmbiguityPlotData& d, const QRect& map, int x, int y);
// The level a cut shows at pixel column x (the largest of its samples there).
double DelayCutLevelAt(const AmbiguityPlotData& d, const QRect& cut, int x);
double DopplerCutLevelAt(const AmbiguityPlotData& d, const QRect& cut, int x);

// The colour of a level: from the floor (dark blue) to 0 dB (yellow).
TColor AmbiguityColor(double db);

// Draws the whole picture on a canvas of its size; the settings give the
// background and the foreground (axes, text).
void DrawAmbiguity(VectorCanvas& canvas, const PictureSettings& settings, const AmbiguityPlotData& d);
// The picture as a bitmap (32 bits per pixel).
QImage AmbiguityImage(const AmbiguityPlotData& d, const PictureSettings& settings, int width, int height);
// Into one output of a set, in the format (BMP and PNG the bitmap's pixels).
// Fails with "Cannot create file "%s". %s".
void WriteAmbiguityPicture(const AmbiguityPlotData& d, const PictureSettings& settings, int width, int height,
                           PictureFormat format, OutputFile& file);

}  // namespace sonavir
