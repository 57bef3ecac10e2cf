#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "display/Picture.h"
#include "signal/Errors.h"
#include "tests/support/TempDir.h"

namespace sonavir {
namespace {

namespace fs = std::filesystem;

int CountColor(const Picture& p, TColor c)
{
    int n = 0;
    for (int y = 0; y < p.Height(); ++y)
        for (int x = 0; x < p.Width(); ++x) n += p.PixelAt(x, y) == c;
    return n;
}

using testsupport::TempDir;

TEST(PictureTest, NewBitmapIsBlackDefaultSizeEightBit)
{
    Picture p;
    EXPECT_EQ(p.Width(), 785);
    EXPECT_EQ(p.Height(), 484);
    EXPECT_EQ(p.Format(), PixelFormat::Indexed8);
    EXPECT_EQ(CountColor(p, kBlack), 785 * 484);
}

TEST(PictureTest, LinesExcludeTheirEndPixelInEveryDirection)
{
    Picture p(40, 40);
    p.SetPen(kWhite);
    p.MoveTo(5, 10);
    p.LineTo(15, 10);  // horizontal: x 5 .. 14
    EXPECT_EQ(p.PixelAt(5, 10), kWhite);
    EXPECT_EQ(p.PixelAt(14, 10), kWhite);
    EXPECT_EQ(p.PixelAt(15, 10), kBlack);
    EXPECT_EQ(p.PenX(), 15);
    EXPECT_EQ(p.PenY(), 10);
    p.LineTo(15, 3);  // upwards from the last end: y 10 .. 4
    EXPECT_EQ(p.PixelAt(15, 10), kWhite);
    EXPECT_EQ(p.PixelAt(15, 4), kWhite);
    EXPECT_EQ(p.PixelAt(15, 3), kBlack);
    EXPECT_EQ(CountColor(p, kWhite), 10 + 7);

    Picture d(40, 40);
    d.SetPen(kWhite);
    d.MoveTo(30, 30);
    d.LineTo(20, 20);  // diagonal backwards
    for (int i = 0; i < 10; ++i) EXPECT_EQ(d.PixelAt(30 - i, 30 - i), kWhite) << i;
    EXPECT_EQ(d.PixelAt(20, 20), kBlack);
    EXPECT_EQ(CountColor(d, kWhite), 10);

    // Zero length draws nothing; a steep line has one pixel per row.
    Picture s(40, 40);
    s.SetPen(kWhite);
    s.MoveTo(7, 7);
    s.LineTo(7, 7);
    EXPECT_EQ(CountColor(s, kWhite), 0);
    s.LineTo(10, 37);
    EXPECT_EQ(CountColor(s, kWhite), 30);
    for (int y = 7; y < 37; ++y) {
        int inRow = 0;
        for (int x = 0; x < 40; ++x) inRow += s.PixelAt(x, y) == kWhite;
        EXPECT_EQ(inRow, 1) << y;
    }
}

// Lines that start or end far outside the bitmap begin at their first visible
// step; the visible pixels must be those of the same line on a larger bitmap.
TEST(PictureTest, ClippedLinesMatchTheUnclippedLine)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(-400, 400);
    const int off = 500;
    Picture big(1100, 1100);
    for (int trial = 0; trial < 300; ++trial) {
        const int x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
        Picture small(60, 50);
        big.Fill(kBlack);
        small.SetPen(kWhite);
        big.SetPen(kWhite);
        small.MoveTo(x1, y1);
        small.LineTo(x2, y2);
        big.MoveTo(x1 + off, y1 + off);
        big.LineTo(x2 + off, y2 + off);
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 60; ++x)
                ASSERT_EQ(small.PixelAt(x, y), big.PixelAt(x + off, y + off))
                    << trial << ": " << x1 << "," << y1 << " -> " << x2 << "," << y2;
    }
    // A clip rectangle cuts a polyline as the bitmap's edges do; the dot
    // pattern runs on through what is cut.
    std::uniform_int_distribution<int> near(-60, 160);
    for (int trial = 0; trial < 200; ++trial) {
        Picture whole(100, 100), cut(100, 100);
        whole.SetPen(kWhite, 1, PenStyle::Dot);
        cut.SetPen(kWhite, 1, PenStyle::Dot);
        whole.SetBrushColor(kBlack);
        cut.SetBrushColor(kBlack);
        cut.SetClip(20, 30, 69, 59);
        const int x0 = near(rng), y0 = near(rng);
        whole.MoveTo(x0, y0);
        cut.MoveTo(x0, y0);
        for (int i = 0; i < 3; ++i) {
            const int x = near(rng), y = near(rng);
            whole.LineTo(x, y);
            cut.LineTo(x, y);
        }
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                const bool inside = x >= 20 && x <= 69 && y >= 30 && y <= 59;
                ASSERT_EQ(cut.PixelAt(x, y), inside ? whole.PixelAt(x, y) : kBlack) << trial;
            }
    }

    // Extreme coordinates neither hang nor overflow.
    Picture p(30, 30);
    p.SetPen(kWhite);
    p.MoveTo(15, -2000000000);
    p.LineTo(15, 2000000000);
    EXPECT_EQ(CountColor(p, kWhite), 30);
}

TEST(PictureTest, RectangleCoversUpToTheLargerCornerExclusive)
{
    Picture p(30, 30);
    p.Fill(kWhite);
    p.SetPen(kWhite);
    p.SetBrushColor(kBlack);
    p.MoveTo(1, 2);
    p.Rectangle(20, 15, 5, 4);  // corners given the other way round
    EXPECT_EQ(p.PenX(), 1);     // the pen position is not moved
    EXPECT_EQ(p.PenY(), 2);
    // Outline: x 5 .. 19, y 4 .. 14; the inside is cleared to the brush.
    for (int x = 5; x <= 19; ++x) {
        EXPECT_EQ(p.PixelAt(x, 4), kWhite);
        EXPECT_EQ(p.PixelAt(x, 14), kWhite);
    }
    for (int y = 4; y <= 14; ++y) {
        EXPECT_EQ(p.PixelAt(5, y), kWhite);
        EXPECT_EQ(p.PixelAt(19, y), kWhite);
    }
    EXPECT_EQ(CountColor(p, kBlack), 13 * 9);
    EXPECT_EQ(p.PixelAt(6, 5), kBlack);
    EXPECT_EQ(p.PixelAt(18, 13), kBlack);

    Picture q(10, 10);
    q.SetPen(kWhite);
    q.Rectangle(3, 3, 3, 8);  // empty: nothing
    EXPECT_EQ(CountColor(q, kWhite), 0);
    q.Rectangle(3, 3, 4, 8);  // one column wide
    EXPECT_EQ(CountColor(q, kWhite), 5);
}

TEST(PictureTest, StyledPensPaintTheirGapsInTheBrushColour)
{
    for (PenStyle style : {PenStyle::Dot, PenStyle::Dash}) {
        Picture p(200, 10);
        p.SetPen(kWhite);
        p.SetBrushColor(kBlack);
        p.MoveTo(0, 5);
        p.LineTo(200, 5);  // a solid white line first
        p.SetPen(kWhite, 1, style);
        p.SetBrushColor(kBlack);
        p.MoveTo(0, 5);
        p.LineTo(200, 5);
        int on = 0, off = 0;
        for (int x = 0; x < 200; ++x) (p.PixelAt(x, 5) == kWhite ? on : off)++;
        EXPECT_GT(on, 0);
        EXPECT_GT(off, 0) << "the gaps blank the earlier line";
        // Continuing the line continues the pattern rather than restarting it.
        Picture a(100, 3), b(100, 3);
        for (Picture* q : {&a, &b}) q->SetPen(kWhite, 1, style);
        a.MoveTo(0, 1);
        a.LineTo(37, 1);
        a.LineTo(100, 1);
        b.MoveTo(0, 1);
        b.LineTo(100, 1);
        for (int x = 0; x < 100; ++x) EXPECT_EQ(a.PixelAt(x, 1), b.PixelAt(x, 1)) << x;
    }
}

TEST(PictureTest, TextIsOpaqueTwoColouredAndAsWideAsMeasured)
{
    Picture p(200, 40);
    p.Fill(kWhite);
    p.SetBrushColor(kBlack);
    p.SetFontColor(kWhite);
    const std::string text = "f, Гц 0,00346";
    const int w = p.TextWidth(text);
    const int h = p.TextHeight();
    ASSERT_GT(w, 30);
    ASSERT_GT(h, 8);
    p.TextOut(10, 5, text);
    // The cell is filled with the brush; ink only inside it; no other colours.
    int ink = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) {
            const TColor c = p.PixelAt(x, y);
            ASSERT_TRUE(c == kWhite || c == kBlack) << std::hex << c;
            const bool inCell = x >= 10 && x < 10 + w && y >= 5 && y < 5 + h;
            if (inCell) {
                ink += c == kWhite;
            } else {
                EXPECT_EQ(c, kWhite) << x << "," << y;
            }
        }
    EXPECT_GT(ink, 20);
    EXPECT_EQ(p.PixelAt(10, 5), kBlack);  // top-left of the cell: background
    EXPECT_EQ(p.TextWidth(""), 0);
    p.TextOut(100, 30, "");  // draws nothing
    EXPECT_EQ(p.PixelAt(100, 30), kWhite);
}

TEST(PictureTest, ResizeKeepsTheOverlapAndClampsToOnePixel)
{
    Picture p(10, 10);
    p.Fill(kWhite);
    p.SetFormat(PixelFormat::Mono);
    p.SetSize(20, 5);
    EXPECT_EQ(p.Width(), 20);
    EXPECT_EQ(p.Height(), 5);
    EXPECT_EQ(p.Format(), PixelFormat::Mono);
    EXPECT_EQ(p.PixelAt(9, 4), kWhite);
    EXPECT_EQ(p.PixelAt(10, 4), kBlack);
    p.SetSize(0, -3);
    EXPECT_EQ(p.Width(), 1);
    EXPECT_EQ(p.Height(), 1);
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t Le32(const std::string& s, size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | std::uint8_t(s[at + i]);
    return v;
}

Picture Checkered(int w, int h)
{
    Picture p(w, h);
    p.SetPen(kWhite);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x * 7 + y * 3) % 5 == 0) {
                p.MoveTo(x, y);
                p.LineTo(x + 1, y);
            }
    return p;
}

TEST(PictureTest, SavesEightBitBmpWithAllColoursAndReadsBack)
{
    TempDir dir;
    const Picture p = Checkered(13, 7);  // odd width: rows need padding
    const fs::path file = dir.path / "pic.bmp";
    p.Save(file.string());
    const std::string bytes = ReadAll(file);
    const size_t rowBytes = 16;
    ASSERT_EQ(bytes.size(), 14 + 40 + 256 * 4 + rowBytes * 7);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(Le32(bytes, 2), bytes.size());
    EXPECT_EQ(Le32(bytes, 10), 14u + 40 + 1024);
    EXPECT_EQ(std::uint8_t(bytes[28]), 8);  // bits per pixel
    EXPECT_EQ(Le32(bytes, 30), 0u);         // uncompressed
    EXPECT_EQ(Le32(bytes, 46), 256u);       // colours used

    QImage back(QString::fromStdString(file.string()));
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.format(), QImage::Format_Indexed8);
    EXPECT_EQ(back.colorCount(), 256);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            EXPECT_EQ(back.pixel(x, y) & 0xFFFFFF, p.PixelAt(x, y) & 0xFFFFFF) << x << "," << y;
    const QImage shown = p.ToImage();
    EXPECT_EQ(shown.format(), QImage::Format_Indexed8);
    EXPECT_EQ(shown.colorCount(), 256);
    EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(PictureTest, SavesOneBitBmpAndReadsBack)
{
    TempDir dir;
    Picture p = Checkered(37, 5);
    p.SetFormat(PixelFormat::Mono);
    const fs::path file = dir.path / "mono.bmp";
    p.Save(file.string());
    const std::string bytes = ReadAll(file);
    ASSERT_EQ(bytes.size(), 14 + 40 + 2 * 4 + 8 * 5);  // 37 bits -> 8 bytes a row
    EXPECT_EQ(std::uint8_t(bytes[28]), 1);
    EXPECT_EQ(Le32(bytes, 46), 2u);
    QImage back(QString::fromStdString(file.string()));
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.depth(), 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x)
            EXPECT_EQ(back.pixel(x, y) & 0xFFFFFF, p.PixelAt(x, y) & 0xFFFFFF) << x << "," << y;
    const QImage shown = p.ToImage();
    EXPECT_EQ(shown.format(), QImage::Format_Mono);
    EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(PictureTest, SaveReplacesAnExistingFileAndLeavesNoTemporaryFiles)
{
    TempDir dir;
    const fs::path file = dir.path / "a.png";  // the name does not choose the format
    {
        std::ofstream(file) << std::string(100000, 'x');
    }
    Picture p(4, 4);
    p.Save(file.string());
    const std::string bytes = ReadAll(file);
    EXPECT_EQ(bytes.size(), 14u + 40 + 1024 + 16);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

TEST(PictureTest, FailedSavesReportTheFileAndKeepWhatWasThere)
{
    TempDir dir;
    Picture p(4, 4);
    const std::string missing = (dir.path / "no-such-folder" / "x.bmp").string();
    try {
        p.Save(missing);
        FAIL() << "saved into a missing folder";
    } catch (const SonavirError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + missing + "\". No such file or directory");
    }
    // A target that cannot be replaced (a folder) stays as it was and no
    // temporary file is left behind.
    const fs::path folder = dir.path / "taken.bmp";
    fs::create_directory(folder);
    std::ofstream(folder / "inside") << "keep";
    EXPECT_THROW(p.Save(folder.string()), SonavirError);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(ReadAll(folder / "inside"), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace sonavir
