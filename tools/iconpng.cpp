// Renders the program's SVG icon as a square PNG of one size, for the icon
// theme's fixed-size folders: iconpng IN.svg OUT.png SIZE
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int size = args.size() == 4 ? args[3].toInt() : 0;
    if (size <= 0) {
        std::fputs("usage: iconpng IN.svg OUT.png SIZE\n", stderr);
        return 2;
    }
    QSvgRenderer renderer(args[1]);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "iconpng: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    if (!image.save(args[2], "PNG")) {
        std::fprintf(stderr, "iconpng: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
