// Renders the application's SVG icon into the PNG sizes of the hicolor theme, so the PNGs
// always follow the SVG.
//   renvo-iconpng <svg> <outdir> <size>...   writes <outdir>/<n>x<n>/apps/renvo.png

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: renvo-iconpng <svg> <outdir> <size>...\n");
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "renvo-iconpng: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int n = QString::fromLatin1(argv[i]).toInt(&ok);
        if (!ok || n <= 0 || n > 1024) {
            std::fprintf(stderr, "renvo-iconpng: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(n, n, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter, QRectF(0, 0, n, n));
        painter.end();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(n);
        const QString file = dir + QStringLiteral("/renvo.png");
        if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "renvo-iconpng: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
