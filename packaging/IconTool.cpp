// Build-time tool: writes the program's icon into a hicolor icon tree, at 48
// and 256 pixels and as SVG, all from the drawing the windows use.
//   sonavir_icons DIR NAME  ->  DIR/48x48/apps/NAME.png, DIR/256x256/apps/NAME.png,
//                                DIR/scalable/apps/NAME.svg
#include <QDir>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

#include "display/ProgramIcon.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: sonavir_icons DIR NAME\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    auto path = [&](const QString& sub, const char* ext) {
        QDir().mkpath(dir + "/" + sub + "/apps");
        return dir + "/" + sub + "/apps/" + name + ext;
    };
    for (int size : {48, 256}) {
        const QString file = path(QStringLiteral("%1x%1").arg(size), ".png");
        if (!sonavir::ProgramIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "sonavir_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    QSvgGenerator svg;
    svg.setFileName(path(QStringLiteral("scalable"), ".svg"));
    svg.setSize(QSize(sonavir::kProgramIconSide, sonavir::kProgramIconSide));
    svg.setViewBox(QRect(0, 0, sonavir::kProgramIconSide, sonavir::kProgramIconSide));
    svg.setTitle(QStringLiteral("Сонавир"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        std::fprintf(stderr, "sonavir_icons: cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    sonavir::PaintProgramIcon(painter);
    return painter.end() ? 0 : 1;
}
