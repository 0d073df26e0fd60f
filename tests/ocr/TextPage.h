#pragma once
// Pages of known text for the recognition's tests and benchmark: German and English with
// umlauts, ß and numbers, a heading over two columns, rendered by Qt at a given resolution
// in DejaVu; and how much of the known text a recognition got right.

#include <QImage>
#include <QString>

namespace textpage {

struct Page {
    QImage image; // dots per metre set to the resolution
    QString expected; // the text in reading order: the heading, the left column, the right
};

// An A4 page (width x height in millimetres) at dpi, turned by degrees clockwise.
Page render(double dpi, double degrees = 0.0, double widthMm = 210.0, double heightMm = 297.0);

// The share (0..1) of the expected characters that the recognised text has right, by the
// edit distance between the two with every run of white space taken as one space.
double characterAccuracy(const QString &expected, const QString &recognised);

} // namespace textpage
