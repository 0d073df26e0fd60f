#pragma once
// File names as the system gives them: bytes. A name is UTF-8 where its bytes are; a byte
// that is not part of valid UTF-8 (a Latin-1 "ä" in a directory's name) becomes the lone
// surrogate U+DC00 + byte and turns back into that byte, so every name survives the trip
// through a QString. Qt's QFile::decodeName replaces such bytes and loses the name.

#include <QByteArray>
#include <QString>

namespace rt {

QString decodePath(const QByteArray &bytes);
QByteArray encodePath(const QString &path);

} // namespace rt
