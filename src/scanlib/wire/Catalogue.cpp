#include "scanlib/wire/Catalogue.h"

#include <QFile>
#include <cstdint>

namespace scanlib {

namespace {

constexpr std::uint32_t magicLittle = 0x950412de;
constexpr std::uint32_t magicBig = 0xde120495;

std::uint32_t read32(const QByteArray &bytes, qint64 at, bool swap)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData() + at);
    const std::uint32_t v
        = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    return swap ? ((v >> 24) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24)) : v;
}

} // namespace

Catalogue Catalogue::fromFile(const QString &path)
{
    Catalogue catalogue;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        catalogue.parse(file.readAll());
    return catalogue;
}

bool Catalogue::parse(const QByteArray &bytes)
{
    entries_.clear();
    const qint64 size = bytes.size();
    if (size < 28)
        return false;
    const std::uint32_t magic = read32(bytes, 0, false);
    if (magic != magicLittle && magic != magicBig)
        return false;
    const bool swap = magic == magicBig;
    const qint64 count = read32(bytes, 8, swap);
    const qint64 originals = read32(bytes, 12, swap);
    const qint64 translations = read32(bytes, 16, swap);
    if (originals + count * 8 > size || translations + count * 8 > size)
        return false;

    // Each table entry is a length and an offset; a string out of bounds spoils the file.
    auto stringAt = [&](qint64 table, qint64 i, QByteArray &out) {
        const qint64 length = read32(bytes, table + i * 8, swap);
        const qint64 offset = read32(bytes, table + i * 8 + 4, swap);
        if (offset + length > size)
            return false;
        out = bytes.mid(offset, length);
        return true;
    };
    for (qint64 i = 0; i < count; ++i) {
        QByteArray original, translation;
        if (!stringAt(originals, i, original) || !stringAt(translations, i, translation)) {
            entries_.clear();
            return false;
        }
        // Plural forms are separated by NUL; the singular serves for option titles.
        const qsizetype nul = translation.indexOf('\0');
        if (nul >= 0)
            translation.truncate(nul);
        if (!original.isEmpty() && !translation.isEmpty())
            entries_.insert(original, QString::fromUtf8(translation));
    }
    return true;
}

QString Catalogue::translate(const char *text) const
{
    if (!text)
        return {};
    const auto it = entries_.constFind(QByteArray::fromRawData(text, qsizetype(qstrlen(text))));
    return it != entries_.constEnd() ? *it : QString::fromUtf8(text);
}

const Catalogue &Catalogue::backends()
{
    static const Catalogue catalogue = fromFile(QStringLiteral("/usr/share/locale/de/LC_MESSAGES/sane-backends.mo"));
    return catalogue;
}

QString trSane(const char *text)
{
    return Catalogue::backends().translate(text);
}

} // namespace scanlib
