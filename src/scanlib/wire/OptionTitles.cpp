#include "scanlib/wire/OptionTitles.h"

#include "scanlib/wire/Catalogue.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace scanlib {

namespace {

struct OwnWords {
    const char *name;
    const char *title;
    const char *description;
    std::vector<std::pair<const char *, const char *>> entries; // as the backend names them, ours
};

// The well-known options by the names scanner backends give them.
const std::vector<OwnWords> &ownWords()
{
    static const std::vector<OwnWords> table = {
        {"mode",
         "Farbmodus",
         "Ob das Bild farbig, in Graustufen oder schwarzweiß gescannt wird.",
         {{"Color", "Farbe"}, {"Gray", "Graustufen"}, {"Lineart", "Schwarzweiß"}, {"Halftone", "Raster"}}},
        {"resolution", "Auflösung", "Wie fein die Vorlage abgetastet wird, in Punkten je Zoll.", {}},
        {"x-resolution",
         "Waagrechte Auflösung",
         "Wie fein die Vorlage von links nach rechts abgetastet wird, in Punkten je Zoll.",
         {}},
        {"y-resolution",
         "Senkrechte Auflösung",
         "Wie fein die Vorlage von oben nach unten abgetastet wird, in Punkten je Zoll.",
         {}},
        {"source",
         "Vorlagenquelle",
         "Woher der Scanner die Vorlage nimmt: von der Glasplatte, aus dem Einzug oder vom Durchlichtaufsatz.",
         {{"Flatbed", "Flachbett"},
          {"ADF", "Einzug"},
          {"Automatic Document Feeder", "Einzug"},
          {"ADF Duplex", "Einzug beidseitig"},
          {"ADF Front", "Einzug Vorderseite"},
          {"ADF Back", "Einzug Rückseite"},
          {"Transparency Adapter", "Durchlichtaufsatz"},
          {"Transparency Unit", "Durchlichtaufsatz"}}},
        {"tl-x", "Links", "Abstand des linken Rands der Scanfläche vom linken Rand der Glasplatte.", {}},
        {"tl-y", "Oben", "Abstand des oberen Rands der Scanfläche vom oberen Rand der Glasplatte.", {}},
        {"br-x", "Rechts", "Abstand des rechten Rands der Scanfläche vom linken Rand der Glasplatte.", {}},
        {"br-y", "Unten", "Abstand des unteren Rands der Scanfläche vom oberen Rand der Glasplatte.", {}},
        {"preview", "Vorschaumodus", "Scannt schnell und in geringerer Qualität, für eine Vorschau.", {}},
        {"preview-in-gray", "Vorschau in Graustufen", "Scannt die Vorschau in Graustufen, auch wenn farbig gescannt wird.", {}},
        {"depth", "Farbtiefe", "Bits je Farbwert: 1 für Schwarzweiß, 8 für gewöhnliche Bilder, 16 für feinere Abstufungen.", {}},
        {"bit-depth",
         "Farbtiefe",
         "Bits je Farbwert: 1 für Schwarzweiß, 8 für gewöhnliche Bilder, 16 für feinere Abstufungen.",
         {}},
        {"brightness", "Helligkeit", "Macht das Bild heller oder dunkler.", {}},
        {"contrast", "Kontrast", "Verstärkt oder mildert den Unterschied zwischen hellen und dunklen Stellen.", {}},
        {"threshold", "Schwellwert", "Ab welcher Helligkeit ein Punkt beim Scannen in Schwarzweiß weiß wird.", {}},
        {"custom-gamma", "Eigene Gammakurve", "Verwendet die eingestellten Gammatabellen statt der des Scanners.", {}},
        {"gamma-table", "Gammatabelle", "Wie die gemessenen Helligkeiten auf die Werte des Bilds abgebildet werden.", {}},
        {"red-gamma-table",
         "Gammatabelle Rot",
         "Wie die gemessenen Helligkeiten des Rotkanals auf die Werte des Bilds abgebildet werden.",
         {}},
        {"green-gamma-table",
         "Gammatabelle Grün",
         "Wie die gemessenen Helligkeiten des Grünkanals auf die Werte des Bilds abgebildet werden.",
         {}},
        {"blue-gamma-table",
         "Gammatabelle Blau",
         "Wie die gemessenen Helligkeiten des Blaukanals auf die Werte des Bilds abgebildet werden.",
         {}},
        {"analog-gamma", "Analoges Gamma", "Gammakorrektur, die der Scanner selbst beim Abtasten vornimmt.", {}},
        {"analog-gamma-r",
         "Analoges Gamma Rot",
         "Gammakorrektur des Rotkanals, die der Scanner selbst beim Abtasten vornimmt.",
         {}},
        {"analog-gamma-g",
         "Analoges Gamma Grün",
         "Gammakorrektur des Grünkanals, die der Scanner selbst beim Abtasten vornimmt.",
         {}},
        {"analog-gamma-b",
         "Analoges Gamma Blau",
         "Gammakorrektur des Blaukanals, die der Scanner selbst beim Abtasten vornimmt.",
         {}},
        {"analog-gamma-bind",
         "Ein analoges Gamma für alle Farben",
         "Verwendet für Rot, Grün und Blau dasselbe analoge Gamma.",
         {}},
        {"negative", "Negativ", "Kehrt die Helligkeiten um, etwa für Negativfilme.", {}},
        {"halftoning", "Rasterung", "Stellt Graustufen beim Scannen in Schwarzweiß durch ein Punktraster dar.", {}},
        {"halftone-pattern", "Rastermuster", "Das Punktraster, mit dem Graustufen in Schwarzweiß dargestellt werden.", {}},
        {"lamp-switch", "Lampe eingeschaltet", "Schaltet die Lampe des Scanners ein oder aus.", {}},
        {"lamp-off-time", "Lampe aus nach", "Nach wie vielen Minuten ohne Scan der Scanner seine Lampe ausschaltet.", {}},
        {"lamp-off-at-exit",
         "Lampe beim Beenden ausschalten",
         "Schaltet die Lampe aus, sobald der Scanner nicht mehr gebraucht wird.",
         {}},
        {"lamp-off-scan", "Lampe beim Scannen ausschalten", "Scannt bei ausgeschalteter Lampe, etwa für eine Dunkelmessung.", {}},
        // The options of SANE's test device.
        {"three-pass",
         "Drei Durchgänge simulieren",
         "Verhält sich wie ein Scanner, der ein Farbbild in drei Durchgängen liest: ein Teilbild je Farbe.",
         {}},
        {"three-pass-order",
         "Reihenfolge der Durchgänge",
         "In welcher Reihenfolge die drei Farben beim Scannen in drei Durchgängen kommen.",
         {}},
        {"hand-scanner",
         "Handscanner simulieren",
         "Verhält sich wie ein Handscanner, der die Höhe des Bilds erst am Ende kennt; die Breite ist dann fest 11 cm.",
         {}},
        {"test-picture",
         "Testbild",
         "Was das Testgerät liefert: eine schwarze oder weiße Fläche, ein Farbmuster oder ein Gitter aus Quadraten von 10 mm.",
         {{"Solid black", "Schwarz"}, {"Solid white", "Weiß"}, {"Color pattern", "Farbmuster"}, {"Grid", "Gitter"}}},
        {"invert-endianess",
         "Bytereihenfolge umkehren",
         "Vertauscht bei 16 Bit je Farbwert das höhere und das niedrigere Byte, um zu prüfen, ob ein Programm die "
         "Bytereihenfolge beachtet.",
         {}},
        {"fuzzy-parameters",
         "Ungenaue Bildmaße",
         "Meldet vor dem Scan nur ungefähr, wie viele Zeilen und Bytes je Zeile kommen.",
         {}},
        {"non-blocking", "Ohne Warten lesen", "Liefert die Daten, ohne auf sie zu warten, wo das Programm das unterstützt.", {}},
        {"select-fd",
         "Dateideskriptor zum Warten anbieten",
         "Bietet einen Dateideskriptor an, an dem das Programm erkennt, wann wieder Daten bereitliegen.",
         {}},
        {"print-options", "Optionen auflisten", "Gibt eine Liste aller Optionen aus.", {}},
        {"enable-test-options",
         "Testoptionen einblenden",
         "Zeigt Optionen jeder Art, an denen sich prüfen lässt, wie ein Programm mit ihnen umgeht.",
         {}},
    };
    return table;
}

// Our own words for the option, nullptr when the catalogue's serve.
const OwnWords *ownWordsFor(const QByteArray &name)
{
    const auto &table = ownWords();
    const auto it = std::find_if(table.begin(), table.end(), [&](const OwnWords &w) { return name == w.name; });
    return it != table.end() ? &*it : nullptr;
}

} // namespace

QString optionTitle(const OptionInfo &option)
{
    if (const OwnWords *own = ownWordsFor(option.name))
        return QString::fromUtf8(own->title);
    return option.title.isEmpty() ? QString::fromLatin1(option.name) : trSane(option.title.constData());
}

QString optionDescription(const OptionInfo &option)
{
    if (const OwnWords *own = ownWordsFor(option.name))
        return QString::fromUtf8(own->description);
    return trSane(option.description.constData());
}

QString optionEntry(const OptionInfo &option, const QByteArray &entry)
{
    if (const OwnWords *own = ownWordsFor(option.name))
        for (const auto &[theirs, ours] : own->entries)
            if (entry == theirs)
                return QString::fromUtf8(ours);
    return trSane(entry.constData());
}

} // namespace scanlib
