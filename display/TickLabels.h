#pragma once
// Which tick labels of an axis are drawn. Every tick keeps its mark, but a
// label is drawn only where its text cell does not touch its neighbour's, so
// high tick counts on a small picture never pile up into an unreadable strip.

#include <string>
#include <vector>

#include "display/Canvas.h"
#include "display/Picture.h"

namespace sonavir {

// A label's text cell along its axis: pixels from `from` up to `to`
// (exclusive), x for labels side by side, y for labels stacked.
struct LabelSpan {
    int from = 0;
    int to = 0;
};

// Blank pixels that must part two neighbours: numbers side by side would
// otherwise read as one; stacked cells carry their own leading.
inline constexpr int kLabelGapSideBySide = 4;
inline constexpr int kLabelGapStacked = 0;

// One flag per label, in tick order: every label when no two neighbours
// touch; otherwise every step-th label from the first, with the smallest
// step at which no two drawn neighbours touch, and the last (the regular one
// before it gives way if the two would touch). When even the first and the
// last touch, only the first.
std::vector<bool> LabelsToDraw(const std::vector<LabelSpan>& spans, int gap);

// Labels side by side, each centred on its tick's x (x - w div 2) with its
// cell's top at y; those that would touch a neighbour are left out.
void DrawLabelsCentred(Canvas& picture, const std::vector<int>& xs,
                       const std::vector<std::string>& labels, int y);
// Labels stacked, each right-aligned to end before x with its cell's top
// `rise` pixels above its tick's y; those that would touch are left out.
void DrawLabelsLeftOf(Canvas& picture, int x, const std::vector<int>& ys,
                      const std::vector<std::string>& labels, int rise);

}  // namespace sonavir
