#pragma once
// A picture drawn as vectors through QPainter, for SVG and PDF files: the
// bitmap's geometry with one unit per picture pixel. A pixel (x, y) is the
// unit square from (x, y) to (x + 1, y + 1); lines are 1 unit wide through
// the pixel centres, starting at the near edge of their first pixel and
// ending at the near edge of their end pixel, so that level and upright lines,
// frames and ticks cover exactly the bitmap's pixels and a curve's points are
// where the bitmap puts them. Connected solid lines of one colour are joined
// into one path (a collapsed pixel column is one upright line); dotted and
// dashed lines keep the bitmap's dots, with their gaps in the brush colour;
// text is real text in the picture's face at the bitmap's positions, on its
// opaque cell. Clipping is done here, on the geometry, since not every vector
// device clips.

#include <QLine>
#include <QPainter>
#include <QPainterPath>
#include <QPoint>
#include <QRect>
#include <vector>

#include "display/Canvas.h"

class QImage;
class QPaintDevice;

namespace sonavir {

class VectorCanvas final : public Canvas {
public:
    // Paints on `device`, whose coordinates must be picture pixels, a picture
    // of `width` x `height` that shows nothing until it is filled.
    VectorCanvas(QPaintDevice& device, int width, int height);
    ~VectorCanvas() override;
    VectorCanvas(const VectorCanvas&) = delete;
    VectorCanvas& operator=(const VectorCanvas&) = delete;

    // False when the device refused to start painting.
    bool Active() const { return painter_.isActive(); }
    // Draws what is still pending and ends painting.
    void Finish();
    // The bitmap itself over the whole picture: the way to show a picture
    // whose drawing calls were too many to keep.
    void ShowBitmap(const QImage& image);
    // An image filling the pixels `target` covers, each of its pixels as a
    // block of one colour (no smoothing): a colour map stays an image in a
    // vector file. Not clipped.
    void DrawImage(const QRect& target, const QImage& image);
    // Lines one unit wide at any position in picture units (a contour
    // between the pixel centres), in one colour, as one path; clipped to the
    // area drawing may reach.
    void Segments(const std::vector<QLineF>& lines, TColor color);

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetSize(int width, int height) override;
    void Fill(TColor color) override;
    void SetPen(TColor color, int width = 1, PenStyle style = PenStyle::Solid) override;
    void SetPenStyle(PenStyle style) override;
    void SetBrushColor(TColor color) override { brushColor_ = color; }
    void SetFontColor(TColor color) override { fontColor_ = color; }
    TColor PenColor() const override { return penColor_; }
    TColor BrushColor() const override { return brushColor_; }
    PenStyle Style() const override { return style_; }
    int PenX() const override { return penX_; }
    int PenY() const override { return penY_; }
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Rectangle(int x1, int y1, int x2, int y2) override;
    void TextOut(int x, int y, const std::string& utf8) override;
    void PenColumn(int x, int y1, int y2) override;
    void SetClip(int left, int top, int right, int bottom) override;
    void ClearClip() override { clipped_ = false; }

private:
    // Where drawing may reach now: the picture, within the clip if any.
    QRectF Area() const;
    bool Inside(QPoint pixel) const;
    void FillArea(const QRectF& rect, TColor color);
    // Solid lines of one colour collect in lines_, connected ones as one
    // polyline (chain_, pixel points), until something else is drawn.
    void UseLineColor(TColor color);
    void EndChain();
    void FlushLines();
    void SolidLine(QPoint from, QPoint to);
    // Dotted and dashed lines of one pen and brush collect too: the stroke of
    // each line in gaps_, its dots or dashes in dots_, both as the filled
    // one-pixel-wide bars a stroke covers. A styled curve of many segments
    // then makes two paths, not two a segment; filled bars cover the same
    // pixels however many a path holds, where the raster engine's strokes of
    // a path with many pieces take a pixel more at their ends.
    void StyledLine(QPoint from, QPoint to, int counter);
    void FlushStyled();

    QPainter painter_;
    int width_, height_;
    TColor penColor_ = kBlack, brushColor_ = kWhite, fontColor_ = kBlack;
    PenStyle style_ = PenStyle::Solid;
    int penX_ = 0, penY_ = 0;
    int counter_ = 0;  // position within the dot/dash pattern, as the bitmap's
    bool clipped_ = false;
    QRect clip_;

    QPainterPath lines_;
    TColor linesColor_ = kBlack;
    std::vector<QPoint> chain_;

    QPainterPath gaps_, dots_;
    TColor gapsColor_ = kWhite, dotsColor_ = kBlack;
};

}  // namespace sonavir
