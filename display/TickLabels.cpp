#include "display/TickLabels.h"

#include <algorithm>

namespace sonavir {

namespace {

// An empty label draws nothing and so touches nothing.
bool Touch(const LabelSpan& a, const LabelSpan& b, int gap)
{
    if (a.from >= a.to || b.from >= b.to) return false;
    return std::max(a.from, b.from) < std::min(a.to, b.to) + gap;
}

}  // namespace

std::vector<bool> LabelsToDraw(const std::vector<LabelSpan>& spans, int gap)
{
    const size_t n = spans.size();
    std::vector<bool> draw(n, false);
    if (n == 0) return draw;
    const size_t last = n - 1;
    // Every step-th label and the last; the regular one next to the last
    // gives way when the two touch.
    for (size_t step = 1; step <= std::max<size_t>(last, 1); ++step) {
        std::vector<size_t> kept;
        for (size_t k = 0; k < last; k += step) kept.push_back(k);
        if (kept.size() > 1 && Touch(spans[kept.back()], spans[last], gap)) kept.pop_back();
        kept.push_back(last);
        bool apart = true;
        for (size_t i = 1; i < kept.size() && apart; ++i)
            apart = !Touch(spans[kept[i - 1]], spans[kept[i]], gap);
        if (!apart) continue;
        for (const size_t k : kept) draw[k] = true;
        return draw;
    }
    draw[0] = true;
    return draw;
}

void DrawLabelsCentred(Canvas& picture, const std::vector<int>& xs,
                       const std::vector<std::string>& labels, int y)
{
    std::vector<LabelSpan> spans;
    for (size_t k = 0; k < labels.size(); ++k) {
        const int w = picture.TextWidth(labels[k]);
        spans.push_back({xs[k] - w / 2, xs[k] - w / 2 + w});
    }
    const std::vector<bool> draw = LabelsToDraw(spans, kLabelGapSideBySide);
    for (size_t k = 0; k < labels.size(); ++k)
        if (draw[k]) picture.TextOut(spans[k].from, y, labels[k]);
}

void DrawLabelsLeftOf(Canvas& picture, int x, const std::vector<int>& ys,
                      const std::vector<std::string>& labels, int rise)
{
    const int h = picture.TextHeight();
    std::vector<LabelSpan> spans;
    for (const int y : ys) spans.push_back({y - rise, y - rise + h});
    const std::vector<bool> draw = LabelsToDraw(spans, kLabelGapStacked);
    for (size_t k = 0; k < labels.size(); ++k)
        if (draw[k]) picture.TextOut(x - picture.TextWidth(labels[k]), spans[k].from, labels[k]);
}

}  // namespace sonavir
