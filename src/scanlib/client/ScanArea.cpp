#include "scanlib/client/ScanArea.h"

#include <QLocale>
#include <QPageSize>
#include <algorithm>
#include <cmath>

namespace scanlib {

namespace {

const OptionInfo *find(const OptionList &options, const char *name)
{
    const auto it = std::find_if(options.begin(), options.end(), [name](const OptionInfo &o) { return o.name == name; });
    return it == options.end() ? nullptr : &*it;
}

bool isEdge(const OptionInfo *o)
{
    return o && o->isActive && o->isSettable && o->hasNumber() && o->constraint == Constraint::Range && o->unit == OptionUnit::Mm
        && o->max > o->min && (o->type == OptionType::Fixed || o->type == OptionType::Int);
}

const QLocale &german()
{
    static const QLocale locale(QLocale::German, QLocale::Germany);
    return locale;
}

// A length as people write it: "210", "215,9".
QString millimetres(double v)
{
    const double tenths = std::round(v * 10) / 10;
    return german().toString(tenths, 'f', tenths == std::round(tenths) ? 0 : 1);
}

QSizeF pageSize(QPageSize::PageSizeId id)
{
    return QPageSize(id).size(QPageSize::Millimeter);
}

} // namespace

std::optional<ScanArea> ScanArea::of(const OptionList &options)
{
    const OptionInfo *l = find(options, names::tlX), *t = find(options, names::tlY);
    const OptionInfo *r = find(options, names::brX), *b = find(options, names::brY);
    if (!isEdge(l) || !isEdge(t) || !isEdge(r) || !isEdge(b))
        return std::nullopt;
    ScanArea a;
    a.left_ = *l;
    a.top_ = *t;
    a.right_ = *r;
    a.bottom_ = *b;
    a.glass_ = QRectF(QPointF(std::min(l->min, r->min), std::min(t->min, b->min)), QPointF(r->max, b->max));
    // A device may hold the corners either way round; the area is what lies between them.
    const double x0 = l->firstNumber(), x1 = r->firstNumber(), y0 = t->firstNumber(), y1 = b->firstNumber();
    a.area_ = QRectF(QPointF(std::min(x0, x1), std::min(y0, y1)), QPointF(std::max(x0, x1), std::max(y0, y1)));
    if (const OptionInfo *dpi = find(options, names::resolution); dpi && dpi->hasNumber())
        a.resolution_ = dpi->firstNumber();
    return a;
}

QRectF ScanArea::snapped(QRectF wanted) const
{
    wanted = wanted.normalized();
    const double left = snapToRange(left_, wanted.left()), top = snapToRange(top_, wanted.top());
    double right = snapToRange(right_, wanted.right()), bottom = snapToRange(bottom_, wanted.bottom());
    // A step of the right edge may land on or before the left one: the next step out.
    if (right <= left)
        right = snapToRange(right_, left + std::max(right_.quant, 0.1));
    if (bottom <= top)
        bottom = snapToRange(bottom_, top + std::max(bottom_.quant, 0.1));
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

std::vector<std::pair<int, double>> ScanArea::settingsFor(QRectF wanted) const
{
    const QRectF to = snapped(wanted);
    std::vector<std::pair<int, double>> steps;
    const auto pair = [&](const OptionInfo &low, double lowTo, const OptionInfo &high, double highTo) {
        // Moving right (down) past the old right (bottom) edge: that edge first.
        const bool highFirst = lowTo >= high.firstNumber();
        const std::pair<int, double> a{low.index, lowTo}, b{high.index, highTo};
        for (const auto &[index, value] : highFirst ? std::vector{b, a} : std::vector{a, b})
            if (value != (index == low.index ? low.firstNumber() : high.firstNumber()))
                steps.emplace_back(index, value);
    };
    pair(left_, to.left(), right_, to.right());
    pair(top_, to.top(), bottom_, to.bottom());
    return steps;
}

std::vector<PaperSize> ScanArea::formats() const
{
    std::vector<PaperSize> all{
        {QStringLiteral("ganz"), QStringLiteral("Ganze Fläche"), {}},
        {QStringLiteral("auto"), QStringLiteral("Automatisch (Vorlage erkennen)"), {}},
        {QStringLiteral("A4"), QStringLiteral("A4"), pageSize(QPageSize::A4)},
        {QStringLiteral("A5"), QStringLiteral("A5"), pageSize(QPageSize::A5)},
        {QStringLiteral("A6"), QStringLiteral("A6"), pageSize(QPageSize::A6)},
        {QStringLiteral("Letter"), QStringLiteral("Letter"), pageSize(QPageSize::Letter)},
        {QStringLiteral("Legal"), QStringLiteral("Legal"), pageSize(QPageSize::Legal)},
        {QStringLiteral("Foto10x15"), QStringLiteral("Foto 10 × 15 cm"), {100, 150}},
        {QStringLiteral("Foto13x18"), QStringLiteral("Foto 13 × 18 cm"), {130, 180}},
        {QStringLiteral("Visitenkarte"), QStringLiteral("Visitenkarte"), {85, 55}},
        {QStringLiteral("frei"), QStringLiteral("Benutzerdefiniert"), {}},
    };
    std::vector<PaperSize> fitting;
    for (PaperSize &p : all) {
        // A size fits when the glass holds it, within the half millimetre a device may round to.
        if (p.mm.isEmpty() || (p.mm.width() <= glass_.width() + 0.5 && p.mm.height() <= glass_.height() + 0.5))
            fitting.push_back(std::move(p));
    }
    return fitting;
}

QRectF ScanArea::placed(const PaperSize &size) const
{
    if (size.mm.isEmpty())
        return glass_;
    return snapped(QRectF(glass_.topLeft(), size.mm) & glass_);
}

double resolutionAtLeast(const OptionInfo &o, double dpi)
{
    if (o.constraint == Constraint::Range) {
        const double step = o.quant > 0 ? o.quant : 1;
        const double v = o.min + std::ceil(std::max(0.0, dpi - o.min) / step - 1e-9) * step;
        return std::min(v, o.max);
    }
    if (o.constraint == Constraint::WordList && !o.words.empty()) {
        std::vector<double> words = o.words;
        std::sort(words.begin(), words.end());
        const auto it = std::lower_bound(words.begin(), words.end(), dpi - 1e-9);
        return it == words.end() ? words.back() : *it;
    }
    return o.firstNumber();
}

std::vector<wire::OptionValue> ScanArea::previewSettings(const OptionList &options, double pixelsPerMm) const
{
    using Kind = wire::OptionValue::Kind;
    std::vector<wire::OptionValue> out;
    if (const OptionInfo *mode = find(options, names::mode); mode && mode->isEditable() && mode->type == OptionType::String) {
        for (const char *colour : {"Color", "Colour", "color", "RGB"})
            if (std::find(mode->strings.begin(), mode->strings.end(), QByteArray(colour)) != mode->strings.end()) {
                out.push_back({mode->index, Kind::Text, 0, QByteArray(colour)});
                break;
            }
    }
    if (const OptionInfo *dpi = find(options, names::resolution); dpi && dpi->isEditable() && dpi->type != OptionType::String)
        out.push_back({dpi->index, Kind::Number, resolutionAtLeast(*dpi, pixelsPerMm * 25.4), {}});
    if (const OptionInfo *preview = find(options, "preview");
        preview && preview->isEditable() && preview->type == OptionType::Bool)
        out.push_back({preview->index, Kind::Bool, 1, {}});
    // The whole glass, in an order that never crosses the edges: left and top out first.
    for (const OptionInfo *edge : {&left_, &top_, &right_, &bottom_}) {
        const double to = edge == &left_ || edge == &top_ ? edge->min : edge->max;
        out.push_back({edge->index, Kind::Number, to, {}});
    }
    return out;
}

QString sizeText(QRectF mm, double dpi)
{
    QString text = QStringLiteral("%1 × %2 mm").arg(millimetres(mm.width()), millimetres(mm.height()));
    if (dpi > 0) {
        const auto pixels = [dpi](double v) { return QString::number(std::llround(v / 25.4 * dpi)); };
        text += QStringLiteral(", %1 × %2 Bildpunkte").arg(pixels(mm.width()), pixels(mm.height()));
    }
    return text;
}

bool differ(QRectF a, QRectF b)
{
    constexpr double tolerance = 0.6; // mm: more than a device's rounding of the same size
    return std::abs(a.left() - b.left()) > tolerance || std::abs(a.top() - b.top()) > tolerance
        || std::abs(a.right() - b.right()) > tolerance || std::abs(a.bottom() - b.bottom()) > tolerance;
}

} // namespace scanlib
