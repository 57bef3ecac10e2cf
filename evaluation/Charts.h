#pragma once
// The evaluation charts, drawn into the result picture after a series run.

#include <vector>

#include "display/Canvas.h"
#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "evaluation/EvaluationState.h"

namespace sonavir {

// Two curves: entries 0 .. n-1 dotted ("(з)"), n .. 2n-1 solid ("(э)").
void DrawMatchedFilterChart(Canvas& picture, const PictureSettings& settings,
                            const EvaluationState& eval, const std::vector<long double>& values,
                            int lastIndex, int imageLeft = 0);
// Three curves (solid, dotted, dashed) with a legend.
void DrawEnergyRatioChart(Canvas& picture, const PictureSettings& settings,
                          const EvaluationState& eval, const DoubleArray& values,
                          int imageLeft = 0);

}  // namespace sonavir
