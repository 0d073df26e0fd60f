#pragma once
// Recognising the text of a picture with Tesseract, German and English together by default.
// The work runs on the caller's thread (a worker's); it reports its progress and stops when
// asked through a RecognitionControl that another thread reads and sets. A page that lies
// askew is read turned straight; the boxes found are carried back onto the picture as shown.

#include "image/Geometry.h"
#include "image/Picture.h"
#include "ocr/TextLayout.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <atomic>

namespace ocr {

inline const QString DefaultLanguages = QStringLiteral("deu+eng");

// Pages scanned more coarsely than this are enlarged to RecognitionDpi before recognition.
constexpr double CoarsestDpi = 200.0;
constexpr double RecognitionDpi = 300.0;

// The directory Tesseract takes its language data from: TESSDATA_PREFIX where it is set,
// otherwise the system's.
QString languageDataDirectory();
// The Debian packages that hold the language data missing for languages ("deu+eng").
QStringList missingLanguagePackages(const QString &languages = DefaultLanguages);

struct RecognitionControl {
    std::atomic<int> percent{0}; // written by the recognition, 0..100
    std::atomic<bool> cancelled{false}; // set by anyone to stop it
};

struct Recognition {
    QList<Paragraph> paragraphs; // hyphenated words joined, boxes in the picture's pixels
    QString text; // pageText(paragraphs)
    int words = 0;
    bool cancelled = false; // stopped through the control; paragraphs then hold nothing
    double skew = 0; // the page's turn undone before reading it (StraightPage::skew)
};

// A page whose lines run askew by less than this (degrees) is read as it lies. Over a column
// of text (about 1000 pixels at 300 dpi) 0.3° lifts a line's end by 5 pixels, a tenth of the
// line spacing of 11-point text, which Tesseract's line finding follows without harm; a
// straight scan measures up to about 0.1° of noise. Below it, the turn's resampling would
// only soften the letters and cost a pass over the page.
constexpr double LeastSkew = 0.3;

// The page as recognition reads it: turned straight where it lies askew, and the way from its
// pixels back onto the picture's.
struct StraightPage {
    QImage image; // the picture itself when it lies straight
    double skew = 0; // the picture's lines' clockwise turn that was undone; 0 when none was
    QTransform back; // the straight page's pixels to the picture's
};
StraightPage straightened(const QImage &image, img::CancelFlag cancel = nullptr);

// Recognises the picture's text. A run-time error with a German message when the language
// data or the library fails, or memory is short.
Recognition recognize(const img::Picture &picture, const QString &languages = DefaultLanguages,
                      RecognitionControl *control = nullptr);

} // namespace ocr
