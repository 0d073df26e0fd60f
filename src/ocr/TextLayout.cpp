#include "ocr/TextLayout.h"

namespace ocr {

namespace {

bool isHyphen(QChar c)
{
    return c == u'-' || c == QChar(0x00AD) || c == QChar(0x2010);
}

// Words after which a hyphen at a line's end stands for a part left out, not a break.
bool continuesElision(const QString &word)
{
    static const QStringList words
        = {QStringLiteral("und"),  QStringLiteral("oder"), QStringLiteral("bis"), QStringLiteral("sowie"),
           QStringLiteral("bzw."), QStringLiteral("and"),  QStringLiteral("or"),  QStringLiteral("to")};
    return words.contains(word);
}

} // namespace

void joinHyphenated(QList<Paragraph> &paragraphs)
{
    for (Paragraph &paragraph : paragraphs) {
        QList<Line> &lines = paragraph.lines;
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            if (lines[i].words.isEmpty() || lines[i + 1].words.isEmpty())
                continue;
            QString &last = lines[i].words.last();
            const QString &next = lines[i + 1].words.constFirst();
            if (last.size() < 3 || !isHyphen(last.back()) || !last[last.size() - 2].isLetter() || !next[0].isLetterOrNumber()
                || continuesElision(next))
                continue;
            if (next[0].isLower())
                last.chop(1);
            else
                last.back() = u'-';
            last += next;
            lines[i + 1].words.removeFirst();
            if (lines[i + 1].words.isEmpty()) {
                lines.removeAt(i + 1);
                --i; // the line may now end with the next line's broken word
            }
        }
    }
}

QString pageText(const QList<Paragraph> &paragraphs)
{
    QString text;
    for (const Paragraph &paragraph : paragraphs) {
        if (paragraph.lines.isEmpty())
            continue;
        if (!text.isEmpty())
            text += u'\n';
        for (const Line &line : paragraph.lines)
            text += line.words.join(u' ') + u'\n';
    }
    return text;
}

int wordCount(const QList<Paragraph> &paragraphs)
{
    qsizetype n = 0;
    for (const Paragraph &paragraph : paragraphs)
        for (const Line &line : paragraph.lines)
            n += line.words.size();
    return static_cast<int>(n);
}

QList<img::TextLine> textLines(const QList<Paragraph> &paragraphs)
{
    QList<img::TextLine> lines;
    for (const Paragraph &paragraph : paragraphs)
        for (const Line &line : paragraph.lines)
            lines.append({line.words.join(u' '), line.box, line.degrees});
    return lines;
}

} // namespace ocr
