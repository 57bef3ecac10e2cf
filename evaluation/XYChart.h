#pragma once
// Charts of one quantity against another: the sweep's measures against the
// swept parameter, the detection probability against the SNR or against the
// false-alarm probability. A chart is a value (curves with their points,
// axes, legends), drawn onto any canvas, so the window, the command line and
// the tests draw the same picture; the layout it was drawn with turns a point
// of the picture back into the chart's values (the readout under the cursor)
// and a drag across it into a zoom of the horizontal axis.
//
// Several panels share the horizontal axis, stacked, each with its own
// vertical axis (one measure each). Curves are drawn in the foreground
// colour, told apart by pen style and marker; a held reference is drawn
// dotted under the panel's curves, as on the main picture.

#include <optional>
#include <string>
#include <vector>

#include "display/Canvas.h"
#include "display/PictureSettings.h"
#include "display/PlotSpan.h"

namespace sonavir {

enum class AxisScale { Linear, Log };

struct ChartAxis {
    std::string title;
    AxisScale scale = AxisScale::Linear;
    // The range shown whatever the data (Pd from 0 to 1, say).
    std::optional<PlotRange> fixed;
    // Whole values named instead of numbered (a list choice): value i is
    // labelled categories[i].
    std::vector<std::string> categories;
    // A second reading of the horizontal axis's positions, labelled under
    // the first (the SNR as the program's own noise setting).
    std::string secondTitle;
    long double secondFactor = 0;  // second = secondFactor * 10^(x / 20); 0: none
};

// One curve. A point without a value (an empty measure) breaks the line.
struct ChartSeries {
    std::string name;  // the legend's and the readout's text
    bool legend = true;  // whether the legend lists it (when named)
    std::vector<long double> x;
    std::vector<std::optional<long double>> y;
    // An interval per point (a measured probability's), drawn as a bar.
    std::vector<PlotRange> bars;
    PenStyle pen = PenStyle::Solid;
    int marker = -1;  // -1 none; 0 square, 1 cross, 2 plus, 3 triangle, 4 diamond, 5 point
};

struct ChartPanel {
    std::string key;  // what it shows (a measure's name); a reference matches by it
    ChartAxis y;
    std::vector<ChartSeries> series;
    std::vector<ChartSeries> reference;  // a held reference, drawn dotted underneath
};

struct XYChart {
    ChartAxis x;
    std::vector<ChartPanel> panels;
};

// Where each panel was drawn and the values at its frame's edges (in the
// axis's own terms: log10 of the value on a log axis).
struct ChartPanelPlace {
    int left = 0, top = 0, right = 0, bottom = 0;
    long double u0 = 0, u1 = 1, v0 = 0, v1 = 1;
    bool xLog = false, yLog = false;
    int PixelX(long double x) const;
    int PixelY(long double y) const;
    long double ValueX(int px) const;
};
struct ChartLayout {
    std::vector<ChartPanelPlace> panels;
};

inline constexpr int kChartMarkers = 6;

// The picture filled with the background, then every panel. A zoom shows
// that range of the horizontal axis (values outside it are clipped). Values
// on a log axis that are not above 0 are left out.
ChartLayout DrawChart(Canvas& picture, const PictureSettings& settings, const XYChart& chart,
                      const std::optional<PlotRange>& zoom = std::nullopt);

// The panel whose frame holds the point, or -1.
int ChartPanelAt(const ChartLayout& layout, int x, int y);
// "FD = 1024   width_3db = 4,29E-4   эталон = 4,3E-4": at the point of each
// curve nearest the cursor's column (and of the reference); "" off the panels.
std::string ChartReadout(const XYChart& chart, const ChartLayout& layout, int x, int y);
// The range of the horizontal axis that columns x1 .. x2 of a panel cover.
PlotRange ChartRangeOfColumns(const ChartLayout& layout, int panel, int x1, int x2);

// The data's own range of the horizontal axis (the zoom's "whole").
std::optional<PlotRange> ChartXRange(const XYChart& chart);

// A chart on a picture with its zoom, as a window keeps it: drawn again for
// a new chart, a zoom or a new size, read under the cursor.
class ChartScene {
public:
    XYChart chart;
    std::optional<PlotRange> zoom;

    bool Empty() const { return chart.panels.empty(); }
    // The picture filled and the chart drawn for the zoom (nothing but the
    // background while there is no chart).
    void Draw(Canvas& picture, const PictureSettings& settings);
    int PanelAt(int x, int y) const { return ChartPanelAt(layout_, x, y); }
    const ChartLayout& Layout() const { return layout_; }
    // A drag across a panel's columns: the zoom (drawn at the next Draw);
    // a drag shorter than a few pixels changes nothing.
    void ZoomToColumns(int panel, int x1, int x2);
    std::string Readout(int x, int y) const { return ChartReadout(chart, layout_, x, y); }

private:
    ChartLayout layout_;
};

}  // namespace sonavir
