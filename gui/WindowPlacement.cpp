#include "gui/WindowPlacement.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace sonavir {

namespace {

long long Area(const QRect& r) { return r.isEmpty() ? 0 : static_cast<long long>(r.width()) * r.height(); }

long long Overlap(const QRect& a, const QRect& b) { return Area(a.intersected(b)); }

int TierOf(const PlacementScene& s, const QRect& r)
{
    if (!r.intersects(s.mainFrame)) return 0;
    if (!r.intersects(s.picture)) return 1;
    if (!r.intersects(s.waveform)) return 2;
    return 3;
}

ToolPlacement Best(const PlacementScene& s, QSize size)
{
    const int w = size.width(), h = size.height(), g = kWindowGap;
    const QRect& m = s.mainFrame;
    std::vector<int> xs = {s.screen.left(), s.screen.right() + 1 - w, m.left(), m.right() + 1 - w,
                           m.right() + 1 + g, m.left() - g - w, s.picture.right() + 1 + g};
    std::vector<int> ys = {s.screen.top(), s.screen.bottom() + 1 - h, m.top(), m.bottom() + 1 + g,
                           m.top() - g - h, s.waveform.bottom() + 1 + g, s.picture.bottom() + 1 + g};
    for (const QRect& t : s.taken) {
        xs.insert(xs.end(), {t.left(), t.right() + 1 + g, t.left() - g - w});
        ys.insert(ys.end(), {t.top(), t.bottom() + 1 + g, t.top() - g - h});
    }
    // Ranked by tier, then what it covers of the other tool windows, then how
    // far it lies from the main window's top right corner.
    std::tuple<int, long long, double> best{4, 0, 0};
    ToolPlacement place;
    bool found = false;
    const QPoint anchor(m.right() + 1 + g, m.top());
    for (int x : xs)
        for (int y : ys) {
            // Held within the screen, so every candidate fits (when it can).
            x = std::clamp(x, s.screen.left(), std::max(s.screen.left(), s.screen.right() + 1 - w));
            y = std::clamp(y, s.screen.top(), std::max(s.screen.top(), s.screen.bottom() + 1 - h));
            const QRect r(QPoint(x, y), size);
            long long covered = 0;
            for (const QRect& t : s.taken) covered += Overlap(r, t);
            const std::tuple<int, long long, double> rank{TierOf(s, r), covered,
                                                          std::hypot(x - anchor.x(), y - anchor.y())};
            if (!found || rank < best) {
                found = true;
                best = rank;
                place.at = QPoint(x, y);
                place.tier = std::get<0>(rank);
            }
        }
    return place;
}

}  // namespace

ToolPlacement PlaceToolWindow(const PlacementScene& scene, QSize size, bool wholePicture)
{
    ToolPlacement place = Best(scene, size);
    if (!wholePicture || place.tier < 2 || scene.minPictureHeight <= 0) return place;
    // No room beside the picture: the main window gives up the height the
    // tool window needs below it, if its picture keeps the smallest height.
    const int room = scene.screen.bottom() - scene.mainFrame.bottom();
    const int give = size.height() + kWindowGap - room;
    if (give <= 0 || scene.picture.height() - give < scene.minPictureHeight) return place;
    PlacementScene lower = scene;
    lower.mainFrame.setHeight(scene.mainFrame.height() - give);
    lower.picture.setHeight(scene.picture.height() - give);
    lower.waveform.setHeight(std::min(lower.waveform.height(), lower.picture.height() / 2));
    ToolPlacement shrunk = Best(lower, size);
    if (shrunk.tier >= 2) return place;
    shrunk.mainHeight = lower.mainFrame.height();
    return shrunk;
}

QRect PlaceMainWindow(const QRect& screen, QSize mainSize, QSize besideSize)
{
    const QSize size = mainSize.boundedTo(screen.size());
    const int pair = size.width() + kWindowGap + besideSize.width();
    // Without room for both, at the left edge: the most room at its right.
    const int left = pair <= screen.width() ? screen.left() + (screen.width() - pair) / 2 : screen.left();
    return {QPoint(left, screen.top()), size};
}

}  // namespace sonavir
