#pragma once
// Recognising the text of a picture with Tesseract, German and English together by default.
// The work runs on the caller's thread (a worker's); it reports its progress and stops when
// asked through a RecognitionControl that another thread reads and sets.

#include "image/Picture.h"
#include "ocr/TextLayout.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
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
};

// Turns a page that lies askew straight again before recognition. For now the page is taken
// as it is and Tesseract's own line finding copes with the small angles of a scan; the
// picture's own angle finder takes this place.
QImage straightened(const QImage &image);

// Recognises the picture's text. A run-time error with a German message when the language
// data or the library fails, or memory is short.
Recognition recognize(const img::Picture &picture, const QString &languages = DefaultLanguages,
                      RecognitionControl *control = nullptr);

} // namespace ocr
