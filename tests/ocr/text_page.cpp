// For the end-to-end test: "page FILE.bmp EXPECTED.txt" writes a rendered page of known text
// at 300 dpi and its text; "accuracy EXPECTED.txt GOT.txt" prints the share of characters
// recognised right and fails below 98 %.

#include "TextPage.h"
#include "image/BmpWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <cstdio>

namespace {

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == "page") {
        const textpage::Page page = textpage::render(300, 0, 210, 150);
        const QImage rgb = page.image.convertToFormat(QImage::Format_RGB888);
        return write(args[2], img::encodeBmp(rgb, QSize(rgb.dotsPerMeterX(), rgb.dotsPerMeterY())))
                && write(args[3], page.expected.toUtf8())
            ? 0
            : 1;
    }
    if (args.size() == 4 && args[1] == "accuracy") {
        const double accuracy = textpage::characterAccuracy(read(args[2]), read(args[3]));
        std::printf("%.2f %%\n", accuracy * 100);
        return accuracy >= 0.98 ? 0 : 1;
    }
    std::fprintf(stderr, "usage: text_page page FILE.bmp EXPECTED.txt | accuracy EXPECTED.txt GOT.txt\n");
    return 2;
}
