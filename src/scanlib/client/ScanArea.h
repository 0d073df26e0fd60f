#pragma once
// The scan area of a device in millimetres: the glass its four area options can reach, the
// area they hold now, the paper sizes that fit on the glass, and the settings that give an
// area or a quick preview of the whole glass. Plain logic over the device's options.

#include "scanlib/wire/Protocol.h"
#include "scanlib/wire/ScanTypes.h"

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <optional>
#include <vector>

namespace scanlib {

// A paper size the "Format" list offers; key is what the settings keep.
struct PaperSize {
    QString key;
    QString title;
    QSizeF mm; // empty for the entries that are no fixed size
};

class ScanArea {
public:
    // The geometry of a device whose four area options are active ranges in millimetres;
    // nothing for a device without one.
    static std::optional<ScanArea> of(const OptionList &options);

    // What the four options can reach, and what they hold.
    QRectF glass() const { return glass_; }
    QRectF area() const { return area_; }
    // The resolution set, 0 when the device has none.
    double resolution() const { return resolution_; }

    // The nearest area the device takes: each edge snapped as its option's range allows, the
    // right and bottom kept beyond the left and top.
    QRectF snapped(QRectF wanted) const;
    // The values that give the device an area, in an order in which no step makes the left
    // edge pass the right one or the top pass the bottom.
    std::vector<std::pair<int, double>> settingsFor(QRectF wanted) const;

    // "Ganze Fläche", "Automatisch", the fixed sizes that fit on the glass, "Benutzerdefiniert".
    std::vector<PaperSize> formats() const;
    // A fixed size laid at the top left of the glass, snapped; the whole glass for the rest.
    QRectF placed(const PaperSize &size) const;

    // A quick look at the whole glass: colour where the device can, the device's preview mode
    // where it has one, and the lowest resolution that gives at least pixelsPerMm.
    std::vector<wire::OptionValue> previewSettings(const OptionList &options, double pixelsPerMm) const;

private:
    QRectF glass_, area_;
    double resolution_ = 0;
    OptionInfo left_, top_, right_, bottom_;
};

// The lowest resolution the option allows that is at least dpi, else its highest.
double resolutionAtLeast(const OptionInfo &resolution, double dpi);

// "210 × 297 mm, 2480 × 3508 Bildpunkte": the area's size, and its pixels at dpi (left out
// when dpi is 0).
QString sizeText(QRectF mm, double dpi);

// The two areas differ by more than the device's steps could make of the same wish.
bool differ(QRectF a, QRectF b);

} // namespace scanlib
