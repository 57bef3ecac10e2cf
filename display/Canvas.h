#pragma once
// The drawing surface the plots and the charts draw on, in picture pixels
// (x to the right, y downwards from the top-left corner):
//  - LineTo excludes its end pixel;
//  - Rectangle(x1, y1, x2, y2) outlines with the pen and fills with the brush
//    the pixels from min to max - 1 on both axes;
//  - TextOut fills the text cell opaque with the brush colour;
//  - dotted and dashed pens paint their gaps in the brush colour.
// Two kinds: the bitmap (Picture), exact to the pixel, and the vector page
// (VectorCanvas), which draws the same geometry as paths and text for SVG and
// PDF files.

#include <string>

#include "display/PictureSettings.h"

class QFont;

namespace sonavir {

enum class PenStyle { Solid, Dot, Dash };

class Canvas {
public:
    virtual ~Canvas() = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // New size; the overlapping part keeps what it shows, the rest is black.
    // Sizes below 1 are taken as 1.
    virtual void SetSize(int width, int height) = 0;
    // The whole picture in one colour (not clipped).
    virtual void Fill(TColor color) = 0;

    virtual void SetPen(TColor color, int width = 1, PenStyle style = PenStyle::Solid) = 0;
    virtual void SetPenStyle(PenStyle style) = 0;
    virtual void SetBrushColor(TColor color) = 0;
    virtual void SetFontColor(TColor color) = 0;
    virtual TColor PenColor() const = 0;
    virtual TColor BrushColor() const = 0;
    virtual PenStyle Style() const = 0;
    virtual int PenX() const = 0;
    virtual int PenY() const = 0;

    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
    // Text needs a QGuiApplication (fonts); without one it fails.
    virtual void TextOut(int x, int y, const std::string& utf8) = 0;
    // A vertical run of pixels from y1 to y2 inclusive (either order) in the
    // pen colour; the plotter collapses the many segments that fall on one
    // pixel column into one of these.
    virtual void PenColumn(int x, int y1, int y2) = 0;
    // Lines, rectangles and text change only the pixels from (left, top) to
    // (right, bottom) inclusive until the clip is cleared; a line's dot and
    // dash pattern runs on through what is clipped. Fill is not clipped.
    virtual void SetClip(int left, int top, int right, int bottom) = 0;
    virtual void ClearClip() = 0;

    // Text is measured alike on every canvas: in the picture's face.
    int TextWidth(const std::string& utf8) const;
    int TextHeight() const;
};

// The picture's built-in face (PT Sans Caption, 11 pixels). Needs a
// QGuiApplication; without one it fails.
const QFont& PictureFont();

}  // namespace sonavir
