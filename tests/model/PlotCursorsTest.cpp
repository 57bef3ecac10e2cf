// The two cursors on a plot and the zoom's steps: what they read, what they
// draw, and the way back.
#include <gtest/gtest.h>

#include <cmath>

#include "display/Picture.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "model/PlotCursors.h"
#include "signal/Envelope.h"

using namespace sonavir;

namespace {

struct Window {
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state{params, settings, picture};
};

bool SameRows(const Picture& a, const Picture& b, int from, int to)
{
    for (int y = from; y < to; ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.PixelAt(x, y) != b.PixelAt(x, y)) return false;
    return true;
}

}  // namespace

// A and B read the points the mouse's readout reads at their columns; their
// distance and ratio follow from those points' indices and values, worked out
// here from the buffers (the envelope afresh); the cursors draw into their
// plot's band alone, and cleared they leave the plain picture, pixel for pixel.
TEST(PlotCursors, ReadTheReadoutsPointsAndDrawOnlyWhileSet)
{
    struct Case {
        PlotKind plot;
        bool db;
        int xa, xb, y;
    } cases[] = {{PlotKind::Time, false, 150, 420, 111},
                 {PlotKind::Time, true, 260, 330, 111},
                 {PlotKind::Spectrum, false, 300, 352, 400}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xa);
        Window w;
        w.settings.SetDb(c.db);
        w.params.SetSignalItem(kBarkerPulse);
        w.params.filterOn = true;
        w.state.Start();
        const Picture plain = w.picture;
        w.state.PlaceCursor(c.plot, c.xa);
        w.state.PlaceCursor(c.plot, c.xb);
        const ShownPlots& s = *w.state.Shown();
        const CursorReadout r = ReadCursors(s, w.state.Cursors());
        ASSERT_TRUE(r.a && r.b && r.delta);

        // The mouse's readout at the same columns names the same points.
        PlotReadout readout;
        const std::string name = c.plot == PlotKind::Time ? "t = " : "f = ";
        for (const auto& [x, reading] : {std::pair{c.xa, *r.a}, std::pair{c.xb, *r.b}}) {
            const std::string at = readout.At(w.state, x, c.y);
            const std::string coordinate = at.substr(name.size(), at.find(' ', name.size()) - name.size());
            EXPECT_EQ(coordinate, CoordinateText(reading.position, s.Axis(c.plot).At(reading.point + 1)));
        }
        TSignalData envelope;
        Envelope(s.wave, s.N, envelope);
        const auto value = [&](long long i) -> long double {
            if (c.plot == PlotKind::Spectrum) return std::hypot((long double)s.spectrum[0][i], s.spectrum[1][i]);
            return (c.db ? envelope : s.wave)[i % 2][i / 2];
        };
        const long double step = c.plot == PlotKind::Time ? w.params.p.Dt : 1 / (2 * s.N * w.params.p.Dt);
        const long double delta = (r.b->point - r.a->point) * step;
        EXPECT_NEAR(double(*r.delta / delta), 1, 1e-15);
        EXPECT_EQ(r.inverse.has_value(), c.plot == PlotKind::Time);
        if (r.inverse) {
            EXPECT_NEAR(double(*r.inverse * std::fabs(delta)), 1, 1e-15);
        }
        const long double ratio = 20 * std::log10(std::fabs(value(r.b->point) / value(r.a->point)));
        ASSERT_TRUE(r.ratioDb);
        EXPECT_NEAR(double(*r.ratioDb), double(ratio), 1e-9);

        const bool wave = c.plot == PlotKind::Time;
        EXPECT_FALSE(SameRows(w.picture, plain, wave ? 0 : 242, wave ? 242 : 484));
        EXPECT_TRUE(SameRows(w.picture, plain, wave ? 242 : 0, wave ? 484 : 242));
        w.state.ClearCursors();
        EXPECT_TRUE(SameRows(w.picture, plain, 0, 484));
    }
}

// A on a plot without cursors, then B, then the nearer of the two; the other
// plot starts afresh; "to the peak" moves the one placed last.
TEST(PlotCursors, PlacingRule)
{
    PlotCursors c;
    struct Step {
        bool peak;
        PlotKind plot;
        long double at;
        std::optional<long double> a, b;
    } steps[] = {{false, PlotKind::Time, 5, 5, {}},       {false, PlotKind::Time, 9, 5, 9},
                 {false, PlotKind::Time, 6, 6, 9},        {true, PlotKind::Time, 1, 1, 9},
                 {false, PlotKind::Time, 8, 1, 8},        {true, PlotKind::Time, 2, 1, 2},
                 {false, PlotKind::Spectrum, 3, 3, {}},   {true, PlotKind::Time, 4, 4, {}}};
    for (const Step& s : steps) {
        if (s.peak) c.MoveLast(s.plot, s.at);
        else c.Place(s.plot, s.at);
        EXPECT_EQ(c.plot, s.plot);
        EXPECT_EQ(c.a, s.a) << double(s.at);
        EXPECT_EQ(c.b, s.b) << double(s.at);
    }
}

// The wheel keeps the time under the mouse where it was and scales the span;
// a pan moves the span by its share of the columns, its length kept and held
// to the record; Backspace walks every step back to the whole run, and
// notches that continue a step are one step.
TEST(PlotZoomSteps, WheelPanAndBack)
{
    Window w;
    w.state.Start();
    const Picture whole = w.picture;
    const PointAxis axis = w.state.Shown()->Axis(PlotKind::Time);
    const PlotPlace place = PlaceOfPlot(w.picture, w.state.Shown()->axes, PlotKind::Time);
    const auto timeAt = [&](int x) { return axis.At(PointAtColumn(w.state.Shown()->waveSpan, place.X0, place.Wp, x)); };

    const long double before = timeAt(300);
    w.state.ZoomAround(PlotKind::Time, 300, 0.5L);
    w.state.ZoomAround(PlotKind::Time, 300, 0.5L, true);  // the same turn of the wheel
    const PlotRange quarter = *w.state.zoom.time;
    EXPECT_NEAR(double(quarter.to - quarter.from), double(axis.At(1023) / 4), double(2 * axis.At(1)));
    EXPECT_NEAR(double(timeAt(300) / before), 1, 2.0 * axis.At(1) / before);

    w.state.PanBy(PlotKind::Time, 71);
    const PlotRange panned = *w.state.zoom.time;
    EXPECT_NEAR(double((panned.to - panned.from) / (quarter.to - quarter.from)), 1, 1e-12);
    EXPECT_NEAR(double((quarter.from - panned.from) / ((quarter.to - quarter.from) * 71 / place.Wp)), 1, 1e-12);
    w.state.PanBy(PlotKind::Time, 100000, true);  // held at the record's start
    EXPECT_EQ(w.state.zoom.time->from, 0);

    EXPECT_TRUE(w.state.ZoomBack());
    EXPECT_EQ(*w.state.zoom.time, quarter);
    EXPECT_TRUE(w.state.ZoomBack());
    EXPECT_FALSE(w.state.zoom.Active());
    EXPECT_TRUE(SameRows(w.picture, whole, 0, 484));
    EXPECT_FALSE(w.state.ZoomBack());
}
