#include "TestSupport.h"

#include "runtime/System.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

ProgramDir::ProgramDir()
{
    if (!dir_.isValid())
        throw std::runtime_error("no temporary directory");
    rt::setProgramDirectoryForTesting(dir_.path());
}

ProgramDir::~ProgramDir()
{
    rt::setProgramDirectoryForTesting(QString());
}

void ProgramDir::write(const QString &name, const QByteArray &bytes) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

void ProgramDir::writeImage(const QString &name, const QImage &image, const char *format) const
{
    if (!image.save(file(name), format, 100))
        throw std::runtime_error("cannot write test picture");
}

QImage patternImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(x & 0xFF, y & 0xFF, ((x >> 8) ^ (y >> 8)) * 37 & 0xFF);
    }
    return image;
}

MessageBoxWatcher::MessageBoxWatcher() : timer_(new QTimer)
{
    timer_->setInterval(5);
    QObject::connect(timer_, &QTimer::timeout, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown_.push_back(
            {box->windowTitle(), box->text(), box->icon() == QMessageBox::Information, static_cast<int>(box->buttons().size())});
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    });
    timer_->start();
}

MessageBoxWatcher::~MessageBoxWatcher()
{
    delete timer_;
}

QByteArray gifBytes(const QImage &image, int frames)
{
    const int w = image.width(), h = image.height();
    QByteArray out("GIF89a");
    auto u16 = [&out](int v) {
        out.append(static_cast<char>(v & 0xFF));
        out.append(static_cast<char>((v >> 8) & 0xFF));
    };
    u16(w);
    u16(h);
    out.append(static_cast<char>(0xF7)); // global table of 256 colours
    out.append('\0');
    out.append('\0');
    for (int i = 0; i < 256; ++i) {
        out.append(static_cast<char>((i >> 5) * 255 / 7));
        out.append(static_cast<char>(((i >> 2) & 7) * 255 / 7));
        out.append(static_cast<char>((i & 3) * 255 / 3));
    }
    // Every pixel a literal 9-bit code, with a clear code before the table would grow to 10 bits.
    QByteArray codes;
    unsigned acc = 0;
    int bits = 0;
    auto put = [&](unsigned code) {
        acc |= code << bits;
        bits += 9;
        while (bits >= 8) {
            codes.append(static_cast<char>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    int run = 0;
    put(256);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb c = image.pixel(x, y);
            put(static_cast<unsigned>((qRed(c) >> 5) << 5 | (qGreen(c) >> 5) << 2 | (qBlue(c) >> 6)));
            if (++run == 254) {
                put(256);
                run = 0;
            }
        }
    put(257);
    if (bits > 0)
        codes.append(static_cast<char>(acc & 0xFF));
    for (int f = 0; f < frames; ++f) {
        out.append(',');
        u16(0);
        u16(0);
        u16(w);
        u16(h);
        out.append('\0');
        out.append(static_cast<char>(8)); // minimum code size
        for (qsizetype i = 0; i < codes.size(); i += 255) {
            const QByteArray block = codes.mid(i, 255);
            out.append(static_cast<char>(block.size()));
            out.append(block);
        }
        out.append('\0');
    }
    out.append(';');
    return out;
}
