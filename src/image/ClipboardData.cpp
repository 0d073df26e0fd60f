#include "ClipboardData.h"

#include "Errors.h"
#include "PngEncoder.h"

#include <QtEndian>
#include <cstring>

namespace rt {

namespace {
const QString Bmp = QStringLiteral("image/bmp");
const QString Png = QStringLiteral("image/png");
const QString QtImage = QStringLiteral("application/x-qt-image");
} // namespace

QByteArray encodeBmp(const QImage &source, QSize dotsPerMeter)
{
    QImage image = source;
    int bits = 24;
    switch (image.format()) {
    case QImage::Format_Mono: bits = 1; break;
    case QImage::Format_MonoLSB: image = image.convertToFormat(QImage::Format_Mono); bits = 1; break;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8: bits = 8; break;
    case QImage::Format_BGR888: break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: break;
    default: image = image.convertToFormat(QImage::Format_RGB32); break;
    }
    QList<QRgb> palette;
    if (image.format() == QImage::Format_Grayscale8)
        for (int i = 0; i < 256; ++i)
            palette.append(qRgb(i, i, i));
    else if (bits <= 8)
        palette = image.colorTable();

    const qint64 w = image.width(), h = image.height();
    const qint64 stride = (w * bits + 31) / 32 * 4;
    const qint64 offset = 54 + 4 * qint64{palette.size()};
    QByteArray out(offset + stride * h, Qt::Uninitialized);
    auto *p = reinterpret_cast<uchar *>(out.data());
    std::memset(p, 0, static_cast<size_t>(offset));
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(out.size()), p + 2);
    qToLittleEndian<quint32>(static_cast<quint32>(offset), p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(static_cast<qint32>(w), p + 18);
    qToLittleEndian<qint32>(static_cast<qint32>(h), p + 22); // bottom-up, as every reader takes it
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(static_cast<quint16>(bits), p + 28);
    qToLittleEndian<quint32>(static_cast<quint32>(stride * h), p + 34);
    if (dotsPerMeter.width() > 0 && dotsPerMeter.height() > 0) {
        qToLittleEndian<qint32>(dotsPerMeter.width(), p + 38);
        qToLittleEndian<qint32>(dotsPerMeter.height(), p + 42);
    }
    qToLittleEndian<quint32>(static_cast<quint32>(palette.size()), p + 46);
    for (qsizetype i = 0; i < palette.size(); ++i) {
        uchar *entry = p + 54 + 4 * i;
        entry[0] = static_cast<uchar>(qBlue(palette[i]));
        entry[1] = static_cast<uchar>(qGreen(palette[i]));
        entry[2] = static_cast<uchar>(qRed(palette[i]));
        entry[3] = 0;
    }
    const size_t used = static_cast<size_t>((w * bits + 7) / 8);
    for (qint64 y = 0; y < h; ++y) {
        uchar *row = p + offset + stride * (h - 1 - y);
        const uchar *line = image.constScanLine(static_cast<int>(y));
        if (bits <= 8 || image.format() == QImage::Format_BGR888) {
            std::memcpy(row, line, used);
        } else {
            const auto *px = reinterpret_cast<const QRgb *>(line);
            for (qint64 x = 0; x < w; ++x) {
                row[3 * x] = static_cast<uchar>(px[x]);
                row[3 * x + 1] = static_cast<uchar>(px[x] >> 8);
                row[3 * x + 2] = static_cast<uchar>(px[x] >> 16);
            }
        }
        std::memset(row + used, 0, static_cast<size_t>(stride) - used);
    }
    return out;
}

QStringList PictureMimeData::formats() const
{
    // Only what we encode quickly; offering application/x-qt-image here would make Qt offer
    // every image format it can write, each converted the slow way.
    return {Bmp, Png};
}

bool PictureMimeData::hasFormat(const QString &mimeType) const
{
    return mimeType == QtImage || formats().contains(mimeType);
}

QVariant PictureMimeData::retrieveData(const QString &mimeType, QMetaType type) const
{
    try {
        if (mimeType == QtImage || (type.id() == QMetaType::QImage && hasFormat(mimeType)))
            return image_;
        if (mimeType == Bmp)
            return encodeBmp(image_, dotsPerMeter_);
        if (mimeType == Png)
            return encodePng(image_, dotsPerMeter_);
    } catch (const std::exception &e) {
        logSkipped("clipboard request", e);
    } catch (...) {
        logSkipped("clipboard request", std::runtime_error("unknown error"));
    }
    return {};
}

} // namespace rt
