#include "TextPage.h"

#include <QFont>
#include <QPainter>
#include <QRegularExpression>
#include <QStringList>
#include <QTextLayout>
#include <QTransform>
#include <algorithm>
#include <vector>

namespace textpage {

namespace {

const char *const Heading = "Prüfbericht über die Größe der Lieferung 2024";

const char *const Left[] = {
    "Die Straße vor dem Lager war am Dienstag, dem 14. März, für 3 Stunden gesperrt. Während dieser Zeit "
    "übernahmen 27 Fahrzeuge die Auslieferung über die Nordeinfahrt.",
    "Äußerst zufriedene Kunden meldeten sich bei der Geschäftsführung. Der Umsatz stieg um 12,5 Prozent "
    "auf 48.300 Euro; die Kosten blieben mit 9.870 Euro nahezu gleich.",
    "Jörg Müller aus Köln prüfte die Maße: 210 mm mal 297 mm, genau wie bestellt.",
};
const char *const Right[] = {
    "The quarterly report shows that 1,250 parcels were shipped in April and 1,375 in May. Most of them "
    "arrived within two working days.",
    "Our warehouse in Düsseldorf handled the largest share. The team expects further growth in the "
    "third quarter, provided that the new loading bay opens on time.",
    "Please send questions to the office before Friday, 5 June.",
};

// Draws the paragraphs into a column, line by line, and appends their text to expected.
double drawColumn(QPainter &painter, const QFont &font, QRectF column, const char *const *paragraphs, int count,
                  QString &expected)
{
    double y = column.top();
    for (int i = 0; i < count; ++i) {
        const QString text = QString::fromUtf8(paragraphs[i]);
        QTextLayout layout(text, font, painter.device());
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(column.width());
            line.setPosition(QPointF(0, y - column.top()));
            y += line.height();
        }
        layout.endLayout();
        layout.draw(&painter, QPointF(column.left(), column.top()));
        y += layout.lineAt(0).height() * 0.8;
        expected += text + u' ';
    }
    return y;
}

} // namespace

Page render(double dpi, double degrees, double widthMm, double heightMm)
{
    const double pxPerMm = dpi / 25.4;
    QImage image(qRound(widthMm * pxPerMm), qRound(heightMm * pxPerMm), QImage::Format_RGB32);
    const int dpm = qRound(dpi / 0.0254);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    image.fill(Qt::white);
    Page page;
    {
        QPainter painter(&image);
        painter.setPen(Qt::black);
        QFont heading(QStringLiteral("DejaVu Sans"));
        heading.setPointSizeF(16);
        heading.setBold(true);
        painter.setFont(heading);
        const double margin = 20 * pxPerMm;
        const double top = margin;
        painter.drawText(QPointF(margin, top + 8 * pxPerMm), QString::fromUtf8(Heading));
        page.expected = QString::fromUtf8(Heading) + u' ';
        QFont body(QStringLiteral("DejaVu Serif"));
        body.setPointSizeF(11);
        const double gap = 10 * pxPerMm;
        const double columnWidth = (image.width() - 2 * margin - gap) / 2;
        const double columnTop = top + 18 * pxPerMm;
        const double height = image.height() - columnTop - margin;
        drawColumn(painter, body, QRectF(margin, columnTop, columnWidth, height), Left, int(std::size(Left)), page.expected);
        drawColumn(painter, body, QRectF(margin + columnWidth + gap, columnTop, columnWidth, height), Right,
                   int(std::size(Right)), page.expected);
    }
    if (degrees != 0.0) {
        QImage turned(image.size(), QImage::Format_RGB32);
        turned.setDotsPerMeterX(dpm);
        turned.setDotsPerMeterY(dpm);
        turned.fill(Qt::white);
        QPainter painter(&turned);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(image.width() / 2.0, image.height() / 2.0);
        painter.rotate(degrees);
        painter.translate(-image.width() / 2.0, -image.height() / 2.0);
        painter.drawImage(0, 0, image);
        painter.end();
        image = turned;
    }
    page.image = image;
    page.expected = page.expected.simplified();
    return page;
}

double characterAccuracy(const QString &expected, const QString &recognised)
{
    const QString a = expected.simplified(), b = recognised.simplified();
    if (a.isEmpty())
        return b.isEmpty() ? 1.0 : 0.0;
    std::vector<qsizetype> previous(size_t(b.size()) + 1), current(previous.size());
    for (qsizetype j = 0; j <= b.size(); ++j)
        previous[size_t(j)] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype change = previous[size_t(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[size_t(j)] = std::min({change, previous[size_t(j)] + 1, current[size_t(j - 1)] + 1});
        }
        std::swap(previous, current);
    }
    return std::max(0.0, 1.0 - double(previous[size_t(b.size())]) / double(a.size()));
}

} // namespace textpage
