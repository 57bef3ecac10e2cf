#pragma once
// The picture as a file: BMP (the picture's own format), PNG (the same
// pixels in the same pixel format), or SVG and PDF, vector drawings of what
// the picture shows, drawn again through the vector canvas with the same
// geometry, sharp at any size and with searchable text. The vector page is
// the picture's size: one SVG user unit, one PDF point per pixel.

#include <QImage>
#include <functional>
#include <string>

#include "files/OutputFiles.h"
#include "display/Picture.h"

namespace sonavir {

enum class PictureFormat { Bmp, Png, Svg, Pdf };

// By the file's extension, case-insensitive: .png, .svg, .pdf; any other
// name is a BMP.
PictureFormat PictureFormatOf(const std::string& fileName);
// ".bmp", ".png", ".svg" or ".pdf".
std::string ExtensionOf(PictureFormat format);
// The name a save under the format's filter writes: for BMP the BMP rule
// (".bmp" only when the name has no dot anywhere), for the others the
// format's extension when the file's own name has none.
std::string SaveFileName(const std::string& chosen, PictureFormat format);

// The picture in that format into one output of a set. Fails with
// "Cannot create file "%s". %s".
void WritePicture(const Picture& picture, PictureFormat format, OutputFile& file);
// As a file of its own, replaced atomically as Picture::Save does.
void SavePicture(const Picture& picture, PictureFormat format, const std::string& path);

class VectorCanvas;
// A drawing made through the vector canvas (pictures with colour images in
// them, which the two-colour Picture does not hold): `draw` paints a canvas
// of width x height. As a bitmap of 32 bits per pixel ...
QImage CanvasBitmap(int width, int height, const std::function<void(VectorCanvas&)>& draw);
// ... and in a format into one output of a set: BMP and PNG that bitmap's
// pixels, SVG and PDF the drawing itself on a vector page.
void WriteCanvasDrawing(int width, int height, PictureFormat format, OutputFile& file,
                        const std::function<void(VectorCanvas&)>& draw);

}  // namespace sonavir
