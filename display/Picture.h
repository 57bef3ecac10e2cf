#pragma once
// The result picture: an off-screen bitmap with the drawing surface of
// Canvas, exact to the pixel. Pixels are kept in 32-bit form while drawing
// (only black and white occur); the pixel format (8 bits with a 256-entry
// halftone table, or 1 bit) is what the bitmap reports and how it is saved.
//
// Besides its pixels the picture keeps a compact record of the drawing calls
// made since it was last filled whole, and any size change since, so that
// what it shows can be drawn again onto a vector page for SVG and PDF files,
// whoever drew it. The record costs a few words per call; the plots collapse
// their curves to a few calls per pixel column before they reach it.

#include <QImage>
#include <QRect>
#include <cstdint>
#include <string>
#include <vector>

#include "display/Canvas.h"
#include "files/OutputFiles.h"
#include "display/PictureSettings.h"

namespace sonavir {

enum class PixelFormat { Indexed8, Mono };

class Picture final : public Canvas {
public:
    static constexpr int kDefaultWidth = 785;
    static constexpr int kDefaultHeight = 484;

    // A new bitmap: 8 bits per pixel, filled black.
    explicit Picture(int width = kDefaultWidth, int height = kDefaultHeight);

    int Width() const override;
    int Height() const override;
    PixelFormat Format() const { return format_; }
    void SetFormat(PixelFormat format);
    void SetSize(int width, int height) override;
    // Also starts the record afresh.
    void Fill(TColor color) override;

    // Drawing surface (see Canvas).
    void SetPen(TColor color, int width = 1, PenStyle style = PenStyle::Solid) override;
    void SetPenStyle(PenStyle style) override;
    void SetBrushColor(TColor color) override;
    void SetFontColor(TColor color) override;
    TColor PenColor() const override { return penColor_; }
    TColor BrushColor() const override { return brushColor_; }
    PenStyle Style() const override { return penStyle_; }
    int PenX() const override { return penX_; }
    int PenY() const override { return penY_; }
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Rectangle(int x1, int y1, int x2, int y2) override;
    void TextOut(int x, int y, const std::string& utf8) override;
    // Clipped to the bitmap as well.
    void PenColumn(int x, int y1, int y2) override;
    void SetClip(int left, int top, int right, int bottom) override;
    void ClearClip() override;

    // Draws onto `target` what the picture shows, call by call: its size and
    // colour at the last whole fill, then every size change and drawing call
    // since, in order. False, with nothing drawn, when there were too many
    // calls to keep (more than kMaxRecordedCalls since that fill).
    bool Replay(Canvas& target) const;
    static constexpr std::size_t kMaxRecordedCalls = std::size_t(1) << 20;

    TColor PixelAt(int x, int y) const;
    // The bitmap in its pixel format (Indexed8 with 256 colours, or Mono).
    QImage ToImage() const;
    // The working 32-bit surface (for display and tests); read only, so that
    // every change goes through the drawing calls and their record.
    const QImage& Surface() const { return image_; }

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

    // One recorded call; a text's characters are kept aside, by index.
    enum class Call : std::uint8_t {
        Size, Pen, Style, Brush, Font, Move, Line, Rect, Text, Column, Clip, NoClip
    };
    struct Recorded {
        Call call;
        int a, b, c, d;
    };
    void Record(Call call, int a = 0, int b = 0, int c = 0, int d = 0);

    QImage image_;
    PixelFormat format_ = PixelFormat::Indexed8;
    TColor penColor_ = kBlack, brushColor_ = kWhite, fontColor_ = kBlack;
    int penWidth_ = 1;
    PenStyle penStyle_ = PenStyle::Solid;
    int penX_ = 0, penY_ = 0;
    int styleCounter_ = 0;  // position within the dot/dash pattern
    bool clipped_ = false;
    QRect clip_;

    std::vector<Recorded> record_;
    std::vector<std::string> recordTexts_;
    int recordWidth_ = 1, recordHeight_ = 1;  // size and colour of the last fill
    TColor recordFill_ = kBlack;
    bool recordKept_ = true;  // false: too many calls since the last fill
};

}  // namespace sonavir
