// compare A B: exit 0 when the two pictures have the same size and the same pixels.
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: compare A B\n");
        return 2;
    }
    QImageReader::setAllocationLimit(0); // pages at 600 dpi
    const QImage a = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
    const QImage b = QImage(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_RGB32);
    if (a.isNull() || b.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", a.isNull() ? argv[1] : argv[2]);
        return 1;
    }
    if (a.size() != b.size()) {
        std::fprintf(stderr, "sizes differ: %dx%d and %dx%d\n", a.width(), a.height(), b.width(), b.height());
        return 1;
    }
    long differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differ += a.pixel(x, y) != b.pixel(x, y);
    if (differ) {
        std::fprintf(stderr, "%ld of %d pixels differ\n", differ, a.width() * a.height());
        return 1;
    }
    return 0;
}
