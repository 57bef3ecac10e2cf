#include "display/PictureFiles.h"

#include <QIODevice>
#include <QImage>
#include <QImageWriter>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <algorithm>
#include <cctype>
#include <exception>

#include "display/PictureSizing.h"
#include "display/VectorCanvas.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

// Qt's writers write into one output of a set. A failure of the output is
// kept, not thrown through the writer's own code, and raised once it is done.
class OutputDevice : public QIODevice {
public:
    explicit OutputDevice(OutputFile& file) : file_(file) { open(QIODevice::WriteOnly); }
    bool isSequential() const override { return true; }
    void RaiseFailure() const
    {
        if (failure_) std::rethrow_exception(failure_);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (failure_) return -1;
        try {
            file_.Write(data, std::size_t(size));
            return size;
        } catch (...) {
            failure_ = std::current_exception();
            return -1;
        }
    }

private:
    OutputFile& file_;
    std::exception_ptr failure_;
};

[[noreturn]] void Fail(const OutputFile& file, const QString& reason)
{
    throw SonavirError("Cannot create file \"" + file.Path() + "\". " + reason.toStdString());
}

void WriteImage(QImage image, const char* format, OutputFile& file)
{
    image.setDotsPerMeterX(3780);  // 96 dpi, as the BMP says
    image.setDotsPerMeterY(3780);
    OutputDevice device(file);
    QImageWriter writer(&device, format);
    const bool written = writer.write(image);
    device.RaiseFailure();
    if (!written) Fail(file, writer.errorString());
}

void WritePng(const Picture& picture, OutputFile& file) { WriteImage(picture.ToImage(), "png", file); }

using Drawing = std::function<void(VectorCanvas&)>;

// Draws onto the vector page.
void DrawVector(int width, int height, const Drawing& draw, QPaintDevice& page, OutputDevice& device,
                OutputFile& file)
{
    VectorCanvas canvas(page, width, height);
    if (!canvas.Active()) {
        device.RaiseFailure();
        Fail(file, QStringLiteral("The drawing cannot be started"));
    }
    draw(canvas);
    canvas.Finish();
    device.RaiseFailure();
}

void WriteSvg(int width, int height, const Drawing& draw, OutputFile& file)
{
    OutputDevice device(file);
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setSize(QSize(width, height));
    svg.setViewBox(QRect(0, 0, width, height));
    svg.setResolution(96);  // one unit is one CSS pixel
    DrawVector(width, height, draw, svg, device, file);
}

void WritePdf(int width, int height, const Drawing& draw, OutputFile& file)
{
    OutputDevice device(file);
    QPdfWriter pdf(&device);
    pdf.setResolution(72);  // one unit is one point
    pdf.setPageSize(QPageSize(QSize(width, height), QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    DrawVector(width, height, draw, pdf, device, file);
}

// The picture drawn again call by call; a picture whose calls were not all
// kept is shown as its bitmap.
Drawing ReplayOf(const Picture& picture)
{
    return [&picture](VectorCanvas& canvas) {
        if (!picture.Replay(canvas)) canvas.ShowBitmap(picture.Surface());
    };
}

}  // namespace

PictureFormat PictureFormatOf(const std::string& fileName)
{
    const std::size_t slash = fileName.rfind('/');
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return PictureFormat::Bmp;
    std::string extension = fileName.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    for (const PictureFormat f : {PictureFormat::Png, PictureFormat::Svg, PictureFormat::Pdf})
        if (extension == ExtensionOf(f)) return f;
    return PictureFormat::Bmp;
}

std::string ExtensionOf(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Png: return ".png";
    case PictureFormat::Svg: return ".svg";
    case PictureFormat::Pdf: return ".pdf";
    default: return ".bmp";
    }
}

std::string SaveFileName(const std::string& chosen, PictureFormat format)
{
    if (format == PictureFormat::Bmp) return WithBmpExtension(chosen);
    const std::size_t slash = chosen.rfind('/');
    const std::string own = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
    return own.find('.') == std::string::npos ? chosen + ExtensionOf(format) : chosen;
}

void WritePicture(const Picture& picture, PictureFormat format, OutputFile& file)
{
    switch (format) {
    case PictureFormat::Png: WritePng(picture, file); break;
    case PictureFormat::Svg: WriteSvg(picture.Width(), picture.Height(), ReplayOf(picture), file); break;
    case PictureFormat::Pdf: WritePdf(picture.Width(), picture.Height(), ReplayOf(picture), file); break;
    default: picture.WriteBmp(file); break;
    }
}

void SavePicture(const Picture& picture, PictureFormat format, const std::string& path)
{
    OutputSet set;
    WritePicture(picture, format, set.Add(path));
    set.CommitAll();
}

QImage CanvasBitmap(int width, int height, const std::function<void(VectorCanvas&)>& draw)
{
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    if (image.isNull()) RaiseOutOfMemory();
    image.fill(Qt::black);
    VectorCanvas canvas(image, image.width(), image.height());
    draw(canvas);
    canvas.Finish();
    return image;
}

void WriteCanvasDrawing(int width, int height, PictureFormat format, OutputFile& file,
                        const std::function<void(VectorCanvas&)>& draw)
{
    switch (format) {
    case PictureFormat::Svg: WriteSvg(width, height, draw, file); break;
    case PictureFormat::Pdf: WritePdf(width, height, draw, file); break;
    case PictureFormat::Png: WriteImage(CanvasBitmap(width, height, draw), "png", file); break;
    default: WriteImage(CanvasBitmap(width, height, draw), "bmp", file); break;
    }
}

}  // namespace sonavir
