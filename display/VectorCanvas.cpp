#include "display/VectorCanvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPen>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sonavir {

namespace {

QColor ToQColor(TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

QPointF Centre(QPoint p) { return QPointF(p.x() + 0.5, p.y() + 0.5); }

// Steps along the major axis: the pixels a line covers, its end excluded.
int Steps(QPoint from, QPoint to)
{
    return int(std::max(std::llabs((long long)to.x() - from.x()), std::llabs((long long)to.y() - from.y())));
}

// Half a pixel back from `p` along the unit direction of a -> b.
QPointF BackOff(QPointF p, QPointF a, QPointF b)
{
    const QPointF d = b - a;
    const double length = std::hypot(d.x(), d.y());
    return p - d * (0.5 / length);
}

// The part of a -> b inside `r`, as fractions t0 <= t1 of the way; false
// when nothing is inside (Liang-Barsky).
bool ClipFractions(QPointF a, QPointF b, const QRectF& r, double& t0, double& t1)
{
    t0 = 0;
    t1 = 1;
    const double d[2] = {b.x() - a.x(), b.y() - a.y()};
    const double lo[2] = {r.left() - a.x(), r.top() - a.y()};
    const double hi[2] = {r.right() - a.x(), r.bottom() - a.y()};
    for (int k = 0; k < 2; ++k) {
        if (d[k] == 0) {
            if (lo[k] > 0 || hi[k] < 0) return false;
            continue;
        }
        double enter = lo[k] / d[k], leave = hi[k] / d[k];
        if (enter > leave) std::swap(enter, leave);
        t0 = std::max(t0, enter);
        t1 = std::min(t1, leave);
    }
    return t0 < t1;
}

QPen LinePen(TColor color)
{
    QPen pen(ToQColor(color));
    pen.setWidthF(1.0);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

// The bitmap's dot and dash patterns: pixels on, pixels in a period.
struct Pattern {
    int on, period;
};

Pattern PatternOf(PenStyle style) { return style == PenStyle::Dot ? Pattern{3, 6} : Pattern{18, 24}; }

// What a one-pixel pen with flat ends covers from a to b: a bar half a pixel
// to either side, `unit` the direction a -> b.
void AddBar(QPainterPath& path, QPointF a, QPointF b, QPointF unit)
{
    const QPointF side(-unit.y() * 0.5, unit.x() * 0.5);
    path.moveTo(a + side);
    path.lineTo(b + side);
    path.lineTo(b - side);
    path.lineTo(a - side);
    path.closeSubpath();
}

}  // namespace

VectorCanvas::VectorCanvas(QPaintDevice& device, int width, int height)
    : painter_(&device), width_(std::max(width, 1)), height_(std::max(height, 1))
{
}

VectorCanvas::~VectorCanvas()
{
    if (painter_.isActive()) Finish();
}

void VectorCanvas::Finish()
{
    FlushLines();
    painter_.end();
}

void VectorCanvas::ShowBitmap(const QImage& image)
{
    FlushLines();
    painter_.drawImage(QRectF(0, 0, width_, height_), image);
}

void VectorCanvas::DrawImage(const QRect& target, const QImage& image)
{
    FlushLines();
    const bool smooth = painter_.testRenderHint(QPainter::SmoothPixmapTransform);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter_.drawImage(QRectF(target), image);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

void VectorCanvas::Segments(const std::vector<QLineF>& lines, TColor color)
{
    FlushLines();
    const QRectF area = Area();
    QPainterPath path;
    for (const QLineF& line : lines) {
        double t0, t1;
        if (!ClipFractions(line.p1(), line.p2(), area, t0, t1)) continue;
        path.moveTo(line.pointAt(t0));
        path.lineTo(line.pointAt(t1));
    }
    if (path.isEmpty()) return;
    painter_.setPen(LinePen(color));
    painter_.setBrush(Qt::NoBrush);
    painter_.drawPath(path);
}

QRectF VectorCanvas::Area() const
{
    const QRectF picture(0, 0, width_, height_);
    if (!clipped_) return picture;
    if (clip_.right() < clip_.left() || clip_.bottom() < clip_.top()) return QRectF();
    return picture.intersected(QRectF(clip_.left(), clip_.top(), double(clip_.right()) - clip_.left() + 1,
                                      double(clip_.bottom()) - clip_.top() + 1));
}

bool VectorCanvas::Inside(QPoint p) const
{
    const QRectF a = Area();
    return p.x() >= a.left() && p.x() + 1.0 <= a.right() && p.y() >= a.top() && p.y() + 1.0 <= a.bottom();
}

void VectorCanvas::FillArea(const QRectF& rect, TColor color)
{
    if (rect.width() > 0 && rect.height() > 0) painter_.fillRect(rect, ToQColor(color));
}

void VectorCanvas::SetSize(int width, int height)
{
    FlushLines();
    width = std::max(width, 1);
    height = std::max(height, 1);
    // What an enlargement adds is black, as in the bitmap; it also covers
    // whatever was drawn there before a shrink.
    if (width > width_) FillArea(QRectF(width_, 0, width - width_, height), kBlack);
    if (height > height_) FillArea(QRectF(0, height_, std::min(width, width_), height - height_), kBlack);
    width_ = width;
    height_ = height;
}

void VectorCanvas::Fill(TColor color)
{
    FlushLines();
    FillArea(QRectF(0, 0, width_, height_), color);
}

void VectorCanvas::SetPen(TColor color, int, PenStyle style)
{
    // Lines are one pixel wide whatever the width asked, as in the bitmap. A
    // new pen ends the styled lines collected: a later curve's gaps must
    // cover an earlier curve where they cross, as in the bitmap.
    FlushStyled();
    penColor_ = color;
    style_ = style;
    counter_ = 0;
}

void VectorCanvas::SetPenStyle(PenStyle style)
{
    FlushStyled();
    style_ = style;
    counter_ = 0;
}

void VectorCanvas::SetClip(int left, int top, int right, int bottom)
{
    clipped_ = true;
    clip_ = QRect(QPoint(left, top), QPoint(right, bottom));
}

void VectorCanvas::MoveTo(int x, int y)
{
    penX_ = x;
    penY_ = y;
    counter_ = 0;
}

void VectorCanvas::LineTo(int x, int y)
{
    const QPoint from(penX_, penY_), to(x, y);
    penX_ = x;
    penY_ = y;
    const int n = Steps(from, to);
    if (n == 0) return;
    const int counter = counter_;
    counter_ = int((counter + (long long)n) % 24);
    if (style_ == PenStyle::Solid)
        SolidLine(from, to);
    else
        StyledLine(from, to, counter);
}

void VectorCanvas::UseLineColor(TColor color)
{
    FlushStyled();
    if (color != linesColor_ && (!lines_.isEmpty() || !chain_.empty())) FlushLines();
    linesColor_ = color;
}

void VectorCanvas::EndChain()
{
    if (chain_.size() >= 2) {
        const size_t last = chain_.size() - 1;
        lines_.moveTo(BackOff(Centre(chain_[0]), Centre(chain_[0]), Centre(chain_[1])));
        for (size_t i = 1; i < last; ++i) lines_.lineTo(Centre(chain_[i]));
        lines_.lineTo(BackOff(Centre(chain_[last]), Centre(chain_[last - 1]), Centre(chain_[last])));
    }
    chain_.clear();
}

void VectorCanvas::FlushStyled()
{
    if (dots_.isEmpty() && gaps_.isEmpty()) return;
    painter_.fillPath(gaps_, ToQColor(gapsColor_));
    painter_.fillPath(dots_, ToQColor(dotsColor_));
    gaps_ = QPainterPath();
    dots_ = QPainterPath();
}

void VectorCanvas::FlushLines()
{
    FlushStyled();
    EndChain();
    if (lines_.isEmpty()) return;
    painter_.setPen(LinePen(linesColor_));
    painter_.setBrush(Qt::NoBrush);
    painter_.drawPath(lines_);
    lines_ = QPainterPath();
}

// A solid line joins the polyline it continues when it stays inside; one
// that leaves the area is cut on its own.
void VectorCanvas::SolidLine(QPoint from, QPoint to)
{
    UseLineColor(penColor_);
    if (Inside(from) && Inside(to)) {
        if (chain_.empty() || chain_.back() != from) {
            EndChain();
            chain_.push_back(from);
        }
        chain_.push_back(to);
        return;
    }
    EndChain();
    const QPointF a = Centre(from), b = Centre(to);
    const QPointF p = BackOff(a, a, b), q = BackOff(b, a, b);
    double t0, t1;
    if (!ClipFractions(p, q, Area(), t0, t1)) return;
    lines_.moveTo(p + (q - p) * t0);
    lines_.lineTo(p + (q - p) * t1);
}

// Dots and dashes fall where the bitmap puts them: its pattern advances one
// step per pixel along the major axis, so here one step is length / steps.
// The gaps are painted first, as a solid line in the brush colour.
void VectorCanvas::StyledLine(QPoint from, QPoint to, int counter)
{
    if (!lines_.isEmpty() || !chain_.empty()) {
        EndChain();
        const QPainterPath solid = lines_;
        lines_ = QPainterPath();
        painter_.setPen(LinePen(linesColor_));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawPath(solid);
    }
    if (brushColor_ != gapsColor_ || penColor_ != dotsColor_) FlushStyled();
    gapsColor_ = brushColor_;
    dotsColor_ = penColor_;

    const QPointF a = Centre(from), b = Centre(to);
    const QPointF p = BackOff(a, a, b), q = BackOff(b, a, b);
    double t0, t1;
    if (!ClipFractions(p, q, Area(), t0, t1)) return;
    const QPointF start = p + (q - p) * t0, end = p + (q - p) * t1;
    const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
    const double step = length / Steps(from, to);
    const Pattern pattern = PatternOf(style_);

    const double shown = std::hypot(end.x() - start.x(), end.y() - start.y());
    const QPointF unit = (end - start) / shown;
    AddBar(gaps_, start, end, unit);
    // The pattern's phase at the start, in lengths along the line; each
    // period begins with its dot or dash.
    const double period = pattern.period * step, on = pattern.on * step;
    const double phase = std::fmod(counter * step + t0 * length, period);
    for (double d = -phase; d < shown; d += period) {
        const double d0 = std::max(d, 0.0), d1 = std::min(d + on, shown);
        if (d1 <= d0) continue;
        AddBar(dots_, start + unit * d0, start + unit * d1, unit);
    }
}

void VectorCanvas::PenColumn(int x, int y1, int y2)
{
    UseLineColor(penColor_);
    const QRectF a = Area();
    if (x < a.left() || x + 1.0 > a.right()) return;
    const double top = std::max<double>(std::min(y1, y2), a.top());
    const double bottom = std::min<double>(std::max(y1, y2) + 1.0, a.bottom());
    if (top >= bottom) return;
    lines_.moveTo(x + 0.5, top);
    lines_.lineTo(x + 0.5, bottom);
}

void VectorCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    const int left = std::min(x1, x2), right = std::max(x1, x2) - 1;
    const int top = std::min(y1, y2), bottom = std::max(y1, y2) - 1;
    if (left > right || top > bottom) return;
    FlushLines();
    const QRectF area = Area();
    const QRectF cells(left, top, double(right) - left + 1, double(bottom) - top + 1);
    FillArea(cells.intersected(area), brushColor_);

    // The outline as a closed path; each side leaves its end pixel to the next.
    const int px = penX_, py = penY_, counter = counter_;
    if (style_ == PenStyle::Solid && (left == right || top == bottom)) {
        FillArea(cells.intersected(area), penColor_);
    } else if (style_ == PenStyle::Solid && area.contains(cells)) {
        painter_.setPen(LinePen(penColor_));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawRect(QRectF(left + 0.5, top + 0.5, right - left, bottom - top));
    } else {
        // Side by side, the pattern running on around the corners.
        const QPoint corners[4] = {{right, top}, {right, bottom}, {left, bottom}, {left, top}};
        MoveTo(left, top);
        for (const QPoint corner : corners) {
            EndChain();  // each side cut on its own
            LineTo(corner.x(), corner.y());
        }
        if (left == right && top == bottom) FillArea(cells.intersected(area), penColor_);
        FlushLines();
    }
    penX_ = px;
    penY_ = py;
    counter_ = counter;
}

void VectorCanvas::TextOut(int x, int y, const std::string& utf8)
{
    if (utf8.empty()) return;
    const QFont& font = PictureFont();
    FlushLines();
    const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    const QFontMetrics metrics(font);
    const QRectF cell(x, y, metrics.horizontalAdvance(text), metrics.height());
    const QRectF area = Area();
    const QRectF shown = cell.intersected(area);
    if (shown.isEmpty()) return;
    FillArea(shown, brushColor_);
    const bool cut = !area.contains(cell);
    if (cut) painter_.setClipRect(area);
    painter_.setFont(font);
    painter_.setPen(ToQColor(fontColor_));
    painter_.drawText(QPointF(x, y + metrics.ascent()), text);
    if (cut) painter_.setClipping(false);
}

}  // namespace sonavir
