// Build tool: draws an SVG picture as PNG files of the given square sizes.
//   brevio_render_icon SVG OUTPUT-FOLDER SIZE...   writes OUTPUT-FOLDER/<size>/brevio.png
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fputs("usage: brevio_render_icon SVG OUTPUT-FOLDER SIZE...\n", stderr);
        return 2;
    }
    // Drawing needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "brevio_render_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const QString name = QFileInfo(QString::fromLocal8Bit(argv[1])).completeBaseName() + QStringLiteral(".png");
    for (int i = 3; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        const QString folder = QString::number(size);
        if (size <= 0 || !out.mkpath(folder) || !image.save(out.filePath(folder + QLatin1Char('/') + name))) {
            std::fprintf(stderr, "brevio_render_icon: cannot write the %s picture\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
