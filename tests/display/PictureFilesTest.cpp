#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <functional>
#include <random>

#include "display/PictureFiles.h"
#include "display/Plotter.h"
#include "display/VectorCanvas.h"
#include "signal/Errors.h"
#include "tests/support/DefaultAxes.h"
#include "tests/support/TempDir.h"
#include "tests/support/VectorPictures.h"

namespace sonavir {
namespace {

using testsupport::DefaultAxes;
using testsupport::GeometryFaults;
using testsupport::ReadBytes;
using testsupport::TempDir;

TSignalData Buffer(int N, const std::function<double(int m)>& f)
{
    TSignalData d;
    AllocateSignal(d, N);
    for (int m = 0; m < 2 * N; ++m) d[m % 2][m / 2] = f(m);
    return d;
}

// Both plots of a run, as the model run draws them.
void DrawBothPlots(Picture& p, int N, const std::function<double(int m)>& wave)
{
    const PictureSettings s;
    p.Fill(s.PlotBackColor);
    p.SetBrushColor(s.PlotBackColor);
    DrawTimePlot(p, s, DefaultAxes(), Buffer(N, wave), N, "S(t)");
    DrawSpectrumPlot(p, s, DefaultAxes(), Buffer(N, [&](int m) { return wave(m) * (m % 7 + 1); }), N, "|S(jw)|");
}

double Sine(int m) { return std::sin(m * 0.05) * 3.5; }

std::string Saved(const Picture& p, PictureFormat format, const TempDir& dir, const std::string& name)
{
    SavePicture(p, format, dir / name);
    return ReadBytes(dir / name);
}

void ExpectSamePixels(const Picture& a, const Picture& b)
{
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    EXPECT_TRUE(a.Surface() == b.Surface());
}

TEST(PictureFilesTest, FormatFollowsTheExtensionAndTheSaveFilter)
{
    EXPECT_EQ(PictureFormatOf("a.PNG"), PictureFormat::Png);
    EXPECT_EQ(PictureFormatOf("dir/b.Svg"), PictureFormat::Svg);
    EXPECT_EQ(PictureFormatOf("c.pdf"), PictureFormat::Pdf);
    for (const char* bmp : {"d.bmp", "e.jpg", "pdf", "x.png/f", "g.png.bak"})
        EXPECT_EQ(PictureFormatOf(bmp), PictureFormat::Bmp) << bmp;

    EXPECT_EQ(SaveFileName("pic", PictureFormat::Png), "pic.png");
    EXPECT_EQ(SaveFileName("a.b/pic", PictureFormat::Svg), "a.b/pic.svg");  // the folder's dot counts not
    EXPECT_EQ(SaveFileName("pic.bmp", PictureFormat::Pdf), "pic.bmp");
    EXPECT_EQ(SaveFileName("pic", PictureFormat::Bmp), "pic.bmp");
    EXPECT_EQ(SaveFileName("a.b/pic", PictureFormat::Bmp), "a.b/pic");  // BMP: any dot anywhere
}

TEST(PictureFilesTest, PngHoldsTheBmpsPixelsInTheSamePixelFormat)
{
    TempDir dir;
    Picture p(101, 60);
    DrawBothPlots(p, 64, Sine);  // text, frames and curves on a picture smaller than the plots
    for (const PixelFormat format : {PixelFormat::Indexed8, PixelFormat::Mono}) {
        p.SetFormat(format);
        SavePicture(p, PictureFormat::Bmp, dir / "p.bmp");
        SavePicture(p, PictureFormat::Png, dir / "p.png");
        const QImage bmp(QString::fromStdString(dir / "p.bmp"), "BMP");
        const QImage png(QString::fromStdString(dir / "p.png"), "PNG");
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(png.format(), bmp.format());
        EXPECT_EQ(png.format(), format == PixelFormat::Mono ? QImage::Format_Mono : QImage::Format_Indexed8);
        EXPECT_EQ(png.colorTable(), p.ToImage().colorTable());
        EXPECT_TRUE(png == bmp);
    }
}

// The same calls on the bitmap and on the vector canvas painting a bitmap of
// its own: level and upright lines, frames, columns, dots and dashes, text,
// clipping and an enlargement give the very same pixels.
TEST(PictureFilesTest, VectorCanvasCoversTheBitmapsPixels)
{
    const auto draw = [](Canvas& c) {
        c.Fill(kBlack);
        c.SetBrushColor(kBlack);
        c.SetFontColor(kWhite);
        c.SetPen(kWhite, 1, PenStyle::Solid);
        c.Rectangle(10, 10, 150, 90);
        c.Rectangle(155, 10, 156, 30);  // one pixel wide
        c.MoveTo(20, 20);
        c.LineTo(60, 20);  // a polyline turning every way
        c.LineTo(60, 50);
        c.LineTo(30, 50);
        c.LineTo(30, 25);
        c.PenColumn(70, 40, 15);
        c.PenColumn(72, 33, 33);
        c.TextOut(80, 20, "f, Гц 0,5");
        c.SetPenStyle(PenStyle::Dot);
        c.MoveTo(20, 60);
        c.LineTo(77, 60);  // the pattern runs on from one line to the next
        c.LineTo(140, 60);
        c.SetPenStyle(PenStyle::Dash);
        c.MoveTo(140, 70);
        c.LineTo(20, 70);
        c.LineTo(20, 88);
        c.SetPenStyle(PenStyle::Solid);
        c.SetClip(40, 75, 100, 85);
        c.Rectangle(30, 78, 110, 95);
        c.MoveTo(45, 0);
        c.LineTo(45, 200);
        c.SetPenStyle(PenStyle::Dot);
        c.MoveTo(0, 80);
        c.LineTo(200, 80);
        c.ClearClip();
        c.SetPenStyle(PenStyle::Solid);
        c.SetSize(180, 110);  // black beyond the old size
        c.MoveTo(175, 0);
        c.LineTo(175, 105);
        c.MoveTo(-5, 105);
        c.LineTo(400, 105);
    };
    Picture bitmap(170, 100);
    draw(bitmap);
    QImage image(180, 110, QImage::Format_RGB32);
    image.fill(Qt::red);
    {
        VectorCanvas vector(image, 170, 100);
        draw(vector);
        EXPECT_EQ(vector.Width(), 180);
    }
    EXPECT_TRUE(image == bitmap.Surface());
}

// A picture shows the same after its record is replayed onto a fresh one:
// both plots, a run that failed halfway, and a fixed size enlarged and shrunk
// beyond its drawing.
TEST(PictureFilesTest, ReplayDrawsWhatThePictureShows)
{
    Picture plots;
    DrawBothPlots(plots, 4096, Sine);
    Picture failed;  // the waveform drawn, then an all-zero spectrum
    const PictureSettings s;
    failed.Fill(s.PlotBackColor);
    failed.SetBrushColor(s.PlotBackColor);
    DrawTimePlot(failed, s, DefaultAxes(), Buffer(512, Sine), 512, "S(t)");
    EXPECT_THROW(DrawSpectrumPlot(failed, s, DefaultAxes(), Buffer(512, [](int) { return 0.0; }), 512, "|S(jw)|"),
                 SonavirError);
    Picture resized;
    DrawBothPlots(resized, 512, Sine);
    resized.SetSize(600, 300);
    resized.SetSize(900, 700);
    for (const Picture* p : {&plots, &failed, &resized}) {
        Picture again(3, 3);
        ASSERT_TRUE(p->Replay(again));
        ExpectSamePixels(again, *p);
    }
}

// The time axis of a record gated at 2 s reads its true times, or with the
// range setting and a sound speed the ranges c·t/2 (1500 m at its start); a
// record without a sound speed keeps its times.
TEST(PictureFilesTest, GatedTimeAxisReadsTrueTimesOrRanges)
{
    struct Case {
        bool rangeAxis;
        long double soundSpeed;
        std::vector<const char*> texts;
    };
    const Case cases[] = {{false, 1500, {"t, с", "2,003"}}, {true, 1500, {"r, м", "1500", "1503"}},
                          {true, 0, {"t, с", "2,003"}}};
    for (const Case& c : cases) {
        TempDir dir;
        Picture p;
        PictureSettings s;
        s.rangeAxis = c.rangeAxis;
        PlotAxes axes = DefaultAxes();
        axes.t0 = 2;
        axes.soundSpeed = c.soundSpeed;
        DrawTimePlot(p, s, axes, Buffer(512, Sine), 512, "S(t)");
        const std::string text = testsupport::ReadSvg(Saved(p, PictureFormat::Svg, dir, "t.svg")).text;
        for (const char* t : c.texts) EXPECT_NE(text.find(t), std::string::npos) << t;
        EXPECT_EQ(text.find(c.texts[0][0] == 't' ? "r, м" : "t, с"), std::string::npos);
    }
}

TEST(PictureFilesTest, SvgDrawsThePlotsWithTheirTextsAndGeometry)
{
    TempDir dir;
    Picture p;
    DrawBothPlots(p, 512, Sine);
    const std::string svg = Saved(p, PictureFormat::Svg, dir, "plots.svg");
    const testsupport::SvgContent content = testsupport::ReadSvg(svg);
    EXPECT_TRUE(content.error.isEmpty()) << content.error.toStdString();
    EXPECT_EQ(content.viewBox, "0 0 785 484");
    EXPECT_EQ(content.images, 0);
    EXPECT_GT(content.shapes, 3);
    for (const char* text : {"S(t)", "|S(jw)|", "t, с", "f, Гц", "0,00346", "24696", "0,75"})
        EXPECT_NE(content.text.find(text), std::string::npos) << text;

    const QImage rendered = testsupport::RenderSvg(svg, 785, 484);
    EXPECT_EQ(rendered.pixel(784, 483), qRgb(0, 0, 0));  // the background is part of the drawing
    std::string where;
    EXPECT_EQ(GeometryFaults(rendered, p, &where), 0) << where;
}

TEST(PictureFilesTest, PdfIsOnePageOfThePicturesSizeWithSearchableText)
{
    TempDir dir;
    Picture p(900, 500);
    DrawBothPlots(p, 512, Sine);
    const std::string pdf = Saved(p, PictureFormat::Pdf, dir, "plots.pdf");
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.find("%%EOF", pdf.size() - 8), std::string::npos);
    EXPECT_NE(pdf.find("/MediaBox [0 0 900.000000 500.000000]"), std::string::npos);

    const std::string text = testsupport::PdfText(dir / "plots.pdf");
    for (const char* t : {"S(t)", "|S(jw)|", "t, с", "f, Гц", "0,00346"})
        EXPECT_NE(text.find(t), std::string::npos) << t << " in " << text;
    const QImage rendered = testsupport::RenderPdf(dir / "plots.pdf");
    ASSERT_EQ(rendered.size(), QSize(900, 500));
    std::string where;
    EXPECT_EQ(GeometryFaults(rendered, p, &where), 0) << where;
}

// A curve of millions of points reaches the file as a few lines per pixel
// column, as it reaches the bitmap.
TEST(PictureFilesTest, DenseCurvesMakeSmallVectorFiles)
{
    TempDir dir;
    std::mt19937 rng(3);
    std::normal_distribution<double> noise;
    std::vector<double> samples(1 << 22);
    for (double& v : samples) v = noise(rng);
    Picture p;
    DrawBothPlots(p, 1 << 21, [&](int m) { return samples[size_t(m)]; });
    EXPECT_LT(Saved(p, PictureFormat::Svg, dir, "dense.svg").size(), 1u << 20);
    EXPECT_LT(Saved(p, PictureFormat::Pdf, dir, "dense.pdf").size(), 1u << 20);

    // A dotted curve as dense (a reference trace under a plot) changes its
    // pen twice for the whole curve, not twice a segment.
    Picture dotted;
    dotted.SetPen(kWhite, 1, PenStyle::Dot);
    dotted.MoveTo(50, 100);
    for (int x = 50; x < 760; ++x) {
        dotted.LineTo(x, 100 + (x % 2) * 3);
        dotted.LineTo(x + 1, 103 - (x % 2) * 3);
    }
    EXPECT_LT(Saved(dotted, PictureFormat::Svg, dir, "dotted.svg").size(), 1u << 18);
}

// Past the record's limit the picture is its pixels: the vector file shows
// them as an image, whole.
TEST(PictureFilesTest, PictureOfTooManyCallsIsSavedAsItsPixels)
{
    TempDir dir;
    Picture p(300, 200);
    p.SetPen(kWhite);
    for (std::size_t i = 0; i <= Picture::kMaxRecordedCalls; ++i) p.LineTo(int(i % 300), int(i % 199));
    Picture again;
    EXPECT_FALSE(p.Replay(again));
    const std::string svg = Saved(p, PictureFormat::Svg, dir, "many.svg");
    EXPECT_EQ(testsupport::ReadSvg(svg).images, 1);
    const QImage rendered = testsupport::RenderSvg(svg, 300, 200);
    EXPECT_TRUE(rendered == p.Surface());
    // A fill starts the record afresh.
    p.Fill(kBlack);
    EXPECT_TRUE(p.Replay(again));
}

TEST(PictureFilesTest, FailedVectorSaveReportsTheFile)
{
    TempDir dir;
    const Picture p(40, 30);
    const std::string missing = dir / "no-such-folder/x.svg";
    for (const PictureFormat format : {PictureFormat::Png, PictureFormat::Svg, PictureFormat::Pdf}) {
        try {
            SavePicture(p, format, missing);
            ADD_FAILURE() << "saved into a missing folder";
        } catch (const SonavirError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + missing + "\". No such file or directory");
        }
    }
}

}  // namespace
}  // namespace sonavir
