#include "display/Canvas.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QString>

#include <fontconfig/fontconfig.h>

#include "signal/Errors.h"

// The built-in picture font; a static library's resources are linked only
// when something calls their initialiser, and that must be outside any
// namespace.
static void LoadPictureFontResource() { Q_INIT_RESOURCE(picture_font); }

namespace sonavir {

namespace {

// A machine's fontconfig rules may still ask for the auto-hinter or for
// embedded bitmaps, which would change the glyphs' pixels; a rule of our own,
// applied after every other, keeps the face's own hinting.
void PinPictureFontRendering(const QString& family)
{
    const QByteArray rule = "<?xml version=\"1.0\"?><fontconfig><match target=\"font\">"
                            "<test name=\"family\"><string>" + family.toHtmlEscaped().toUtf8() +
                            "</string></test>"
                            "<edit name=\"autohint\" mode=\"assign\"><bool>false</bool></edit>"
                            "<edit name=\"embeddedbitmap\" mode=\"assign\"><bool>false</bool></edit>"
                            "</match></fontconfig>";
    FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(rule.constData()), FcFalse);
}

}  // namespace

const QFont& PictureFont()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw SonavirError("Text drawing needs a QGuiApplication");
    static const QFont font = [] {
        // The face is part of the picture's geometry, so it is built in and
        // never looked up or substituted: every machine draws the same
        // pixels, whatever fonts it has. PT Sans Caption at 11 pixels (about
        // 8 points) keeps S apart from 5 and l, 1 and I apart without
        // antialiasing, and the longest legend text inside the chart frame.
        LoadPictureFontResource();
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/PTSansCaption-Regular.ttf"));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty()) throw SonavirError("The picture font cannot be loaded");
        PinPictureFontRendering(families.first());
        QFont f;
        f.setFamilies(families);
        f.setPixelSize(11);
        f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoFontMerging));
        f.setHintingPreference(QFont::PreferFullHinting);
        return f;
    }();
    return font;
}

int Canvas::TextWidth(const std::string& utf8) const
{
    if (utf8.empty()) return 0;
    return QFontMetrics(PictureFont()).horizontalAdvance(
        QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

int Canvas::TextHeight() const { return QFontMetrics(PictureFont()).height(); }

}  // namespace sonavir
