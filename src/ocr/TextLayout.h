#pragma once
// The recognised page as lines of words grouped in paragraphs, and the plain text made of
// it: one line of text a line on the page, an empty line between paragraphs, and a word
// broken at a line's end by a hyphen put together again on the first of the two lines.

#include "image/PictureFiles.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

namespace ocr {

struct Line {
    QStringList words;
    QRect box; // in the picture's pixels, upright
    double degrees = 0; // how the line runs on the picture: box turned clockwise about its centre
};

struct Paragraph {
    QList<Line> lines;
};

// Joins the words broken at the end of a line. The hyphen is dropped when the rest of the
// word begins with a small letter ("Zwischen-" "ablage" -> "Zwischenablage"), kept when it
// begins with a capital or a digit ("Goethe-" "Straße" -> "Goethe-Straße"); a hyphen that
// stands for a word left out ("Ein-" "und Ausgang") stays as it is.
void joinHyphenated(QList<Paragraph> &paragraphs);

// The text of the page: lines end with "\n", paragraphs are parted by an empty line.
QString pageText(const QList<Paragraph> &paragraphs);

// The words of the page (after joining).
int wordCount(const QList<Paragraph> &paragraphs);

// The lines as the searchable PDF places them, in reading order.
QList<img::TextLine> textLines(const QList<Paragraph> &paragraphs);

} // namespace ocr
