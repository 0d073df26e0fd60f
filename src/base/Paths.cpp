#include "base/Paths.h"

namespace rt {

namespace {

constexpr char16_t Escape = 0xDC00;

// The length of the valid UTF-8 sequence at bytes[i], or 0 when there is none.
qsizetype validSequence(const QByteArray &bytes, qsizetype i)
{
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    qsizetype n = 0;
    char32_t code = 0, least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2, code = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3, code = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4, code = lead & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (i + n > bytes.size())
        return 0;
    for (qsizetype k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(i + k) & 0x3Fu);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < least || code > 0x10FFFF || surrogate ? 0 : n;
}

} // namespace

QString decodePath(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.append(QChar(lead));
            ++i;
        } else if (const qsizetype n = validSequence(bytes, i)) {
            out.append(QString::fromUtf8(bytes.constData() + i, n));
            i += n;
        } else {
            out.append(QChar(static_cast<char16_t>(Escape + lead)));
            ++i;
        }
    }
    return out;
}

QByteArray encodePath(const QString &path)
{
    QByteArray out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < path.size() && path[i + 1].isLowSurrogate()) {
            out.append(QStringView(path).mid(i, 2).toUtf8());
            ++i;
        } else if (unit >= Escape + 0x80 && unit <= Escape + 0xFF) {
            out.append(static_cast<char>(unit - Escape));
        } else {
            out.append(QStringView(path).mid(i, 1).toUtf8());
        }
    }
    return out;
}

} // namespace rt
