// Text recognition: pages of known text rendered by Qt are read back nearly character for
// character; a word broken at a line's end is put together again; a cancelled recognition
// delivers nothing; missing language data is told in German; the searchable PDF holds the text.

#include "TestSupport.h"
#include "TextPage.h"
#include "base/Errors.h"
#include "image/Deskew.h"
#include "image/PictureFiles.h"
#include "ocr/TextLayout.h"
#include "ocr/TextRecognition.h"

#include <QHash>
#include <QLineF>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

ocr::Line line(const QString &words)
{
    return ocr::Line{words.split(u' '), {}};
}

QString joined(const QList<QString> &lines)
{
    ocr::Paragraph paragraph;
    for (const QString &l : lines)
        paragraph.lines.append(line(l));
    QList<ocr::Paragraph> page{paragraph};
    ocr::joinHyphenated(page);
    return ocr::pageText(page);
}

img::Picture picture(const textpage::Page &page)
{
    return img::Picture(page.image, QSize(page.image.dotsPerMeterX(), page.image.dotsPerMeterY()));
}

} // namespace

TEST(TextLayout, WordsBrokenAtTheLineEndAreJoinedOnTheFirstLine)
{
    EXPECT_EQ(joined({"Die Zwischen-", "ablage hält", "den Text."}), "Die Zwischenablage\nhält\nden Text.\n");
    // A capital after the hyphen: a compound whose hyphen belongs to it.
    EXPECT_EQ(joined({"in der Goethe-", "Straße 5"}), "in der Goethe-Straße\n5\n");
    // A hyphen that stands for a left-out part, and one in the middle of a line, stay.
    EXPECT_EQ(joined({"Ein-", "und Ausgang"}), "Ein-\nund Ausgang\n");
    EXPECT_EQ(joined({"E-Mail an", "Anna"}), "E-Mail an\nAnna\n");
    // A dash alone is no broken word.
    EXPECT_EQ(joined({"Text -", "weiter"}), "Text -\nweiter\n");
    // A line that held only the rest of a word goes, and the next break is joined too.
    EXPECT_EQ(joined({"Donau-", "dampf-", "schiff fährt"}), "Donaudampfschiff\nfährt\n");
}

TEST(TextLayout, ParagraphsArePartedByAnEmptyLineAndWordsCounted)
{
    QList<ocr::Paragraph> page{{{line("Erste Zeile"), line("zweite")}}, {{line("Neuer Absatz")}}};
    EXPECT_EQ(ocr::pageText(page), "Erste Zeile\nzweite\n\nNeuer Absatz\n");
    EXPECT_EQ(ocr::wordCount(page), 5);
}

TEST(TextRecognition, ReadsARenderedGermanAndEnglishPageInTwoColumns)
{
    const textpage::Page page = textpage::render(300);
    const ocr::Recognition result = ocr::recognize(picture(page));
    const double accuracy = textpage::characterAccuracy(page.expected, result.text);
    EXPECT_GE(accuracy, 0.98) << result.text.toStdString();
    EXPECT_TRUE(result.text.contains(QStringLiteral("Straße"))) << result.text.toStdString();
    EXPECT_TRUE(result.text.contains(QStringLiteral("Düsseldorf"))) << result.text.toStdString();
    EXPECT_EQ(result.words, result.text.simplified().split(u' ').size());
    // The left column is read before the right one, whatever their lines' heights.
    EXPECT_LT(result.text.indexOf(QStringLiteral("Jörg")), result.text.indexOf(QStringLiteral("quarterly")));
}

TEST(TextRecognition, ACoarseScanIsEnlargedAndItsBoxesStayInItsPixels)
{
    const textpage::Page page = textpage::render(150, 0, 210, 100);
    const ocr::Recognition result = ocr::recognize(picture(page));
    EXPECT_GE(textpage::characterAccuracy(page.expected, result.text), 0.95) << result.text.toStdString();
    ASSERT_FALSE(result.paragraphs.isEmpty());
    for (const ocr::Paragraph &p : result.paragraphs)
        for (const ocr::Line &l : p.lines)
            EXPECT_TRUE(page.image.rect().contains(l.box)) << l.words.join(' ').toStdString();
}

TEST(TextRecognition, APageTurnedBy4DegreesIsReadStraightAndItsLinesLieOverItsWords)
{
    const textpage::Page straight = textpage::render(300, 0, 210, 100);
    const textpage::Page turned = textpage::render(300, 4, 210, 100);
    const ocr::Recognition upright = ocr::recognize(picture(straight));
    const ocr::Recognition result = ocr::recognize(picture(turned));
    EXPECT_EQ(upright.skew, 0.0);
    EXPECT_NEAR(result.skew, 4.0, 0.2);
    EXPECT_GE(textpage::characterAccuracy(upright.text, result.text), 0.98) << result.text.toStdString();
    EXPECT_GE(textpage::characterAccuracy(turned.expected, result.text), 0.98) << result.text.toStdString();
    // Each line read on both pages lies, on the turned picture, where the turn carried it:
    // same size, centre within a few pixels, running at the page's angle.
    QTransform turn;
    turn.translate(straight.image.width() / 2.0, straight.image.height() / 2.0);
    turn.rotate(4);
    turn.translate(-straight.image.width() / 2.0, -straight.image.height() / 2.0);
    QHash<QString, ocr::Line> found;
    for (const ocr::Paragraph &p : result.paragraphs)
        for (const ocr::Line &l : p.lines)
            found.insert(l.words.join(u' '), l);
    int compared = 0;
    for (const ocr::Paragraph &p : upright.paragraphs)
        for (const ocr::Line &l : p.lines) {
            const auto there = found.constFind(l.words.join(u' '));
            if (there == found.constEnd())
                continue;
            ++compared;
            const QPointF expected = turn.map(QRectF(l.box).center());
            const QPointF got = QRectF(there->box).center();
            EXPECT_LE(QLineF(expected, got).length(), 4.0) << l.words.join(u' ').toStdString();
            EXPECT_NEAR(there->box.width(), l.box.width(), 6);
            EXPECT_NEAR(there->box.height(), l.box.height(), 6);
            EXPECT_DOUBLE_EQ(there->degrees, result.skew);
        }
    EXPECT_GE(compared, 10);
    // The searchable PDF carries the turned lines' text.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Schief.pdf"));
    img::savePicture(picture(turned), path, img::FileFormat::Pdf, 96.0, ocr::textLines(result.paragraphs));
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), path, QStringLiteral("-")});
    ASSERT_TRUE(pdftotext.waitForFinished(30000));
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    EXPECT_GE(textpage::characterAccuracy(turned.expected, text), 0.95) << text.toStdString();
}

TEST(TextRecognition, OnlyAPageTurnedByAtLeastTheLeastSkewIsStraightened)
{
    for (const double degrees : {0.0, 0.15, 1.0, -2.5}) {
        const QImage page = textpage::render(300, degrees, 210, 100).image;
        const ocr::StraightPage straight = ocr::straightened(page);
        if (std::abs(degrees) < ocr::LeastSkew) {
            EXPECT_EQ(straight.skew, 0.0) << degrees;
            EXPECT_EQ(straight.image.cacheKey(), page.cacheKey()) << degrees << ": a copy for a straight page";
            EXPECT_TRUE(straight.back.isIdentity()) << degrees;
        } else {
            EXPECT_NEAR(straight.skew, degrees, 0.2);
            EXPECT_NEAR(img::skewAngle(straight.image), 0.0, 0.1) << degrees;
        }
    }
}

TEST(TextRecognition, ACancelledRecognitionDeliversNothing)
{
    const textpage::Page page = textpage::render(300);
    ocr::RecognitionControl control;
    control.cancelled = true;
    const ocr::Recognition result = ocr::recognize(picture(page), ocr::DefaultLanguages, &control);
    EXPECT_TRUE(result.cancelled);
    // It stopped at the first word rather than reading the page to its end.
    EXPECT_LT(control.percent.load(), 10);
    EXPECT_TRUE(result.text.isEmpty());
    EXPECT_EQ(result.words, 0);
}

TEST(TextRecognition, MissingLanguageDataIsToldInGerman)
{
    QTemporaryDir empty;
    qputenv("TESSDATA_PREFIX", empty.path().toLocal8Bit());
    const QStringList missing = ocr::missingLanguagePackages();
    std::optional<rt::RuntimeError> failure;
    const bool ran = rt::attempt(
        "test", [] { ocr::recognize(img::Picture(QImage(10, 10, QImage::Format_RGB32))); }, &failure);
    qunsetenv("TESSDATA_PREFIX");
    EXPECT_EQ(missing, QStringList({"tesseract-ocr-deu", "tesseract-ocr-eng"}));
    EXPECT_FALSE(ran);
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->text().contains(QStringLiteral("tesseract-ocr-deu"))) << failure->text().toStdString();
    EXPECT_TRUE(ocr::missingLanguagePackages().isEmpty());
}

TEST(SearchablePdf, PdftotextFindsTheRecognisedText)
{
    const textpage::Page page = textpage::render(300);
    const ocr::Recognition result = ocr::recognize(picture(page));
    const QList<img::TextLine> lines = ocr::textLines(result.paragraphs);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Seite.pdf"));
    img::savePicture(picture(page), path, img::FileFormat::Pdf, 96.0, lines);
    QProcess pdftotext;
    // In the order the lines were written, which is the reading order.
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), path, QStringLiteral("-")});
    ASSERT_TRUE(pdftotext.waitForFinished(30000));
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    EXPECT_GE(textpage::characterAccuracy(page.expected, text), 0.98) << text.toStdString();
    // The page keeps A4's size in points.
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    ASSERT_TRUE(pdfinfo.waitForFinished(30000));
    const QByteArray info = pdfinfo.readAllStandardOutput();
    EXPECT_TRUE(info.contains("(A4)")) << info.toStdString();
    EXPECT_FALSE(text.contains(QChar(0xFB03))) << "a ligature instead of the letters";
}
