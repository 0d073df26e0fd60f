#pragma once
// German titles for the words scanner backends use (option titles, descriptions, list
// entries). They come from the backends' own message catalogue, read straight from the
// .mo file so that the dialogs speak German whatever locale the user runs.

#include <QByteArray>
#include <QHash>
#include <QString>

namespace scanlib {

class Catalogue {
public:
    // Reads a GNU .mo file; an unreadable or damaged file leaves the catalogue empty.
    static Catalogue fromFile(const QString &path);
    // Parses the bytes of a .mo file; false (and empty) when they are not one.
    bool parse(const QByteArray &bytes);

    // The translation of text, or text itself when there is none.
    QString translate(const char *text) const;
    int size() const { return static_cast<int>(entries_.size()); }

    // The catalogue of the scanner backends, loaded on first use.
    static const Catalogue &backends();

private:
    QHash<QByteArray, QString> entries_;
};

// Shorthand for Catalogue::backends().translate(text).
QString trSane(const char *text);

} // namespace scanlib
