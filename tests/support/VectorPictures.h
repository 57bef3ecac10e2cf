#pragma once
// Reading SVG and PDF pictures back: their texts, their structure, and their
// drawing rendered to pixels and set against the bitmap they were drawn from.
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRect>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "display/Canvas.h"
#include "display/Picture.h"

namespace sonavir::testsupport {

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct SvgContent {
    QString error;         // empty when well-formed
    QString viewBox;       // of the root element
    std::string text;      // every <text> in document order, run together
    int texts = 0, images = 0, shapes = 0;
};

inline SvgContent ReadSvg(const std::string& bytes)
{
    SvgContent c;
    QXmlStreamReader xml(QByteArray::fromStdString(bytes));
    bool root = true;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QStringView name = xml.name();
        if (root) {
            root = false;
            if (name != u"svg") c.error = "root is not <svg>";
            c.viewBox = xml.attributes().value("viewBox").toString();
        } else if (name == u"text") {
            ++c.texts;
            c.text += xml.readElementText(QXmlStreamReader::IncludeChildElements).toStdString();
        } else if (name == u"image") {
            ++c.images;
        } else if (name == u"path" || name == u"polyline" || name == u"rect") {
            ++c.shapes;
        }
    }
    if (xml.hasError()) c.error = xml.errorString();
    return c;
}

// Rendered without smoothing, on red, as pixels of the picture: each is the
// drawing at the pixel's centre. (Drawn at twice the size and sampled, since
// Qt steps the dashes of one-pixel lines by pixels, not along their length.)
inline QImage RenderSvg(const std::string& bytes, int width, int height)
{
    QSvgRenderer renderer(QByteArray::fromStdString(bytes));
    QImage twice(2 * width, 2 * height, QImage::Format_RGB32);
    twice.fill(Qt::red);
    {
        QPainter painter(&twice);
        painter.setRenderHint(QPainter::Antialiasing, false);
        renderer.render(&painter, QRectF(0.5, 0.5, 2 * width, 2 * height));
    }
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, twice.pixel(2 * x + 1, 2 * y + 1));
    return image;
}

// A poppler tool's standard output ("" when it cannot run).
inline QByteArray Poppler(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
    return process.readAllStandardOutput();
}

inline std::string PdfText(const std::string& path)
{
    return Poppler("pdftotext", {QString::fromStdString(path), "-"}).toStdString();
}

// One point per pixel (72 dpi), without smoothing.
inline QImage RenderPdf(const std::string& path)
{
    return QImage::fromData(
        Poppler("pdftoppm", {"-r", "72", "-aa", "no", "-aaVector", "no", "-png", QString::fromStdString(path)}),
        "PNG");
}

// A canvas that only notes where things go: the pixels of level and upright
// lines, columns and rectangle outlines, and every text cell.
class GeometryLog final : public Canvas {
public:
    std::vector<QPoint> straight;
    std::vector<QRect> textCells;

    int Width() const override { return w_; }
    int Height() const override { return h_; }
    void SetSize(int width, int height) override { w_ = width, h_ = height; }
    void Fill(TColor) override {}
    void SetPen(TColor, int, PenStyle style) override { style_ = style; }
    void SetPenStyle(PenStyle style) override { style_ = style; }
    void SetBrushColor(TColor) override {}
    void SetFontColor(TColor) override {}
    TColor PenColor() const override { return kWhite; }
    TColor BrushColor() const override { return kBlack; }
    PenStyle Style() const override { return style_; }
    int PenX() const override { return x_; }
    int PenY() const override { return y_; }
    void MoveTo(int x, int y) override { x_ = x, y_ = y; }
    void LineTo(int x, int y) override
    {
        if (style_ == PenStyle::Solid && !clipped_ && (x == x_ || y == y_)) Straight(x_, y_, x, y);
        x_ = x, y_ = y;
    }
    void Rectangle(int x1, int y1, int x2, int y2) override
    {
        const int l = std::min(x1, x2), r = std::max(x1, x2) - 1, t = std::min(y1, y2), b = std::max(y1, y2) - 1;
        if (l >= r || t >= b || style_ != PenStyle::Solid || clipped_) return;
        Straight(l, t, r, t), Straight(r, t, r, b), Straight(r, b, l, b), Straight(l, b, l, t);
    }
    void TextOut(int x, int y, const std::string& text) override
    {
        textCells.emplace_back(x, y, TextWidth(text), TextHeight());
    }
    void PenColumn(int x, int y1, int y2) override
    {
        if (!clipped_)
            for (int y = std::min(y1, y2); y <= std::max(y1, y2); ++y) straight.emplace_back(x, y);
    }
    void SetClip(int, int, int, int) override { clipped_ = true; }
    void ClearClip() override { clipped_ = false; }

private:
    void Straight(int x1, int y1, int x2, int y2)
    {
        const int n = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
        for (int i = 0; i < n; ++i)
            straight.emplace_back(x1 + (x2 - x1) / n * i, y1 + (y2 - y1) / n * i);
    }
    int w_ = 1, h_ = 1, x_ = 0, y_ = 0;
    PenStyle style_ = PenStyle::Solid;
    bool clipped_ = false;
};

// Where a rendering of a white-on-black picture departs from the bitmap:
// level and upright lines must cover exactly the bitmap's pixels, every other
// stroke must lie within a pixel of the bitmap's, both ways. Text cells are
// left out (a viewer renders glyphs its own way). Returns the count of
// faults; `where` gets the first few.
inline int GeometryFaults(const QImage& rendered, const Picture& bitmap, std::string* where = nullptr)
{
    GeometryLog log;
    if (!bitmap.Replay(log) || rendered.size() != QSize(bitmap.Width(), bitmap.Height())) return -1;
    const int w = bitmap.Width(), h = bitmap.Height();
    auto renderedFore = [&](int x, int y) { return qGray(rendered.pixel(x, y)) > 127; };
    auto bitmapFore = [&](int x, int y) { return bitmap.PixelAt(x, y) == kWhite; };
    int faults = 0;
    auto fault = [&](int x, int y, const char* what) {
        if (where && faults < 8) *where += std::string(what) + " at " + std::to_string(x) + "," + std::to_string(y) + "; ";
        ++faults;
    };
    for (const QPoint p : log.straight)
        if (p.x() >= 0 && p.y() >= 0 && p.x() < w && p.y() < h &&
            renderedFore(p.x(), p.y()) != bitmapFore(p.x(), p.y()))
            fault(p.x(), p.y(), "straight line");
    auto nearby = [&](auto fore, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (x + dx >= 0 && y + dy >= 0 && x + dx < w && y + dy < h && fore(x + dx, y + dy)) return true;
        return false;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool inText = false;
            for (const QRect& cell : log.textCells) inText = inText || cell.adjusted(-1, -1, 1, 1).contains(x, y);
            if (inText) continue;
            if (bitmapFore(x, y) && !nearby(renderedFore, x, y)) fault(x, y, "only in the bitmap");
            if (renderedFore(x, y) && !nearby(bitmapFore, x, y)) fault(x, y, "only in the drawing");
        }
    return faults;
}

}  // namespace sonavir::testsupport
