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

void WritePng(const Picture& picture, OutputFile& file)
{
    QImage image = picture.ToImage();
    image.setDotsPerMeterX(3780);  // 96 dpi, as the BMP says
    image.setDotsPerMeterY(3780);
    OutputDevice device(file);
    QImageWriter writer(&device, "png");
    const bool written = writer.write(image);
    device.RaiseFailure();
    if (!written) Fail(file, writer.errorString());
}

// Draws the picture again onto the vector page; a picture whose calls were
// not all kept is shown as its bitmap.
void DrawVector(const Picture& picture, QPaintDevice& page, OutputDevice& device, OutputFile& file)
{
    VectorCanvas canvas(page, picture.Width(), picture.Height());
    if (!canvas.Active()) {
        device.RaiseFailure();
        Fail(file, QStringLiteral("The drawing cannot be started"));
    }
    if (!picture.Replay(canvas)) canvas.ShowBitmap(picture.Surface());
    canvas.Finish();
    device.RaiseFailure();
}

void WriteSvg(const Picture& picture, OutputFile& file)
{
    OutputDevice device(file);
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setSize(QSize(picture.Width(), picture.Height()));
    svg.setViewBox(QRect(0, 0, picture.Width(), picture.Height()));
    svg.setResolution(96);  // one unit is one CSS pixel
    DrawVector(picture, svg, device, file);
}

void WritePdf(const Picture& picture, OutputFile& file)
{
    OutputDevice device(file);
    QPdfWriter pdf(&device);
    pdf.setResolution(72);  // one unit is one point
    pdf.setPageSize(QPageSize(QSize(picture.Width(), picture.Height()), QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    DrawVector(picture, pdf, device, file);
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
    case PictureFormat::Svg: WriteSvg(picture, file); break;
    case PictureFormat::Pdf: WritePdf(picture, file); break;
    default: picture.WriteBmp(file); break;
    }
}

void SavePicture(const Picture& picture, PictureFormat format, const std::string& path)
{
    OutputSet set;
    WritePicture(picture, format, set.Add(path));
    set.CommitAll();
}

}  // namespace sonavir
