#pragma once
// The result picture: an off-screen bitmap with a drawing surface whose
// semantics the plotter and the charts rely on:
//  - LineTo excludes its end pixel;
//  - Rectangle(x1, y1, x2, y2) outlines with the pen and fills with the brush
//    the pixels from min to max - 1 on both axes;
//  - TextOut fills the text cell opaque with the brush colour;
//  - dotted and dashed pens paint their gaps in the brush colour.
// Pixels are kept in 32-bit form while drawing (only black and white occur);
// the pixel format (8 bits with a 256-entry halftone table, or 1 bit) is what
// the bitmap reports and how it is saved.

#include <QImage>
#include <QRect>
#include <string>

#include "display/OutputFiles.h"
#include "display/PictureSettings.h"

namespace sonavir {

enum class PenStyle { Solid, Dot, Dash };
enum class PixelFormat { Indexed8, Mono };

class Picture {
public:
    static constexpr int kDefaultWidth = 785;
    static constexpr int kDefaultHeight = 484;

    // A new bitmap: 8 bits per pixel, filled black.
    explicit Picture(int width = kDefaultWidth, int height = kDefaultHeight);

    int Width() const;
    int Height() const;
    PixelFormat Format() const { return format_; }
    void SetFormat(PixelFormat format);
    // New size; the overlapping part keeps its pixels, the rest is black.
    // Sizes below 1 are taken as 1.
    void SetSize(int width, int height);
    void Fill(TColor color);

    // Drawing surface.
    void SetPen(TColor color, int width = 1, PenStyle style = PenStyle::Solid);
    void SetPenStyle(PenStyle style);
    void SetBrushColor(TColor color);
    void SetFontColor(TColor color);
    TColor PenColor() const { return penColor_; }
    TColor BrushColor() const { return brushColor_; }
    PenStyle Style() const { return penStyle_; }
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Rectangle(int x1, int y1, int x2, int y2);
    // Text needs a QGuiApplication (fonts); without one these fail.
    void TextOut(int x, int y, const std::string& utf8);
    int TextWidth(const std::string& utf8) const;
    int TextHeight() const;
    int PenX() const { return penX_; }
    int PenY() const { return penY_; }

    // A vertical run of pixels from y1 to y2 inclusive (either order) in the
    // pen colour, clipped to the bitmap; the plotter collapses the many
    // segments that fall on one pixel column into one of these.
    void PenColumn(int x, int y1, int y2);

    // Lines, rectangles and text change only the pixels from (left, top) to
    // (right, bottom) inclusive until the clip is cleared; a line's dot and
    // dash pattern runs on through what is clipped. Fill is not clipped.
    void SetClip(int left, int top, int right, int bottom);
    void ClearClip() { clipped_ = false; }

    TColor PixelAt(int x, int y) const;
    // The bitmap in its pixel format (Indexed8 with 256 colours, or Mono).
    QImage ToImage() const;
    // The working 32-bit surface (for display and tests).
    const QImage& Surface() const { return image_; }
    QImage& Surface() { return image_; }

    // An uncompressed BMP in the pixel format, into one output of a set.
    void WriteBmp(OutputFile& file) const;
    // The BMP as a file of its own; an existing file is replaced atomically
    // (through a symbolic link, its target). Fails with "Cannot create file "%s". %s".
    void Save(const std::string& path) const;

private:
    // The pixels drawing may change: the bitmap, within the clip if any.
    QRect Bounds() const;
    void Segment(int x1, int y1, int x2, int y2);
    void Put(long long x, long long y, TColor color);

    QImage image_;
    PixelFormat format_ = PixelFormat::Indexed8;
    TColor penColor_ = kBlack, brushColor_ = kWhite, fontColor_ = kBlack;
    int penWidth_ = 1;
    PenStyle penStyle_ = PenStyle::Solid;
    int penX_ = 0, penY_ = 0;
    int styleCounter_ = 0;  // position within the dot/dash pattern
    bool clipped_ = false;
    QRect clip_;
};

}  // namespace sonavir
