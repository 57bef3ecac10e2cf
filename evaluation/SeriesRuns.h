#pragma once
// Series runs of the matched-filter evaluation over the points of the series
// table. They work on the main window object's buffers and parameter set and
// draw their chart into its picture.

#include "evaluation/EvaluationState.h"
#include "model/MainState.h"

namespace sonavir {

// The evaluation window's Start: short settings form, the run of the chosen
// mode, "Изображение" enabled, status "Согласованный фильтр". A failing run
// propagates its error after R and GruntHeight have been put back; the menu
// and status are not touched then.
void EvaluationStart(MainState& main, EvaluationState& eval);

void MatchedFilterSeries(MainState& main, EvaluationState& eval);
void EnergyRatioSeries(MainState& main, EvaluationState& eval);
void BuildSeriesFilter(MainState& main, EvaluationState& eval);
void ScaleSignal(MainState& main, long double numerator, long double denominator);
void GenerateSeriesSignal(MainState& main);

}  // namespace sonavir
