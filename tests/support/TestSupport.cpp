#include "TestSupport.h"

#include "System.h"

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
        shown_.push_back({box->windowTitle(), box->text(), box->icon() == QMessageBox::Information,
                          static_cast<int>(box->buttons().size())});
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
