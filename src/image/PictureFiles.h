#pragma once
// Writing the picture to a file: PNG, JPEG (quality 90), TIFF and a one-page PDF, each with
// the picture's resolution where it has one; the PDF may carry the page's recognised text as
// an invisible layer over the picture, so that it can be searched and copied. The file is written beside its target under a
// temporary name and takes the target's name only when complete.

#include "image/Picture.h"

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

namespace img {

enum class FileFormat { Png, Jpeg, Tiff, Pdf };

// The format a file name asks for by its suffix (PNG for an unknown one).
FileFormat formatForName(const QString &path);

// The picture's bytes in each format. A picture without a resolution is written without
// one; the PDF page then takes its size at the screen's resolution (dots per inch).
QByteArray encodeJpeg(const Picture &picture, int quality = 90);
QByteArray encodeTiff(const Picture &picture);
// A line of recognised text and where it stands on the picture (pixels): its upright box,
// turned clockwise by degrees about the box's centre where the line runs askew.
struct TextLine {
    QString text;
    QRect box;
    double degrees = 0;
};
QByteArray encodePdf(const Picture &picture, double screenDpi = 96.0, const QList<TextLine> &text = {});

// Writes the picture to path; a new file gets the permissions the user's umask allows, a
// replaced one keeps its own. On failure a run-time error with a German message that names
// the system's reason (a full disk, a missing permission) is thrown; no partial file is left
// behind and a file that was there before is untouched. The text goes into a PDF alone.
void savePicture(const Picture &picture, const QString &path, FileFormat format, double screenDpi = 96.0,
                 const QList<TextLine> &text = {});

} // namespace img
