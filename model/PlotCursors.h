#pragma once
// Two cursors on a plot, as on an oscilloscope: A and B at points of the
// waveform (samples) or of the spectrum (columns), drawn as thin dashed lines
// with a marker on the curve at the point each reads, and their readout: A,
// B, their distance (Δt and 1/Δt, or Δf) and the ratio of their values in dB.
// Kept as positions along the axis (s or Hz), as the zoom is, so they outlive
// a zoom and a run: every drawing reads the point nearest to each. Plain
// state and arithmetic: the windows and the command line share it.

#include <functional>
#include <optional>
#include <string>

#include "display/PlotSpan.h"
#include "display/Plotter.h"
#include "model/PlotReadout.h"

namespace sonavir {

struct ShownPlots;

struct PlotCursors {
    PlotKind plot = PlotKind::None;
    std::optional<long double> a, b;
    bool lastB = false;  // B was placed or moved last: "to the peak" moves it

    bool Any() const { return plot != PlotKind::None && (a || b); }
    // A cursor at a position: A on a plot without cursors (the other plot's
    // go), B when only A is set, otherwise the nearer of the two moves.
    void Place(PlotKind on, long double position);
    // The cursor placed last (A when there is none) moves to the position;
    // on another plot it starts there afresh as A.
    void MoveLast(PlotKind on, long double position);
    void Clear() { *this = {}; }
    bool operator==(const PlotCursors&) const = default;
};

// One cursor as read from the plot it lies on.
struct CursorReading {
    long long point = 0;       // the point it reads
    long double position = 0;  // that point's time or frequency
    ReadoutValue value;        // as the plot shows it
};

struct CursorReadout {
    PlotKind plot = PlotKind::None;
    std::optional<CursorReading> a, b;
    // With both: B - A (s or Hz); 1/|Δt| on the waveform (none at Δt = 0);
    // 20 lg(|B| / |A|) of the values as the plot draws them (none when
    // either is 0).
    std::optional<long double> delta, inverse, ratioDb;
    bool Any() const { return a || b; }
};

// The point of a record nearest to a position, held within the record.
long long NearestPointAt(const PointAxis& axis, long double position);
// The cursors read from a plot's points along `axis` (value(i): point i as
// the plot draws it); the readings' scaled values are left at 0.
CursorReadout ReadCursorsOn(const PointAxis& axis, PlotKind plot, const PlotCursors& cursors,
                            const std::function<long double(long long)>& value);
// The cursors read from the shown plots, scaled as each plot reads; empty when
// they lie on no plot shown or its values cannot be read (a dB waveform whose
// envelope was not kept).
CursorReadout ReadCursors(const ShownPlots& shown, const PlotCursors& cursors);
// "A: t = 0,01012 с, S = 1   B: t = 0,01234 с, S = -0,5   Δt = 0,002224 с   1/Δt = 449,6 Гц
// B/A = -6,021 дБ" (each value as its plot reads it, in dB in the dB view).
std::string CursorReadoutText(const ShownPlots& shown, const CursorReadout& readout);
// The distance and ratio alone, as the picture shows them along the plot:
// "B - A: Δt = 0,002224 с   1/Δt = 449,6 Гц   B/A = -6,021 дБ"; "" with
// fewer than two cursors.
std::string CursorSummaryText(const CursorReadout& readout);
// A CSV (a header line, then rows) with the cursors' readout as extra
// columns: cursor_a_pos, cursor_a, cursor_b_pos, cursor_b, cursor_delta,
// cursor_inverse, cursor_ratio_db (positions in s or Hz, values as the run
// gives them, %.17g); a cell without a value is left empty.
std::string WithCursorColumns(const std::string& csv, const CursorReadout& readout);
// What a plot draws of the cursors on it (display/Plotter.h), from its points.
PlotCursorMarks CursorMarks(const CursorReadout& readout);

}  // namespace sonavir
