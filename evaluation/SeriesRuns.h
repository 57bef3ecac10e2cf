#pragma once
// Series runs of the matched-filter evaluation over the points of the series
// table. A series is a value too: it reads a copy of the parameter set and
// the tables, computes its points side by side, and hands back what it
// writes, which FinishSeries applies on the program's thread (the table, the
// timing it derived, the sizes) before drawing its chart into the picture.

#include <cstdint>
#include <exception>

#include "evaluation/EvaluationState.h"
#include "model/MainState.h"
#include "signal/RunControl.h"
#include "signal/WinFFT.h"

namespace sonavir {

// Everything a series reads.
struct SeriesRequest {
    ModelParameters params;
    EvaluationState eval;

    static SeriesRequest Of(const MainState& main, const EvaluationState& eval);
};

struct SeriesResult {
    SeriesRequest request;
    // The parameter set and the tables as the series left them (range and
    // thickness as they were), with the main window object's fields.
    ModelParameters params;
    EvaluationState eval;
    bool matchToEcho = false;
    std::uint8_t seriesSignalKind = 0;
    int RealSignalSize = 0, SignalSize = 0;
    bool sized = false;          // the sizes were worked out
    bool memoryCleared = false;  // the "Память" figures were set to "0"
    bool chart = false;          // the series completed and has a chart
    std::exception_ptr failure;
    bool stopped = false;        // nothing of it stays
};

// The series of the chosen mode (none for a mode text that names none).
// Never throws: a failure or a stop comes back in the result.
SeriesResult RunSeries(const SeriesRequest& request, RunControl& control);

// On the program's thread: short settings form, the plots forgotten and the
// zoom dropped (the chart takes the picture), the picture blanked, what the
// series wrote, its chart, "Изображение" enabled, status "Согласованный
// фильтр". A failed series leaves what it got to and throws its failure;
// the menu and status are not touched then. A stopped one changes nothing.
// The timing the series derived is written back only if the user left the
// signal's parameters alone while it ran.
void FinishSeries(MainState& main, EvaluationState& eval, SeriesResult& result);

// The evaluation window's Start, here and now: RunSeries, then FinishSeries
// (with a control, reporting to it; a stop asked of it changes nothing).
void EvaluationStart(MainState& main, EvaluationState& eval, RunControl* control = nullptr);

// Each mode on its own, here and now (no settings form, no status).
void MatchedFilterSeries(MainState& main, EvaluationState& eval);
void EnergyRatioSeries(MainState& main, EvaluationState& eval);

// Multiplies the buffer by numerator / denominator in extended precision.
void ScaleSignal(TSignalData& data, int N, long double numerator, long double denominator);

}  // namespace sonavir
